#pragma once
// NetworkManager's connection profiles are key files: "[group]" lines, then
// "key=value" lines, "#" comments. The editor keeps the text as lines and
// touches only the lines of the keys it is asked to change, so that every
// group, key, comment and blank line it does not own stays as it was, in
// place. Pure: the caller reads and writes the file.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/file_write.h"

namespace KESP {
namespace detail {

/// The largest text a KeyFile describes; the profile reader takes a larger
/// file for an unreadable one.
constexpr size_t kMaxKeyFileSize = kMaxReadBytes;

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
  /// Calls visit(group, key, value) for every key line in file order, and
  /// visit(group, "", "") for every group line (views into the text): several
  /// keys read in one pass.
  template <typename Visit>
  void forEachKey(Visit visit) const;

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
  /// read at each command, so reading copies nothing and keeps no table; only
  /// an edit describes every line. A key line has key and value ranges; a
  /// group line has its name in the key range. `group` (in a table) counts
  /// the group lines before it, -1 before the first.
  /// 32-bit offsets: the profile reader takes no file of more than
  /// kMaxKeyFileSize.
  struct LineInfo {
    uint32_t begin = 0;
    uint32_t end = 0;
    uint32_t keyBegin = 0;
    uint32_t keyEnd = 0;
    uint32_t valueBegin = 0;
    uint32_t valueEnd = 0;
    int32_t group = -1;
    bool isGroup = false;
    bool isKey() const { return !isGroup && keyEnd > keyBegin; }
  };
  /// Every line, and for each group line whether it names the group of an
  /// edit.
  struct Table {
    std::vector<LineInfo> infos;
    std::vector<bool> named;
    bool inGroup(const LineInfo& info) const {
      return info.group >= 0 && named[static_cast<size_t>(info.group)];
    }
  };
  /// The line that starts at offset start.
  LineInfo lineAt(size_t start) const;
  /// Calls visit(info, inGroup) for every line in file order, inGroup
  /// telling whether the line is in a group that names group.
  template <typename Visit>
  void walk(const std::string& group, Visit visit) const;
  Table describe(const std::string& group) const;
  /// The lines as strings, for an edit; assign() takes them back.
  std::vector<std::string> lines(const Table& table) const;
  void assign(const std::vector<std::string>& lines);
  bool keyIs(const LineInfo& info, const std::string& key) const;

  std::string text_;
};

template <typename Visit>
void KeyFile::forEachKey(Visit visit) const {
  const std::string_view text(text_);
  std::string_view group;
  bool inGroup = false;
  for (size_t start = 0; start < text.size();) {
    const LineInfo info = lineAt(start);
    if (info.isGroup) {
      group = text.substr(info.keyBegin, info.keyEnd - info.keyBegin);
      inGroup = true;
      visit(group, std::string_view(), std::string_view());
    } else if (inGroup && info.isKey()) {
      visit(group, text.substr(info.keyBegin, info.keyEnd - info.keyBegin),
            text.substr(info.valueBegin, info.valueEnd - info.valueBegin));
    }
    start = info.end + size_t{1};
  }
}

/// What the key file reader of NetworkManager (GLib's) refuses in text, as
/// "line N: what"; empty when nothing. A line that is no group, key or
/// comment, or a key before the first group, loses the whole file; a value
/// with an escape other than \s \n \t \r \\ and \; (lists), or a "\" at its
/// end, is not read.
std::string keyFileProblem(std::string_view text);

/// True when name spells group (the two spellings of the Ethernet group).
bool sameGroup(std::string_view name, std::string_view group);

}  // namespace detail
}  // namespace KESP
