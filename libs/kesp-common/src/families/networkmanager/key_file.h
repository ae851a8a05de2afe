#pragma once
// NetworkManager's connection profiles are key files: "[group]" lines, then
// "key=value" lines, "#" comments. The editor keeps the text as lines and
// touches only the lines of the keys it is asked to change, so that every
// group, key, comment and blank line it does not own stays as it was, in
// place. Pure: the caller reads and writes the file.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace KESP {
namespace detail {

/// The largest text a KeyFile describes; the profile reader takes a larger
/// file for an unreadable one.
constexpr size_t kMaxKeyFileSize = size_t{64} << 20;

class KeyFile {
 public:
  KeyFile() = default;
  explicit KeyFile(std::string text);

  /// The whole text, each line ended by "\n".
  std::string text() const;
  bool empty() const { return text_.empty(); }

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
  /// One line of text_, as offsets into it: every profile of the system is
  /// read at each command, so reading copies nothing. `group` indexes
  /// groups_ (-1 before the first group line); a key line has key and value
  /// ranges, any other line empty ones.
  /// 32-bit offsets: every profile of the system is held at once, and the
  /// profile reader takes none of more than kMaxKeyFileSize.
  struct LineInfo {
    uint32_t begin = 0;
    uint32_t end = 0;
    uint32_t keyBegin = 0;
    uint32_t keyEnd = 0;
    uint32_t valueBegin = 0;
    uint32_t valueEnd = 0;
    int32_t group = -1;
    bool isGroup = false;
    bool isKey() const { return keyEnd > keyBegin; }
  };
  /// Describes every line again after a change of text_.
  void describe();
  /// The lines as strings, for an edit; assign() takes them back.
  std::vector<std::string> lines() const;
  void assign(const std::vector<std::string>& lines);
  bool keyIs(const LineInfo& info, const std::string& key) const;
  /// For each of groups_, whether it spells group.
  std::vector<bool> groupsNamed(const std::string& group) const;
  bool inGroup(const LineInfo& info, const std::vector<bool>& named) const {
    return info.group >= 0 && named[static_cast<size_t>(info.group)];
  }

  std::string text_;
  std::vector<LineInfo> infos_;     ///< one per line
  std::vector<std::string> groups_; ///< the name of each group line, in order
};

/// True when name spells group (the two spellings of the Ethernet group).
bool sameGroup(const std::string& name, const std::string& group);

}  // namespace detail
}  // namespace KESP
