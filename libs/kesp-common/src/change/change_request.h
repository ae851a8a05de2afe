#pragma once
// What a network change asks for, the checks it must pass before anything is
// touched, and the files it rewrites: shared by the transaction and by
// writeNetworkFiles.

#include <string>
#include <vector>

#include "kesp/interface_files.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

/// The eight arguments of setNetworkAddresses, as the caller gave them.
struct ChangeRequest {
  std::string iface;
  AddressMode mode = 0;
  std::string ipv4Address;
  std::string ipv4Netmask;
  std::string ipv4Gateway;
  std::string ipv6Address;
  std::string ipv6Prefix;
  std::string ipv6Gateway;

  /// The settings the writers receive: derived only for the requested families.
  Ipv4Settings ipv4Settings() const;
  Ipv6Settings ipv6Settings() const;
};

/// Empty when the request's texts may be written into files that a root shell
/// sources; otherwise the ERROR text that names the first bad field. Only the
/// fields of STATICV4 and STATICV6 are looked at: nothing else is written.
std::string findRequestFault(const ChangeRequest& request);

/// findRequestFault, logging its text at ERROR under operation; true when none.
bool checkChangeRequest(const ChangeRequest& request, const char* operation);

/// Refuses (one ERROR line, false) what the family cannot do: DHCPV6 without
/// an installed DHCPv6 client, a port of a bond or bridge, a Red Hat file
/// that configures another device, and DHCPV6 as the only mode on Red Hat.
bool isSupportedRequest(OsFlavour flavour, const ChangeRequest& request, const char* operation);
/// What a live change needs beyond isSupportedRequest: a DHCPv4 client for a
/// DHCPv4 mode. False (logged, "no DHCP client") otherwise. An offline image
/// is not held to it: its client may be installed after its network is set.
/// An unknown family is left to the refusal that names it.
bool isRunnableRequest(OsFlavour flavour, const ChangeRequest& request, const char* operation);

/// The files a change of iface may rewrite, without the system root: the
/// interface file first (it must exist), then the family's further files in
/// the order they are backed up and restored. Empty, with "Unknown OS type: N"
/// logged at ERROR, for a family other than the three.
std::vector<std::string> changeFilePaths(OsFlavour flavour, const std::string& iface,
                                         const char* operation);

/// Rewrites the family's files for the request (loaded, edited by the
/// family's writers, saved in order, stopping at the first failed save).
/// False when a file could not be loaded or saved; logs only the INFO lines of
/// the SUSE module list and the savers' own errors.
bool rewriteFamilyFiles(OsFlavour flavour, const ChangeRequest& request, const Ipv4Settings& ipv4,
                        const Ipv6Settings& ipv6, const char* operation);

/// Quotes text for a log line: bytes outside printable ASCII as \xNN, cut
/// after 64 bytes, so that no caller's text can forge or flood log lines.
std::string printableText(const std::string& text);

}  // namespace detail
}  // namespace KESP
