#pragma once
// Which address tells the operator that the appliance is reachable. Pure: the
// facts about each interface come from a probe, so the rule is tested without
// a kernel or a terminal.

#include <functional>
#include <string>
#include <vector>

#include "kesp/network_model.h"

namespace kesp_console {

/// What the status check learns about one interface: the modes its interface
/// files configure (with AUTOV6 for a dynamic IPv6 address) and its live addresses.
struct InterfaceFacts {
  KESP::AddressMode configuredModes = 0;
  KESP::Ipv4Settings live4;
  KESP::Ipv6Settings live6;
  /// The link is up and has a carrier; an address on a dead link reaches no one.
  bool linkUsable = true;
  /// The interface files configure the interface at all.
  bool configured = true;
};

/// What the status pane shows: the reachable address (empty: the warning),
/// and, without one, the first interface that holds an address although no
/// interface file configures it, so that the warning can say so.
struct StatusChoice {
  std::string address;
  std::string unconfiguredInterface;
  std::string unconfiguredAddress;
  /// Without an address: why, in one translated line ("eth0: cable not
  /// connected"); empty when no cause was found.
  std::string cause;
  bool operator==(const StatusChoice& other) const {
    return address == other.address && unconfiguredInterface == other.unconfiguredInterface &&
           unconfiguredAddress == other.unconfiguredAddress && cause == other.cause;
  }
};

/// The address by which an interface counts as configured and reachable: its
/// live IPv4 address when an IPv4 mode is configured, else its live IPv6
/// address when an IPv6 mode is; empty when neither, or when the link is down.
std::string reachableAddress(const InterfaceFacts& facts);

using InterfaceProbe = std::function<InterfaceFacts(const std::string& iface)>;

/// The reachable address of the first interface, in list order, that has one;
/// empty when none has. Interfaces after that one are not probed.
std::string chooseStatusAddress(const std::vector<std::string>& interfaces,
                                const InterfaceProbe& probe);

/// chooseStatusAddress with, when no address is chosen, the first interface
/// configured nowhere that holds a live address on a usable link.
StatusChoice chooseStatus(const std::vector<std::string>& interfaces, const InterfaceProbe& probe);

}  // namespace kesp_console
