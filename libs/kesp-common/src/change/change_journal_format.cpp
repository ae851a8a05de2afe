#include <cerrno>
#include <limits>
#include <sstream>

#include "change/change_journal.h"
#include "files/names.h"

// The journal's bytes. What is read back is checked before anything acts on
// it: a journal found in an image may have been made by anyone.

namespace KESP {
namespace detail {

namespace {

const char kHeader[] = "kesp change journal 1\n";
const size_t kMaxPathBytes = 4096;

/// "/a/b": absolute, no empty, "." or ".." component, no NUL, not "/" itself.
bool isPlainAbsolute(const std::string& path) {
  if (path.size() < 2 || path[0] != '/' || path.back() == '/' || path.size() > kMaxPathBytes ||
      path.find('\0') != std::string::npos)
    return false;
  std::string::size_type start = 1;
  while (start <= path.size()) {
    std::string::size_type end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

bool refuse(std::string* why, const std::string& reason) {
  if (why) *why = reason;
  errno = EBADMSG;
  return false;
}

/// Takes size bytes at `at` when the text has them and a newline after them.
bool takeBlock(const std::string& text, size_t& at, size_t size, std::string& block) {
  if (size > text.size() - at) return false;
  block = text.substr(at, size);
  at += size;
  return true;
}

}  // namespace

bool Journal::hasFile(const std::string& path) const {
  for (const JournaledFile& file : files)
    if (file.path == path) return true;
  return false;
}

std::string formatJournal(const Journal& journal) {
  std::ostringstream out;
  out << kHeader;
  for (const std::string& iface : journal.restarts) out << "restart " << iface << "\n";
  for (const std::string& directory : journal.directories)
    out << "directory " << directory.size() << "\n" << directory << "\n";
  for (const std::string& directory : journal.journalDirectories)
    out << "journal-directory " << directory.size() << "\n" << directory << "\n";
  for (const JournaledFile& file : journal.files) {
    if (file.isLink) {
      out << "link " << file.path.size() << " " << file.linkTarget.size() << "\n"
          << file.path << file.linkTarget << "\n";
      continue;
    }
    out << "file " << (file.existed ? 1 : 0) << " " << std::oct << file.mode << std::dec << " "
        << file.owner << " " << file.group << " " << file.path.size() << " "
        << file.content.size() << "\n"
        << file.path << file.content << "\n";
  }
  return out.str();
}

bool parseJournal(const std::string& text, Journal& journal, std::string* why) {
  journal = Journal();
  const std::string header = kHeader;
  if (text.compare(0, header.size(), header) != 0) return refuse(why, "it does not begin as a journal");
  size_t at = header.size();
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return refuse(why, "it ends in the middle of an entry");
    std::istringstream line(text.substr(at, end - at));
    at = end + 1;
    std::string kind;
    line >> kind;
    if (kind == "restart") {
      std::string iface;
      if (!(line >> iface) || !isValidInterfaceName(iface))
        return refuse(why, "an interface to restart is not an interface name");
      journal.restarts.push_back(iface);
      continue;
    }
    if (kind == "directory" || kind == "journal-directory") {
      unsigned long long size = 0;
      std::string directory;
      if (!(line >> size) || size > kMaxPathBytes || !takeBlock(text, at, size, directory) ||
          at >= text.size() || text[at] != '\n' || !isPlainAbsolute(directory))
        return refuse(why, "a directory entry is damaged");
      ++at;
      (kind == "directory" ? journal.directories : journal.journalDirectories).push_back(directory);
      continue;
    }
    JournaledFile file;
    int existed = 1;
    unsigned long long pathSize = 0;
    unsigned long long bodySize = 0;
    unsigned long long mode = 0, owner = 0, group = 0;
    if (kind == "link") {
      file.isLink = true;
      if (!(line >> pathSize >> bodySize)) return refuse(why, "a link entry is damaged");
    } else if (kind == "file") {
      if (!(line >> existed >> std::oct >> mode >> std::dec >> owner >> group >> pathSize >>
            bodySize) ||
          (existed != 0 && existed != 1))
        return refuse(why, "a file entry is damaged");
    } else {
      return refuse(why, "it holds an entry of an unknown kind");
    }
    const unsigned long long idLimit = std::numeric_limits<uid_t>::max();
    if (mode > 07777 || owner >= idLimit || group >= idLimit)
      return refuse(why, "an entry names an impossible mode or owner");
    std::string body;
    if (pathSize > kMaxPathBytes || !takeBlock(text, at, pathSize, file.path) ||
        !takeBlock(text, at, bodySize, body) || at >= text.size() || text[at] != '\n')
      return refuse(why, "an entry's sizes go beyond the journal");
    ++at;
    if (!isPlainAbsolute(file.path))
      return refuse(why, "an entry's path is not a plain absolute path");
    if (file.isLink && (body.empty() || body.find('\0') != std::string::npos))
      return refuse(why, "a link entry has no target");
    file.existed = existed != 0;
    file.mode = static_cast<mode_t>(mode);
    file.owner = static_cast<uid_t>(owner);
    file.group = static_cast<gid_t>(group);
    (file.isLink ? file.linkTarget : file.content) = std::move(body);
    journal.files.push_back(std::move(file));
  }
  return true;
}

}  // namespace detail
}  // namespace KESP
