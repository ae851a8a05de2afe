#pragma once
// A small writer of compact JSON for the --json output: it places the commas
// and escapes the strings, so that renderers only say what goes where.

#include <string>
#include <vector>

namespace kesp_config_net {

class JsonWriter {
 public:
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  /// The name of the next member of the current object.
  JsonWriter& key(const std::string& name);
  JsonWriter& value(const std::string& text);
  JsonWriter& value(const char* text) { return value(std::string(text)); }
  JsonWriter& value(bool flag);
  JsonWriter& value(long number);
  /// A string, or null when the text is empty ("not set").
  JsonWriter& valueOrNull(const std::string& text);
  JsonWriter& null();
  JsonWriter& stringArray(const std::vector<std::string>& texts);

  /// The document so far, with a final newline.
  std::string text() const { return out_ + "\n"; }

 private:
  void beforeValue();

  std::string out_;
  // One flag per open container: whether it holds a member already.
  std::vector<bool> started_;
  bool afterKey_ = false;
};

/// text as a JSON string literal, quotes included (UTF-8 passes unchanged).
std::string jsonQuote(const std::string& text);

}  // namespace kesp_config_net
