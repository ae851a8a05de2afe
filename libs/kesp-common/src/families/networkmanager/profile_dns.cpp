// Name servers in profiles (see profile_dns.h).

#include "families/networkmanager/profile_dns.h"

#include <sstream>

#include "families/networkmanager/profile_files.h"
#include "files/file_write.h"
#include "kesp/log.h"

namespace KESP {
namespace detail {

namespace {

const unsigned kRouteUpGateway = 0x3;  // RTF_UP | RTF_GATEWAY

std::vector<std::string> dnsEntries(const KeyFile& profile, const char* group) {
  std::vector<std::string> entries;
  std::string value;
  if (!profile.get(group, "dns", value)) return entries;
  std::istringstream list(value);
  for (std::string item; std::getline(list, item, ';');)
    if (!item.empty()) entries.push_back(item);
  return entries;
}

bool turnsFamilyOff(const KeyFile& profile, const char* group) {
  std::string method;
  return profile.get(group, "method", method) && (method == "disabled" || method == "ignore");
}

}  // namespace

std::string defaultRouteInterface() {
  std::string text;
  if (readWholeFile("/proc/net/route", text)) {
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string device, destination, gateway;
      unsigned flags = 0;
      if (fields >> device >> destination >> gateway >> std::hex >> flags &&
          destination == "00000000" && (flags & kRouteUpGateway) == kRouteUpGateway)
        return device;
    }
  }
  if (readWholeFile("/proc/net/ipv6_route", text)) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string destination, length, source, sourceLength, nextHop, metric, refs, use, flags,
          device;
      if (fields >> destination >> length >> source >> sourceLength >> nextHop >> metric >> refs >>
              use >> flags >> device &&
          length == "00" && nextHop != std::string(32, '0') && device != "lo")
        return device;
    }
  }
  return std::string();
}

std::string nameServerInterface() {
  const std::vector<StoredProfile> profiles = loadProfiles();
  const std::string routed = defaultRouteInterface();
  if (!routed.empty() && placeOf(profiles, routed).found) return routed;
  std::string fallback;
  for (const std::string& iface : profileInterfaces(profiles)) {
    const KeyFile& content = placeOf(profiles, iface).profile.content;
    std::string gateway;
    if (content.get("ipv4", "gateway", gateway) || content.get("ipv6", "gateway", gateway))
      return iface;
    if (fallback.empty()) fallback = iface;
  }
  return fallback;
}

bool getProfileNameServers(const std::string& iface, std::vector<std::string>& servers) {
  const ProfilePlace place = placeOf(loadProfiles(), iface);
  if (!place.found) return false;
  servers = dnsEntries(place.profile.content, "ipv4");
  for (const std::string& server : dnsEntries(place.profile.content, "ipv6"))
    servers.push_back(server);
  return true;
}

bool setProfileNameServers(const std::string& iface, const std::vector<std::string>& servers,
                           const char* operation) {
  const ProfilePlace place = placeOf(loadProfiles(), iface);
  if (!place.found) {
    KESP_LOG(LOG_ERROR, operation, "no profile configures " << iface);
    return false;
  }
  KeyFile content = place.profile.content;
  for (const char* group : {"ipv4", "ipv6"}) {
    const bool ipv6 = group[3] == '6';
    std::string list;
    for (const std::string& server : servers)
      if ((server.find(':') != std::string::npos) == ipv6) list += server + ";";
    if (!list.empty() && turnsFamilyOff(content, group)) {
      KESP_LOG(LOG_WARN, operation,
               "the " << group << " name servers " << list << " are left out: " << iface
                      << " does not use " << group);
      list.clear();
    }
    if (list.empty()) {
      content.remove(group, "dns");
      content.remove(group, "ignore-auto-dns");
    } else {
      content.set(group, "dns", list);
      content.set(group, "ignore-auto-dns", "true");
    }
  }
  return saveProfile(place.target, content.text(), operation);
}

}  // namespace detail
}  // namespace KESP
