// Making a desired state true as one change: the plan is made under the
// change lock, every file it names is journaled and written inside one scope,
// and the interfaces whose configuration changes are taken down before and
// brought up after, together.

#include <cerrno>
#include <chrono>
#include <vector>

#include "change/address_wait.h"
#include "change/change_scope.h"
#include "change/running_restore.h"
#include "files/file_write.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/state_change.h"
#include "kesp/sysroot.h"

namespace KESP {

namespace {

const char kOperation[] = "applyState";

AddressMode modeOf(const DesiredState& state, const std::string& iface) {
  for (const DesiredInterface& wanted : state.interfaces)
    if (wanted.name == iface) return wanted.mode;
  return 0;
}

bool writePlannedFiles(const StatePlan& plan) {
  for (const FileChange& file : plan.files) {
    const std::string path = sysPath(file.path);
    // A writer drafted into a directory that is not there yet (resolved's
    // drop-ins on a system without any): made here, on record, as the
    // writer itself makes it outside a draft.
    const bool written =
        file.exists ? detail::makeDirectoriesForWrite(path.substr(0, path.rfind('/'))) &&
                          detail::replaceFile(path, file.after, nullptr, file.newFileMode)
                    : detail::removeFile(path);
    if (!written) {
      KESP_LOG(
          LOG_ERROR, kOperation,
          "cannot " << (file.exists ? "write " : "remove ") << path << detail::errnoSuffix(errno));
      return false;
    }
  }
  return true;
}

/// Brings the restarted interfaces up together, within the one bound a
/// change has from bringing up to giving up, and waits for their addresses.
bool bringUp(std::vector<detail::RestartedInterface>& restarted) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(ADDRESS_WAIT_SECONDS);
  for (detail::RestartedInterface& iface : restarted)
    if (!iface.bringUpWithin(deadline)) return false;
  // Each waits only for what has not come yet: they came up together. The
  // first that gets none decides: everything goes back, so the rest need
  // not be waited for.
  for (const detail::RestartedInterface& iface : restarted) {
    if (detail::waitForAddressUntil(iface.name(), iface.newMode(), deadline)) continue;
    KESP_LOG(LOG_ERROR, kOperation,
             "Network FAILED to restart using new parameters " << iface.name());
    return false;
  }
  return true;
}

bool putBack(detail::ChangeScope& scope, const std::vector<detail::RestartedInterface>& restarted) {
  detail::restorePreviousState(scope, restarted, kOperation);
  return false;
}

bool applyLive(const DesiredState& state, StatePlan& plan, detail::ChangeScope& scope) {
  for (const std::string& iface : plan.restarts) {
    if (!scope.noteRestart(iface)) return scope.finish(false);
  }
  // What each ran with is read before any file changes.
  std::vector<detail::RestartedInterface> restarted;
  for (const std::string& iface : plan.restarts) restarted.emplace_back(iface, modeOf(state, iface));
  for (const std::string& iface : plan.restarts) {
    if (!controlInterface(iface, false, modeOf(state, iface))) {
      KESP_LOG(LOG_ERROR, kOperation, "can't bring down network interface " << iface);
      return putBack(scope, restarted);
    }
  }
  if (!writePlannedFiles(plan) || !bringUp(restarted)) return putBack(scope, restarted);
  if (plan.nameServersChange && !useDnsServersNow(plan.restarts)) return putBack(scope, restarted);
  // Still inside the change: a name the script refuses takes the rest back.
  if (plan.hostNameChanges && kesp_set_hostname(state.hostName) != 0)
    return putBack(scope, restarted);
  if (!scope.finish(true)) return false;
  updateNetworkDisplay();
  return true;
}

}  // namespace

bool applyState(const DesiredState& state, bool live, StatePlan& plan) {
  // A state that already holds is only read, and reading never locks; but
  // files an unfinished change left behind are no state to compare with.
  if (!interruptedChangeWaiting()) {
    if (!planState(state, live, plan)) return false;
    if (!plan.changed()) return true;
  }
  detail::ChangeScope scope(kOperation);
  if (!scope.isOpen()) return false;
  // Planned under the lock: nothing else changes the files before they are written.
  if (!planState(state, live, plan)) return scope.finish(false);
  if (!plan.changed()) return scope.finish(true);
  if (live) return applyLive(state, plan, scope);
  if (!writePlannedFiles(plan)) {
    if (!scope.rollBack())
      KESP_LOG(LOG_ERROR, kOperation, "Unable to restore previous network settings");
    return false;
  }
  return scope.finish(true);
}

}  // namespace KESP
