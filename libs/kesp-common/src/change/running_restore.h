#pragma once
// Giving an interface its running state back after a change that brought no
// address: the same steps for one interface (set) and for several (apply).

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "change/started_clients.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

class ChangeScope;

/// One interface a change restarts: what it ran with before, and the DHCP
/// clients bringing it up with the new settings started.
class RestartedInterface {
 public:
  /// Reads the mode the files give iface now, before anything is rewritten:
  /// the address a restore waits for (0 when it was configured nowhere).
  RestartedInterface(const std::string& iface, AddressMode newMode);

  const std::string& name() const { return iface_; }
  AddressMode newMode() const { return newMode_; }

  /// Brings iface up with the new files within deadline, noting the clients
  /// that started (see StartedClients::bringUpWithin).
  bool bringUpWithin(std::chrono::steady_clock::time_point deadline);

  /// Takes the failed settings down, by the program that knows what it
  /// started, and stops whatever client they left: only then does the
  /// interface come up with the old files rather than answer that it is up
  /// already. Nothing to do when the new settings never came up.
  void takeDownFailed(const char* operation) const;

  /// Brings iface up with the files put back and waits, within the change's
  /// bound, for the old configuration's own address. True when it came (or
  /// none was configured) and the family brought it up.
  bool bringBackPrevious() const;

 private:
  std::string iface_;
  AddressMode newMode_;
  AddressMode oldMode_;
  std::unique_ptr<StartedClients> clients_;  ///< set once the new settings were brought up
};

/// The restore of a failed change: the failed settings taken down, the files
/// put back, and each interface brought back with its old address waited for.
/// The outcome is logged under operation; the change has failed either way.
void restorePreviousState(ChangeScope& scope, const std::vector<RestartedInterface>& interfaces,
                          const char* operation);

}  // namespace detail
}  // namespace KESP
