#pragma once
// Default routes in the text of the kernel's routing tables.

#include <string>

namespace KESP {
namespace detail {

/// Scans the text of /proc/net/route for default routes that are up and go
/// through a gateway. gateway becomes the interface's own (the first in the
/// table), or else the first of any interface. True when any such route was seen.
bool scanIpv4DefaultRoutes(const std::string& text, const std::string& iface,
                           std::string& gateway);

/// The interface of the first IPv4 default route in /proc/net/route's text
/// that is up and goes through a gateway; empty when there is none.
std::string firstIpv4DefaultRouteInterface(const std::string& text);

/// Outcome of scanning /proc/net/ipv6_route.
enum class Ipv6RouteScan { NoneUsed, Converted, ConversionFailed };

/// Scans the text of /proc/net/ipv6_route for default routes through a gateway:
/// gateway becomes the interface's own (whole device names compared), or else
/// the first of any interface whose next hop converts. The result tells about
/// the last next hop taken.
Ipv6RouteScan scanIpv6DefaultRoutes(const std::string& text, const std::string& iface,
                                    std::string& gateway);

}  // namespace detail
}  // namespace KESP
