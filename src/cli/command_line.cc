#include "cli/command_line.h"

#include <initializer_list>

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
                              RunOptions* options) {
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
    if (HoldsNonZeroTarget(*options))
      return ParseOutcome::UsageError;
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
  return ParseOutcome::Run;
}
