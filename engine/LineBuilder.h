#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "TextFormat.h"

// The lines of a task file built as data: each call adds one line (a label
// and its value joined) with CR LF after it.
class LineBuilder {
 public:
  LineBuilder& operator()(std::string_view text) {
    text_ += text;
    text_ += kCrLf;
    return *this;
  }
  LineBuilder& operator()(std::string_view label, std::string_view value) {
    text_ += label;
    return (*this)(value);
  }
  LineBuilder& operator()(std::string_view label, int64_t value) { return (*this)(label, std::to_string(value)); }
  LineBuilder& operator()(std::string_view label, double value) { return (*this)(label, FormatGeneral(value)); }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};
