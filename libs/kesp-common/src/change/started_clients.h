#pragma once
// The DHCP clients a change starts on its interface: those that were not
// running before it brought the interface up.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace KESP {
namespace detail {

class StartedClients {
 public:
  /// Notes the clients of iface that run now; those are never counted.
  explicit StartedClients(const std::string& iface);

  /// Runs up (the family's bring-up) and returns its result. Should up still
  /// run at deadline, waiting on a DHCP client that found no server, the
  /// clients started since are stopped so that it returns: a family's own
  /// client timeout must not outlast the change's bound.
  bool bringUpWithin(std::chrono::steady_clock::time_point deadline,
                     const std::function<bool()>& up) const;

  /// Stops the clients started since construction; logged under operation.
  void stop(const char* operation) const;

 private:
  std::string iface_;
  std::vector<pid_t> before_;
};

}  // namespace detail
}  // namespace KESP
