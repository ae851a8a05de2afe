#pragma once
// One change at a time: an exclusive lock under "/run/kesp/" (through the
// system root) that every writing operation holds for its whole run.

#include <string>

namespace KESP {
namespace detail {

class ChangeLock {
 public:
  ChangeLock() = default;
  ChangeLock(const ChangeLock&) = delete;
  ChangeLock& operator=(const ChangeLock&) = delete;
  ~ChangeLock() { release(); }

  /// Takes the lock, waiting up to waitSeconds for another holder and saying
  /// once on standard error that it waits. False (logged at ERROR under
  /// operation) when it could not be had in time or not at all.
  bool acquire(int waitSeconds, const char* operation);
  void release();

 private:
  int fd_ = -1;
  std::string path_;
};

/// Creates directory and its missing parents (mode 0755); false with errno set.
bool makeDirectories(const std::string& directory);

}  // namespace detail
}  // namespace KESP
