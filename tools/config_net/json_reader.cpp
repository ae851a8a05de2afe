#include "json_reader.h"

#include <cstdint>
#include <set>

#include "kesp/util.h"

namespace kesp_config_net {

namespace {

/// The character a one-letter escape stands for; '\0' for none.
char unescaped(char letter) {
  static const char kPairs[] = "\"\"\\\\//b\bf\fn\nr\rt\t";
  for (size_t i = 0; i + 1 < sizeof kPairs; i += 2)
    if (kPairs[i] == letter) return kPairs[i + 1];
  return '\0';
}

class Reader {
 public:
  explicit Reader(const std::string& text) : text_(text) {}

  bool document(JsonValue& value) {
    skipBlanks();
    if (!parseValue(value, 0)) return false;
    skipBlanks();
    return pos_ == text_.size() || fail("text after the document");
  }

  std::string error() const {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < failedAt_ && i < text_.size(); ++i) {
      if (text_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason_;
  }

 private:
  bool fail(const std::string& reason) {
    if (reason_.empty()) {
      reason_ = reason;
      failedAt_ = pos_;
    }
    return false;
  }

  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }

  void skipBlanks() {
    while (!atEnd() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
      ++pos_;
  }

  bool literal(const char* word) {
    const std::string expected(word);
    if (text_.compare(pos_, expected.size(), expected) != 0) return fail("unexpected character");
    pos_ += expected.size();
    return true;
  }

  bool parseValue(JsonValue& value, int depth) {
    if (depth > kMaxJsonDepth) return fail("nested too deeply");
    if (++values_ > kMaxJsonValues)
      return fail("more than " + std::to_string(kMaxJsonValues) + " values");
    switch (peek()) {
      case '{':
        return parseObject(value, depth);
      case '[':
        return parseArray(value, depth);
      case '"':
        value.type = JsonValue::String;
        return parseString(value.text);
      case 't':
        value.type = JsonValue::Bool;
        value.flag = true;
        return literal("true");
      case 'f':
        value.type = JsonValue::Bool;
        return literal("false");
      case 'n':
        value.type = JsonValue::Null;
        return literal("null");
      default:
        if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return parseNumber(value);
        return fail(atEnd() ? "unexpected end of the document" : "unexpected character");
    }
  }

  bool digits() {
    const size_t start = pos_;
    while (peek() >= '0' && peek() <= '9') ++pos_;
    return pos_ > start || fail("a digit is missing");
  }

  bool parseNumber(JsonValue& value) {
    const size_t start = pos_;
    if (peek() == '-') ++pos_;
    if (peek() == '0') {
      ++pos_;
    } else if (!digits()) {
      return false;
    }
    if (peek() == '.') {
      ++pos_;
      if (!digits()) return false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!digits()) return false;
    }
    value.type = JsonValue::Number;
    value.text = text_.substr(start, pos_ - start);
    return true;
  }

  bool hex4(uint32_t& code) {
    code = 0;
    for (int i = 0; i < 4; ++i, ++pos_) {
      const char c = peek();
      code <<= 4;
      if (c >= '0' && c <= '9')
        code |= static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        code |= static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        code |= static_cast<uint32_t>(c - 'A' + 10);
      else
        return fail("\\u needs four hexadecimal digits");
    }
    return true;
  }

  static void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xc0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xe0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (code & 0x3f));
    }
  }

  bool unicodeEscape(std::string& out) {
    uint32_t code = 0;
    if (!hex4(code)) return false;
    if (code >= 0xdc00 && code <= 0xdfff) return fail("a lone low surrogate");
    if (code >= 0xd800 && code <= 0xdbff) {
      uint32_t low = 0;
      if (text_.compare(pos_, 2, "\\u") != 0) return fail("a high surrogate without its pair");
      pos_ += 2;
      if (!hex4(low)) return false;
      if (low < 0xdc00 || low > 0xdfff) return fail("a high surrogate without its pair");
      code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
    }
    appendUtf8(out, code);
    return true;
  }

  bool parseString(std::string& out) {
    ++pos_;  // the opening quote
    out.clear();
    for (;;) {
      if (atEnd()) return fail("a string is not closed");
      const char c = text_[pos_];
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (static_cast<unsigned char>(c) < 0x20) return fail("a control character in a string");
      ++pos_;
      if (c != '\\') {
        out += c;
        continue;
      }
      const char escaped = peek();
      ++pos_;
      if (escaped == 'u') {
        if (!unicodeEscape(out)) return false;
        continue;
      }
      const char plain = unescaped(escaped);
      if (plain == '\0') {
        --pos_;
        return fail("an unknown escape in a string");
      }
      out += plain;
    }
  }

  bool parseArray(JsonValue& value, int depth) {
    value.type = JsonValue::Array;
    ++pos_;
    skipBlanks();
    if (peek() == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      value.items.emplace_back();
      if (!parseValue(value.items.back(), depth + 1)) return false;
      skipBlanks();
      if (peek() == ']') {
        ++pos_;
        return true;
      }
      if (peek() != ',') return fail("',' or ']' expected");
      ++pos_;
      skipBlanks();
    }
  }

  bool parseObject(JsonValue& value, int depth) {
    value.type = JsonValue::Object;
    ++pos_;
    skipBlanks();
    if (peek() == '}') {
      ++pos_;
      return true;
    }
    std::set<std::string> seen;
    for (;;) {
      if (peek() != '"') return fail("a member name in double quotes expected");
      std::string name;
      const size_t nameAt = pos_;
      if (!parseString(name)) return false;
      if (!seen.insert(name).second) {
        pos_ = nameAt;
        return fail("the member \"" + KESP::terminalSafe(name) + "\" appears twice");
      }
      skipBlanks();
      if (peek() != ':') return fail("':' expected");
      ++pos_;
      skipBlanks();
      value.members.emplace_back(name, JsonValue());
      if (!parseValue(value.members.back().second, depth + 1)) return false;
      skipBlanks();
      if (peek() == '}') {
        ++pos_;
        return true;
      }
      if (peek() != ',') return fail("',' or '}' expected");
      ++pos_;
      skipBlanks();
    }
  }

  const std::string& text_;
  size_t pos_ = 0;
  size_t values_ = 0;
  size_t failedAt_ = 0;
  std::string reason_;
};

}  // namespace

const JsonValue* JsonValue::member(const std::string& name) const {
  for (const auto& entry : members)
    if (entry.first == name) return &entry.second;
  return nullptr;
}

const char* jsonTypeName(JsonValue::Type type) {
  static const char* const kNames[] = {"null",     "true or false", "a number",
                                       "a string", "a list",        "an object"};
  return kNames[type];
}

bool parseJson(const std::string& text, JsonValue& value, std::string& error) {
  value = JsonValue();
  Reader reader(text);
  if (reader.document(value)) return true;
  error = reader.error();
  return false;
}

}  // namespace kesp_config_net
