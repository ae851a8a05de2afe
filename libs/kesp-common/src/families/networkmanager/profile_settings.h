#pragma once
// What a profile's [ipv4] and [ipv6] groups say about an interface's
// addresses, in the library's modes, and the edit that makes them say what a
// change asks for. Pure: works on a KeyFile in memory.

#include <string>
#include <vector>

#include "families/networkmanager/key_file.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

/// One address of a profile: "address/length" and the gateway written after
/// it ("address1=192.0.2.5/24,192.0.2.1"), empty when none.
struct ProfileAddress {
  std::string address;
  std::string length;
  std::string gateway;
};

/// The addresses of group ("ipv4" or "ipv6") in the order the reader of these
/// files takes them: "address", "addresses", then address<N>/addresses<N> by
/// N; a value may list several, separated by ";". Without a length IPv4
/// takes 24 and IPv6 64, as the reader does.
std::vector<ProfileAddress> profileAddresses(const KeyFile& profile, const std::string& group);

/// Mode and settings from a profile: [ipv4] method manual is STATICV4 and
/// auto DHCPV4; [ipv6] manual STATICV6, auto AUTOV6, dhcp DHCPV6; any other
/// method (disabled, ignore, link-local, shared) adds nothing. The first
/// address of a static method is the main one, its gateway "gateway=" or else
/// the one written after the address; every other address is a further one
/// ("address/length"). Fields without a value in the profile keep theirs.
void readProfileSettings(const KeyFile& profile, AddressMode& mode, Ipv4Settings& ipv4,
                         Ipv6Settings& ipv6, std::vector<std::string>& furtherAddresses);

/// Edits only method, the address keys and gateway of [ipv4] and [ipv6] for
/// the requested mode (one address each; further ones removed, named in a
/// WARN line under operation). Without a method of its family a group gets
/// "disabled" unless it already says disabled or ignore, and then loses the
/// name servers the reader refuses beside such a method. Every other line
/// stays as it was.
void writeProfileSettings(KeyFile& profile, const std::string& iface, AddressMode mode,
                          const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
                          const char* operation);

/// A new Ethernet profile for iface: [connection] id (the interface's name),
/// uuid, type and interface-name, an empty [ethernet] group, and the groups
/// that writeProfileSettings then fills.
KeyFile newEthernetProfile(const std::string& iface, const std::string& uuid);

/// A random (version 4) UUID from the kernel's random source; empty when the
/// kernel gives none.
std::string freshUuid();

}  // namespace detail
}  // namespace KESP
