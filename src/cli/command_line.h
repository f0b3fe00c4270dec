// The command line: options, the target and the usage text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/run_options.h"

enum class ParseOutcome {
  Run,         // options parsed; go on with the run
  Help,        // a help option: usage text, exit code 0
  UsageError,  // usage text, exit code 1, and `message` on standard error
};

// Parses the arguments after the program name.
//
// -o, -s, -t, -w, -n, -g and -O take a value and are recognised only where
// the next argument is a valid value for them (and has not been taken as -v
// -f's filter); elsewhere the option word is read as a target, as every word
// that is no option is. But once one of them took its value, such a word
// read as a target is a usage error: its value was forgotten (`-w 2 -n`, `-w
// 2 -O -c`). A usage error sets `message` to one line that says what was
// wrong: the option and what it takes, the second target, -g without a
// watch, or a format without per-handle output.
ParseOutcome ParseCommandLine(const std::vector<std::u16string>& arguments,
                              RunOptions* options,
                              std::string* message = nullptr);

// Whether `argument` is an option word the command line knows (-c, a help
// option, -o...), which no option takes as its value but -v -f's filter.
bool IsOptionWord(const std::u16string& argument);

// The target's number conversion, as the runtime's wide string-to-unsigned
// conversion in base 10 with a 32-bit result: white space, one sign, digits
// (capped at 4294967295, then negated modulo 2^32 after a "-"). Sets
// `consumed` to the units taken, 0 when no digit follows the sign.
uint32_t ConvertTargetNumber(const char16_t* text, size_t length,
                             size_t* consumed);

// Printed for a help option and for a usage error.
inline constexpr const char16_t kUsageText[] =
    u"usage: kestrel.exe [-c] [-v [-f <filter>]] [processname|pid]\n"
    u"  processname   List GDI handles loaded by process (partial name accepted)\n"
    u"  pid           List GDI handles associated with the specified process id\n"
    u"  -c            Show GDI count information.\n"
    u"  -v            Show GDI handle information.\n"
    u"  -f            Filter the GDI handle type.\n";
