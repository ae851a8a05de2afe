// Red Hat-style per-interface files: "<dir>/ifcfg-<name>", KEY=value lines.

#include "families/ifcfg/ifcfg_addresses.h"
#include "model/ipv4_prefix.h"
#include "kesp/interface_files.h"
#include "families/ifcfg/mode_rows.h"
#include "files/names.h"

namespace KESP {

namespace {

// Rewritten from scratch on every write, so they always land at the end.
// PREFIX is never written, but the network scripts let it override NETMASK:
// an old one would bring the interface up with another netmask than ours.
const char* const kRedHatRewrittenKeys[] = {
    "IPADDR",   "NETMASK",  "PREFIX",  "GATEWAY",        "BROADCAST",
    "IPV6INIT", "IPV6ADDR", "DHCPV6C", "IPV6_DEFAULTGW",
};

enum RedHatFact : unsigned {
  HAS_IPADDR = 1,
  HAS_IPV6ADDR = 2,
  BOOTPROTO_DHCP = 4,
  DHCPV6C_YES = 8,
};

// The first row whose facts all hold decides; static addresses outrank DHCP.
const detail::ModeRow kRedHatModeRows[] = {
    {HAS_IPADDR | HAS_IPV6ADDR, STATICV4 | STATICV6},
    {BOOTPROTO_DHCP | DHCPV6C_YES, DHCPV4 | DHCPV6},
    {HAS_IPADDR | DHCPV6C_YES, STATICV4 | DHCPV6},
    {HAS_IPADDR, STATICV4},
    {HAS_IPV6ADDR | BOOTPROTO_DHCP, DHCPV4 | STATICV6},
    {HAS_IPV6ADDR, STATICV6},
    {BOOTPROTO_DHCP, DHCPV4},
    {DHCPV6C_YES, DHCPV6},
};

}  // namespace

void writeRedHatInterface(KeyValueFile& file, const std::string& iface, AddressMode mode,
                          const Ipv4Settings& ipv4, const Ipv6Settings& ipv6) {
  // The name becomes part of the file's lines: a bad one changes nothing.
  if (!detail::checkInterfaceName(iface, "writeRedHatInterface")) return;
  detail::setUnlessOther(file, "DEVICE", iface);
  file.set("ONBOOT", "yes");
  detail::setUnlessOther(file, "TYPE", "Ethernet");
  const std::vector<std::string> rewritten(std::begin(kRedHatRewrittenKeys),
                                           std::end(kRedHatRewrittenKeys));
  detail::removeFurtherAddresses(file, iface, false, rewritten, "writeRedHatInterface");
  for (const char* key : kRedHatRewrittenKeys) file.remove(key);

  file.set("IPV6INIT", (mode & IPV6_MODES) ? "yes" : "no");
  if (mode & DHCPV4) file.set("BOOTPROTO", "'dhcp'");
  if (mode & DHCPV6) file.set("DHCPV6C", "yes");
  // An old BOOTPROTO=dhcp left in place would keep asking DHCP for IPv4
  // whenever the caller did not: beside a static address, or with DHCPv6 alone.
  if (!(mode & DHCPV4)) file.set("BOOTPROTO", "none");

  if (mode & STATICV4) {
    file.set("IPADDR", ipv4.address);
    file.set("NETMASK", ipv4.netmask);
    if (!ipv4.gateway.empty()) file.set("GATEWAY", ipv4.gateway);
    file.set("BROADCAST", ipv4.broadcast);
  }
  if (mode & STATICV6) {
    file.set("IPV6ADDR", ipv6.address + "/" + ipv6.prefix);
    if (!ipv6.gateway.empty()) {
      file.set("IPV6_DEFAULTGW", ipv6.gateway);
      file.set("IPV6_DEFAULTDEV", iface);
    }
  }
}

void readRedHatInterface(KeyValueFile& file, AddressMode& mode, Ipv4Settings& ipv4,
                         Ipv6Settings& ipv6) {
  unsigned facts = 0;
  std::string bootProto;
  getUnquotedValue(file, "BOOTPROTO", bootProto);
  // Installers write PREFIX without NETMASK; a file with NETMASK reads as
  // before. NetworkManager numbers even its first address (IPADDR0).
  const detail::IfcfgAddresses addresses = detail::redHatAddresses(file);
  if (addresses.mainIpv4 >= 0) {
    const std::string& suffix = addresses.all[addresses.mainIpv4].suffix;
    std::string prefixLength;
    ipv4.address = addresses.all[addresses.mainIpv4].address;
    facts |= HAS_IPADDR;
    if (!getUnquotedValue(file, "NETMASK" + suffix, ipv4.netmask) &&
        getUnquotedValue(file, "PREFIX" + suffix, prefixLength))
      detail::netmaskOfPrefixLength(prefixLength, ipv4.netmask);
    if (!getUnquotedValue(file, "GATEWAY", ipv4.gateway))
      getUnquotedValue(file, "GATEWAY" + suffix, ipv4.gateway);
  } else {
    getUnquotedValue(file, "GATEWAY", ipv4.gateway);
  }
  getUnquotedValue(file, "BROADCAST", ipv4.broadcast);

  std::string ipv6Address;
  if (getUnquotedValue(file, "IPV6ADDR", ipv6Address)) {
    facts |= HAS_IPV6ADDR;
    std::string::size_type slash = ipv6Address.find('/');
    ipv6.address = ipv6Address.substr(0, slash);
    if (slash != std::string::npos) ipv6.prefix = ipv6Address.substr(slash + 1);
    getUnquotedValue(file, "IPV6_DEFAULTGW", ipv6.gateway);
  }

  if (to_lower(bootProto) == "dhcp") facts |= BOOTPROTO_DHCP;
  std::string dhcpv6c;
  if (getUnquotedValue(file, "DHCPV6C", dhcpv6c) && to_lower(dhcpv6c) == "yes")
    facts |= DHCPV6C_YES;

  mode = detail::firstMatchingMode(kRedHatModeRows, facts);
}

}  // namespace KESP
