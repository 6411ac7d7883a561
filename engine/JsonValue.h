#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A small JSON reader (RFC 8259) for area files and source documents, so that reading a
// task's area needs no GDAL. Lists of positions, the bulk of a GeoJSON file,
// are kept as plain numbers rather than a value each: a ring of 100,000
// points takes 2 MB instead of 15.

struct JsonMember;

struct JsonValue {
  enum class Kind : unsigned char { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  // An array is held in one of three ways:
  std::vector<double> numbers;     // numbers only (an empty array too);
  std::vector<double> rowNumbers;  // arrays of numbers only, one after the other,
  std::vector<std::size_t> rowEnds;  // each ending here in rowNumbers;
  std::vector<JsonValue> items;    // anything else.
  // A plain struct rather than a pair: a pair of a type not yet complete
  // does not compile with every standard library.
  std::vector<JsonMember> members;

  // The member's value, or nullptr; the last of repeated names.
  const JsonValue* Member(std::string_view name) const;
};

struct JsonMember {
  std::string first;  // the name
  JsonValue second;
};

// The message says what is wrong and where: "... at line 3, column 14".
class JsonSyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws JsonSyntaxError for anything but one JSON value with blanks around
// it, and for nesting deeper than 100 levels.
JsonValue ParseJson(std::string_view text);

// JSON text of a string value, quotes included.
std::string JsonString(std::string_view text);
// A value as compact JSON text on one line, members in their order.
std::string JsonText(const JsonValue& value);
