#pragma once
// YAML documents as a small tree in memory: read and written through libyaml,
// so that no document is ever put together from strings.

#include <string>
#include <utility>
#include <vector>

namespace KESP {
namespace detail {

/// One node of a document: a scalar, a sequence or a mapping (keys in the
/// document's order; a key that is not a scalar is refused when reading).
struct YamlNode {
  enum class Kind { Scalar, Sequence, Mapping };

  Kind kind = Kind::Scalar;
  std::string value;  ///< a scalar's text
  /// A quoted scalar is text whatever it reads like ("yes", "1400"); it is
  /// written quoted again.
  bool quoted = false;
  /// Where the node begins in the text it was read from (from 1); 0 for a
  /// node made in memory.
  unsigned line = 0;
  std::vector<YamlNode> items;
  std::vector<std::pair<std::string, YamlNode>> entries;

  static YamlNode scalar(const std::string& text);
  static YamlNode mapping();
  static YamlNode sequence();

  bool isScalar() const { return kind == Kind::Scalar; }
  bool isMapping() const { return kind == Kind::Mapping; }
  bool isSequence() const { return kind == Kind::Sequence; }
  /// The value under key of a mapping; null when absent or not a mapping.
  const YamlNode* find(const std::string& key) const;
  YamlNode* find(const std::string& key);
  /// The value under key, added at the end (as an empty mapping) when absent;
  /// the node becomes a mapping first when it is not one.
  YamlNode& at(const std::string& key);
  /// Removes key from a mapping; false when it was not there.
  bool erase(const std::string& key);
};

/// Reads the first document of text. An empty text gives an empty mapping.
/// A key repeated in one mapping is refused, and so are more than 32768 nodes
/// and a value of more than 1 MiB. Aliases are refused (nothing this library
/// reads uses them, and they can multiply a small file into a huge tree).
/// False with a "line:column: what" text in error.
bool parseYaml(const std::string& text, YamlNode& root, std::string& error);

/// The document in block style. False only when the emitter fails.
bool emitYaml(const YamlNode& root, std::string& text);

}  // namespace detail
}  // namespace KESP
