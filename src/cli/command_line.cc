#include "cli/command_line.h"

#include <cstddef>
#include <initializer_list>
#include <string>

#include "output/format_policy.h"

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

bool ApplyOrder(const std::u16string& value, RunOptions* options) {
  static const char16_t* const kWords[] = {u"pid", u"name", u"total", u"all"};
  static const SortOrder kOrders[] = {SortOrder::Pid, SortOrder::Name,
                                      SortOrder::Total, SortOrder::All};
  int index = WordIndex(value, kWords);
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

bool ApplyThreshold(const std::u16string& value, RunOptions* options) {
  return ParseCount(value, 0xFFFFFFFFu, &options->threshold);
}

bool ApplyInterval(const std::u16string& value, RunOptions* options) {
  return ParseCount(value, kMaxIntervalSeconds, &options->intervalSeconds);
}

bool ApplySampleCount(const std::u16string& value, RunOptions* options) {
  return ParseCount(value, kMaxSampleCount, &options->sampleCount);
}

bool ApplyGrowthGate(const std::u16string& value, RunOptions* options) {
  return ParseCount(value, 0xFFFFFFFFu, &options->growthGate);
}

// Any file name: the platform says what it cannot write.
bool ApplyOutputFile(const std::u16string& value, RunOptions* options) {
  if (value.empty())
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

// An option that takes the next argument as its value: -x VALUE or /x VALUE.
// A new one is a row here.
struct ValueOption {
  char16_t letter;
  // Stores a valid `value` in `options`; false, changing nothing, otherwise.
  bool (*apply)(const std::u16string& value, RunOptions* options);
  // The usage error's line when the option word was read as a target.
  const char* accepted;
};

constexpr ValueOption kValueOptions[] = {
    {u'o', ApplyFormat,
     "kestrel: -o takes text, csv, json, html, prometheus or live"},
    {u's', ApplyOrder, "kestrel: -s takes pid, name, total or all"},
    {u't', ApplyThreshold, "kestrel: -t takes a count from 1 to 4294967295"},
    {u'w', ApplyInterval, "kestrel: -w takes seconds from 1 to 86400"},
    {u'n', ApplySampleCount, "kestrel: -n takes a count from 1 to 1000000"},
    {u'g', ApplyGrowthGate, "kestrel: -g takes a count from 1 to 4294967295"},
    {u'O', ApplyOutputFile, "kestrel: -O takes a file name"},
};

const ValueOption* FindValueOption(const std::u16string& argument) {
  if (argument.size() != 2 || (argument[0] != u'-' && argument[0] != u'/'))
    return nullptr;
  for (const ValueOption& option : kValueOptions) {
    if (argument[1] == option.letter)
      return &option;
  }
  return nullptr;
}

}  // namespace

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
  if (message)
    message->clear();
  // The first value option word that was read as a target.
  const ValueOption* readAsTarget = nullptr;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::u16string& argument = arguments[i];
    if (IsAnyOf(argument, {u"-h", u"/h", u"-?", u"/?", u"-help", u"/help"}))
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
        ApplyFollow(arguments, i + 1, options))
      break;
    if (const ValueOption* option = FindValueOption(argument)) {
      if (i + 1 < arguments.size() &&
          option->apply(arguments[i + 1], options)) {
        ++i;
        continue;
      }
      if (!readAsTarget)
        readAsTarget = option;
    }
    if (HoldsNonZeroTarget(*options)) {
      if (message && readAsTarget)
        *message = readAsTarget->accepted;
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
    if (message)
      *message =
          "kestrel: -x watches the program it follows: give no "
          "process name or PID beside it";
    return ParseOutcome::UsageError;
  }
  // The growth gate judges a watch's first and last samples.
  if (options->growthGate != 0 && !options->Watch()) {
    if (message)
      *message = "kestrel: -g needs a watch (-w SECONDS or -n COUNT)";
    return ParseOutcome::UsageError;
  }
  const FormatPolicy& policy = PolicyOf(options->format);
  if (!policy.handlesAllowed && options->showHandles) {
    if (message) {
      *message = "kestrel: -o ";
      // The words are ASCII.
      for (const char16_t* unit = policy.word; *unit; ++unit)
        message->push_back(static_cast<char>(*unit));
      *message += " has no per-handle output";
    }
    return ParseOutcome::UsageError;
  }
  return ParseOutcome::Run;
}
