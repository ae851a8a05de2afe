#include "files/root_path.h"
#include "files/scoped_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

#include "kesp/log.h"
#include "kesp/util.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

namespace {

// As the kernel counts: a chain longer than this is taken for a loop.
const int kMaxLinkHops = 40;
// openat2 asks to retry when a rename elsewhere raced with the lookup.
const int kRaceRetries = 8;

RootResolver g_resolver = RootResolver::Kernel;
bool g_kernelLacksOpenat2 = false;

// The root's directory, kept open while a command holds it; per thread, so
// that a hold on one thread never serves another's lookups.
struct HeldRoot {
  int holds = 0;
  std::string path;
  int fd = -1;
};

HeldRoot& heldRoot() {
  static thread_local HeldRoot held;
  return held;
}

// The directory at path, for one lookup: while held, opened once and kept
// (owned stays empty); else opened now and closed with owned.
int rootDirectory(const char* path, Descriptor& owned) {
  HeldRoot& held = heldRoot();
  if (held.holds > 0 && held.fd >= 0 && held.path == path) return held.fd;
  const int fd = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0 && held.holds > 0) {
    if (held.fd >= 0) ::close(held.fd);
    held.fd = fd;
    held.path = path;
  } else {
    owned.reset(fd);
  }
  return fd;
}

bool readLinkAt(int directory, const std::string& name, std::string& target) {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = readlinkat(directory, name.c_str(), buffer.data(), buffer.size());
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size()) {
      target.assign(buffer.data(), static_cast<size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

int openByKernel(int rootFd, const std::string& relative, int flags, mode_t mode) {
  struct open_how how;
  std::memset(&how, 0, sizeof how);
  how.flags = static_cast<unsigned>(flags | O_CLOEXEC);
  how.mode = (flags & O_CREAT) ? mode : 0;
  how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_MAGICLINKS;
  const char* name = relative.empty() ? "." : relative.c_str();
  long fd = -1;
  for (int attempt = 0; attempt < kRaceRetries; ++attempt) {
    fd = syscall(SYS_openat2, rootFd, name, &how, sizeof how);
    if (fd >= 0 || errno != EAGAIN) break;
  }
  return static_cast<int>(fd);
}

/// Puts the components of the link `part` (in directory) in front of pending,
/// as both walks follow links; an absolute target starts again at the root,
/// so every directory held is let go and `absolute` set. False, errno set,
/// past kMaxLinkHops or when the link cannot be read.
bool followLink(int directory, const std::string& part, int& hops, std::vector<int>& held,
                std::deque<std::string>& pending, bool& absolute) {
  std::string target;
  if (++hops > kMaxLinkHops) {
    errno = ELOOP;
    return false;
  }
  if (!readLinkAt(directory, part, target)) return false;
  absolute = !target.empty() && target[0] == '/';
  if (absolute) {
    for (int fd : held) ::close(fd);
    held.clear();
  }
  std::deque<std::string> inside = pathComponents(target);
  pending.insert(pending.begin(), inside.begin(), inside.end());
  return true;
}

/// The same walk as the kernel's RESOLVE_IN_ROOT: one component at a time,
/// each directory held open so that ".." returns to the one we came from and
/// never above the root; every open refuses a link swapped in after the check.
int openByWalk(int rootFd, const std::string& relative, int flags, mode_t mode) {
  HeldDescriptors walked;  // directories below the root
  std::vector<int>& held = walked.fds;
  auto current = [&] { return held.empty() ? rootFd : held.back(); };

  std::deque<std::string> pending = pathComponents(relative);
  int hops = 0;
  while (!pending.empty()) {
    const std::string part = pending.front();
    pending.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      if (!held.empty()) {
        ::close(held.back());
        held.pop_back();
      }
      continue;
    }
    const bool last = pending.empty();
    struct stat info;
    const bool present = fstatat(current(), part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    if (!present && !(last && errno == ENOENT && (flags & O_CREAT))) return -1;
    if (present && S_ISLNK(info.st_mode) && !(last && (flags & O_NOFOLLOW))) {
      bool absolute = false;
      if (!followLink(current(), part, hops, held, pending, absolute)) return -1;
      continue;
    }
    if (last) return openat(current(), part.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    int next = openat(current(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return -1;
    held.push_back(next);
  }
  // The path named a directory ("", "a/..", "a/b/").
  return openat(current(), ".", (flags & ~(O_CREAT | O_EXCL | O_NOFOLLOW)) | O_CLOEXEC, mode);
}

int openInside(int rootFd, const std::string& relative, int flags, mode_t mode) {
  if (g_resolver == RootResolver::Kernel && !g_kernelLacksOpenat2) {
    int fd = openByKernel(rootFd, relative, flags, mode);
    if (fd >= 0 || errno != ENOSYS) return fd;
    g_kernelLacksOpenat2 = true;
  }
  return openByWalk(rootFd, relative, flags, mode);
}

void refuseUnresolvable(const std::string& path) {
  KESP_LOG(LOG_ERROR, "open",
           "Refusing " << path << ": its symbolic links do not resolve"
                       << (systemRoot().empty() ? "" : " inside the system root"));
}

const char* typeName(mode_t type) {
  if (S_ISDIR(type)) return "a directory";
  if (S_ISFIFO(type)) return "a FIFO";
  if (S_ISSOCK(type)) return "a socket";
  if (S_ISCHR(type) || S_ISBLK(type)) return "a device";
  if (S_ISLNK(type)) return "a symbolic link";
  return "not a regular file";
}

}  // namespace

/// The part of path below the system root, when a root is set and the path
/// lies under it.
bool belowRoot(const std::string& path, std::string& relative) {
  const std::string& root = systemRoot();
  if (root.empty() || path.compare(0, root.size(), root) != 0) return false;
  if (path.size() > root.size() && path[root.size()] != '/') return false;
  relative = path.substr(root.size());
  return true;
}

std::deque<std::string> pathComponents(const std::string& path) {
  std::deque<std::string> parts;
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.emplace_back(path, start, end - start);
    start = end + 1;
  }
  return parts;
}

void holdRootDirectory(bool hold) {
  HeldRoot& held = heldRoot();
  held.holds += hold ? 1 : -1;
  if (held.holds == 0 && held.fd >= 0) {
    ::close(held.fd);
    held.fd = -1;
  }
}

void setRootResolver(RootResolver resolver) { g_resolver = resolver; }

RootResolver rootResolver() { return g_resolver; }

int openInRoot(const std::string& path, int flags, mode_t mode) {
  std::string relative;
  int fd = -1;
  if (!belowRoot(path, relative)) {
    fd = open(path.c_str(), flags | O_CLOEXEC, mode);
  } else {
    Descriptor owned;
    const int root = rootDirectory(systemRoot().c_str(), owned);
    if (root < 0) return -1;
    fd = openInside(root, relative, flags, mode);
  }
  if (fd < 0 && errno == ELOOP && !(flags & O_NOFOLLOW)) refuseUnresolvable(path);
  return fd;
}

bool statInRoot(const std::string& path, struct stat& info) {
  Descriptor fd(openInRoot(path, O_PATH));
  return fd.get() >= 0 && fstat(fd.get(), &info) == 0;
}

bool removeInRoot(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  Descriptor parent(openInRoot(directory, O_RDONLY | O_DIRECTORY));
  return parent.get() >= 0 &&
         unlinkat(parent.get(), path.substr(slash == std::string::npos ? 0 : slash + 1).c_str(),
                  0) == 0;
}

bool renameInRoot(const std::string& from, const std::string& to) {
  ResolvedFile source, target;
  bool ok = resolveFile(from, source) && resolveFile(to, target) &&
            renameat(source.directory, source.name.c_str(), target.directory,
                     target.name.c_str()) == 0;
  for (int fd : {source.directory, target.directory}) {
    if (fd >= 0) {
      int saved = errno;
      ::close(fd);
      errno = saved;
    }
  }
  return ok;
}

bool isRegularOrRefuse(const std::string& path, mode_t type) {
  if (S_ISREG(type)) return true;
  KESP_LOG(LOG_ERROR, "open", "Refusing " << terminalSafe(path) << ": " << typeName(type)
                                          << " where a regular file is expected");
  errno = S_ISDIR(type) ? EISDIR : EINVAL;
  return false;
}

bool resolveFile(const std::string& path, ResolvedFile& resolved) {
  std::string relative;
  const bool inside = belowRoot(path, relative);
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    std::string::size_type slash = current.rfind('/');
    std::string directory = slash == std::string::npos ? "." : current.substr(0, slash);
    if (slash == 0) directory = "/";
    std::string name = slash == std::string::npos ? current : current.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
      errno = EISDIR;
      return false;
    }
    // Links on the way to the directory are followed by openInRoot; only the
    // last component's are followed here, so that the link itself stays.
    Descriptor parent(openInRoot(directory, O_RDONLY | O_DIRECTORY));
    if (parent.get() < 0) return false;
    struct stat info;
    // A missing file is a place to create one; the caller checks the rest.
    if (fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode)) {
      resolved.directory = parent.release();
      resolved.name = name;
      return true;
    }
    std::string target;
    if (!readLinkAt(parent.get(), name, target)) return false;
    if (!target.empty() && target[0] == '/')
      current = inside ? systemRoot() + target : target;
    else
      current = directory + "/" + target;
  }
  refuseUnresolvable(path);
  errno = ELOOP;
  return false;
}

bool pathInRoot(const std::string& path, std::string& inside, bool missingParents) {
  std::string relative;
  const bool below = belowRoot(path, relative);
  if (!below) relative = path;
  if (relative.empty() || relative[0] != '/') {
    errno = EINVAL;
    return false;
  }
  Descriptor ownedRoot;
  const int rootFd = rootDirectory(below ? systemRoot().c_str() : "/", ownedRoot);
  if (rootFd < 0) return false;
  HeldDescriptors walked;  // directories walked into
  std::vector<int>& held = walked.fds;
  std::vector<std::string> names;
  std::deque<std::string> pending = pathComponents(relative);
  bool absent = false;  // below a missing directory nothing can be a link
  int hops = 0;
  while (!pending.empty()) {
    const std::string part = pending.front();
    pending.pop_front();
    if (part == ".") continue;
    if (part == "..") {
      if (!names.empty()) names.pop_back();
      if (!absent && !held.empty()) {
        ::close(held.back());
        held.pop_back();
      }
      absent = absent && names.size() > held.size();
      continue;
    }
    struct stat info;
    if (absent || fstatat(held.empty() ? rootFd : held.back(), part.c_str(), &info,
                          AT_SYMLINK_NOFOLLOW) != 0) {
      if (!absent && errno != ENOENT) return false;
      if (!pending.empty() && !missingParents) return false;
      absent = true;
      names.push_back(part);
      continue;
    }
    if (S_ISLNK(info.st_mode)) {
      bool absolute = false;
      if (!followLink(held.empty() ? rootFd : held.back(), part, hops, held, pending,
                      absolute))
        return false;
      if (absolute) names.clear();
      continue;
    }
    names.push_back(part);
    if (pending.empty()) break;
    const int next = openat(held.empty() ? rootFd : held.back(), part.c_str(),
                            O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return false;
    held.push_back(next);
  }
  inside.clear();
  for (const std::string& name : names) inside += "/" + name;
  if (inside.empty()) inside = "/";
  return true;
}

}  // namespace detail
}  // namespace KESP
