#include "change_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <sstream>

#include "change_lock.h"
#include "file_write.h"
#include "kesp/sysroot.h"
#include "root_path.h"

namespace KESP {
namespace detail {

namespace {

const char kJournalDirectory[] = "/var/lib/kesp";
const char kJournalName[] = "change.journal";
const char kHeader[] = "kesp change journal 1\n";
const size_t kTemporarySuffix = 6;  // the XXXXXX of mkostemp

std::string directoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string withoutRoot(const std::string& fullPath) {
  const std::string& root = systemRoot();
  if (!root.empty() && fullPath.compare(0, root.size(), root) == 0 &&
      fullPath.size() > root.size() && fullPath[root.size()] == '/')
    return fullPath.substr(root.size());
  return fullPath;
}

bool syncDirectoryOf(const std::string& path) {
  const int fd = open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

bool writeWhole(int fd, const std::string& text) {
  size_t offset = 0;
  while (offset < text.size()) {
    const ssize_t n = write(fd, text.data() + offset, text.size() - offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    offset += static_cast<size_t>(n);
  }
  return true;
}

/// Whether name is base's hidden temporary: "." base "." and six characters.
bool isTemporaryOf(const std::string& name, const std::string& base) {
  return name.size() == base.size() + 2 + kTemporarySuffix && name[0] == '.' &&
         name.compare(1, base.size(), base) == 0 && name[base.size() + 1] == '.';
}

void removeTemporariesOf(const std::string& fullPath, std::vector<std::string>& removed) {
  const std::string directory = directoryOf(fullPath);
  const std::string base = baseOf(fullPath);
  DIR* dir = opendir(directory.c_str());
  if (!dir) return;
  std::vector<std::string> found;
  while (const struct dirent* entry = readdir(dir))
    if (isTemporaryOf(entry->d_name, base)) found.push_back(directory + "/" + entry->d_name);
  closedir(dir);
  for (const std::string& path : found)
    if (unlink(path.c_str()) == 0) removed.push_back(path);
  if (!found.empty()) syncDirectoryOf(fullPath);
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
  for (const JournaledFile& file : journal.files) {
    out << "file " << (file.existed ? 1 : 0) << " " << std::oct << file.mode << std::dec << " "
        << file.owner << " " << file.group << " " << file.path.size() << " "
        << file.content.size() << "\n"
        << file.path << file.content << "\n";
  }
  return out.str();
}

bool parseJournal(const std::string& text, Journal& journal) {
  journal = Journal();
  const std::string header = kHeader;
  if (text.compare(0, header.size(), header) != 0) return false;
  size_t at = header.size();
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    std::istringstream line(text.substr(at, end - at));
    at = end + 1;
    std::string kind;
    line >> kind;
    if (kind == "restart") {
      std::string iface;
      if (!(line >> iface)) return false;
      journal.restarts.push_back(iface);
      continue;
    }
    if (kind != "file") return false;
    JournaledFile file;
    int existed = 0;
    size_t pathSize = 0;
    size_t contentSize = 0;
    if (!(line >> existed >> std::oct >> file.mode >> std::dec >> file.owner >> file.group >>
          pathSize >> contentSize))
      return false;
    if (text.size() - at < pathSize + contentSize + 1 || text[at + pathSize + contentSize] != '\n')
      return false;
    file.existed = existed != 0;
    file.path = text.substr(at, pathSize);
    file.content = text.substr(at + pathSize, contentSize);
    at += pathSize + contentSize + 1;
    journal.files.push_back(std::move(file));
  }
  return true;
}

std::string journalPath() { return sysPath(std::string(kJournalDirectory) + "/" + kJournalName); }

bool saveJournal(const Journal& journal) {
  const std::string path = journalPath();
  if (!makeDirectories(directoryOf(path))) return false;
  std::string name = directoryOf(path) + "/." + kJournalName + ".XXXXXX";
  const int fd = mkostemp(&name[0], O_CLOEXEC);  // created 0600
  if (fd < 0) return false;
  bool ok = writeWhole(fd, formatJournal(journal)) && fsync(fd) == 0;
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(name.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(name.c_str());
    errno = err;
    return false;
  }
  return syncDirectoryOf(path);
}

bool loadJournal(Journal& journal, bool& present) {
  std::string text;
  present = false;
  bool missing = false;
  if (!readWholeFile(journalPath(), text, &missing)) return missing;
  present = true;
  if (parseJournal(text, journal)) return true;
  errno = EBADMSG;
  return false;
}

bool removeJournal() {
  const std::string path = journalPath();
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  return syncDirectoryOf(path) || errno == ENOENT;
}

bool captureFile(const std::string& fullPath, JournaledFile& file) {
  file = JournaledFile();
  file.path = withoutRoot(fullPath);
  struct stat info;
  if (stat(fullPath.c_str(), &info) != 0) return errno == ENOENT;
  // Never read a device or a pipe; the writer refuses such a file anyway.
  if (!isRegularOrRefuse(fullPath, info.st_mode)) return false;
  file.existed = true;
  file.mode = info.st_mode & 07777;
  file.owner = info.st_uid;
  file.group = info.st_gid;
  return readWholeFile(fullPath, file.content);
}

bool restoreJournaledFile(const JournaledFile& file, bool& changed) {
  const std::string fullPath = sysPath(file.path);
  changed = false;
  if (!file.existed) {
    if (unlink(fullPath.c_str()) != 0) return errno == ENOENT;
    changed = true;
    syncDirectoryOf(fullPath);  // the removal stands even if this fails
    return true;
  }
  JournaledFile now;
  if (captureFile(fullPath, now) && now.existed && now.content == file.content &&
      now.mode == file.mode && now.owner == file.owner && now.group == file.group)
    return true;
  changed = true;
  if (!replaceFile(fullPath, file.content)) return false;
  // Owner first: chown clears the set-id bits that chmod then puts back.
  return chown(fullPath.c_str(), file.owner, file.group) == 0 &&
         chmod(fullPath.c_str(), file.mode) == 0;
}

std::vector<std::string> removeLeftoverTemporaries(const Journal& journal) {
  std::vector<std::string> removed;
  std::set<std::string> seen;
  for (const JournaledFile& file : journal.files)
    if (seen.insert(file.path).second) removeTemporariesOf(sysPath(file.path), removed);
  removeTemporariesOf(journalPath(), removed);
  return removed;
}

}  // namespace detail
}  // namespace KESP
