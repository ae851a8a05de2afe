#pragma once
// A small reader of JSON documents (RFC 8259) for the state document: the
// whole text in, a tree of values out, or the place and reason of the first
// fault. Bounded: nesting deeper than kMaxJsonDepth is refused, so no input
// can exhaust the stack, and more than kMaxJsonValues values too, so that no
// input of a few megabytes becomes a tree of hundreds.

#include <string>
#include <utility>
#include <vector>

namespace kesp_config_net {

const int kMaxJsonDepth = 32;
/// Far more than the state of any system (a few per interface).
const size_t kMaxJsonValues = 65536;

struct JsonValue {
  enum Type { Null, Bool, Number, String, Array, Object };
  Type type = Null;
  bool flag = false;
  /// A string's decoded text (UTF-8), or a number's literal as written.
  std::string text;
  std::vector<JsonValue> items;
  /// Members in document order; a name appears once (duplicates are refused).
  std::vector<std::pair<std::string, JsonValue>> members;

  /// The member named name, or null.
  const JsonValue* member(const std::string& name) const;
};

/// The type's name for messages: "an object", "a string", ...
const char* jsonTypeName(JsonValue::Type type);

/// Parses text as one JSON value with nothing but blanks around it. False
/// with "line L, column C: reason" in error on any fault.
bool parseJson(const std::string& text, JsonValue& value, std::string& error);

}  // namespace kesp_config_net
