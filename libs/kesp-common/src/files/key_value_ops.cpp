#include "files/file_write.h"
#include "files/key_line.h"
#include "kesp/log.h"
#include "kesp/util.h"

namespace KESP {

namespace {

/// Calls visit(line, isKeyLineOfKey, value) for each line of the text.
template <typename Visit>
void forEachLine(const std::string& text, const std::string& key, Visit visit) {
  std::string lineKey, lineValue;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    bool matches = detail::parseKeyLine(line, '=', false, true, lineKey, lineValue) && lineKey == key;
    if (!visit(line, matches, lineValue)) return;
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

bool get_keyvalue_file(const std::string& path, const std::string& key, std::string& value) {
  std::string text;
  if (!detail::readWholeFile(path, text)) return false;
  bool found = false;
  forEachLine(text, key, [&](const std::string&, bool matches, const std::string& lineValue) {
    if (matches) {
      value = lineValue;  // the last line of the key wins
      found = true;
    }
    return true;
  });
  return found;
}

bool set_keyvalue_file(const std::string& path, const std::string& key, const std::string& value) {
  std::string text;
  bool missing = false;
  if (!detail::readWholeFile(path, text, &missing) && !missing) {
    // Rewriting a file we could not read would replace it with this one entry.
    KESP_LOG(LOG_ERROR, "set_keyvalue_file", "Failed to write file " << path);
    return false;
  }
  std::string content;
  bool replaced = false;
  bool unchanged = false;
  forEachLine(text, key, [&](const std::string& line, bool matches, const std::string& lineValue) {
    if (matches && lineValue == value) {
      unchanged = true;
      return false;
    }
    if (matches) {
      if (!replaced) content += key + "=" + value + "\n";
      replaced = true;
      return true;
    }
    content += line + "\n";
    return true;
  });
  if (unchanged) return true;
  if (!replaced) content += key + "=" + value + "\n";
  if (!detail::replaceFile(path, content)) {
    KESP_LOG(LOG_ERROR, "set_keyvalue_file", "Failed to write file " << path);
    return false;
  }
  return true;
}

}  // namespace KESP
