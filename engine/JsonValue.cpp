#include "JsonValue.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

const JsonValue* JsonValue::Member(std::string_view name) const {
  for (auto at = members.rbegin(); at != members.rend(); ++at) {
    if (at->first == name) return &at->second;
  }
  return nullptr;
}

namespace {

constexpr int kMaxDepth = 100;

class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {
    if (text_.starts_with("\xEF\xBB\xBF")) pos_ = 3;  // a byte-order mark some editors add
  }

  JsonValue Document() {
    JsonValue value = Value(0);
    SkipBlanks();
    if (pos_ != text_.size()) Fail("unexpected text after the end");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < pos_ && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw JsonSyntaxError(what + " at line " + std::to_string(line) + ", column " + std::to_string(column));
  }

  void SkipBlanks() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
      ++pos_;
  }

  char Peek() {
    SkipBlanks();
    if (pos_ == text_.size()) Fail("unexpected end of the file");
    return text_[pos_];
  }

  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  void Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) Fail("unknown word");
    pos_ += word.size();
  }

  JsonValue Value(int depth) {
    if (depth > kMaxDepth) Fail("nesting too deep");
    JsonValue value;
    switch (Peek()) {
      case '{':
        value.kind = JsonValue::Kind::Object;
        Object(value, depth);
        break;
      case '[':
        value.kind = JsonValue::Kind::Array;
        Array(value, depth);
        break;
      case '"':
        value.kind = JsonValue::Kind::String;
        value.text = String();
        break;
      case 't':
        Word("true");
        value.kind = JsonValue::Kind::Boolean;
        value.boolean = true;
        break;
      case 'f':
        Word("false");
        value.kind = JsonValue::Kind::Boolean;
        break;
      case 'n':
        Word("null");
        break;
      default:
        value.kind = JsonValue::Kind::Number;
        value.number = Number();
    }
    return value;
  }

  void Object(JsonValue& value, int depth) {
    ++pos_;
    if (Peek() == '}') {
      ++pos_;
      return;
    }
    for (;;) {
      if (Peek() != '"') Fail("expected a member name");
      std::string name = String();
      Expect(':');
      value.members.push_back(JsonMember{std::move(name), Value(depth + 1)});
      if (Peek() == '}') break;
      Expect(',');
    }
    ++pos_;
  }

  void Array(JsonValue& value, int depth) {
    ++pos_;
    if (Peek() == ']') {
      ++pos_;
      return;
    }
    for (;;) {
      JsonValue item = Value(depth + 1);
      const bool onlyNumbers = item.kind == JsonValue::Kind::Array && item.items.empty() && item.rowEnds.empty();
      if (item.kind == JsonValue::Kind::Number && value.items.empty() && value.rowEnds.empty()) {
        value.numbers.push_back(item.number);
      } else if (onlyNumbers && value.items.empty() && value.numbers.empty()) {
        value.rowNumbers.insert(value.rowNumbers.end(), item.numbers.begin(), item.numbers.end());
        value.rowEnds.push_back(value.rowNumbers.size());
      } else {
        ToItems(value);
        value.items.push_back(std::move(item));
      }
      if (Peek() == ']') break;
      Expect(',');
    }
    ++pos_;
  }

  // A mixed array after all: what was kept as plain numbers becomes values.
  static void ToItems(JsonValue& value) {
    for (const double n : value.numbers) {
      JsonValue& item = value.items.emplace_back();
      item.kind = JsonValue::Kind::Number;
      item.number = n;
    }
    std::size_t start = 0;
    for (const std::size_t end : value.rowEnds) {
      JsonValue& item = value.items.emplace_back();
      item.kind = JsonValue::Kind::Array;
      item.numbers.assign(value.rowNumbers.begin() + static_cast<std::ptrdiff_t>(start),
                          value.rowNumbers.begin() + static_cast<std::ptrdiff_t>(end));
      start = end;
    }
    value.numbers.clear();
    value.rowNumbers.clear();
    value.rowEnds.clear();
  }

  double Number() {
    const std::size_t start = pos_;
    const auto digits = [&] {
      const std::size_t from = pos_;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
      return pos_ - from;
    };
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    const std::size_t intStart = pos_;
    const std::size_t intDigits = digits();
    if (intDigits == 0 || (intDigits > 1 && text_[intStart] == '0')) Fail("not a number");
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (digits() == 0) Fail("not a number");
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (digits() == 0) Fail("not a number");
    }
    double number = 0;
    const auto [end, error] = std::from_chars(text_.data() + start, text_.data() + pos_, number);
    if (error != std::errc() || !std::isfinite(number)) {
      pos_ = start;
      Fail("a number out of range");
    }
    return number;
  }

  unsigned Hex4() {
    if (pos_ + 4 > text_.size()) Fail("a broken \\u escape");
    unsigned code = 0;
    const auto [end, error] = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, code, 16);
    if (error != std::errc() || end != text_.data() + pos_ + 4) Fail("a broken \\u escape");
    pos_ += 4;
    return code;
  }

  static void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  std::string String() {
    ++pos_;
    std::string out;
    for (;;) {
      if (pos_ >= text_.size()) Fail("unexpected end of the file in a string");
      const char c = text_[pos_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) Fail("a control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) Fail("unexpected end of the file in a string");
      switch (const char e = text_[pos_++]) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t code = Hex4();
          if (code >= 0xD800 && code < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
            pos_ += 2;
            const uint32_t low = Hex4();
            if (low < 0xDC00 || low >= 0xE000) Fail("a broken \\u escape");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, code);
          break;
        }
        default:
          Fail("an unknown escape in a string");
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

JsonValue ParseJson(std::string_view text) { return JsonParser(text).Document(); }

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

std::string JsonNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string JsonNumbers(const std::vector<double>& numbers, std::size_t from, std::size_t to) {
  std::string out = "[";
  for (std::size_t i = from; i < to; ++i) out += (i > from ? "," : "") + JsonNumber(numbers[i]);
  return out + "]";
}

}  // namespace

std::string JsonText(const JsonValue& value) {
  switch (value.kind) {
    case JsonValue::Kind::Null: return "null";
    case JsonValue::Kind::Boolean: return value.boolean ? "true" : "false";
    case JsonValue::Kind::Number: return JsonNumber(value.number);
    case JsonValue::Kind::String: return JsonString(value.text);
    case JsonValue::Kind::Array: {
      if (!value.items.empty()) {
        std::string out = "[";
        for (std::size_t i = 0; i < value.items.size(); ++i) out += (i ? "," : "") + JsonText(value.items[i]);
        return out + "]";
      }
      if (value.rowEnds.empty()) return JsonNumbers(value.numbers, 0, value.numbers.size());
      std::string out = "[";
      for (std::size_t row = 0, from = 0; row < value.rowEnds.size(); from = value.rowEnds[row++])
        out += (row ? "," : "") + JsonNumbers(value.rowNumbers, from, value.rowEnds[row]);
      return out + "]";
    }
    case JsonValue::Kind::Object: {
      std::string out = "{";
      for (std::size_t i = 0; i < value.members.size(); ++i)
        out += (i ? "," : "") + JsonString(value.members[i].first) + ":" + JsonText(value.members[i].second);
      return out + "}";
    }
  }
  return "null";
}
