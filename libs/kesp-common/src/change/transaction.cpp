// The network change transaction: new settings for one interface, applied with
// the interface down, and the previous files put back from the change journal
// whenever the interface does not come up with an address.

#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "change/address_wait.h"
#include "change/change_request.h"
#include "change/change_scope.h"
#include "change/running_restore.h"
#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "files/names.h"
#include "system/process.h"
#include "files/root_path.h"
#include "settings/name_server_owners.h"

namespace KESP {

namespace {

const char* const kOperation = "setNetworkAddresses";
const int kAddressWaitSeconds = ADDRESS_WAIT_SECONDS;
const char kOvfProcessScript[] = "/opt/tolvex/share/kesp/kesp_ovf_process";

/// The restart mode of a restore: 0 skips the IPv6 module reload of the new
/// settings, which the old files may not want.
const AddressMode kPlainRestart = 0;

void logRequest(const detail::ChangeRequest& request, const Ipv4Settings& ipv4,
                const Ipv6Settings& ipv6) {
  if (request.mode & STATICV4) {
    KESP_LOG(LOG_INFO, kOperation,
             "New network parameters requested: interface="
                 << request.iface << " ipv4addr=" << ipv4.address << " broadcast=" << ipv4.broadcast
                 << " netmask=" << ipv4.netmask << (ipv4.gateway.empty() ? "" : " gateway=")
                 << ipv4.gateway);
  }
  if (request.mode & STATICV6) {
    KESP_LOG(LOG_INFO, kOperation,
             "New network parameters requested: interface="
                 << request.iface << " ipv6addr=" << ipv6.address << " prefix=" << ipv6.prefix
                 << (ipv6.gateway.empty() ? "" : " gateway=") << ipv6.gateway);
  }
}

void logDhcpRequest(const detail::ChangeRequest& request) {
  if (request.mode & DHCPV4)
    KESP_LOG(LOG_INFO, kOperation,
             "New IPv4 network parameters requested: " << request.iface << " DHCPv4");
  if (request.mode & DHCPV6)
    KESP_LOG(LOG_INFO, kOperation,
             "New IPv6 network parameters requested: " << request.iface << " DHCPv6");
}

/// A list staged by setDnsServers(…, true) takes effect with this change. It
/// is written where the owner of resolv.conf reads it and the staged file
/// removed, both journaled, so a failed change puts both back.
bool applyPendingNameServers(const std::string& iface, AddressMode mode) {
  const std::string pending = sysPath(RESOLV_CONF_PENDING);
  std::string staged;
  bool missing = false;
  if (!detail::readWholeFile(pending, staged, &missing)) {
    if (missing) return true;
  } else {
    if (mode & (DHCPV4 | DHCPV6))
      KESP_LOG(LOG_WARN, kOperation, "DHCP will override supplied DNS settings");
    if (detail::applyStagedNameServers(staged, kOperation, iface) && detail::removeFile(pending))
      return true;
  }
  KESP_LOG(LOG_ERROR, kOperation, "Can't apply DNS setting" << detail::errnoSuffix(errno));
  return false;
}

/// Journals the files the change may rewrite, before the interface goes down:
/// the interface file must exist, the others are recorded as present or not.
bool journalChangeFiles(const std::vector<std::string>& paths) {
  for (size_t i = 0; i < paths.size(); ++i) {
    const std::string path = sysPath(paths[i]);
    if (i == 0 && access(path.c_str(), R_OK) != 0) {
      const int err = errno;
      KESP_LOG(LOG_ERROR, kOperation,
               "can't open " << path << " for reading" << detail::errnoSuffix(err));
      return false;
    }
    if (!detail::journalBeforeChange(path)) {
      const int err = errno;
      KESP_LOG(LOG_ERROR, kOperation, "can't create temp file" << detail::errnoSuffix(err));
      return false;
    }
  }
  return true;
}

/// Brings the interface back after a failure that left its files untouched.
void restartUnchanged(const std::string& iface) { controlInterface(iface, true, kPlainRestart); }

void reportSuccess(const detail::ChangeRequest& request, const Ipv4Settings& ipv4,
                   const Ipv6Settings& ipv6) {
  const std::string done = "Network parameters successfully changed to requested values: ";
  // DHCP may have brought a new host name along; the script picks it up.
  if (request.mode & DHCPV4) {
    KESP_LOG(LOG_INFO, kOperation, done << request.iface << " DHCPv4");
    kesp_set_hostname();
  }
  if (request.mode & DHCPV6) {
    KESP_LOG(LOG_INFO, kOperation, done << request.iface << " DHCPv6");
    kesp_set_hostname();
  }
  if (request.mode & STATICV4)
    KESP_LOG(
        LOG_INFO, kOperation,
        done << request.iface << " " << ipv4.address << " " << ipv4.netmask << " " << ipv4.gateway);
  if (request.mode & STATICV6)
    KESP_LOG(LOG_INFO, kOperation,
             done << request.iface << " " << ipv6.address << " " << ipv6.prefix);
}

/// From taking the interface down to the end, once the request is accepted
/// and its files are journaled.
bool applyChange(OsFlavour flavour, const detail::ChangeRequest& request, const Ipv4Settings& ipv4,
                 const Ipv6Settings& ipv6, detail::ChangeScope& scope) {
  const std::string& iface = request.iface;
  if (!scope.noteRestart(iface)) return false;
  std::vector<detail::RestartedInterface> restarted;
  restarted.emplace_back(iface, request.mode);
  if (!controlInterface(iface, false, request.mode)) {
    KESP_LOG(LOG_ERROR, kOperation, "can't bring down network interface " << iface);
    // ifdown may have got part of the way (the DHCPv6 client stopped, say).
    restartUnchanged(iface);
    return scope.finish(false);
  }
  if (!applyPendingNameServers(iface, request.mode)) {
    scope.rollBack();
    restartUnchanged(iface);
    return false;
  }
  // The interface is still down here, so a half-written set of files is put
  // back before it ever runs with them.
  if (!detail::rewriteFamilyFiles(flavour, request, ipv4, ipv6, kOperation)) {
    KESP_LOG(LOG_ERROR, kOperation, "failed to update network interface files");
    detail::restorePreviousState(scope, restarted, kOperation);
    return false;
  }
  // One bound from bringing the interface up to giving up, whatever the
  // family's programs and DHCP clients would wait by themselves.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(kAddressWaitSeconds);
  if (!restarted[0].bringUpWithin(deadline)) {
    detail::restorePreviousState(scope, restarted, kOperation);
    return false;
  }
  if (detail::waitForAddressUntil(iface, request.mode, deadline)) {
    if (!scope.finish(true)) return false;
    reportSuccess(request, ipv4, ipv6);
    return true;
  }
  // A wait that ran out is no failed system call: no errno belongs here.
  KESP_LOG(LOG_ERROR, kOperation, "Network FAILED to restart using new parameters " << iface);
  detail::restorePreviousState(scope, restarted, kOperation);
  return false;
}

}  // namespace

bool setNetworkAddresses(const std::string& iface, AddressMode mode, const std::string& ipv4Address,
                         const std::string& ipv4Netmask, const std::string& ipv4Gateway,
                         const std::string& ipv6Address, const std::string& ipv6Prefix,
                         const std::string& ipv6Gateway) {
  const detail::ChangeRequest request{iface,       mode,        ipv4Address, ipv4Netmask,
                                      ipv4Gateway, ipv6Address, ipv6Prefix,  ipv6Gateway};
  // Nothing of a malformed request reaches a file, a command or the log.
  if (!detail::checkChangeRequest(request, kOperation)) return false;
  const OsFlavour flavour = getOsFlavour();
  logDhcpRequest(request);
  if (!detail::isSupportedRequest(flavour, request, kOperation)) return false;
  if (!detail::isRunnableRequest(flavour, request, kOperation)) return false;
  const Ipv4Settings ipv4 = request.ipv4Settings();
  const Ipv6Settings ipv6 = request.ipv6Settings();
  logRequest(request, ipv4, ipv6);

  const std::vector<std::string> paths = detail::changeFilePaths(flavour, iface, kOperation);
  if (paths.empty()) return false;
  detail::ChangeScope scope(kOperation);
  if (!scope.isOpen()) return false;
  if (!journalChangeFiles(paths)) return scope.finish(false);
  return applyChange(flavour, request, ipv4, ipv6, scope);
}

bool setNetwork(const std::string& iface, AddressMode mode, const std::string& ipv4Address,
                const std::string& ipv4Netmask, const std::string& ipv4Gateway,
                const std::string& ipv6Address, const std::string& ipv6Prefix,
                const std::string& ipv6Gateway) {
  detail::ChangeScope scope("setNetwork");
  if (!scope.isOpen()) return false;
  const bool changed = setNetworkAddresses(iface, mode, ipv4Address, ipv4Netmask, ipv4Gateway,
                                           ipv6Address, ipv6Prefix, ipv6Gateway);
  updateNetworkDisplay();
  // A name the transaction refused is no interface the script should flag.
  if (!detail::isValidInterfaceName(iface)) return changed;
  std::string output;
  if (detail::runArgv({sysPath(kOvfProcessScript), "-r", iface}, &output) < 0)
    KESP_LOG(LOG_ERROR, "setNetwork",
             "Error: Unable to set flag that interface is being managed by KESP");
  else
    KESP_LOG(LOG_INFO, "setNetwork", output);
  return scope.finish(changed);
}

}  // namespace KESP
