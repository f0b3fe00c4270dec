#include "presentation/format.h"

#include <cmath>

namespace {

size_t Length(const char16_t* text) {
  size_t length = 0;
  while (text[length])
    ++length;
  return length;
}

}  // namespace

void AppendSpaceSigned(std::u16string& line, int32_t value, int width) {
  char16_t digits[12];
  int count = 0;
  // In 64 bits, so that INT32_MIN negates.
  int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
  do {
    digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  digits[count++] = value < 0 ? u'-' : u' ';
  for (int fill = count; fill < width; ++fill)
    line.push_back(u' ');
  while (count > 0)
    line.push_back(digits[--count]);
}

void AppendPadded(std::u16string& line, const char16_t* text, int width,
                  bool alignLeft) {
  size_t length = Length(text);
  size_t fill = length < static_cast<size_t>(width)
                    ? static_cast<size_t>(width) - length
                    : 0;
  if (!alignLeft)
    line.append(fill, u' ');
  line.append(text, length);
  if (alignLeft)
    line.append(fill, u' ');
}

char* FormatPointer(char* out, uint64_t value) {
  // Two digits a byte, from a table of the 256 byte values.
  static const struct HexPairs {
    char digits[256][2];
    HexPairs() : digits() {
      const char* hex = "0123456789ABCDEF";
      for (int byte = 0; byte < 256; ++byte) {
        digits[byte][0] = hex[byte >> 4];
        digits[byte][1] = hex[byte & 0xF];
      }
    }
  } kPairs;
  for (int shift = 56; shift >= 0; shift -= 8) {
    const char* pair = kPairs.digits[(value >> shift) & 0xFF];
    *out++ = pair[0];
    *out++ = pair[1];
  }
  return out;
}

char* FormatDecimal(char* out, uint64_t value) {
  char digits[20];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (count > 0)
    *out++ = digits[--count];
  return out;
}

void AppendText(std::u16string& line, const char16_t* text) {
  line.append(text, Length(text));
}

void AppendAscii(std::u16string& line, std::string_view ascii) {
  line.append(ascii.begin(), ascii.end());
}

std::u16string Utf16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

void AppendNumber(std::u16string& line, int64_t value) {
  // In unsigned, so that INT64_MIN negates.
  uint64_t magnitude = static_cast<uint64_t>(value);
  if (value < 0) {
    line.push_back(u'-');
    magnitude = 0 - magnitude;
  }
  char digits[20];
  char* end = FormatDecimal(digits, magnitude);
  line.append(digits, end);
}

void AppendNumber(std::string& out, int64_t value) {
  // In unsigned, so that INT64_MIN negates.
  uint64_t magnitude = static_cast<uint64_t>(value);
  if (value < 0) {
    out.push_back('-');
    magnitude = 0 - magnitude;
  }
  char digits[20];
  out.append(digits, FormatDecimal(digits, magnitude));
}

void AppendSigned(std::u16string& line, int64_t value) {
  if (value > 0)
    line.push_back(u'+');
  AppendNumber(line, value);
}

std::string FormatSeconds(uint64_t milliseconds) {
  std::string text = std::to_string(milliseconds / 1000);
  uint64_t rest = milliseconds % 1000;
  if (rest != 0) {
    char digits[4] = {static_cast<char>('0' + rest / 100),
                      static_cast<char>('0' + rest / 10 % 10),
                      static_cast<char>('0' + rest % 10), 0};
    std::string fraction = digits;
    fraction.erase(fraction.find_last_not_of('0') + 1);
    text += "." + fraction;
  }
  return text;
}

std::string FormatCount(int64_t value) {
  // In unsigned arithmetic, so that INT64_MIN negates.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value)
                                 : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  std::string text = value < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0)
      text.push_back(',');
    text.push_back(digits[i]);
  }
  return text;
}

std::string FormatOneDecimal(double value) {
  int64_t tenths = std::llround(std::fabs(value) * 10);
  return std::string(value < 0 && tenths != 0 ? "-" : "") +
         std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

std::string FormatDuration(uint64_t seconds, DurationStyle style) {
  uint64_t minutes = seconds / 60;
  if (minutes == 0)
    return std::to_string(seconds) + " s";
  if (minutes < style.hoursFromMinutes) {
    std::string text = std::to_string(minutes) + " min";
    if (style.secondsAfterMinutes && seconds % 60 != 0)
      text += " " + std::to_string(seconds % 60) + " s";
    return text;
  }
  std::string text = std::to_string(minutes / 60) + " h";
  if (minutes % 60 != 0)
    text += " " + std::to_string(minutes % 60) + " min";
  return text;
}

std::string FormatRate(double perMinute) {
  struct Unit {
    const char* name;
    double minutes;
  };
  static const Unit kUnits[] = {{"/min", 1}, {"/h", 60}, {"/day", 1440}};
  const double magnitude = std::fabs(perMinute);
  const Unit* unit = &kUnits[0];
  for (const Unit& next : kUnits) {
    unit = &next;
    if (std::llround(magnitude * next.minutes * 10) != 0 || magnitude == 0)
      break;
  }
  return (perMinute < 0 ? "-" : "+") +
         FormatOneDecimal(magnitude * unit->minutes) + unit->name;
}
