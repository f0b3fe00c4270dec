#include "cli/command_line.h"

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "output/format_policy.h"
#include "platform/terminal_text.h"

namespace {

bool IsAsciiSpace(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r');
}

bool IsAnyOf(const std::u16string& argument,
             std::initializer_list<const char16_t*> choices) {
  for (const char16_t* choice : choices) {
    if (argument == choice)
      return true;
  }
  return false;
}

bool HoldsNonZeroTarget(const RunOptions& options) {
  return options.targetMode == TargetMode::ByName ||
         (options.targetMode == TargetMode::ByPid && options.targetPid != 0);
}

// The index of `value` among the lower-case ASCII `words`, matched regardless
// of case; -1 when it is none of them.
template <size_t N>
int WordIndex(const std::u16string& value, const char16_t* const (&words)[N]) {
  for (size_t index = 0; index < N; ++index) {
    const char16_t* word = words[index];
    size_t length = 0;
    while (length < value.size() && word[length] != 0) {
      char16_t unit = value[length];
      if (unit >= u'A' && unit <= u'Z')
        unit = static_cast<char16_t>(unit + 32);
      if (unit != word[length])
        break;
      ++length;
    }
    if (length == value.size() && word[length] == 0)
      return static_cast<int>(index);
  }
  return -1;
}

// A format's word, matched regardless of case.
bool ApplyFormat(const std::u16string& value, RunOptions* options) {
  std::u16string word = value;
  for (char16_t& unit : word) {
    if (unit >= u'A' && unit <= u'Z')
      unit = static_cast<char16_t>(unit + 32);
  }
  const FormatPolicy* policy = PolicyNamed(word.data(), word.size());
  if (!policy)
    return false;
  options->format = policy->format;
  return true;
}

const char16_t* const kOrderWords[] = {u"pid", u"name", u"total", u"all"};

bool ApplyOrder(const std::u16string& value, RunOptions* options) {
  static const SortOrder kOrders[] = {SortOrder::Pid, SortOrder::Name,
                                      SortOrder::Total, SortOrder::All};
  int index = WordIndex(value, kOrderWords);
  if (index < 0)
    return false;
  options->order = kOrders[index];
  return true;
}

// Decimal digits only, 1 to `maximum`.
bool ParseCount(const std::u16string& value, uint32_t maximum,
                uint32_t* result) {
  if (value.empty())
    return false;
  uint64_t count = 0;
  for (char16_t unit : value) {
    if (unit < u'0' || unit > u'9')
      return false;
    count = count * 10 + static_cast<uint64_t>(unit - u'0');
    if (count > maximum)
      return false;
  }
  if (count == 0)
    return false;
  *result = static_cast<uint32_t>(count);
  return true;
}

bool IsHelpWord(const std::u16string& argument) {
  return IsAnyOf(argument, {u"-h", u"/h", u"-?", u"/?", u"-help", u"/help"});
}

// Any file name but an option word, which a forgotten name leaves in its
// place: the platform says what it cannot write.
bool ApplyOutputFile(const std::u16string& value, RunOptions* options) {
  if (value.empty() || IsOptionWord(value))
    return false;
  options->outputFile = value;
  return true;
}

// -x's value at `first`: a PID (decimal digits, not 0) to attach to, or a
// program to launch with the arguments after it, a name that could be a
// file's. Whether the program or the process is there is for the start to
// say, which refuses with its own exit code.
bool ApplyFollow(const std::vector<std::u16string>& arguments, size_t first,
                 RunOptions* options) {
  const std::u16string& value = arguments[first];
  if (value.empty() || value.find_first_of(u"<>\"|?*") != std::u16string::npos)
    return false;
  for (char16_t unit : value) {
    if (unit < 0x20)
      return false;
  }
  platform::FollowRequest request;
  uint32_t pid = 0;
  if (ParseCount(value, 0xFFFFFFFFu, &pid)) {
    // A PID alone: what follows it is not a program's.
    if (first + 1 != arguments.size())
      return false;
    request.attach = true;
    request.pid = pid;
  } else {
    request.program = value;
    request.arguments.assign(
        arguments.begin() + static_cast<std::ptrdiff_t>(first) + 1,
        arguments.end());
  }
  options->follow = true;
  options->followRequest = std::move(request);
  return true;
}

// ASCII words as a list: "a, b or c".
std::string ListOf(const std::vector<const char16_t*>& words) {
  std::string text;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0)
      text += i + 1 == words.size() ? " or " : ", ";
    for (const char16_t* unit = words[i]; *unit; ++unit)
      text.push_back(static_cast<char>(*unit));
  }
  return text;
}

std::string FormatsTaken() {
  std::vector<const char16_t*> words;
  for (const FormatPolicy& policy : AllPolicies())
    words.push_back(policy.word);
  return ListOf(words);
}

std::string OrdersTaken() {
  return ListOf({std::begin(kOrderWords), std::end(kOrderWords)});
}

std::string FileNameTaken() { return "a file name"; }

// An option that takes the next argument as its value: -x VALUE or /x VALUE.
// A new one is a row here: a count from 1 to `maximum` kept in `count`, or
// a value that `apply` checks and keeps.
struct ValueOption {
  char16_t letter;
  // A count: its field, its largest value, and what it counts.
  uint32_t RunOptions::*count;
  uint32_t maximum;
  const char* unit;
  // Otherwise: stores a valid `value` in `options`, or returns false,
  // changing nothing; and what the option takes, for its usage error.
  bool (*apply)(const std::u16string& value, RunOptions* options);
  std::string (*taken)();
};

constexpr uint32_t kMaxCount = 0xFFFFFFFFu;

constexpr ValueOption kValueOptions[] = {
    {u'o', nullptr, 0, nullptr, ApplyFormat, FormatsTaken},
    {u's', nullptr, 0, nullptr, ApplyOrder, OrdersTaken},
    {u't', &RunOptions::threshold, kMaxCount, "a count", nullptr, nullptr},
    {u'w', &RunOptions::intervalSeconds, kMaxIntervalSeconds, "seconds",
     nullptr, nullptr},
    {u'n', &RunOptions::sampleCount, kMaxSampleCount, "a count", nullptr,
     nullptr},
    {u'g', &RunOptions::growthGate, kMaxCount, "a count", nullptr, nullptr},
    {u'O', nullptr, 0, nullptr, ApplyOutputFile, FileNameTaken},
};

bool ApplyValue(const ValueOption& option, const std::u16string& value,
                RunOptions* options) {
  if (option.apply)
    return option.apply(value, options);
  return ParseCount(value, option.maximum, &(options->*option.count));
}

// The usage error's line for an option that found no valid value.
std::string OptionTakes(const ValueOption& option) {
  std::string line = "kestrel: -";
  line.push_back(static_cast<char>(option.letter));
  line += " takes ";
  if (option.taken)
    return line + option.taken();
  return line + option.unit + " from 1 to " + std::to_string(option.maximum);
}

const ValueOption* FindValueOption(const std::u16string& argument) {
  if (argument.size() != 2 || (argument[0] != u'-' && argument[0] != u'/'))
    return nullptr;
  for (const ValueOption& option : kValueOptions) {
    if (argument[1] == option.letter)
      return &option;
  }
  return nullptr;
}

// An argument as a usage error's line quotes it: cut to its first
// kQuotedUnits units, since an argument may be a megabyte long.
std::string Quoted(const std::u16string& text) {
  constexpr size_t kQuotedUnits = 80;
  if (text.size() <= kQuotedUnits)
    return "'" + ErrorLineText(text) + "'";
  size_t cut = kQuotedUnits;
  // Not between the halves of a surrogate pair.
  if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
    --cut;
  return "'" + ErrorLineText(std::u16string_view(text).substr(0, cut)) + "...'";
}

// The usage error's line for a second target, `second`, after the one
// `options` holds.
std::string SecondTarget(const RunOptions& options,
                         const std::u16string& second) {
  std::string first = options.targetMode == TargetMode::ByPid
                          ? "PID " + std::to_string(options.targetPid)
                          : Quoted(options.targetName);
  std::string line =
      "kestrel: one process name or PID only: " + Quoted(second) + " follows " +
      first;
  if (IsAnyOf(options.targetName, {u"-f", u"/f"}))
    line += " (-f filters only right after -v)";
  return line;
}

}  // namespace

bool IsOptionWord(const std::u16string& argument) {
  return IsHelpWord(argument) ||
         IsAnyOf(argument, {u"-c", u"/c", u"-v", u"/v", u"-x", u"/x"}) ||
         FindValueOption(argument) != nullptr;
}

uint32_t ConvertTargetNumber(const char16_t* text, size_t length,
                             size_t* consumed) {
  size_t position = 0;
  while (position < length && IsAsciiSpace(text[position]))
    ++position;
  bool negative = false;
  if (position < length && (text[position] == u'+' || text[position] == u'-')) {
    negative = text[position] == u'-';
    ++position;
  }
  size_t firstDigit = position;
  uint32_t value = 0;
  bool capped = false;
  while (position < length && text[position] >= u'0' &&
         text[position] <= u'9') {
    uint32_t digit = static_cast<uint32_t>(text[position] - u'0');
    if (!capped) {
      uint64_t next = static_cast<uint64_t>(value) * 10 + digit;
      if (next > 0xFFFFFFFFu) {
        capped = true;
        value = 0xFFFFFFFFu;
      } else {
        value = static_cast<uint32_t>(next);
      }
    }
    ++position;
  }
  if (position == firstDigit) {
    *consumed = 0;
    return 0;
  }
  *consumed = position;
  return negative ? 0u - value : value;
}

ParseOutcome ParseCommandLine(const std::vector<std::u16string>& arguments,
                              RunOptions* options, std::string* message) {
  std::string ignored;
  if (!message)
    message = &ignored;
  message->clear();
  // The first value option word that was read as a target, and whether an
  // option beyond the usage text took its value.
  const ValueOption* readAsTarget = nullptr;
  bool beyondUsage = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& argument = arguments[i];
    if (IsHelpWord(argument))
      return ParseOutcome::Help;
    if (IsAnyOf(argument, {u"-c", u"/c"})) {
      options->showCounts = true;
      continue;
    }
    if (IsAnyOf(argument, {u"-v", u"/v"})) {
      options->showHandles = true;
      if (i + 2 < arguments.size() &&
          IsAnyOf(arguments[i + 1], {u"-f", u"/f"})) {
        options->typeFilter = arguments[i + 2];
        i += 2;
      }
      continue;
    }
    // -x takes the rest of the line: the program and its arguments, or a
    // PID.
    if (IsAnyOf(argument, {u"-x", u"/x"}) && i + 1 < arguments.size() &&
        ApplyFollow(arguments, i + 1, options)) {
      beyondUsage = true;
      break;
    }
    if (const ValueOption* option = FindValueOption(argument)) {
      if (i + 1 < arguments.size() &&
          ApplyValue(*option, arguments[i + 1], options)) {
        beyondUsage = true;
        ++i;
        continue;
      }
      if (!readAsTarget)
        readAsTarget = option;
    }
    if (HoldsNonZeroTarget(*options)) {
      *message = readAsTarget ? OptionTakes(*readAsTarget)
                              : SecondTarget(*options, argument);
      return ParseOutcome::UsageError;
    }
    size_t consumed = 0;
    uint32_t pid =
        ConvertTargetNumber(argument.data(), argument.size(), &consumed);
    if (consumed == argument.size()) {
      options->targetMode = TargetMode::ByPid;
      options->targetPid = pid;
      options->targetName.clear();
    } else {
      options->targetMode = TargetMode::ByName;
      options->targetName = argument;
      options->targetPid = 0;
    }
  }
  // -x's program is the one process the run watches.
  if (options->follow && HoldsNonZeroTarget(*options)) {
    *message =
        "kestrel: -x watches the program it follows: give no "
        "process name or PID beside it";
    return ParseOutcome::UsageError;
  }
  // A run that asks for more than the usage text offers does not watch a
  // process named after an option whose value was forgotten (`-w 2 -n`).
  if (beyondUsage && readAsTarget) {
    *message = OptionTakes(*readAsTarget);
    return ParseOutcome::UsageError;
  }
  // The growth gate judges a watch's first and last samples.
  if (options->growthGate != 0 && !options->Watch()) {
    *message = "kestrel: -g needs a watch (-w SECONDS or -n COUNT)";
    return ParseOutcome::UsageError;
  }
  // A JUnit report is a gate's verdicts: without one it could only pass.
  if (options->format == OutputFormat::Junit) {
    if (options->growthGate == 0 && options->threshold == 0) {
      *message =
          "kestrel: -o junit reports a gate: give -g COUNT (with -w or -n) or "
          "-t COUNT";
      return ParseOutcome::UsageError;
    }
    if (options->follow) {
      *message = "kestrel: -o junit does not report -x's stacks";
      return ParseOutcome::UsageError;
    }
  }
  const FormatPolicy& policy = PolicyOf(options->format);
  if (!policy.handlesAllowed && options->showHandles) {
    *message =
        "kestrel: -o " + ListOf({policy.word}) + " has no per-handle output";
    return ParseOutcome::UsageError;
  }
  return ParseOutcome::Run;
}
