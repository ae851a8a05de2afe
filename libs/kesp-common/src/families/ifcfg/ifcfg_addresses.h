#pragma once
// Every address an ifcfg file gives an interface. Both families allow more
// than one: Red Hat numbers its keys (IPADDR1, PREFIX1, NETMASK1, GATEWAY1;
// IPV6ADDR_SECONDARIES), SUSE appends any suffix (IPADDR_alias with
// LABEL_alias, PREFIXLEN_alias, NETMASK_alias). One address of each IP family
// is the interface's main one; the others are its further addresses.

#include <string>
#include <vector>

#include "kesp/util.h"

namespace KESP {
namespace detail {

struct IfcfgAddress {
  std::string suffix;   ///< what follows IPADDR in its key ("", "1", "_alias")
  std::string address;  ///< without a length
  std::string length;   ///< prefix length as stated or counted; empty when none
  bool ipv6 = false;
};

/// The addresses of a file, the main ones marked by index (-1 when none).
struct IfcfgAddresses {
  std::vector<IfcfgAddress> all;
  int mainIpv4 = -1;
  int mainIpv6 = -1;

  /// "address/length" of every address but the main ones, in file order.
  std::vector<std::string> furtherTexts() const;
};

/// Red Hat: IPADDR, then IPADDRn by n; IPV6ADDR, then IPV6ADDR_SECONDARIES.
/// Main: IPADDR (else the lowest IPADDRn) and IPV6ADDR.
IfcfgAddresses redHatAddresses(KeyValueFile& file);

/// SUSE: IPADDR and every IPADDR<suffix>, either IP family, the length from
/// "/N", NETMASK<suffix> or PREFIXLEN<suffix>. Main: the unsuffixed IPADDR
/// (else the first IPv4 one) and IPADDR0 (else the first IPv6 one).
IfcfgAddresses suseAddresses(KeyValueFile& file);

/// The keys that state addresses beside the ones a writer always rewrites
/// (`rewritten`): the suffixed keys of further addresses, in file order, and
/// those left under a suffix the writer is about to use.
std::vector<std::string> furtherAddressKeys(KeyValueFile& file, bool suse,
                                            const std::vector<std::string>& rewritten);

/// Removes furtherAddressKeys and says which (a WARN line under operation):
/// a change replaces every address of the interface.
void removeFurtherAddresses(KeyValueFile& file, const std::string& iface, bool suse,
                            const std::vector<std::string>& rewritten, const char* operation);

/// Sets key to value unless the file gives key another value: what an ifcfg
/// file says about the device it configures (its DEVICE, its TYPE) is kept.
void setUnlessOther(KeyValueFile& file, const std::string& key, const std::string& value);

/// The prefix length of a dotted IPv4 netmask; empty when it is none.
std::string prefixLengthOfNetmask(const std::string& netmask);

}  // namespace detail
}  // namespace KESP
