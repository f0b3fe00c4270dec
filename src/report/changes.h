// What changed from one sample of a watch to the next, as the text lines it
// prints.
#pragma once

#include <vector>

class Output;
class ProcessTable;
struct ProcessRecord;
struct RunOptions;

// A sample's processes: its process table and the records it listed, in the
// listing's order.
struct SampleListing {
  const ProcessTable* table = nullptr;
  const std::vector<const ProcessRecord*>* listed = nullptr;
};

// Prints the lines of what changed from `previous` to `current`, in the
// current listing's order:
//   a process whose counts changed (PID and name matched):
//     "% 6d  %-28s  GDI Total OLD -> NEW (+D)  GDI All OLD -> NEW (+D)"
//     under -c: "        Bitmap +6  DC +6", the categories that changed;
//     under -v: "        + HANDLE LINE" or "        - HANDLE LINE" for each
//     handle that -f keeps and that appeared or vanished, by handle value
//     (a process is shown for a handle alone too);
//   a process listed now that no process of the previous sample with its
//   PID and name was: "...  started  GDI Total N  GDI All N", under -c its
//   non-zero categories, under -v its handles as "+" lines.
// Then the processes the previous sample listed and this one does not, in
// that listing's order: "...  exited" when the census no longer records
// one with that PID and name, otherwise their change as above (under -t: it
// fell below the count).
void PrintChanges(const SampleListing& previous, const SampleListing& current,
                  const RunOptions& options, Output& out);
