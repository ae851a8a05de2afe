#include "json_writer.h"

namespace kesp_config_net {

std::string jsonQuote(const std::string& text) {
  static const char digits[] = "0123456789abcdef";
  std::string result = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': result += "\\\""; break;
      case '\\': result += "\\\\"; break;
      case '\n': result += "\\n"; break;
      case '\t': result += "\\t"; break;
      case '\r': result += "\\r"; break;
      default:
        if (c < 0x20 || c == 0x7f) {
          result += "\\u00";
          result += digits[c >> 4];
          result += digits[c & 15];
        } else {
          result += static_cast<char>(c);
        }
    }
  }
  return result + "\"";
}

void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!started_.empty()) {
    if (started_.back()) out_ += ",";
    started_.back() = true;
  }
}

JsonWriter& JsonWriter::beginObject() {
  beforeValue();
  out_ += "{";
  started_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  out_ += "}";
  if (!started_.empty()) started_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::beginArray() {
  beforeValue();
  out_ += "[";
  started_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  out_ += "]";
  if (!started_.empty()) started_.pop_back();
  return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
  beforeValue();
  out_ += jsonQuote(name) + ":";
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::value(const std::string& text) {
  beforeValue();
  out_ += jsonQuote(text);
  return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
  beforeValue();
  out_ += flag ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::value(long number) {
  beforeValue();
  out_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::valueOrNull(const std::string& text) {
  return text.empty() ? null() : value(text);
}

JsonWriter& JsonWriter::null() {
  beforeValue();
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::stringArray(const std::vector<std::string>& texts) {
  beginArray();
  for (const std::string& text : texts) value(text);
  return endArray();
}

}  // namespace kesp_config_net
