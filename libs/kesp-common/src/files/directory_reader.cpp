#include "files/directory_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "files/draft.h"
#include "files/root_path.h"

namespace KESP {
namespace detail {

namespace {

/// No system has smaller pages: a first read that returns less ended at the
/// end of the file.
constexpr size_t kSmallestPage = 4096;

}  // namespace

DirectoryReader::DirectoryReader(int directory, const std::string& directoryPath, size_t largest)
    : directory_(directory), path_(directoryPath), largest_(largest) {}

DirectoryReader::~DirectoryReader() {
  release();
  closeWaiting();
}

ReadResult DirectoryReader::read(const std::string& name, unsigned char type,
                                 std::string& content) {
  release();
  name_ = name;
  known_ = false;
  auto tooLarge = [&] {
    known_ = false;  // nothing to ask of a file not read
    errno = EFBIG;
    noteUnreadable(path_ + "/" + name_, EFBIG);
    return ReadResult::NotRead;
  };
  // Anything the listing does not call a regular file, a link and a file
  // only a draft holds are read as every file is, with their status.
  int fd = -1;
  if (type == DT_REG && !openDraft()) {
    fd = openat(directory_, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno != ELOOP) {
      if (errno != ENOENT && errno != ENOTDIR) noteUnreadable(path_ + "/" + name_, errno);
      return ReadResult::NotOpened;
    }
  }
  if (fd < 0) {
    const ReadResult result = readFileInDirectory(directory_, path_, name, content, &status_);
    known_ = result == ReadResult::Read;
    return known_ && content.size() > largest_ ? tooLarge() : result;
  }
  fd_ = fd;
  if (readOpen(content, false) && withinLineBound(content)) return ReadResult::Read;
  const int err = errno;
  release();  // nothing to ask of a file not read
  if (err == EFBIG) return tooLarge();
  noteUnreadable(path_ + "/" + name_, err);
  errno = err;
  return ReadResult::NotRead;
}

bool DirectoryReader::readOpen(std::string& content, bool fromStart) {
  content.clear();
  if (fromStart && lseek(fd_, 0, SEEK_SET) != 0) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    const size_t got = static_cast<size_t>(n);
    content.append(buffer, got);
    // Bounded: what is named as a regular file may have become a device.
    if (content.size() > largest_) {
      errno = EFBIG;
      return false;
    }
    if (known_ ? got < sizeof buffer && content.size() == static_cast<size_t>(status_.st_size)
               : content.size() == got && got < kSmallestPage)
      return true;
  }
}

DirectoryReader::Status DirectoryReader::status(struct stat& info, size_t readSize,
                                                std::string& content) {
  Status result = Status::Same;
  if (!known_) {
    auto fail = [&] {
      const int err = errno;
      noteUnreadable(path_ + "/" + name_, err);
      errno = err;
      return Status::Failed;
    };
    if (fd_ < 0) {
      errno = EBADF;  // no file was read
      return Status::Failed;
    }
    if (fstat(fd_, &status_) != 0) return fail();
    known_ = true;
    if (!S_ISREG(status_.st_mode)) {
      isRegularOrRefuse(path_ + "/" + name_, status_.st_mode);
      return fail();
    }
    if (static_cast<size_t>(status_.st_size) != readSize) {
      if (!readOpen(content, true) || !withinLineBound(content)) return fail();
      result = Status::ReadAgain;
    }
  }
  info = status_;
  return result;
}

void DirectoryReader::release() {
  if (fd_ < 0) return;
  if (waitingCount_ == kMostWaiting) closeWaiting();
  waiting_[waitingCount_++] = fd_;
  fd_ = -1;
}

void DirectoryReader::closeWaiting() {
  // A run of consecutive numbers all opened here holds no other thread's
  // descriptor: it is closed by one call.
  std::sort(waiting_, waiting_ + waitingCount_);
  for (int first = 0; first < waitingCount_;) {
    int last = first;
    while (last + 1 < waitingCount_ && waiting_[last + 1] == waiting_[last] + 1) ++last;
    bool closed = false;
#ifdef SYS_close_range
    closed = last > first && syscall(SYS_close_range, static_cast<unsigned>(waiting_[first]),
                                     static_cast<unsigned>(waiting_[last]), 0u) == 0;
#endif
    for (int i = first; !closed && i <= last; ++i) close(waiting_[i]);
    first = last + 1;
  }
  waitingCount_ = 0;
}

}  // namespace detail
}  // namespace KESP
