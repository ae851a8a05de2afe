// Reading and editing key files line by line (see key_file.h).

#include "families/networkmanager/key_file.h"

#include <algorithm>

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

}  // namespace

bool sameGroup(const std::string& name, const std::string& group) {
  if (name == group) return true;
  const bool ethernet = name == "ethernet" || name == "802-3-ethernet";
  return ethernet && (group == "ethernet" || group == "802-3-ethernet");
}

KeyFile::KeyFile(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines_.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  describe();
}

std::string KeyFile::text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\n";
  return text;
}

void KeyFile::describe() {
  // Works on positions in the lines rather than trimmed copies: every
  // profile of the system is described at each command.
  std::vector<LineInfo> infos(lines_.size());
  std::string group;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const std::string& line = lines_[i];
    size_t begin = 0;
    size_t end = line.size();
    while (begin < end && isBlank(line[begin])) ++begin;
    while (end > begin && isBlank(line[end - 1])) --end;
    LineInfo& info = infos[i];
    if (begin < end && line[begin] == '[' && line[end - 1] == ']' && end - begin >= 2) {
      group.assign(line, begin + 1, end - begin - 2);
      info.isGroup = true;
    } else if (begin < end && line[begin] != '#') {
      const size_t equals = line.find('=', begin);
      // A line without "=" is no key; it is kept as it is.
      if (equals != std::string::npos && equals > begin) {
        size_t keyEnd = equals;
        while (isBlank(line[keyEnd - 1])) --keyEnd;
        size_t valueBegin = equals + 1;
        while (valueBegin < end && isBlank(line[valueBegin])) ++valueBegin;
        info.key.assign(line, begin, keyEnd - begin);
        info.value.assign(line, valueBegin, end > valueBegin ? end - valueBegin : 0);
      }
    }
    info.group = group;
  }
  infos_.swap(infos);
}

bool KeyFile::hasGroup(const std::string& group) const {
  for (const LineInfo& info : infos_)
    if (info.isGroup && sameGroup(info.group, group)) return true;
  return false;
}

bool KeyFile::get(const std::string& group, const std::string& key, std::string& value) const {
  bool found = false;
  for (const LineInfo& info : infos_) {
    if (!info.key.empty() && info.key == key && sameGroup(info.group, group)) {
      value = info.value;
      found = true;
    }
  }
  return found;
}

std::vector<std::pair<std::string, std::string>> KeyFile::entries(const std::string& group) const {
  std::vector<std::pair<std::string, std::string>> result;
  for (const LineInfo& info : infos_)
    if (!info.key.empty() && sameGroup(info.group, group)) result.emplace_back(info.key, info.value);
  return result;
}

void KeyFile::set(const std::string& group, const std::string& key, const std::string& value) {
  set(group, key, value, {});
}

void KeyFile::set(const std::string& group, const std::string& key, const std::string& value,
                  const std::vector<std::string>& replacing) {
  auto isTheKey = [&](const LineInfo& info) {
    if (info.key.empty() || !sameGroup(info.group, group)) return false;
    return info.key == key ||
           std::find(replacing.begin(), replacing.end(), info.key) != replacing.end();
  };
  long last = -1;       // the key's last line
  long groupEnd = -1;   // after the last key (or header) of the group's last block
  for (size_t i = 0; i < infos_.size(); ++i) {
    if (!sameGroup(infos_[i].group, group)) continue;
    if (isTheKey(infos_[i])) last = static_cast<long>(i);
    if (infos_[i].isGroup || !infos_[i].key.empty()) groupEnd = static_cast<long>(i) + 1;
  }
  if (last >= 0) {
    std::string& line = lines_[last];
    const std::string& old = infos_[last].key;
    const size_t keyAt = line.find(old);
    size_t at = line.find('=') + 1;
    while (at < line.size() && isBlank(line[at])) ++at;
    const size_t afterKey = keyAt + old.size();
    line = line.substr(0, keyAt) + key + line.substr(afterKey, at - afterKey) + value;
    // Earlier duplicates would only confuse the next reader of the file.
    for (long i = last - 1; i >= 0; --i)
      if (isTheKey(infos_[i])) lines_.erase(lines_.begin() + i);
  } else if (groupEnd >= 0) {
    lines_.insert(lines_.begin() + groupEnd, key + "=" + value);
  } else {
    if (!lines_.empty() && !trimmed(lines_.back()).empty()) lines_.push_back("");
    lines_.push_back("[" + group + "]");
    lines_.push_back(key + "=" + value);
  }
  describe();
}

void KeyFile::remove(const std::string& group, const std::string& key) {
  bool removed = false;
  for (size_t i = infos_.size(); i-- > 0;) {
    if (infos_[i].key == key && sameGroup(infos_[i].group, group)) {
      lines_.erase(lines_.begin() + i);
      removed = true;
    }
  }
  if (removed) describe();
}

}  // namespace detail
}  // namespace KESP
