#include "change/change_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "files/root_path.h"

namespace KESP {
namespace detail {

namespace {

const char kLockDirectory[] = "/run/kesp";
const char kLockFile[] = "/run/kesp/change.lock";
const std::chrono::milliseconds kRetryInterval(20);

enum class Attempt { Held, Busy, Failed };

/// One try. The lock file is removed when released, so a lock taken on a file
/// that has since been unlinked is worthless: it is only held when the path
/// still names the locked file.
Attempt tryLock(const std::string& path, int& fd) {
  fd = openInRoot(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
  if (fd < 0) return Attempt::Failed;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    fd = -1;
    errno = err;
    return err == EWOULDBLOCK ? Attempt::Busy : Attempt::Failed;
  }
  struct stat held;
  struct stat named;
  if (fstat(fd, &held) == 0 && statInRoot(path, named) && held.st_dev == named.st_dev &&
      held.st_ino == named.st_ino)
    return Attempt::Held;
  close(fd);
  fd = -1;
  return Attempt::Busy;
}

}  // namespace

void removeCreatedDirectories(std::vector<std::string>& created) {
  // Innermost first; one still in use by another change is not empty and stays.
  for (auto it = created.rbegin(); it != created.rend(); ++it)
    if (!removeEmptyDirectoryInRoot(*it)) break;
  created.clear();
}

bool ChangeLock::acquire(int waitSeconds, const char* operation) {
  release();
  path_ = sysPath(kLockFile);
  if (!makeDirectoriesInRoot(sysPath(kLockDirectory), &created_)) {
    const int err = errno;
    KESP_LOG(LOG_ERROR, operation, "cannot create " << sysPath(kLockDirectory) << errnoSuffix(err));
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
  bool told = false;
  for (;;) {
    switch (tryLock(path_, fd_)) {
      case Attempt::Held:
        return true;
      case Attempt::Failed: {
        const int err = errno;
        // Another change removed the directory it had made as we came.
        if (err == ENOENT && makeDirectoriesInRoot(sysPath(kLockDirectory), &created_)) break;
        KESP_LOG(LOG_ERROR, operation, "cannot lock " << path_ << errnoSuffix(err));
        return false;
      }
      case Attempt::Busy:
        break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      KESP_LOG(LOG_ERROR, operation,
               "another network change was still running after "
                   << waitSeconds << " seconds; nothing was changed");
      return false;
    }
    if (!told) {
      std::fputs("waiting for another network change to finish\n", stderr);
      told = true;
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

void ChangeLock::release() {
  if (fd_ < 0) return;
  // Unlinked while still held, so that no tree is left with a stray lock file;
  // a waiter that opened the old file notices and tries again.
  removeInRoot(path_);
  close(fd_);
  fd_ = -1;
  // An image is left as it came: no empty directories of ours.
  if (!systemRoot().empty()) removeCreatedDirectories(created_);
  created_.clear();
}

}  // namespace detail
}  // namespace KESP
