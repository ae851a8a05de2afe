#include "change/journal_directories.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <deque>

#include "files/file_write.h"
#include "files/root_path.h"
#include "files/scoped_fd.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

namespace {

std::string parentOf(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

/// "/a/b/c": "/a", "/a/b", "/a/b/c".
std::vector<std::string> chainOf(const std::string& directory) {
  std::vector<std::string> chain;
  for (std::string::size_type at = directory.find('/', 1); at != std::string::npos;
       at = directory.find('/', at + 1))
    chain.push_back(directory.substr(0, at));
  chain.push_back(directory);
  return chain;
}

/// Whether name is base's hidden temporary: "." base "." and six characters.
bool isTemporaryOf(const std::string& name, const std::string& base) {
  return name.size() == base.size() + 8 && name[0] == '.' && name.compare(1, base.size(), base) == 0 &&
         name[base.size() + 1] == '.';
}

/// Removes the entry name of the open directory at, a directory's content
/// first; links are removed, never followed.
bool removeTree(int at, const std::string& name) {
  if (unlinkat(at, name.c_str(), 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR) return false;
  Descriptor inner(openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (inner.get() < 0) return false;
  std::vector<std::string> names;
  if (!listOpenDirectory(inner.get(), names)) return false;
  for (const std::string& entry : names)
    if (!removeTree(inner.get(), entry)) return false;
  return unlinkat(at, name.c_str(), AT_REMOVEDIR) == 0;
}

/// A directory made in at, 0755 whatever the umask; its descriptor, -1 with errno set.
int makeDirectory(int at, const std::string& name) {
  if (mkdirat(at, name.c_str(), 0755) != 0) return -1;
  const int fd = openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 && fchmod(fd, 0755) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

/// The tree under the open directory at: the chain of missing after the
/// first, and the file in the innermost, each synced.
bool buildInside(int at, const std::vector<std::string>& missing, const std::string& name,
                 const std::string& text) {
  std::deque<Descriptor> opened;  // Descriptors stay where they are made
  int innermost = at;
  for (size_t i = 1; i < missing.size(); ++i) {
    opened.emplace_back(makeDirectory(innermost, nameOf(missing[i])));
    if (opened.back().get() < 0) return false;
    innermost = opened.back().get();
  }
  Descriptor file(openat(innermost, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (file.get() < 0) return false;
  for (size_t written = 0; written < text.size();) {
    const ssize_t n = write(file.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  if (fsync(file.get()) != 0) return false;
  for (auto it = opened.rbegin(); it != opened.rend(); ++it)
    if (fsync(it->get()) != 0) return false;
  return fsync(at) == 0;
}

}  // namespace

std::vector<std::string> missingDirectories(const std::string& directory) {
  std::vector<std::string> missing;
  for (const std::string& part : chainOf(directory)) {
    Descriptor existing(openInRoot(sysPath(part), O_PATH | O_DIRECTORY));
    if (existing.get() < 0 && errno == ENOENT) missing.push_back(part);
    else if (!missing.empty()) break;  // made meanwhile: the ordinary way takes it from here
  }
  return missing;
}

bool placeInNewDirectories(const std::vector<std::string>& missing, const std::string& name,
                           const std::string& text) {
  const std::string& top = missing.front();
  Descriptor parent(openInRoot(sysPath(parentOf(top)), O_RDONLY | O_DIRECTORY));
  if (parent.get() < 0) return false;
  // The name is taken as a file first, which only createHiddenTemporary
  // picks without a clash, and then made a directory.
  std::string hidden;
  Descriptor reserved(createHiddenTemporary(parent.get(), nameOf(top), hidden));
  if (reserved.get() < 0 || unlinkat(parent.get(), hidden.c_str(), 0) != 0) return false;
  Descriptor made(makeDirectory(parent.get(), hidden));
  bool ok = made.get() >= 0 && buildInside(made.get(), missing, name, text) &&
            renameat2(parent.get(), hidden.c_str(), parent.get(), nameOf(top).c_str(),
                      RENAME_NOREPLACE) == 0;
  if (!ok) {
    const int err = errno;
    removeTree(parent.get(), hidden);
    errno = err;
    return false;
  }
  return fsync(parent.get()) == 0;
}

bool removeWithNewDirectories(const std::vector<std::string>& made, const std::string& name,
                              bool& taken) {
  taken = false;
  if (made.empty()) return false;
  // Nothing but the chain and the file: anything else is not ours to take.
  for (size_t i = 0; i < made.size(); ++i) {
    Descriptor directory(openInRoot(sysPath(made[i]), O_RDONLY | O_DIRECTORY));
    std::vector<std::string> names;
    if (directory.get() < 0 || !listOpenDirectory(directory.get(), names) || names.size() != 1 ||
        names[0] != (i + 1 < made.size() ? nameOf(made[i + 1]) : name))
      return false;
  }
  const std::string& top = made.front();
  Descriptor parent(openInRoot(sysPath(parentOf(top)), O_RDONLY | O_DIRECTORY));
  if (parent.get() < 0) return false;
  std::string hidden;
  Descriptor reserved(createHiddenTemporary(parent.get(), nameOf(top), hidden));
  if (reserved.get() < 0) return false;
  if (unlinkat(parent.get(), hidden.c_str(), 0) != 0 ||
      renameat2(parent.get(), nameOf(top).c_str(), parent.get(), hidden.c_str(), RENAME_NOREPLACE) != 0) {
    unlinkat(parent.get(), hidden.c_str(), 0);
    return false;
  }
  taken = true;
  if (fsync(parent.get()) != 0) return false;
  // The file is gone with the rename; a temporary left now is recovery's.
  removeTree(parent.get(), hidden);
  fsync(parent.get());
  return true;
}

void removeNewDirectoryTemporaries(const std::string& directory, std::vector<std::string>& removed) {
  for (const std::string& part : chainOf(directory)) {
    const std::string parentPath = sysPath(parentOf(part));
    Descriptor parent(openInRoot(parentPath, O_RDONLY | O_DIRECTORY));
    std::vector<std::string> names;
    if (parent.get() < 0 || !listOpenDirectory(parent.get(), names)) continue;
    bool any = false;
    for (const std::string& entry : names) {
      if (!isTemporaryOf(entry, nameOf(part)) || !removeTree(parent.get(), entry)) continue;
      removed.push_back(parentPath + (parentPath.back() == '/' ? "" : "/") + entry);
      any = true;
    }
    if (any) fsync(parent.get());
  }
}

}  // namespace detail
}  // namespace KESP
