#pragma once
// Descriptors closed when they go out of scope, keeping errno for the caller's
// report of whatever failed before.

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace KESP {
namespace detail {

/// One descriptor, closed at the end of its scope unless released.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { reset(); }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) {
      int saved = errno;
      ::close(fd_);
      errno = saved;
    }
    fd_ = fd;
  }

 private:
  int fd_;
};

/// The directories a walk holds open, innermost last; all closed at the end.
struct HeldDescriptors {
  std::vector<int> fds;
  HeldDescriptors() = default;
  HeldDescriptors(const HeldDescriptors&) = delete;
  HeldDescriptors& operator=(const HeldDescriptors&) = delete;
  ~HeldDescriptors() {
    int saved = errno;
    for (int fd : fds) ::close(fd);
    errno = saved;
  }
};

}  // namespace detail
}  // namespace KESP
