// Per-link name servers (see link_name_servers.h).

#include "families/link_name_servers.h"

#include "files/file_write.h"
#include "kesp/log.h"
#include "system/routes.h"

namespace KESP {
namespace detail {

std::string routedFamilyInterface(const Family& family, bool live) {
  std::vector<std::string> names;
  if (!family.list(names)) return std::string();
  std::string routeText;
  if (live && readWholeFile("/proc/net/route", routeText)) {
    const std::string routed = firstIpv4DefaultRouteInterface(routeText);
    for (const std::string& name : names)
      if (name == routed) return name;
  }
  std::vector<ConfiguredNetwork> networks(names.size());
  std::vector<ConfiguredNetwork*> pointers;
  for (size_t i = 0; i < names.size(); ++i) {
    networks[i].name = names[i];
    pointers.push_back(&networks[i]);
  }
  family.read(pointers);
  for (const ConfiguredNetwork& network : networks)
    if (!network.ipv4.gateway.empty() || !network.ipv6.gateway.empty()) return network.name;
  return std::string();
}

bool writeLinkNameServers(const Family& family, const std::string& iface,
                          const std::vector<std::string>& servers, LinkServersGetter get,
                          LinkServersSetter set, const char* operation) {
  std::vector<std::string> names;
  if (!family.list(names)) {
    KESP_LOG(LOG_ERROR, operation, "can't list the interfaces of " << family.title());
    return false;
  }
  if (!iface.empty() && !set(iface, servers)) {
    KESP_LOG(LOG_ERROR, operation, "can't write the name servers of " << iface);
    return false;
  }
  for (const std::string& name : names) {
    std::vector<std::string> listed;
    if (name == iface || !get(name, listed) || listed.empty()) continue;
    if (!set(name, {})) {
      KESP_LOG(LOG_ERROR, operation, "can't take the name servers off " << name);
      return false;
    }
  }
  return true;
}

bool readLinkNameServers(const Family& family, std::vector<std::string>& servers,
                         std::string& source, LinkServersGetter get, LinkServersSource where) {
  servers.clear();
  source.clear();
  std::vector<std::string> names;
  if (!family.list(names)) return false;
  for (const std::string& name : names) {
    std::vector<std::string> listed;
    if (!get(name, listed)) return false;
    if (!listed.empty() && source.empty())
      source = where ? where(name) : family.configPath(name, "getDnsServers");
    servers.insert(servers.end(), listed.begin(), listed.end());
  }
  return true;
}

}  // namespace detail
}  // namespace KESP
