// SUSE-style interface files: "<dir>/ifcfg-<name>" with quoted values, and
// the gateways as "default" lines of "<dir>/routes".

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "families/ifcfg/ifcfg_addresses.h"
#include "model/ipv4_prefix.h"
#include "kesp/interface_files.h"
#include "families/ifcfg/mode_rows.h"
#include "families/suse/suse_routes.h"
#include "files/names.h"

namespace KESP {

namespace {

// Rewritten from scratch on every write; PREFIXLEN is an older spelling that
// would compete with PREFIXLEN0, so it is never kept.
const char* const kSuseRewrittenKeys[] = {
    "BROADCAST", "IPADDR", "NETMASK", "PREFIXLEN", "IPADDR0", "PREFIXLEN0",
};

enum SuseFact : unsigned {
  HAS_IPADDR = 1,
  HAS_IPADDR0 = 2,
  BOOTPROTO_DHCP4 = 4,
  BOOTPROTO_DHCP6 = 8,
};

// The first row whose facts all hold decides; static addresses outrank DHCP.
const detail::ModeRow kSuseModeRows[] = {
    {HAS_IPADDR | HAS_IPADDR0, STATICV4 | STATICV6},
    {HAS_IPADDR | BOOTPROTO_DHCP6, STATICV4 | DHCPV6},
    {HAS_IPADDR, STATICV4},
    {HAS_IPADDR0 | BOOTPROTO_DHCP4, DHCPV4 | STATICV6},
    {HAS_IPADDR0, STATICV6},
    {BOOTPROTO_DHCP4, DHCPV4},
    {BOOTPROTO_DHCP6, DHCPV6},
};

std::string quoted(const std::string& value) { return "'" + value + "'"; }

std::string bootProtoFor(AddressMode mode) {
  if (mode == (DHCPV4 | DHCPV6)) return "'dhcp'";
  if (mode & DHCPV4) return "'dhcp4'";
  if (mode & DHCPV6) return "'dhcp6'";
  return "'static'";
}

// Any IPv6 notation counts ("::ffff:192.0.2.1", upper case), with or without
// a zone ("fe80::1%eth0"); telling the families apart by their digits would
// take a dotted IPv6 gateway for an IPv4 one.
bool isIpv6Text(const std::string& word) {
  const std::string address = word.substr(0, word.find('%'));
  in6_addr parsed{};
  return address.find('\0') == std::string::npos &&
         inet_pton(AF_INET6, address.c_str(), &parsed) == 1;
}

std::string firstWord(const std::string& text) {
  std::string::size_type start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  std::string::size_type end = start;
  while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
  return text.substr(start, end - start);
}

}  // namespace

void writeSuseInterface(KeyValueFile& file, const std::string& iface, AddressMode mode,
                        const Ipv4Settings& ipv4, const Ipv6Settings& ipv6) {
  // The name becomes part of the file's lines: a bad one changes nothing.
  if (!detail::checkInterfaceName(iface, "writeSuseInterface")) return;
  file.set("DEVICE", iface);
  file.set("STARTMODE", "'auto'");
  // A bridge, bond or InfiniBand link is no Ethernet one.
  detail::setUnlessOther(file, "TYPE", "Ethernet");
  file.set("USERCONTROL", "'no'");
  const std::vector<std::string> rewritten(std::begin(kSuseRewrittenKeys),
                                           std::end(kSuseRewrittenKeys));
  detail::removeFurtherAddresses(file, iface, true, rewritten, "writeSuseInterface");
  for (const char* key : kSuseRewrittenKeys) file.remove(key);
  file.set("BOOTPROTO", bootProtoFor(mode));
  if (mode & STATICV4) {
    file.set("IPADDR", quoted(ipv4.address));
    file.set("NETMASK", quoted(ipv4.netmask));
    file.set("BROADCAST", quoted(ipv4.broadcast));
  }
  if (mode & STATICV6) {
    file.set("IPADDR0", quoted(ipv6.address));
    file.set("PREFIXLEN0", quoted(ipv6.prefix));
  }
}

void readSuseInterface(KeyValueFile& file, bool dhcpv6ClientPresent, AddressMode& mode,
                       Ipv4Settings& ipv4, Ipv6Settings& ipv6) {
  std::string bootProto;
  getUnquotedValue(file, "BOOTPROTO", bootProto);
  bootProto = to_lower(bootProto);
  if (bootProto == "dhcp") {
    mode = dhcpv6ClientPresent ? (DHCPV4 | DHCPV6) : DHCPV4;
    return;
  }

  unsigned facts = 0;
  // Either IP family may stand under any IPADDR key; the unsuffixed key and
  // IPADDR0 are the main ones.
  const detail::IfcfgAddresses addresses = detail::suseAddresses(file);
  if (addresses.mainIpv4 >= 0) {
    const detail::IfcfgAddress& main = addresses.all[addresses.mainIpv4];
    facts |= HAS_IPADDR;
    getUnquotedValue(file, "IPADDR" + main.suffix, ipv4.address);
    // The installer states the prefix length as "/N" after the address and
    // writes no NETMASK; a file with NETMASK reads as before. wicked writes
    // PREFIXLEN instead.
    if (!getUnquotedValue(file, "NETMASK" + main.suffix, ipv4.netmask) &&
        !detail::splitAddressPrefix(ipv4.address, ipv4.address, ipv4.netmask))
      detail::netmaskOfPrefixLength(main.length, ipv4.netmask);
  }
  getUnquotedValue(file, "BROADCAST", ipv4.broadcast);
  if (addresses.mainIpv6 >= 0) {
    facts |= HAS_IPADDR0;
    ipv6.address = addresses.all[addresses.mainIpv6].address;
    ipv6.prefix = addresses.all[addresses.mainIpv6].length;
  }
  if (bootProto == "dhcp4") facts |= BOOTPROTO_DHCP4;
  if (bootProto == "dhcp6") facts |= BOOTPROTO_DHCP6;

  mode = detail::firstMatchingMode(kSuseModeRows, facts);
}

void writeSuseRoutes(KeyValueFile& routes, AddressMode mode, const Ipv4Settings& ipv4,
                     const Ipv6Settings& ipv6) {
  std::vector<std::string> defaults;
  if ((mode & STATICV4) && !ipv4.gateway.empty()) defaults.push_back(ipv4.gateway + " - -");
  if ((mode & STATICV6) && !ipv6.gateway.empty()) defaults.push_back(ipv6.gateway + " - -");
  // Every default line the reader takes is replaced: one written as the
  // whole range ("::/0") or with other blanks as much as "default GW - -",
  // or the interface would keep two.
  for (std::string& line : routes.lines) {
    const std::string destination = firstWord(line);
    if (!detail::isDefaultDestination(destination)) continue;
    const std::string rest = line.substr(line.find(destination) + destination.size());
    line = "default " + rest.substr(std::min(rest.size(), rest.find_first_not_of(" \t\r\v\f")));
  }
  routes.set("default", defaults);
}

void readSuseRoutes(KeyValueFile& routes, Ipv4Settings& ipv4, Ipv6Settings& ipv6) {
  for (const std::string& line : routes.lines) {
    const std::string destination = firstWord(line);
    if (!detail::isDefaultDestination(destination)) continue;
    const std::string gateway =
        firstWord(line.substr(line.find(destination) + destination.size()));
    // A default line without a gateway says nothing about either family.
    if (gateway.empty()) continue;
    if (isIpv6Text(gateway))
      ipv6.gateway = gateway;
    else
      ipv4.gateway = gateway;
  }
}

}  // namespace KESP
