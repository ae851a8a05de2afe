#pragma once
// The default routes of one interface in SUSE's shared routes file, where the
// lines of every interface stand together: a line is the interface's when it
// names the interface as its device, or names no device and its gateway lies
// in one of the interface's networks.

#include <string>
#include <vector>

#include "families/ifcfg/ifcfg_addresses.h"
#include "kesp/network_model.h"
#include "kesp/util.h"

namespace KESP {
namespace detail {

/// A destination that means every address: "default", or the whole range of
/// either IP family written as a network ("0.0.0.0/0", "::/0").
bool isDefaultDestination(const std::string& word);

/// "<dir>/ifroute-<iface>", the interface's own routes file (without the root).
std::string suseInterfaceRoutesPath(const std::string& iface);

/// The value of a default line (the words after its destination) is iface's.
bool isOwnDefaultRoute(const std::string& value, const std::string& iface,
                       const std::vector<IfcfgAddress>& networks);

/// The gateways of iface's default lines, the last of each IP family winning;
/// fields without such a line are left as they were.
void readSuseInterfaceRoutes(KeyValueFile& routes, const std::string& iface,
                             const std::vector<IfcfgAddress>& networks, Ipv4Settings& ipv4,
                             Ipv6Settings& ipv6);

/// Replaces iface's default lines (`networks` and the new ones of the mode
/// count as its own; where the first of them stood, else at the end) with
/// "default <gateway> - -" for the IPv4 gateway (STATICV4) and the IPv6 one
/// (STATICV6), each only when not empty; a gateway outside the new network
/// names iface as its device. A default line without a device whose gateway
/// lies in none of `reachable` (every other interface's networks) goes too
/// when iface gets a new gateway of its IP family (STATICV4, STATICV6 in
/// `newGateways`, wherever it is written). Every other line stays.
void writeSuseInterfaceRoutes(KeyValueFile& routes, const std::string& iface,
                              const std::vector<IfcfgAddress>& networks, AddressMode mode,
                              const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
                              AddressMode newGateways = 0,
                              const std::vector<IfcfgAddress>& reachable = {});

}  // namespace detail
}  // namespace KESP
