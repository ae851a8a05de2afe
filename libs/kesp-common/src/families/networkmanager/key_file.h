#pragma once
// NetworkManager's connection profiles are key files: "[group]" lines, then
// "key=value" lines, "#" comments. The editor keeps the text as lines and
// touches only the lines of the keys it is asked to change, so that every
// group, key, comment and blank line it does not own stays as it was, in
// place. Pure: the caller reads and writes the file.

#include <string>
#include <utility>
#include <vector>

namespace KESP {
namespace detail {

class KeyFile {
 public:
  KeyFile() = default;
  explicit KeyFile(const std::string& text);

  /// The whole text, each line ended by "\n".
  std::string text() const;
  bool empty() const { return lines_.empty(); }

  /// True when a "[group]" line names group (or its other spelling: the
  /// Ethernet group is "ethernet" or "802-3-ethernet").
  bool hasGroup(const std::string& group) const;
  /// The value of key in group, blanks around it removed; when the key
  /// appears more than once the last one counts, as for the reader of these
  /// files. False, value untouched, when absent.
  bool get(const std::string& group, const std::string& key, std::string& value) const;
  /// Every key of group with its value, in file order.
  std::vector<std::pair<std::string, std::string>> entries(const std::string& group) const;

  /// Gives key the value: its last line in group is rewritten in place
  /// (earlier duplicates removed), else a line is added after the group's
  /// last key, else the group is added at the end.
  void set(const std::string& group, const std::string& key, const std::string& value);
  /// As set, but the lines of the keys in replacing count as lines of key:
  /// the last of them is renamed to key and given the value, the others go.
  /// One key taking the place of several stays where they were, so that
  /// writing the same value again is the same text.
  void set(const std::string& group, const std::string& key, const std::string& value,
           const std::vector<std::string>& replacing);
  /// Removes every line of key in group.
  void remove(const std::string& group, const std::string& key);

 private:
  /// The group each line belongs to ("" before the first group line), and
  /// for key lines the key; empty key for any other line.
  struct LineInfo {
    std::string group;
    std::string key;
    std::string value;
    bool isGroup = false;
  };
  /// Describes every line again after a change of lines_.
  void describe();

  std::vector<std::string> lines_;
  std::vector<LineInfo> infos_;  ///< one per line
};

/// True when name spells group (the two spellings of the Ethernet group).
bool sameGroup(const std::string& name, const std::string& group);

}  // namespace detail
}  // namespace KESP
