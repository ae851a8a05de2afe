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

}  // namespace

bool sameGroup(const std::string& name, const std::string& group) {
  if (name == group) return true;
  const bool ethernet = name == "ethernet" || name == "802-3-ethernet";
  return ethernet && (group == "ethernet" || group == "802-3-ethernet");
}

KeyFile::KeyFile(std::string text) : text_(std::move(text)) {
  // Offsets are 32 bits wide; the reader never hands over more.
  if (text_.size() > kMaxKeyFileSize) text_.resize(kMaxKeyFileSize);
  describe();
}

std::string KeyFile::text() const {
  if (text_.empty() || text_.back() == '\n') return text_;
  return text_ + "\n";
}

std::vector<std::string> KeyFile::lines() const {
  std::vector<std::string> result;
  result.reserve(infos_.size());
  for (const LineInfo& info : infos_) result.emplace_back(text_, info.begin, info.end - info.begin);
  return result;
}

void KeyFile::assign(const std::vector<std::string>& lines) {
  text_.clear();
  for (const std::string& line : lines) {
    text_ += line;
    text_ += '\n';
  }
  describe();
}

void KeyFile::describe() {
  infos_.clear();
  groups_.clear();
  size_t lines = 0;
  for (const char* at = text_.data(); (at = static_cast<const char*>(
                                           std::memchr(at, '\n', text_.data() + text_.size() - at)));
       ++at)
    ++lines;
  infos_.reserve(lines + 1);
  groups_.reserve(4);
  int group = -1;
  const std::string& text = text_;
  size_t start = 0;
  while (start < text.size()) {
    const void* newline = std::memchr(text.data() + start, '\n', text.size() - start);
    const size_t lineEnd = newline ? static_cast<size_t>(static_cast<const char*>(newline) - text.data())
                                   : text.size();
    LineInfo info;
    info.begin = static_cast<uint32_t>(start);
    info.end = static_cast<uint32_t>(lineEnd);
    size_t begin = start;
    size_t end = lineEnd;
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    if (begin < end && text[begin] == '[' && text[end - 1] == ']' && end - begin >= 2) {
      groups_.emplace_back(text, begin + 1, end - begin - 2);
      group = static_cast<int32_t>(groups_.size()) - 1;
      info.isGroup = true;
    } else if (begin < end && text[begin] != '#') {
      const void* found = std::memchr(text.data() + begin, '=', end - begin);
      const size_t equals = found ? static_cast<size_t>(static_cast<const char*>(found) - text.data())
                                  : std::string::npos;
      // A line without "=" is no key; it is kept as it is.
      if (equals != std::string::npos && equals > begin) {
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
    info.group = group;
    infos_.push_back(info);
    start = lineEnd + 1;
  }
}

bool KeyFile::keyIs(const LineInfo& info, const std::string& key) const {
  return info.isKey() && info.keyEnd - info.keyBegin == key.size() &&
         text_.compare(info.keyBegin, key.size(), key) == 0;
}

std::vector<bool> KeyFile::groupsNamed(const std::string& group) const {
  std::vector<bool> named(groups_.size());
  for (size_t i = 0; i < groups_.size(); ++i) named[i] = sameGroup(groups_[i], group);
  return named;
}

bool KeyFile::hasGroup(const std::string& group) const {
  for (const std::string& name : groups_)
    if (sameGroup(name, group)) return true;
  return false;
}

bool KeyFile::get(const std::string& group, const std::string& key, std::string& value) const {
  // The key first: it rules out nearly every line without looking at groups.
  for (size_t i = infos_.size(); i-- > 0;) {
    const LineInfo& info = infos_[i];
    if (keyIs(info, key) && info.group >= 0 &&
        sameGroup(groups_[static_cast<size_t>(info.group)], group)) {
      value.assign(text_, info.valueBegin, info.valueEnd - info.valueBegin);
      return true;
    }
  }
  return false;
}

std::vector<std::pair<std::string, std::string>> KeyFile::entries(const std::string& group) const {
  const std::vector<bool> named = groupsNamed(group);
  std::vector<std::pair<std::string, std::string>> result;
  for (const LineInfo& info : infos_)
    if (info.isKey() && inGroup(info, named))
      result.emplace_back(text_.substr(info.keyBegin, info.keyEnd - info.keyBegin),
                          text_.substr(info.valueBegin, info.valueEnd - info.valueBegin));
  return result;
}

void KeyFile::set(const std::string& group, const std::string& key, const std::string& value) {
  set(group, key, value, {});
}

void KeyFile::set(const std::string& group, const std::string& key, const std::string& value,
                  const std::vector<std::string>& replacing) {
  const std::vector<bool> named = groupsNamed(group);
  auto isTheKey = [&](const LineInfo& info) {
    if (!info.isKey() || !inGroup(info, named)) return false;
    if (keyIs(info, key)) return true;
    for (const std::string& other : replacing)
      if (keyIs(info, other)) return true;
    return false;
  };
  long last = -1;       // the key's last line
  long groupEnd = -1;   // after the last key (or header) of the group's last block
  for (size_t i = 0; i < infos_.size(); ++i) {
    if (!inGroup(infos_[i], named)) continue;
    if (isTheKey(infos_[i])) last = static_cast<long>(i);
    if (infos_[i].isGroup || infos_[i].isKey()) groupEnd = static_cast<long>(i) + 1;
  }
  std::vector<std::string> edited = lines();
  if (last >= 0) {
    const LineInfo& info = infos_[static_cast<size_t>(last)];
    // Blanks around the key and the "=" stay as they were.
    edited[static_cast<size_t>(last)] = text_.substr(info.begin, info.keyBegin - info.begin) + key +
                                        text_.substr(info.keyEnd, info.valueBegin - info.keyEnd) +
                                        value;
    // Earlier duplicates would only confuse the next reader of the file.
    for (long i = last - 1; i >= 0; --i)
      if (isTheKey(infos_[static_cast<size_t>(i)])) edited.erase(edited.begin() + i);
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
  const std::vector<bool> named = groupsNamed(group);
  std::vector<std::string> edited = lines();
  bool removed = false;
  for (size_t i = infos_.size(); i-- > 0;) {
    if (keyIs(infos_[i], key) && inGroup(infos_[i], named)) {
      edited.erase(edited.begin() + static_cast<long>(i));
      removed = true;
    }
  }
  if (removed) assign(edited);
}

}  // namespace detail
}  // namespace KESP
