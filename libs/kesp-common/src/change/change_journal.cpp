#include "change/change_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <set>

#include "change/change_lock.h"
#include "change/journal_directories.h"
#include "files/file_write.h"
#include "kesp/sysroot.h"
#include "files/root_path.h"

namespace KESP {
namespace detail {

namespace {

const char kJournalDirectory[] = "/var/lib/kesp";
const char kJournalName[] = "change.journal";
const size_t kTemporarySuffix = 6;  // as createHiddenTemporary names them

/// Directories made for the journal in an image, removed with it.
std::vector<std::string> g_createdDirectories;

std::string directoryOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

/// The directories made for the journal, without the system root.
std::vector<std::string> createdInRoot() {
  const std::string& root = systemRoot();
  std::vector<std::string> inside;
  for (const std::string& directory : g_createdDirectories)
    if (directory.compare(0, root.size(), root) == 0 && directory.size() > root.size())
      inside.push_back(directory.substr(root.size()));
  return inside;
}

/// Closes a descriptor when it goes out of scope, keeping errno.
struct Closer {
  int fd;
  ~Closer() {
    if (fd < 0) return;
    const int saved = errno;
    ::close(fd);
    errno = saved;
  }
};

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
  std::vector<std::string> names;
  if (!listDirectoryInRoot(directory, names)) return;
  bool any = false;
  for (const std::string& name : names) {
    if (!isTemporaryOf(name, base)) continue;
    any = true;
    if (removeInRoot(directory + "/" + name)) removed.push_back(directory + "/" + name);
  }
  if (any) syncDirectoryInRoot(directory);
}

bool restoreLink(const JournaledFile& file, bool& changed) {
  const std::string fullPath = sysPath(file.path);
  const std::string name = baseOf(fullPath);
  Closer directory{openInRoot(directoryOf(fullPath), O_RDONLY | O_DIRECTORY)};
  if (directory.fd < 0) return false;
  char now[4096];
  const ssize_t n = readlinkat(directory.fd, name.c_str(), now, sizeof now);
  if (n >= 0 && file.linkTarget == std::string(now, static_cast<size_t>(n))) return true;
  changed = true;
  // Made beside it and renamed into place, so that the name is never missing.
  std::string temporary;
  const int fd = createHiddenTemporary(directory.fd, name, temporary);
  if (fd < 0) return false;
  ::close(fd);
  const bool ok = unlinkat(directory.fd, temporary.c_str(), 0) == 0 &&
                  symlinkat(file.linkTarget.c_str(), directory.fd, temporary.c_str()) == 0 &&
                  renameat(directory.fd, temporary.c_str(), directory.fd, name.c_str()) == 0;
  if (!ok) {
    const int err = errno;
    unlinkat(directory.fd, temporary.c_str(), 0);
    errno = err;
    return false;
  }
  return fsync(directory.fd) == 0;
}

bool removeAbsent(const JournaledFile& file, bool& changed) {
  ResolvedFile target;
  if (!resolveFile(sysPath(file.path), target)) return errno == ENOENT;
  Closer directory{target.directory};
  if (unlinkat(directory.fd, target.name.c_str(), 0) != 0) return errno == ENOENT;
  changed = true;
  return fsync(directory.fd) == 0;
}

}  // namespace

std::string journalPath() { return sysPath(std::string(kJournalDirectory) + "/" + kJournalName); }

bool saveJournal(const Journal& journal) {
  const std::string path = journalPath();
  // The directories made for it are on record in it, so that a recovery in
  // another process takes them away with it; where they are missing they
  // appear together with the journal.
  Journal recorded = journal;
  recorded.journalDirectories = createdInRoot();
  const std::vector<std::string> missing = missingDirectories(kJournalDirectory);
  if (!missing.empty()) {
    Journal withNew = recorded;
    withNew.journalDirectories.insert(withNew.journalDirectories.end(), missing.begin(), missing.end());
    if (placeInNewDirectories(missing, kJournalName, formatJournal(withNew))) {
      for (const std::string& directory : missing) g_createdDirectories.push_back(sysPath(directory));
      return true;
    }
    if (errno != EEXIST) return false;
  }
  if (!makeDirectoriesInRoot(directoryOf(path), &g_createdDirectories)) return false;
  recorded.journalDirectories = createdInRoot();
  Closer directory{openInRoot(directoryOf(path), O_RDONLY | O_DIRECTORY)};
  if (directory.fd < 0) return false;
  std::string name;
  const int fd = createHiddenTemporary(directory.fd, kJournalName, name);  // 0600: a password
  if (fd < 0) return false;
  bool ok = writeWhole(fd, formatJournal(recorded)) && fsync(fd) == 0;
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && renameat(directory.fd, name.c_str(), directory.fd, kJournalName) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlinkat(directory.fd, name.c_str(), 0);
    errno = err;
    return false;
  }
  return fsync(directory.fd) == 0;
}

bool loadJournal(Journal& journal, bool& present, std::string* why) {
  journal = Journal();
  present = false;
  // Never through a link, never a FIFO's wait: only the journal's own file.
  Closer fd{openInRoot(journalPath(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)};
  if (fd.fd < 0 && errno == ENOENT) return true;
  present = true;
  struct stat info;
  if (fd.fd < 0) {
    if (errno == ELOOP && why) *why = "it is a symbolic link";
    return false;
  }
  if (fstat(fd.fd, &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) {
    if (why) *why = "it is not a regular file";
    errno = EINVAL;
    return false;
  }
  std::string text;
  // A sparse file claims any size: neither its size nor its bytes are trusted.
  if (static_cast<unsigned long long>(info.st_size) > kMaxJournalBytes ||
      !readBounded(fd.fd, kMaxJournalBytes, text)) {
    if (errno == EFBIG || static_cast<unsigned long long>(info.st_size) > kMaxJournalBytes) {
      if (why) *why = "it is larger than any journal can be";
      errno = EFBIG;
    }
    return false;
  }
  if (!parseJournal(text, journal, why)) return false;
  // Made by the process that wrote it: this one removes them with it.
  if (g_createdDirectories.empty())
    for (const std::string& directory : journal.journalDirectories)
      g_createdDirectories.push_back(sysPath(directory));
  return true;
}

bool removeJournal() {
  const std::string path = journalPath();
  if (!systemRoot().empty() && !g_createdDirectories.empty()) {
    bool taken = false;
    const bool removed = removeWithNewDirectories(createdInRoot(), kJournalName, taken);
    if (taken) {
      g_createdDirectories.clear();
      return removed;
    }
  }
  if (!removeInRoot(path)) {
    if (errno != ENOENT) return false;
  } else if (!syncDirectoryInRoot(directoryOf(path))) {
    return false;
  }
  if (!systemRoot().empty()) removeCreatedDirectories(g_createdDirectories);
  g_createdDirectories.clear();
  return true;
}

bool discardJournal(std::string& keptAs) {
  const std::string path = journalPath();
  Closer directory{openInRoot(directoryOf(path), O_RDONLY | O_DIRECTORY)};
  if (directory.fd < 0) return false;
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  struct tm utc;
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", gmtime_r(&now, &utc));
  const std::string aside = std::string(kJournalName) + ".discarded-" + stamp;
  // The entry itself moves, whatever it is: nothing of it is followed.
  if (renameat(directory.fd, kJournalName, directory.fd, aside.c_str()) != 0) return false;
  keptAs = directoryOf(path) + "/" + aside;
  return fsync(directory.fd) == 0;
}

bool captureFile(const std::string& fullPath, JournaledFile& file, bool linkItself) {
  file = JournaledFile();
  std::string inside;
  if (linkItself) {
    if (!pathInRoot(directoryOf(fullPath), inside)) return false;
    file.path = (inside == "/" ? "" : inside) + "/" + baseOf(fullPath);
    Closer directory{openInRoot(sysPath(inside), O_RDONLY | O_DIRECTORY)};
    if (directory.fd < 0) return false;
    char target[4096];
    const ssize_t n = readlinkat(directory.fd, baseOf(fullPath).c_str(), target, sizeof target);
    if (n > 0 && static_cast<size_t>(n) < sizeof target) {
      file.existed = file.isLink = true;
      file.linkTarget.assign(target, static_cast<size_t>(n));
      return true;
    }
  } else {
    if (!pathInRoot(fullPath, inside)) return false;
    file.path = inside;
  }
  Closer fd{openInRoot(sysPath(file.path), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY)};
  if (fd.fd < 0) return errno == ENOENT;
  struct stat info;
  if (fstat(fd.fd, &info) != 0) return false;
  // Never read a device or a pipe; the writer refuses such a file anyway.
  if (!isRegularOrRefuse(sysPath(file.path), info.st_mode)) return false;
  file.existed = true;
  file.mode = info.st_mode & 07777;
  file.owner = info.st_uid;
  file.group = info.st_gid;
  std::string content;
  if (!readBounded(fd.fd, kMaxJournalBytes, content)) return false;
  file.content = std::move(content);
  return true;
}

bool restoreJournaledFile(const JournaledFile& file, bool& changed) {
  changed = false;
  if (file.isLink) return restoreLink(file, changed);
  if (!file.existed) return removeAbsent(file, changed);
  JournaledFile now;
  if (captureFile(sysPath(file.path), now) && now.existed && !now.isLink &&
      now.content == file.content && now.mode == file.mode && now.owner == file.owner &&
      now.group == file.group)
    return true;
  changed = true;
  return restoreFileAs(sysPath(file.path), file.content, file.mode, file.owner, file.group);
}

std::vector<std::string> removeLeftoverTemporaries(const Journal& journal) {
  std::vector<std::string> removed;
  std::set<std::string> seen;
  for (const JournaledFile& file : journal.files)
    if (seen.insert(file.path).second) removeTemporariesOf(sysPath(file.path), removed);
  removeTemporariesOf(journalPath(), removed);
  removeNewDirectoryTemporaries(kJournalDirectory, removed);
  return removed;
}

}  // namespace detail
}  // namespace KESP
