#pragma once
// An interface's addressing in a .network file loaded in memory: read, and
// rewritten with everything the tool does not own kept in place.

#include <string>
#include <vector>

#include "kesp/network_model.h"
#include "kesp/util.h"

namespace KESP {
namespace detail {

/// [Network] DHCP= (yes, ipv4, ipv6), IPv6AcceptRA= (AUTOV6 without DHCPv6),
/// the first IPv4 and IPv6 of [Network] Address= and [Address] sections
/// (STATICV4, STATICV6; the others go to further), [Network] Gateway= and the
/// gateways of default [Route] sections.
void readNetworkdInterface(KeyValueFile& file, AddressMode& mode, Ipv4Settings& ipv4,
                           Ipv6Settings& ipv6, std::vector<std::string>& further);

/// Sets the mode: the tool's keys of [Network] (DHCP, Address, Gateway,
/// IPv6AcceptRA), the [Address] sections and the default [Route] sections are
/// replaced; [Match] Name= becomes iface; every other line stays where it was.
void writeNetworkdInterface(KeyValueFile& file, const std::string& iface, AddressMode mode,
                            const Ipv4Settings& ipv4, const Ipv6Settings& ipv6);

/// The per-link name servers of [Network] DNS=, in file order.
std::vector<std::string> networkdNameServersOf(KeyValueFile& file);
/// Replaces them (an empty list removes them).
void setNetworkdNameServersIn(KeyValueFile& file, const std::vector<std::string>& servers);

}  // namespace detail
}  // namespace KESP
