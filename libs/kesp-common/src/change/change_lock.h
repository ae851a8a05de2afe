#pragma once
// One change at a time: an exclusive lock under "/run/kesp/" (through the
// system root) that every writing operation holds for its whole run.

#include <string>
#include <vector>

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
  std::vector<std::string> created_;  ///< directories made for the lock
};

/// Removes, innermost first, the directories of created that are empty.
void removeCreatedDirectories(std::vector<std::string>& created);

}  // namespace detail
}  // namespace KESP
