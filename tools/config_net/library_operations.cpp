#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>

#include "kesp/diagnosis.h"
#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/network_change.h"
#include "kesp/network_model.h"
#include "kesp/proxy.h"
#include "kesp/sysroot.h"
#include "log_collector.h"
#include "operations.h"
#include "translate.h"
#include "verdict_render.h"

namespace kesp_config_net {

namespace {

const char kOperation[] = "kesp_config_net";

/// Runs one library call and gathers what it logged.
Outcome collect(const LogCollector& log, const std::function<bool()>& call) {
  const size_t mark = log.mark();
  Outcome outcome;
  outcome.ok = call();
  const std::vector<LogLine> lines = log.linesSince(mark);
  for (const LogLine& line : lines) {
    if (line.level == KESP::LOG_ERROR) addMessageOnce(outcome.errors, line.message);
    if (line.level == KESP::LOG_WARN) addMessageOnce(outcome.warnings, line.message);
  }
  return outcome;
}

}  // namespace

Outcome LibraryOperations::changeInterface(const InterfaceChange& change) {
  bool created = false;
  // Adding the file and setting it are one change: journaled together, so
  // that a run cut off between them leaves no half-made file behind.
  Outcome outcome = collect(log_, [&] {
    return KESP::asOneChange(kOperation, [&] {
      if (KESP::needsOwnConfiguration(change.iface)) {
        if (!KESP::move(KESP::MOVE_ADD, change.iface, "")) return false;
        created = true;
      }
      if (!live_)
        return KESP::writeNetworkFiles(change.iface, change.mode, change.ipv4Address,
                                       change.ipv4Netmask, change.ipv4Gateway,
                                       change.ipv6Address, change.ipv6Prefix, change.ipv6Gateway);
      return KESP::setNetwork(change.iface, change.mode, change.ipv4Address, change.ipv4Netmask,
                              change.ipv4Gateway, change.ipv6Address, change.ipv6Prefix,
                              change.ipv6Gateway);
    });
  });
  if (created && !outcome.ok) {
    // The failed change was put back as a whole, the new file with it.
    const bool removed =
        KESP::needsOwnConfiguration(change.iface) || KESP::move(KESP::MOVE_REMOVE, change.iface, "");
    outcome.note =
        removed ? trf("the configuration created for {1} for this change was removed again", {change.iface})
                : trf("the configuration created for {1} for this change could not be removed again",
                      {change.iface});
  } else if (created) {
    outcome.note = trf("a configuration file was created for {1}", {change.iface});
  }
  if (outcome.ok && live_) {
    KESP::Ipv4Settings ipv4;
    KESP::Ipv6Settings ipv6;
    if (KESP::getLiveAddresses(change.iface, ipv4, ipv6)) {
      std::string held = ipv4.address;
      if (!ipv6.address.empty()) held += (held.empty() ? "" : tr(" and ")) + ipv6.address;
      outcome.note += (outcome.note.empty() ? "" : "; ") + trf("{1} now holds {2}", {change.iface, held});
    }
  }
  return outcome;
}

Outcome LibraryOperations::setNameServers(const std::vector<std::string>& servers,
                                          bool pending) {
  return collect(log_, [&] { return KESP::setDnsServers(servers, pending, live_); });
}

bool LibraryOperations::withdrawPendingNameServers() {
  return KESP::withdrawPendingDnsServers();
}

Outcome LibraryOperations::setHostName(const std::string& name) {
  // An image has no kernel to tell: its files carry the name to its first start.
  if (!live_) return collect(log_, [&] { return KESP::setImageHostName(name); });
  return collect(log_, [&] { return KESP::kesp_set_hostname(name) == 0; });
}

Outcome LibraryOperations::setProxy(const ProxyRequest& proxy) {
  std::string unwritten;
  Outcome outcome = collect(log_, [&] {
    return KESP::setProxyPreservingPasswordReporting(proxy.host, proxy.port, proxy.user,
                                                     proxy.password, proxy.passwordGiven, unwritten);
  });
  // The library's result leaves out the package manager's file; the tool does not.
  if (outcome.ok && !unwritten.empty()) {
    outcome.ok = false;
    outcome.unwrittenFile = unwritten;
    outcome.errors.push_back(trf("cannot write {1}", {unwritten}));
  }
  return outcome;
}

Outcome LibraryOperations::moveConfiguration(int operation, const std::string& first,
                                             const std::string& second) {
  return collect(log_, [&] { return KESP::move(operation, first, second); });
}

std::string LibraryOperations::verdictOf(const std::string& iface) {
  if (!live_) return std::string();
  return renderVerdictText(KESP::diagnoseInterface(iface));
}

}  // namespace kesp_config_net
