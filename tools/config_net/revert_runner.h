#pragma once
// What puts a change pending confirmation back at its deadline when nobody
// confirms it: a process of its own, so that neither the tool's end nor its
// session's decides.

#include <iosfwd>
#include <string>

namespace kesp_config_net {

/// Arranges "kesp_config_net revert --if-due" for deadline (seconds since
/// the epoch), with the same --system-root: a transient systemd timer where
/// systemd runs this network namespace, else a detached watcher (its own
/// session, standard streams on /dev/null) that sleeps until then. False
/// when neither could be started.
bool startRevertRunner(long long deadline, const std::string& systemRoot);

/// Sleeps until deadline (seconds since the epoch), whatever interrupts.
void sleepUntil(long long deadline);

/// Every change of the command stays pending for `seconds` (none when 0),
/// with its runner; ends with the command.
class PendingGuard {
 public:
  PendingGuard(int seconds, const std::string& systemRoot);
  ~PendingGuard();
  PendingGuard(const PendingGuard&) = delete;
  PendingGuard& operator=(const PendingGuard&) = delete;

 private:
  bool armed_ = false;
};

/// Tells when the pending change is put back and how to keep it.
void reportPending(std::ostream& out);

}  // namespace kesp_config_net
