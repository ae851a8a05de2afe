#include "change/running_restore.h"

#include "change/address_wait.h"
#include "change/change_scope.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"

namespace KESP {
namespace detail {

namespace {

/// The restart mode of a restore: 0 skips the IPv6 module reload of the new
/// settings, which the old files may not want.
const AddressMode kPlainRestart = 0;

/// An interface configured nowhere before is no fault here: it is read
/// without the complaint getNetwork would log.
AddressMode configuredMode(const std::string& iface) {
  std::vector<ConfiguredNetwork> previous(1);
  previous[0].name = iface;
  getNetworks(previous, false);
  return previous[0].configured ? previous[0].mode : 0;
}

}  // namespace

RestartedInterface::RestartedInterface(const std::string& iface, AddressMode newMode)
    : iface_(iface), newMode_(newMode), oldMode_(configuredMode(iface)) {}

bool RestartedInterface::bringUpWithin(std::chrono::steady_clock::time_point deadline) {
  clients_.reset(new StartedClients(iface_));
  return clients_->bringUpWithin(deadline, [&] { return controlInterface(iface_, true, newMode_); });
}

void RestartedInterface::takeDownFailed(const char* operation) const {
  if (!clients_) return;
  controlInterface(iface_, false, newMode_);
  clients_->stop(operation);
}

bool RestartedInterface::bringBackPrevious() const {
  if (!controlInterface(iface_, true, kPlainRestart)) return false;
  return oldMode_ == 0 ||
         waitForAddressUntil(iface_, oldMode_,
                             std::chrono::steady_clock::now() +
                                 std::chrono::seconds(ADDRESS_WAIT_SECONDS));
}

void restorePreviousState(ChangeScope& scope, const std::vector<RestartedInterface>& interfaces,
                          const char* operation) {
  for (const RestartedInterface& restarted : interfaces) restarted.takeDownFailed(operation);
  bool restored = scope.rollBack();
  for (const RestartedInterface& restarted : interfaces) {
    KESP_LOG(LOG_ERROR, operation,
             "Attempting to restore network values for " << restarted.name()
                                                         << " to previous settings");
    restored = restarted.bringBackPrevious() && restored;
  }
  if (restored)
    KESP_LOG(LOG_ERROR, operation, "Successfully restored previous network settings");
  else
    KESP_LOG(LOG_ERROR, operation, "Unable to restore previous network settings");
}

}  // namespace detail
}  // namespace KESP
