#pragma once
// An interface's addressing in netplan's terms, read from and written into
// the YAML tree in memory.

#include <string>
#include <vector>

#include "families/netplan/netplan_tree.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

/// Reads a definition: dhcp4 → DHCPV4, dhcp6 → DHCPV6, accept-ra alone →
/// AUTOV6, the first IPv4 and IPv6 of `addresses` (STATICV4, STATICV6), the
/// default routes (`to: default`, or gateway4/gateway6) as gateways; the
/// other addresses go to further.
void readNetplanDefinition(const YamlNode& definition, AddressMode& mode, Ipv4Settings& ipv4,
                           Ipv6Settings& ipv6, std::vector<std::string>& further);

/// Writes iface's settings into the appliance's document as the appliance's
/// own definition (netplanOwnId), which networkd applies instead of the
/// definitions of other files. What the tool does not own of the definition
/// in force (routes to other networks, name servers, mtu, optional, …) is
/// carried over; a default route gets an explicit metric (the kernel's
/// default) where another definition declares one without, which netplan
/// would otherwise reject as a conflict. Mode 0 leaves the interface matched
/// but unaddressed, or drops the own definition where nothing else names it.
/// definitions are every file's merged definitions, the own file's included.
void writeNetplanInterface(YamlNode& ownDocument, const std::vector<NetplanDefinition>& definitions,
                           const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
                           const Ipv6Settings& ipv6);

/// The name servers of a definition's `nameservers: addresses`.
std::vector<std::string> netplanNameServersOf(const YamlNode& definition);

/// The appliance's definition of iface in ownDocument, made as
/// writeNetplanInterface makes it (from the definition in force) when absent.
YamlNode& netplanOwnDefinition(YamlNode& ownDocument,
                               const std::vector<NetplanDefinition>& definitions,
                               const std::string& iface);

}  // namespace detail
}  // namespace KESP
