#include "file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "change_scope.h"

namespace KESP {
namespace detail {

namespace {

const int kMaxLinkHops = 40;

WriterCalls systemCalls() { return WriterCalls{::write, ::fsync, ::close, ::rename}; }

WriterCalls g_calls = systemCalls();

/// Follows symbolic links so that the link stays a link and its target is replaced.
bool resolveLinks(const std::string& path, std::string& target, int& err) {
  target = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::vector<char> buffer(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    ssize_t n = readlink(target.c_str(), buffer.data(), buffer.size());
    if (n < 0) {
      err = errno;
      return false;
    }
    std::string link(buffer.data(), static_cast<size_t>(n));
    if (!link.empty() && link[0] == '/') {
      target = link;
    } else {
      std::string::size_type slash = target.rfind('/');
      target = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + link;
    }
  }
  err = ELOOP;
  return false;
}

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

/// A bind-mounted file cannot be renamed over: rewrite it in place, and put the
/// old content back if the new one cannot be written whole.
bool rewriteInPlace(const std::string& target, const std::string& content, int& err) {
  std::string old;
  if (!readWholeFile(target, old)) {
    err = errno ? errno : EIO;
    return false;
  }
  int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
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
    int again = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (again >= 0) {
      writeAt(again, old, ignored);
      ::close(again);
    }
  }
  return ok;
}

mode_t defaultMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

void syncDirectory(const std::string& directory) {
  int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // durability of the rename; the content itself is already safe
  close(fd);
}

bool replaceResolved(const std::string& target, const std::string& content, int& err) {
  std::string::size_type slash = target.rfind('/');
  std::string directory = slash == std::string::npos ? "." : target.substr(0, slash);
  if (directory.empty()) directory = "/";
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

  struct stat old;
  bool exists = stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) {
    err = errno;
    return false;
  }
  if (exists && !S_ISREG(old.st_mode)) {
    err = EISDIR;
    return false;
  }

  // A hidden name, so that no "ifcfg-*" or "*.conf" pattern ever picks it up.
  std::string pattern = directory + "/." + base + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    err = errno;
    return false;
  }
  std::string temporary = name.data();
  bool ok = writeAll(fd, content, err);
  if (ok && exists && fchown(fd, old.st_uid, old.st_gid) != 0) {
    // Without the right to give the file its owner, only an in-place rewrite
    // keeps ownership.
    close(fd);
    unlink(temporary.c_str());
    return rewriteInPlace(target, content, err);
  }
  if (ok && fchmod(fd, exists ? (old.st_mode & 07777) : defaultMode()) != 0) {
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
  if (ok && g_calls.rename(temporary.c_str(), target.c_str()) != 0) {
    err = errno;
    ok = false;
    if (err == EBUSY || err == EXDEV) {
      unlink(temporary.c_str());
      return rewriteInPlace(target, content, err);
    }
  }
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  syncDirectory(directory);
  return true;
}

}  // namespace

WriterCalls& writerCalls() { return g_calls; }

void resetWriterCalls() { g_calls = systemCalls(); }

bool resolveWriteTarget(const std::string& path, std::string& target) {
  int err = 0;
  if (resolveLinks(path, target, err)) return true;
  errno = err;
  return false;
}

bool replaceFile(const std::string& path, const std::string& content, std::string* error) {
  int err = 0;
  std::string target;
  // The old state is on record before anything of the file changes.
  bool ok = journalBeforeChange(path);
  if (!ok) err = errno;
  ok = ok && resolveLinks(path, target, err) && replaceResolved(target, content, err);
  if (!ok) {
    if (!err) err = EIO;
    if (error) *error = std::strerror(err);
    errno = err;
  }
  return ok;
}

ReadResult readFile(const std::string& path, std::string& content) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ReadResult::NotOpened;
  content.clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      close(fd);
      errno = saved;
      return ReadResult::NotRead;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return ReadResult::Read;
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
}  // namespace KESP
