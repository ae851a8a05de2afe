#pragma once
// The kernel's interface-address list as plain texts, and the choices made on
// it, kept apart from getifaddrs so that they can be exercised with any list.

#include <ifaddrs.h>

#include <string>
#include <unordered_map>
#include <vector>

#include "kesp/discovery.h"

namespace KESP {
namespace detail {

/// One IPv4 or IPv6 address of an interface, as texts.
struct AddressEntry {
  std::string name;
  int family = 0;          ///< AF_INET or AF_INET6
  std::string address;     ///< canonical text
  std::string netmask;     ///< IPv4: dotted quad; empty when the kernel gave none
  std::string broadcast;   ///< IPv4 only; empty when the kernel gave none
  std::string prefix;      ///< IPv6: decimal prefix length; empty without a netmask
  bool linkLocal = false;  ///< IPv6 in fe80::/10
};

/// The IPv4 and IPv6 entries of a getifaddrs list, in its order. Entries without
/// an address or of another family are left out; a missing netmask or
/// broadcast, a point-to-point peer in the broadcast slot, or the address
/// itself there (how the C library reports "none") gives an empty text.
std::vector<AddressEntry> toAddressEntries(const ifaddrs* list);

/// One link of a getifaddrs list (its AF_PACKET entry): the kernel's
/// interface flags and the hardware address as "02:00:5e:10:00:01".
struct LinkEntry {
  std::string name;
  unsigned flags = 0;
  std::string mac;
};

/// The links of a getifaddrs list, in its order.
std::vector<LinkEntry> toLinkEntries(const ifaddrs* list);

/// The state of a link as its kernel flags tell it.
LinkState linkStateOf(const LinkEntry& link);

/// The Ethernet names (isEthernetName), sorted byte-wise, each once.
std::vector<std::string> selectInterfaceNames(const std::vector<AddressEntry>& entries);

/// Chooses the live addresses of iface among entries: the last IPv4 entry; the
/// first IPv6 entry that is neither link-local nor in dynamic, or else dynamic's
/// first. Returns true when anything was chosen; the records are written only
/// in the fields chosen.
bool selectLiveAddresses(const std::vector<AddressEntry>& entries, const std::string& iface,
                         const std::vector<Ipv6Settings>& dynamic, Ipv4Settings& ipv4,
                         Ipv6Settings& ipv6);

/// The text of /proc/net/if_inet6; false when the kernel has no IPv6. Always the
/// calling process's own namespace: the kernel is never redirected.
bool readIfInet6(std::string& text);

/// One line of if_inet6 with the kernel's address flags (IFA_F_TENTATIVE,
/// IFA_F_DADFAILED, ...).
struct FlaggedIpv6Address {
  std::string address;  ///< canonical text
  unsigned prefixLength = 0;
  unsigned flags = 0;
};

/// Every address of iface in if_inet6 text, in text order, flags kept; lines
/// that do not parse are skipped.
std::vector<FlaggedIpv6Address> parseFlaggedIpv6Addresses(const std::string& ifInet6Text,
                                                          const std::string& iface);

/// The lines of if_inet6 text by device (the kernel's sixth column), each
/// device's in text order: a check that asks for many interfaces parses each
/// line once, not once per interface.
std::unordered_map<std::string, std::string> ifInet6ByDevice(const std::string& text);

}  // namespace detail
}  // namespace KESP
