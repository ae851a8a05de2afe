// NetworkManager: resolv.conf is made from the name servers of the active
// profiles, which the NetworkManager family reads and writes. They go on the
// profile of the interface that carries the default route, with DHCP's own
// servers turned off there, and off every other profile.

#include "families/family.h"
#include "settings/name_server_owners.h"

namespace KESP {
namespace detail {

bool writeNetworkManagerServers(const std::vector<std::string>& servers, bool live,
                                const char* operation) {
  const Family* family = interfaceServerFamily(NameServerOwner::NetworkManager);
  const std::string iface = family ? family->nameServerInterface(live, operation) : std::string();
  // refuseUnwritableOwner has made sure that a profile holds them.
  return !family || family->writeInterfaceNameServers(iface, servers, operation);
}

bool readNetworkManagerServers(std::vector<std::string>& servers, std::string& source) {
  servers.clear();
  source.clear();
  const Family* family = interfaceServerFamily(NameServerOwner::NetworkManager);
  return !family || family->readInterfaceNameServers(servers, source);
}

}  // namespace detail
}  // namespace KESP
