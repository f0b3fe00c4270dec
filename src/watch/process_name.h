// A process's executable name as a watch keeps it: one exact allocation in
// a pointer's room, since a watch keeps one for every process that grew and
// exited, to the end.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

class ProcessName {
 public:
  ProcessName() = default;
  explicit ProcessName(std::u16string_view name) { Assign(name); }
  ProcessName(const ProcessName& other) { Assign(other.view()); }
  ProcessName& operator=(const ProcessName& other) {
    if (this != &other)
      Assign(other.view());
    return *this;
  }
  ProcessName(ProcessName&&) noexcept = default;
  ProcessName& operator=(ProcessName&&) noexcept = default;

  // NUL-terminated, as the record's name is.
  const char16_t* c_str() const { return text_ ? text_.get() : u""; }
  std::u16string_view view() const { return c_str(); }

 private:
  void Assign(std::u16string_view name) {
    auto text = std::make_unique<char16_t[]>(name.size() + 1);
    name.copy(text.get(), name.size());
    text_ = std::move(text);
  }

  std::unique_ptr<char16_t[]> text_;
};
