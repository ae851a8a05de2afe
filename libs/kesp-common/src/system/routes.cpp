#include "system/routes.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "files/file_write.h"
#include "kesp/discovery.h"
#include "kesp/network_change.h"

namespace KESP {
namespace detail {

namespace {

const unsigned kRouteUp = 0x1;       // RTF_UP
const unsigned kRouteGateway = 0x2;  // RTF_GATEWAY

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> fields;
  std::string field;
  while (in >> field) fields.push_back(field);
  return fields;
}

bool parseHex(const std::string& text, unsigned long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoul(text.c_str(), &end, 16);
  return errno == 0 && *end == '\0';
}

template <typename Visit>
void forEachLine(const std::string& text, Visit visit) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    if (!visit(line)) break;
}

std::string dottedQuad(unsigned long networkOrder) {
  struct in_addr address;
  address.s_addr = static_cast<in_addr_t>(networkOrder);
  char buffer[INET_ADDRSTRLEN];
  return inet_ntop(AF_INET, &address, buffer, sizeof buffer) ? buffer : "";
}

}  // namespace

bool scanIpv4DefaultRoutes(const std::string& text, const std::string& iface,
                           std::string& gateway) {
  bool seen = false;
  forEachLine(text, [&](const std::string& line) {
    // device destination gateway flags refcnt use metric mask mtu window irtt
    std::vector<std::string> fields = words(line);
    unsigned long destination, via, flags;
    if (fields.size() < 10 || !parseHex(fields[1], destination) || !parseHex(fields[2], via) ||
        !parseHex(fields[3], flags))
      return true;
    if (!(flags & kRouteUp) || via == 0 || destination != 0) return true;
    seen = true;
    if (fields[0] == iface) {
      gateway = dottedQuad(via);
      return false;
    }
    if (gateway.empty()) gateway = dottedQuad(via);
    return true;
  });
  return seen;
}

std::string firstIpv4DefaultRouteInterface(const std::string& text) {
  std::string iface;
  std::string gateway;
  forEachLine(text, [&](const std::string& line) {
    const std::vector<std::string> fields = words(line);
    if (fields.empty() || !scanIpv4DefaultRoutes(line, fields[0], gateway)) return true;
    iface = fields[0];
    return false;
  });
  return iface;
}

Ipv6RouteScan scanIpv6DefaultRoutes(const std::string& text, const std::string& iface,
                                    std::string& gateway) {
  Ipv6RouteScan result = Ipv6RouteScan::NoneUsed;
  forEachLine(text, [&](const std::string& line) {
    // destination plen source slen nexthop metric refcnt use flags device
    std::vector<std::string> fields = words(line);
    unsigned long flags;
    if (fields.size() < 10 || !parseHex(fields[8], flags)) return true;
    if (!(flags & kRouteGateway) || fields[0] != std::string(32, '0')) return true;
    bool own = fields[9] == iface;
    if (own || gateway.empty()) {
      bool converted = hexToCanonicalIPv6(fields[4], gateway);
      result = converted ? Ipv6RouteScan::Converted : Ipv6RouteScan::ConversionFailed;
    }
    return !own;
  });
  return result;
}

}  // namespace detail

bool getDefaultGateways(const std::string& iface, std::string& ipv4Gateway,
                        std::string& ipv6Gateway) {
  ipv4Gateway.clear();
  ipv6Gateway.clear();
  bool result = false;
  std::string text;
  // The kernel's tables are never under the system root: they describe the
  // namespace this process runs in.
  if (detail::readWholeFile("/proc/net/route", text))
    result = detail::scanIpv4DefaultRoutes(text, iface, ipv4Gateway);
  if (!detail::readWholeFile("/proc/net/ipv6_route", text)) return result;
  switch (detail::scanIpv6DefaultRoutes(text, iface, ipv6Gateway)) {
    case detail::Ipv6RouteScan::NoneUsed:
      return result;
    case detail::Ipv6RouteScan::Converted:
      return true;
    case detail::Ipv6RouteScan::ConversionFailed:
      return false;
  }
  return result;
}

}  // namespace KESP
