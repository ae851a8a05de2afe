#include "files/file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

#include "files/draft.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "files/root_path.h"

namespace KESP {
namespace detail {

namespace {

WriterCalls systemCalls() { return WriterCalls{::write, ::fsync, ::close, ::renameat}; }

WriterCalls g_calls = systemCalls();
std::atomic<BeforeChangeHook> g_beforeChange{nullptr};
std::atomic<BeforeDirectoryHook> g_beforeDirectory{nullptr};

bool writeAll(int fd, const std::string& content, int& err) {
  size_t offset = 0;
  while (offset < content.size()) {
    ssize_t n = g_calls.write(fd, content.data() + offset, content.size() - offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      return false;
    }
    if (n == 0) {
      err = EIO;
      return false;
    }
    offset += static_cast<size_t>(n);
  }
  return true;
}

/// size: what fstat said of a regular file: one that says it is larger than
/// kMaxReadBytes is refused unread (EFBIG), the others are read as
/// readBounded reads them.
bool readAll(int fd, std::string& content, off_t size = 0) {
  content.clear();
  if (static_cast<unsigned long long>(size) > kMaxReadBytes) {
    errno = EFBIG;
    return false;
  }
  return readBounded(fd, kMaxReadBytes, content, size);
}

}  // namespace

bool readBounded(int fd, size_t limit, std::string& content, off_t size) {
  content.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (content.size() + static_cast<size_t>(n) > limit) {
      content.clear();
      errno = EFBIG;
      return false;
    }
    content.append(buffer, static_cast<size_t>(n));
    if (size > 0 && static_cast<size_t>(n) < sizeof buffer &&
        content.size() == static_cast<size_t>(size))
      return true;
  }
}

std::string readBoundText() { return std::to_string(kMaxReadBytes >> 20) + " MiB"; }

bool withinLineBound(const std::string& content) {
  size_t lines = 0;
  for (size_t at = content.find('\n'); at != std::string::npos; at = content.find('\n', at + 1))
    if (++lines > kMaxReadLines) {
      errno = E2BIG;
      return false;
    }
  return true;
}

namespace {

bool writeAt(int fd, const std::string& content, int& err) {
  if (lseek(fd, 0, SEEK_SET) < 0 || !writeAll(fd, content, err)) {
    if (!err) err = errno;
    return false;
  }
  if (ftruncate(fd, static_cast<off_t>(content.size())) != 0 || g_calls.fsync(fd) != 0) {
    err = errno;
    return false;
  }
  return true;
}

/// The resolved file opened in its directory, never through a link.
int openResolved(const ResolvedFile& file, int flags) {
  return openat(file.directory, file.name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

/// A bind-mounted file cannot be renamed over: rewrite it in place, and put the
/// old content back if the new one cannot be written whole.
bool rewriteInPlace(const ResolvedFile& target, const std::string& content, int& err) {
  std::string old;
  int reader = openResolved(target, O_RDONLY);
  bool read = reader >= 0 && readAll(reader, old);
  if (!read) err = errno ? errno : EIO;
  if (reader >= 0) ::close(reader);
  if (!read) return false;
  int fd = openResolved(target, O_WRONLY);
  if (fd < 0) {
    err = errno;
    return false;
  }
  err = 0;
  bool ok = writeAt(fd, content, err);
  if (!ok) {
    int ignored = 0;
    writeAt(fd, old, ignored);
  }
  if (g_calls.close(fd) != 0 && ok) {
    // The data may not have reached the file: put the old content back.
    err = errno;
    ok = false;
    int ignored = 0;
    int again = openResolved(target, O_WRONLY);
    if (again >= 0) {
      writeAt(again, old, ignored);
      ::close(again);
    }
  }
  return ok;
}

int createTemporary(const ResolvedFile& target, std::string& name) {
  return createHiddenTemporary(target.directory, target.name, name);
}

/// ownership, when given, is the mode, owner and group the file gets whatever
/// it had before.
bool replaceResolved(const std::string& path, const ResolvedFile& target,
                     const std::string& content, mode_t newFileMode, int& err,
                     const struct stat* ownership = nullptr) {
  struct stat old;
  bool exists = fstatat(target.directory, target.name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) {
    err = errno;
    return false;
  }
  if (exists && !isRegularOrRefuse(path, old.st_mode)) {
    err = errno;
    return false;
  }

  std::string temporary;
  int fd = createTemporary(target, temporary);
  if (fd < 0) {
    err = errno;
    return false;
  }
  bool ok = writeAll(fd, content, err);
  if (ok && ownership) {
    // Owner first: fchown clears the set-id bits that fchmod then puts back.
    ok = fchown(fd, ownership->st_uid, ownership->st_gid) == 0 &&
         fchmod(fd, ownership->st_mode & 07777) == 0;
    if (!ok) err = errno;
  } else if (ok && exists && fchown(fd, old.st_uid, old.st_gid) != 0) {
    // Without the right to give the file its owner, only an in-place rewrite
    // keeps ownership.
    close(fd);
    unlinkat(target.directory, temporary.c_str(), 0);
    return rewriteInPlace(target, content, err);
  }
  // fchmod, unlike creation, ignores the umask.
  if (ok && !ownership && fchmod(fd, exists ? (old.st_mode & 07777) : newFileMode) != 0) {
    err = errno;
    ok = false;
  }
  if (ok && g_calls.fsync(fd) != 0) {
    err = errno;
    ok = false;
  }
  if (g_calls.close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && g_calls.rename(target.directory, temporary.c_str(), target.directory,
                           target.name.c_str()) != 0) {
    err = errno;
    ok = false;
    if (err == EBUSY || err == EXDEV) {
      unlinkat(target.directory, temporary.c_str(), 0);
      return rewriteInPlace(target, content, err);
    }
  }
  if (!ok) {
    unlinkat(target.directory, temporary.c_str(), 0);
    return false;
  }
  if (fsync(target.directory) != 0) {  // the rename is only durable with its directory
    err = errno;
    return false;
  }
  return true;
}

std::mutex g_unreadableMutex;
std::vector<std::string> g_unreadable;

}  // namespace

namespace {

void noteProblem(const std::string& line) {
  std::lock_guard<std::mutex> hold(g_unreadableMutex);
  for (const std::string& known : g_unreadable)
    if (known == line) return;
  g_unreadable.push_back(line);
}

}  // namespace

// An image's file names are its own text: they reach the terminal escaped.
void noteUnreadable(const std::string& path, int err) {
  if (err == EFBIG)
    noteRefused(path, "larger than " + readBoundText() + ", the most a file may hold to be read");
  else if (err == E2BIG)
    noteRefused(path, "more than " + std::to_string(kMaxReadLines) +
                          " lines, the most a file may hold to be read");
  else
    noteProblem(terminalSafe(path) + ": " + std::strerror(err));
}

void noteRefused(const std::string& path, const std::string& why) {
  KESP_LOG(LOG_ERROR, "read", "Refusing " << terminalSafe(path) << ": " << why);
  noteProblem(terminalSafe(path) + ": " + why);
}

int createHiddenTemporary(int directory, const std::string& base, std::string& name) {
  static std::mt19937 random(static_cast<unsigned>(std::random_device{}()));
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = "." + base + ".";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    int fd = openat(directory, name.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

bool restoreFileAs(const std::string& path, const std::string& content, mode_t mode, uid_t owner,
                   gid_t group) {
  ResolvedFile target;
  if (!resolveFile(path, target)) return false;
  struct stat ownership;
  ownership.st_mode = mode;
  ownership.st_uid = owner;
  ownership.st_gid = group;
  int err = 0;
  const bool ok = replaceResolved(path, target, content, mode, err, &ownership);
  ::close(target.directory);
  if (!ok) errno = err ? err : EIO;
  return ok;
}

WriterCalls& writerCalls() { return g_calls; }

void setBeforeChangeHook(BeforeChangeHook hook) { g_beforeChange = hook; }

void setBeforeDirectoryHook(BeforeDirectoryHook hook) { g_beforeDirectory = hook; }

bool makeDirectoriesForWrite(const std::string& directory) {
  if (openDraft()) return true;
  std::string relative;
  const std::string prefix = belowRoot(directory, relative) ? systemRoot() : "";
  std::string inside;
  if (!pathInRoot(directory, inside, true)) return false;
  std::string made = prefix;
  for (const std::string& part : pathComponents(inside)) {
    made += "/" + part;
    struct stat info;
    if (statInRoot(made, info)) continue;
    if (errno != ENOENT) return false;
    // On record first: a change cut off after the mkdir still takes it away.
    const BeforeDirectoryHook beforeDirectory = g_beforeDirectory;
    if ((beforeDirectory && !beforeDirectory(made)) || !makeDirectoriesInRoot(made)) return false;
  }
  return true;
}

void resetWriterCalls() { g_calls = systemCalls(); }

bool replaceFile(const std::string& path, const std::string& content, std::string* error,
                 mode_t newFileMode) {
  if (DraftedFiles* draft = openDraft()) {
    (*draft)[path] = DraftedFile{false, content, newFileMode};
    return true;
  }
  int err = 0;
  ResolvedFile target;
  // The old state is on record before anything of the file changes.
  const BeforeChangeHook beforeChange = g_beforeChange;
  bool ok = (!beforeChange || beforeChange(path)) && resolveFile(path, target);
  if (!ok) err = errno;
  ok = ok && replaceResolved(path, target, content, newFileMode, err);
  if (target.directory >= 0) ::close(target.directory);
  if (!ok) {
    if (!err) err = EIO;
    if (error) *error = std::strerror(err);
    errno = err;
  }
  return ok;
}

namespace {

/// The file a draft holds at path: Read, NotOpened (the draft removes it), or
/// NotRead when the draft does not touch it.
ReadResult readDrafted(const std::string& path, std::string& content, struct stat* identity) {
  const DraftedFiles* draft = openDraft();
  if (!draft) return ReadResult::NotRead;
  const auto drafted = draft->find(path);
  if (drafted == draft->end()) return ReadResult::NotRead;
  if (drafted->second.removed) {
    errno = ENOENT;
    return ReadResult::NotOpened;
  }
  content = drafted->second.content;
  // A file the draft creates has no identity yet.
  if (identity && !statInRoot(path, *identity)) *identity = {};
  return ReadResult::Read;
}

/// Reads the open fd (closed here); fd < 0 reports the failed open. The
/// file's path is `place`, followed by "/" and `name` when given: built only
/// for a message.
ReadResult readOpened(int fd, const std::string& place, const std::string* name,
                      std::string& content, struct stat* identity) {
  auto path = [&] { return name ? place + "/" + *name : place; };
  if (fd < 0) {
    // A missing file is an answer; a file that is there but unreadable is not.
    if (errno != ENOENT && errno != ENOTDIR) noteUnreadable(path(), errno);
    return ReadResult::NotOpened;
  }
  struct stat info;
  bool read = fstat(fd, &info) == 0 &&
              (S_ISREG(info.st_mode) || isRegularOrRefuse(path(), info.st_mode)) &&
              readAll(fd, content, info.st_size) && withinLineBound(content);
  int saved = errno;
  close(fd);
  if (!read) noteUnreadable(path(), saved);
  if (read && identity) *identity = info;
  errno = saved;
  return read ? ReadResult::Read : ReadResult::NotRead;
}

// O_NONBLOCK: opening a FIFO without a writer, or a device, returns at once
// so that the type check can refuse it before anything reads.
const int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY;

}  // namespace

ReadResult readFile(const std::string& path, std::string& content, struct stat* identity) {
  const ReadResult drafted = readDrafted(path, content, identity);
  if (drafted != ReadResult::NotRead) return drafted;
  return readOpened(openInRoot(path, kReadFlags), path, nullptr, content, identity);
}

ReadResult readFileInDirectory(int directory, const std::string& directoryPath,
                               const std::string& name, std::string& content,
                               struct stat* identity) {
  // Only a change in the making has drafts: most commands read every file
  // here without building its path.
  if (openDraft() || name.empty() || name.find('/') != std::string::npos || name == "." ||
      name == "..")
    return readFile(directoryPath + "/" + name, content, identity);
  const int fd = openat(directory, name.c_str(), kReadFlags | O_NOFOLLOW | O_CLOEXEC);
  // A link may point anywhere in the root: resolved as every path is.
  if (fd < 0 && errno == ELOOP) return readFile(directoryPath + "/" + name, content, identity);
  return readOpened(fd, directoryPath, &name, content, identity);
}

bool readWholeFile(const std::string& path, std::string& content, bool* missing) {
  ReadResult result = readFile(path, content);
  if (missing) *missing = result == ReadResult::NotOpened && errno == ENOENT;
  return result == ReadResult::Read;
}

std::string errnoSuffix(int err) {
  return " (Errno " + std::to_string(err) + " : " + std::strerror(err) + ")";
}

}  // namespace detail

std::vector<std::string> takeUnreadableFiles() {
  std::lock_guard<std::mutex> hold(detail::g_unreadableMutex);
  std::vector<std::string> taken;
  taken.swap(detail::g_unreadable);
  return taken;
}

}  // namespace KESP
