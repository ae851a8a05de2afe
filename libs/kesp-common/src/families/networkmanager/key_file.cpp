// Reading and editing key files line by line (see key_file.h).

#include "families/networkmanager/key_file.h"

#include <algorithm>
#include <cstring>

namespace KESP {
namespace detail {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

/// What GLib says of the value's escapes; empty when it takes them.
std::string escapeProblem(std::string_view value) {
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') continue;
    if (++i == value.size()) return "escape character at end of line";
    if (std::strchr("sntr\\;", value[i]) == nullptr || value[i] == '\0')
      return std::string("invalid escape sequence \"\\") + value[i] + "\"";
  }
  return std::string();
}

/// What GLib says of a group line's name; empty when it takes it.
std::string groupProblem(std::string_view name) {
  if (name.empty()) return "invalid group name";
  for (const char c : name)
    if (c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      return "invalid group name";
  return std::string();
}

}  // namespace

std::string keyFileProblem(std::string_view text) {
  bool inGroup = false;
  size_t number = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++number;
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    std::string problem;
    if (line.front() == '[') {
      problem = line.back() == ']' ? groupProblem(line.substr(1, line.size() - 2))
                                   : std::string("invalid group name");
      inGroup = true;
    } else {
      const size_t equals = line.find('=');
      if (equals == std::string_view::npos)
        problem = "not a key-value pair, group, or comment";
      else if (!inGroup)
        problem = "a key before the first group";
      else if (equals == 0)
        problem = "a key without a name";
      else
        problem = escapeProblem(line.substr(equals + 1));
    }
    if (!problem.empty()) return "line " + std::to_string(number) + ": " + problem;
  }
  return std::string();
}

bool sameGroup(std::string_view name, std::string_view group) {
  if (name == group) return true;
  const bool ethernet = name == "ethernet" || name == "802-3-ethernet";
  return ethernet && (group == "ethernet" || group == "802-3-ethernet");
}

KeyFile::KeyFile(std::string text) : text_(std::move(text)) {
  // Offsets are 32 bits wide; the reader never hands over more.
  if (text_.size() > kMaxKeyFileSize) text_.resize(kMaxKeyFileSize);
}

std::string KeyFile::text() const {
  if (text_.empty() || text_.back() == '\n') return text_;
  return text_ + "\n";
}

KeyFile::LineInfo KeyFile::lineAt(size_t start) const {
  const std::string& text = text_;
  const void* newline = std::memchr(text.data() + start, '\n', text.size() - start);
  const size_t lineEnd =
      newline ? static_cast<size_t>(static_cast<const char*>(newline) - text.data()) : text.size();
  LineInfo info;
  info.begin = static_cast<uint32_t>(start);
  info.end = static_cast<uint32_t>(lineEnd);
  size_t begin = start;
  size_t end = lineEnd;
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  if (begin < end && text[begin] == '[' && text[end - 1] == ']' && end - begin >= 2) {
    info.isGroup = true;
    info.keyBegin = static_cast<uint32_t>(begin + 1);
    info.keyEnd = static_cast<uint32_t>(end - 1);
  } else if (begin < end && text[begin] != '#') {
    const void* found = std::memchr(text.data() + begin, '=', end - begin);
    // A line without "=" is no key; it is kept as it is.
    if (found && found != text.data() + begin) {
      const size_t equals = static_cast<size_t>(static_cast<const char*>(found) - text.data());
      size_t keyEnd = equals;
      while (isBlank(text[keyEnd - 1])) --keyEnd;
      size_t valueBegin = equals + 1;
      while (valueBegin < end && isBlank(text[valueBegin])) ++valueBegin;
      info.keyBegin = static_cast<uint32_t>(begin);
      info.keyEnd = static_cast<uint32_t>(keyEnd);
      info.valueBegin = static_cast<uint32_t>(valueBegin);
      info.valueEnd = static_cast<uint32_t>(std::max(end, valueBegin));
    }
  }
  return info;
}

template <typename Visit>
void KeyFile::walk(const std::string& group, Visit visit) const {
  bool inGroup = false;
  for (size_t start = 0; start < text_.size();) {
    const LineInfo info = lineAt(start);
    if (info.isGroup)
      inGroup = sameGroup(std::string_view(text_).substr(info.keyBegin, info.keyEnd - info.keyBegin),
                          group);
    visit(info, inGroup);
    start = info.end + size_t{1};
  }
}

KeyFile::Table KeyFile::describe(const std::string& group) const {
  Table table;
  int32_t groups = -1;
  walk(group, [&](LineInfo info, bool inGroup) {
    if (info.isGroup) {
      table.named.push_back(inGroup);
      ++groups;
    }
    info.group = groups;
    table.infos.push_back(info);
  });
  return table;
}

std::vector<std::string> KeyFile::lines(const Table& table) const {
  std::vector<std::string> result;
  result.reserve(table.infos.size());
  for (const LineInfo& info : table.infos)
    result.emplace_back(text_, info.begin, info.end - info.begin);
  return result;
}

void KeyFile::assign(const std::vector<std::string>& lines) {
  text_.clear();
  for (const std::string& line : lines) {
    text_ += line;
    text_ += '\n';
  }
}

bool KeyFile::keyIs(const LineInfo& info, const std::string& key) const {
  return info.isKey() && info.keyEnd - info.keyBegin == key.size() &&
         text_.compare(info.keyBegin, key.size(), key) == 0;
}

bool KeyFile::hasGroup(const std::string& group) const {
  bool found = false;
  walk(group, [&found](const LineInfo&, bool inGroup) { found = found || inGroup; });
  return found;
}

bool KeyFile::get(const std::string& group, const std::string& key, std::string& value) const {
  bool found = false;
  LineInfo line;
  walk(group, [&](const LineInfo& info, bool inGroup) {
    if (inGroup && keyIs(info, key)) {
      line = info;
      found = true;
    }
  });
  if (found) value.assign(text_, line.valueBegin, line.valueEnd - line.valueBegin);
  return found;
}

std::vector<std::pair<std::string, std::string>> KeyFile::entries(const std::string& group) const {
  std::vector<std::pair<std::string, std::string>> result;
  walk(group, [&](const LineInfo& info, bool inGroup) {
    if (inGroup && info.isKey())
      result.emplace_back(text_.substr(info.keyBegin, info.keyEnd - info.keyBegin),
                          text_.substr(info.valueBegin, info.valueEnd - info.valueBegin));
  });
  return result;
}

void KeyFile::set(const std::string& group, const std::string& key, const std::string& value) {
  set(group, key, value, {});
}

void KeyFile::set(const std::string& group, const std::string& key, const std::string& value,
                  const std::vector<std::string>& replacing) {
  const Table table = describe(group);
  const std::vector<LineInfo>& infos = table.infos;
  auto isTheKey = [&](const LineInfo& info) {
    if (!info.isKey() || !table.inGroup(info)) return false;
    if (keyIs(info, key)) return true;
    for (const std::string& other : replacing)
      if (keyIs(info, other)) return true;
    return false;
  };
  long last = -1;       // the key's last line
  long groupEnd = -1;   // after the last key (or header) of the group's last block
  for (size_t i = 0; i < infos.size(); ++i) {
    if (!table.inGroup(infos[i])) continue;
    if (isTheKey(infos[i])) last = static_cast<long>(i);
    if (infos[i].isGroup || infos[i].isKey()) groupEnd = static_cast<long>(i) + 1;
  }
  std::vector<std::string> edited = lines(table);
  if (last >= 0) {
    const LineInfo& info = infos[static_cast<size_t>(last)];
    // Blanks around the key and the "=" stay as they were.
    edited[static_cast<size_t>(last)] = text_.substr(info.begin, info.keyBegin - info.begin) + key +
                                        text_.substr(info.keyEnd, info.valueBegin - info.keyEnd) +
                                        value;
    // Earlier duplicates would only confuse the next reader of the file.
    for (long i = last - 1; i >= 0; --i)
      if (isTheKey(infos[static_cast<size_t>(i)])) edited.erase(edited.begin() + i);
  } else if (groupEnd >= 0) {
    edited.insert(edited.begin() + groupEnd, key + "=" + value);
  } else {
    if (!edited.empty() && !trimmed(edited.back()).empty()) edited.push_back("");
    edited.push_back("[" + group + "]");
    edited.push_back(key + "=" + value);
  }
  assign(edited);
}

void KeyFile::remove(const std::string& group, const std::string& key) {
  const Table table = describe(group);
  std::vector<std::string> edited = lines(table);
  bool removed = false;
  for (size_t i = table.infos.size(); i-- > 0;) {
    if (keyIs(table.infos[i], key) && table.inGroup(table.infos[i])) {
      edited.erase(edited.begin() + static_cast<long>(i));
      removed = true;
    }
  }
  if (removed) assign(edited);
}

}  // namespace detail
}  // namespace KESP
