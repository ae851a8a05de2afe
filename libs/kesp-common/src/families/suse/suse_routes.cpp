#include "families/suse/suse_routes.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <sstream>

#include "kesp/interface_files.h"

namespace KESP {
namespace detail {

namespace {

std::vector<std::string> wordsOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

/// The bytes of an address of either family; false for any other text.
bool addressBytes(const std::string& text, bool& ipv6, unsigned char (&bytes)[16]) {
  const std::string address = text.substr(0, text.find('%'));
  if (address.find('\0') != std::string::npos) return false;
  ipv6 = inet_pton(AF_INET6, address.c_str(), bytes) == 1;
  return ipv6 || inet_pton(AF_INET, address.c_str(), bytes) == 1;
}

bool liesIn(const std::string& gateway, const IfcfgAddress& network) {
  unsigned char a[16] = {}, b[16] = {};
  bool gatewayIpv6 = false, networkIpv6 = false;
  if (!addressBytes(gateway, gatewayIpv6, a) || !addressBytes(network.address, networkIpv6, b) ||
      gatewayIpv6 != networkIpv6)
    return false;
  const unsigned maxBits = networkIpv6 ? 128 : 32;
  char* end = nullptr;
  const unsigned long bits = std::strtoul(network.length.c_str(), &end, 10);
  if (network.length.empty() || *end != '\0' || bits > maxBits) return false;
  for (unsigned i = 0; i < bits; ++i) {
    const unsigned char mask = static_cast<unsigned char>(0x80u >> (i % 8));
    if ((a[i / 8] & mask) != (b[i / 8] & mask)) return false;
  }
  return true;
}

/// The words after the destination on a default line; false for any other line.
bool defaultLineValue(const std::string& line, std::string& value) {
  std::vector<std::string> words = wordsOf(line);
  if (words.empty() || !isDefaultDestination(words[0])) return false;
  value = line.substr(line.find(words[0]) + words[0].size());
  return true;
}

bool isIpv6Gateway(const std::string& gateway) {
  unsigned char bytes[16];
  bool ipv6 = false;
  return addressBytes(gateway, ipv6, bytes) && ipv6;
}

bool liesInAny(const std::string& gateway, const std::vector<IfcfgAddress>& networks) {
  for (const IfcfgAddress& network : networks)
    if (liesIn(gateway, network)) return true;
  return false;
}

}  // namespace

bool isDefaultDestination(const std::string& word) {
  return word == "default" || word == "0.0.0.0/0" || word == "::/0";
}

std::string suseInterfaceRoutesPath(const std::string& iface) {
  return SUSE_NETWORK_DIR + "/ifroute-" + iface;
}

bool isOwnDefaultRoute(const std::string& value, const std::string& iface,
                       const std::vector<IfcfgAddress>& networks) {
  const std::vector<std::string> words = wordsOf(value);
  if (words.empty()) return false;
  if (words.size() >= 3 && words[2] != "-") return words[2] == iface;
  return liesInAny(words[0], networks);
}

void readSuseInterfaceRoutes(KeyValueFile& routes, const std::string& iface,
                             const std::vector<IfcfgAddress>& networks, Ipv4Settings& ipv4,
                             Ipv6Settings& ipv6) {
  std::string value;
  for (const std::string& line : routes.lines) {
    if (!defaultLineValue(line, value) || !isOwnDefaultRoute(value, iface, networks)) continue;
    const std::string gateway = wordsOf(value)[0];
    if (gateway == "-") continue;
    (isIpv6Gateway(gateway) ? ipv6.gateway : ipv4.gateway) = gateway;
  }
}

void writeSuseInterfaceRoutes(KeyValueFile& routes, const std::string& iface,
                              const std::vector<IfcfgAddress>& networks, AddressMode mode,
                              const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
                              AddressMode newGateways,
                              const std::vector<IfcfgAddress>& reachable) {
  // A gateway in the new network needs no device: the line is found by it,
  // as the files have always been written. One outside it (a link-local
  // next hop) is tied to the interface by name, or no later change could
  // tell it from another interface's.
  auto line = [&iface](const std::string& gateway, const IfcfgAddress& network) {
    return "default " + gateway + (liesIn(gateway, network) ? " - -" : " - " + iface);
  };
  const IfcfgAddress newIpv4{"", ipv4.address, prefixLengthOfNetmask(ipv4.netmask), false};
  const IfcfgAddress newIpv6{"", ipv6.address, ipv6.prefix, true};
  std::vector<IfcfgAddress> owned = networks;
  if (mode & STATICV4) owned.push_back(newIpv4);
  if (mode & STATICV6) owned.push_back(newIpv6);
  std::vector<std::string> fresh;
  if ((mode & STATICV4) && !ipv4.gateway.empty()) fresh.push_back(line(ipv4.gateway, newIpv4));
  if ((mode & STATICV6) && !ipv6.gateway.empty()) fresh.push_back(line(ipv6.gateway, newIpv6));
  // A default no interface can reach is left from a network the appliance
  // has left; beside the new one it would only compete with it.
  auto unreachable = [&](const std::string& value) {
    const std::vector<std::string> words = wordsOf(value);
    if (words.empty() || (words.size() >= 3 && words[2] != "-")) return false;
    unsigned char bytes[16];
    bool ipv6 = false;
    if (!addressBytes(words[0], ipv6, bytes) || !(newGateways & (ipv6 ? STATICV6 : STATICV4)))
      return false;
    return !liesInAny(words[0], reachable);
  };
  bool placed = false;
  std::string value;
  for (auto it = routes.lines.begin(); it != routes.lines.end();) {
    if (!defaultLineValue(*it, value) ||
        (!isOwnDefaultRoute(value, iface, owned) && !unreachable(value))) {
      ++it;
      continue;
    }
    if (!placed) routes.lines.insert(it, fresh.begin(), fresh.end());
    placed = true;
    it = routes.lines.erase(it);
  }
  if (!placed) routes.lines.insert(routes.lines.end(), fresh.begin(), fresh.end());
}

}  // namespace detail
}  // namespace KESP
