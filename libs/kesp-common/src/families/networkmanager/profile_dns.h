#pragma once
// Name servers of a system whose profiles hold them: the "dns=" lists of the
// profile of the interface that carries the default route. For the name
// server settings to call once they know the daemon owns resolv.conf.

#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// The interface of the kernel's first IPv4 default route through a gateway,
/// else of the first IPv6 one; empty when there is none.
std::string defaultRouteInterface();

/// The interface whose profile holds the system's name servers: with live,
/// the default route's when a profile configures it; else the first
/// profile's with a gateway, else the first Ethernet profile's. Empty when
/// there is none.
std::string nameServerInterface(bool live = true);

/// The [ipv4] then [ipv6] "dns=" entries of iface's profile. False when no
/// profile configures iface.
bool getProfileNameServers(const std::string& iface, std::vector<std::string>& servers);

/// Makes iface's profile list servers: IPv4 ones in [ipv4] "dns=", IPv6 ones
/// in [ipv6], each with "ignore-auto-dns=true" so that DHCP adds none; an
/// empty list removes both keys. A group whose method turns its family off
/// takes no servers (the daemon would refuse the profile): they are left out,
/// named in a WARN line. Written through the writer (inside the caller's
/// change); false, logged under operation, when there is no profile or the
/// write fails.
bool setProfileNameServers(const std::string& iface, const std::vector<std::string>& servers,
                           const char* operation);

/// Every profile's servers in the order of profileInterfaces, and the first
/// profile file naming any (empty when none does).
void readProfilesNameServers(std::vector<std::string>& servers, std::string& source);

/// setProfileNameServers on iface, and the servers taken off every other
/// profile that lists some (off all of them for an empty iface), so that what
/// the daemon merges from its active profiles is exactly servers.
bool writeProfilesNameServers(const std::string& iface, const std::vector<std::string>& servers,
                              const char* operation);

/// Makes the running daemon use what the profiles now say: nmcli (under the
/// system root) loads every profile file, then reapplies iface's profile to
/// iface. False, logged under operation, when nmcli is missing or either step
/// exits non-zero (iface not active with its profile, say).
bool applyProfilesNameServers(const std::string& iface, const char* operation);

}  // namespace detail
}  // namespace KESP
