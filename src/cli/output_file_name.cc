#include "cli/output_file_name.h"

std::u16string OutputFileName(const std::u16string& written, bool sessionKnown,
                              uint32_t sessionId) {
  static const std::u16string kSession = u"{session}";
  if (!sessionKnown)
    return written;
  std::string digits = std::to_string(sessionId);
  const std::u16string id(digits.begin(), digits.end());
  std::u16string name;
  size_t from = 0;
  for (size_t at; (at = written.find(kSession, from)) != std::u16string::npos;
       from = at + kSession.size())
    name.append(written, from, at - from).append(id);
  return name.append(written, from, std::u16string::npos);
}

std::u16string GrowthFileName(const std::u16string& file) {
  const size_t separator = file.find_last_of(u"\\/:");
  const size_t nameStart =
      separator == std::u16string::npos ? 0 : separator + 1;
  size_t end = file.size();
  const size_t dot = file.rfind(u'.');
  if (dot != std::u16string::npos && dot > nameStart)
    end = dot;
  return file.substr(0, end) + u"-growth.csv";
}
