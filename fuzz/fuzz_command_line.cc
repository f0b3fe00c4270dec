// Fuzzes the argument parsing and the target's number conversion with
// arbitrary argument vectors, and checks each outcome against the parsing
// rules, written out here a second time and independently of the parser.
//
// Input: each argument ends at a 0x00 byte or at the end of the input (an
// argument never holds NUL; an empty unterminated tail is no argument).
// Inside an argument, bytes 0x01-0x7F are the ASCII units, 0x80-0x8F stand
// for units that a wide runtime could take for digits, signs or white space,
// 0x90-0xFE are the Latin-1 units of the same value, and 0xFF takes the next
// two bytes as any UTF-16 unit, little-endian.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "fuzz_check.h"

namespace {

constexpr char16_t kSpecialUnits[16] = {
    0x0660, 0x0669, 0x06F0, 0x0966, 0xFF10, 0xFF19,  // digits of other scripts
    0x3000, 0x00A0, 0x2002, 0xFEFF,                  // other white space
    0xFF0B, 0xFF0D, 0x2212,                          // fullwidth signs, minus
    0xD800, 0xDC00, 0xFFFD};  // lone surrogates, the replacement character

std::vector<std::u16string> DecodeArguments(const uint8_t* data, size_t size) {
  std::vector<std::u16string> arguments;
  std::u16string current;
  bool open = false;
  for (size_t i = 0; i < size; ++i) {
    uint8_t byte = data[i];
    if (byte == 0) {
      arguments.push_back(current);
      current.clear();
      open = false;
      continue;
    }
    char16_t unit = byte;
    if (byte >= 0x80 && byte < 0x90) {
      unit = kSpecialUnits[byte - 0x80];
    } else if (byte == 0xFF) {
      if (i + 2 >= size)
        break;
      unit = static_cast<char16_t>(data[i + 1] | data[i + 2] << 8);
      i += 2;
      if (unit == 0)
        unit = 0xFFFD;
    }
    current.push_back(unit);
    open = true;
  }
  if (open)
    arguments.push_back(current);
  return arguments;
}

// The conversion as the rules state it. This program takes the ASCII digits
// and ASCII white space only (other scripts' digits and spaces are left to
// the implementer, and it leaves them out).
bool IsWhiteSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

struct Conversion {
  uint32_t value = 0;
  size_t consumed = 0;
};

// Decides the saturation from the digit string rather than by accumulating
// the value, so that it does not share the parser's arithmetic.
Conversion ExpectedConversion(const std::u16string& text) {
  size_t position = 0;
  while (position < text.size() && IsWhiteSpace(text[position]))
    ++position;
  bool negative = false;
  if (position < text.size() &&
      (text[position] == u'+' || text[position] == u'-')) {
    negative = text[position] == u'-';
    ++position;
  }
  size_t start = position;
  while (position < text.size() && IsDigit(text[position]))
    ++position;
  if (position == start)
    return {};
  size_t significant = start;
  while (significant + 1 < position && text[significant] == u'0')
    ++significant;
  std::string digits;
  for (size_t i = significant; i < position; ++i)
    digits.push_back(static_cast<char>(text[i]));
  static const std::string kLargest = "4294967295";
  uint32_t magnitude = 0xFFFFFFFFu;
  if (digits.size() < kLargest.size() ||
      (digits.size() == kLargest.size() && digits <= kLargest))
    magnitude =
        static_cast<uint32_t>(std::strtoull(digits.c_str(), nullptr, 10));
  Conversion conversion;
  conversion.value = negative ? 0u - magnitude : magnitude;
  conversion.consumed = position;
  return conversion;
}

bool IsHelpOption(const std::u16string& a) {
  return a == u"-h" || a == u"/h" || a == u"-?" || a == u"/?" ||
         a == u"-help" || a == u"/help";
}
bool IsCountsOption(const std::u16string& a) {
  return a == u"-c" || a == u"/c";
}
bool IsHandlesOption(const std::u16string& a) {
  return a == u"-v" || a == u"/v";
}
bool IsFilterOption(const std::u16string& a) {
  return a == u"-f" || a == u"/f";
}

// "-x" or "/x".
bool IsWord(const std::u16string& a, char16_t letter) {
  return a == std::u16string{u'-', letter} || a == std::u16string{u'/', letter};
}

// The value in lower case when it is all ASCII; anything else matches no
// value.
std::string Lower(const std::u16string& value) {
  std::string lower;
  for (char16_t c : value) {
    if (c >= 0x80)
      return "\x80";
    lower.push_back(static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c));
  }
  return lower;
}

// Digits only, compared as text against the largest count `largest`.
bool ModelCount(const std::string& lower, const std::string& largest,
                uint32_t* count) {
  if (lower.empty() ||
      lower.find_first_not_of("0123456789") != std::string::npos)
    return false;
  std::string digits =
      lower.substr(std::min(lower.find_first_not_of('0'), lower.size()));
  if (digits.empty() || digits.size() > largest.size() ||
      (digits.size() == largest.size() && digits > largest))
    return false;
  *count = static_cast<uint32_t>(std::strtoull(digits.c_str(), nullptr, 10));
  return true;
}

// Applies `word value` when the value is valid for the option the word
// names; false, changing nothing, when the word is no value option or the
// value is not valid for it.
bool ApplyValueOption(const std::u16string& word, const std::u16string& value,
                      RunOptions& options) {
  std::string lower = Lower(value);
  if (IsWord(word, u'o')) {
    if (lower == "text")
      options.format = OutputFormat::Text;
    else if (lower == "csv")
      options.format = OutputFormat::Csv;
    else if (lower == "json")
      options.format = OutputFormat::Json;
    else if (lower == "html")
      options.format = OutputFormat::Html;
    else if (lower == "prometheus")
      options.format = OutputFormat::Prometheus;
    else
      return false;
    return true;
  }
  if (IsWord(word, u's')) {
    if (lower == "pid")
      options.order = SortOrder::Pid;
    else if (lower == "name")
      options.order = SortOrder::Name;
    else if (lower == "total")
      options.order = SortOrder::Total;
    else if (lower == "all")
      options.order = SortOrder::All;
    else
      return false;
    return true;
  }
  if (IsWord(word, u't'))
    return ModelCount(lower, "4294967295", &options.threshold);
  if (IsWord(word, u'w'))
    return ModelCount(lower, "86400", &options.intervalSeconds);
  if (IsWord(word, u'n'))
    return ModelCount(lower, "1000000", &options.sampleCount);
  if (IsWord(word, u'g'))
    return ModelCount(lower, "4294967295", &options.growthGate);
  if (IsWord(word, u'O') && !value.empty()) {
    options.outputFile = value;
    return true;
  }
  return false;
}

struct Expected {
  ParseOutcome outcome = ParseOutcome::Run;
  RunOptions options;
  std::string message;
};

Expected ExpectedParse(const std::vector<std::u16string>& arguments) {
  Expected expected;
  RunOptions& options = expected.options;
  // The letter of the first value option word read as a target.
  std::u16string firstReadAsTarget;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& argument = arguments[i];
    if (IsHelpOption(argument)) {
      expected.outcome = ParseOutcome::Help;
      return expected;
    }
    if (IsCountsOption(argument)) {
      options.showCounts = true;
      continue;
    }
    if (IsHandlesOption(argument)) {
      options.showHandles = true;
      size_t following = arguments.size() - i - 1;
      if (following >= 2 && IsFilterOption(arguments[i + 1])) {
        options.typeFilter = arguments[i + 2];
        i += 2;
      }
      continue;
    }
    if (i + 1 < arguments.size() &&
        ApplyValueOption(argument, arguments[i + 1], options)) {
      ++i;
      continue;
    }
    if (firstReadAsTarget.empty() &&
        (IsWord(argument, u'o') || IsWord(argument, u's') ||
         IsWord(argument, u't') || IsWord(argument, u'w') ||
         IsWord(argument, u'n') || IsWord(argument, u'g') ||
         IsWord(argument, u'O')))
      firstReadAsTarget = argument.substr(1);
    bool holdsNonZero =
        options.targetMode == TargetMode::ByName ||
        (options.targetMode == TargetMode::ByPid && options.targetPid != 0);
    if (holdsNonZero) {
      expected.outcome = ParseOutcome::UsageError;
      if (firstReadAsTarget == u"o")
        expected.message =
            "kestrel: -o takes text, csv, json, html or prometheus";
      else if (firstReadAsTarget == u"s")
        expected.message = "kestrel: -s takes pid, name, total or all";
      else if (firstReadAsTarget == u"t")
        expected.message = "kestrel: -t takes a count from 1 to 4294967295";
      else if (firstReadAsTarget == u"w")
        expected.message = "kestrel: -w takes seconds from 1 to 86400";
      else if (firstReadAsTarget == u"n")
        expected.message = "kestrel: -n takes a count from 1 to 1000000";
      else if (firstReadAsTarget == u"g")
        expected.message = "kestrel: -g takes a count from 1 to 4294967295";
      else if (firstReadAsTarget == u"O")
        expected.message = "kestrel: -O takes a file name";
      return expected;
    }
    Conversion conversion = ExpectedConversion(argument);
    if (conversion.consumed == argument.size()) {
      options.targetMode = TargetMode::ByPid;
      options.targetPid = conversion.value;
    } else {
      options.targetMode = TargetMode::ByName;
      options.targetName = argument;
    }
  }
  // The growth gate needs a watch.
  if (options.growthGate != 0 && options.intervalSeconds == 0 &&
      options.sampleCount == 0) {
    expected.outcome = ParseOutcome::UsageError;
    expected.message = "kestrel: -g needs a watch (-w SECONDS or -n COUNT)";
  } else if (options.format == OutputFormat::Prometheus &&
             options.showHandles) {
    expected.outcome = ParseOutcome::UsageError;
    expected.message = "kestrel: -o prometheus has no per-handle output";
  }
  return expected;
}

// The program's conversion of `argument`, from a buffer of exactly its
// length, so that AddressSanitizer catches a read past the end.
Conversion ProgramConversion(const std::u16string& argument) {
  std::unique_ptr<char16_t[]> exact(new char16_t[argument.size()]);
  argument.copy(exact.get(), argument.size());
  Conversion conversion;
  conversion.value =
      ConvertTargetNumber(exact.get(), argument.size(), &conversion.consumed);
  return conversion;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::u16string> arguments = DecodeArguments(data, size);

  std::vector<Conversion> conversions;
  for (const std::u16string& argument : arguments) {
    Conversion actual = ProgramConversion(argument);
    Conversion expected = ExpectedConversion(argument);
    FUZZ_CHECK(actual.consumed <= argument.size());
    FUZZ_CHECK(actual.consumed == expected.consumed);
    // Nothing consumed means the value 0.
    FUZZ_CHECK(actual.consumed != 0 || actual.value == 0);
    FUZZ_CHECK(actual.value == expected.value);
    conversions.push_back(actual);
  }

  RunOptions options;
  std::string message;
  ParseOutcome outcome = ParseCommandLine(arguments, &options, &message);
  Expected expected = ExpectedParse(arguments);
  // The model reads the usage text's own grammar exactly; where a word of
  // the options beyond it stands, the missing-value rule and -x decide, and
  // the run is checked for what holds whatever they decide.
  bool beyondUsage = false;
  for (const std::u16string& argument : arguments) {
    for (char16_t letter : std::u16string(u"ostwngOx"))
      beyondUsage = beyondUsage || IsWord(argument, letter);
  }
  if (!beyondUsage)
    FUZZ_CHECK(outcome == expected.outcome);
  // Every usage error says what was wrong.
  if (outcome == ParseOutcome::UsageError)
    FUZZ_CHECK(message.rfind("kestrel: ", 0) == 0);

  bool anyHelp = false;
  size_t nonOptions = 0;
  for (const std::u16string& argument : arguments) {
    anyHelp = anyHelp || IsHelpOption(argument);
    if (!IsHelpOption(argument) && !IsCountsOption(argument) &&
        !IsHandlesOption(argument))
      ++nonOptions;
  }
  if (outcome == ParseOutcome::Help)
    FUZZ_CHECK(anyHelp);
  // A usage error needs a second target, or -o prometheus beside -v: two
  // arguments that are no option either way (a "-f" or filter value counts,
  // because it may stand as a target).
  if (outcome == ParseOutcome::UsageError)
    FUZZ_CHECK(nonOptions >= 2);
  // Once an option beyond the usage text took its value, a forgotten value
  // is a usage error: no option word that takes a value is watched as a
  // process's name.
  const RunOptions plain;
  const bool tookBeyondUsage =
      options.format != plain.format || options.order != plain.order ||
      options.threshold != 0 || options.intervalSeconds != 0 ||
      options.sampleCount != 0 || options.growthGate != 0 ||
      !options.outputFile.empty() || options.follow;
  if (outcome == ParseOutcome::Run && tookBeyondUsage &&
      options.targetMode == TargetMode::ByName) {
    for (char16_t letter : std::u16string(u"ostwngO"))
      FUZZ_CHECK(!IsWord(options.targetName, letter));
  }
  if (outcome != ParseOutcome::Run || beyondUsage)
    return 0;

  const RunOptions& want = expected.options;
  FUZZ_CHECK(options.showCounts == want.showCounts);
  FUZZ_CHECK(options.showHandles == want.showHandles);
  FUZZ_CHECK(options.typeFilter == want.typeFilter);
  FUZZ_CHECK(options.targetMode == want.targetMode);
  FUZZ_CHECK(options.format == want.format);
  FUZZ_CHECK(options.order == want.order);
  FUZZ_CHECK(options.threshold == want.threshold);
  FUZZ_CHECK(options.intervalSeconds == want.intervalSeconds);
  FUZZ_CHECK(options.sampleCount == want.sampleCount);
  FUZZ_CHECK(options.growthGate == want.growthGate);
  FUZZ_CHECK(options.outputFile == want.outputFile);
  if (options.targetMode == TargetMode::ByPid) {
    FUZZ_CHECK(options.targetPid == want.targetPid);
    // A PID target only from an argument the conversion consumed whole.
    bool fromWholeArgument = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
      fromWholeArgument = fromWholeArgument ||
                          (conversions[i].consumed == arguments[i].size() &&
                           conversions[i].value == options.targetPid);
    }
    FUZZ_CHECK(fromWholeArgument);
  }
  if (options.targetMode == TargetMode::ByName) {
    FUZZ_CHECK(options.targetName == want.targetName);
    // The name is one argument, unchanged, that is no number.
    bool isAnArgument = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
      isAnArgument =
          isAnArgument || (arguments[i] == options.targetName &&
                           conversions[i].consumed != arguments[i].size());
    }
    FUZZ_CHECK(isAnArgument);
  }
  return 0;
}
