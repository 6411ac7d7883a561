#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A small JSON reader for the area files (RFC 8259), so that reading a
// task's area needs no GDAL. Arrays of numbers only, as GeoJSON positions
// are, keep their numbers in one vector instead of one value each.

struct JsonValue {
  enum class Kind : unsigned char { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<double> numbers;  // an array of numbers only (an empty array too)
  std::vector<JsonValue> items;  // any other array
  std::vector<std::pair<std::string, JsonValue>> members;

  // The member's value, or nullptr; the last of repeated names.
  const JsonValue* Member(std::string_view name) const;
};

// The message says what is wrong and where: "... at line 3, column 14".
class JsonSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws JsonSyntaxError for anything but one JSON value with blanks around
// it, and for nesting deeper than 100 levels.
JsonValue ParseJson(std::string_view text);
