#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "files/file_write.h"
#include "files/text_lines.h"
#include "kesp/log.h"
#include "kesp/util.h"

namespace KESP {

namespace detail {

std::list<std::string> splitLines(const std::string& text) {
  std::list<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.emplace_back(text, start, std::string::npos);
      break;
    }
    lines.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return lines;
}

std::string joinLines(const std::list<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace detail

bool TextFile::load(const std::string& path) {
  filename = path;
  lines.clear();
  unreadable_ = false;
  std::string content;
  bool missing = false;
  if (!detail::readWholeFile(path, content, &missing)) {
    // Only a missing file may later be created from scratch; one that exists
    // but cannot be read must not be overwritten with what little was set.
    unreadable_ = !missing;
    return false;
  }
  lines = detail::splitLines(content);
  return true;
}

bool TextFile::save() { return save(filename); }

bool TextFile::save(const std::string& path) {
  if (unreadable_ && path == filename) {
    KESP_LOG(LOG_ERROR, "save", "Failed to write file " << path);
    return false;
  }
  if (!detail::replaceFile(path, detail::joinLines(lines), nullptr, newFileMode_)) {
    KESP_LOG(LOG_ERROR, "save", "Failed to write file " << path);
    return false;
  }
  return true;
}

}  // namespace KESP
