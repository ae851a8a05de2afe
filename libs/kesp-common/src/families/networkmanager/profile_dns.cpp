// Name servers in profiles (see profile_dns.h).

#include "families/networkmanager/profile_dns.h"

#include <sstream>

#include "families/family.h"
#include "families/networkmanager/profile_files.h"
#include "files/file_write.h"
#include "kesp/log.h"

namespace KESP {
namespace detail {

namespace {

const unsigned kRouteUpGateway = 0x3;  // RTF_UP | RTF_GATEWAY
const char kNmcli[] = "/usr/bin/nmcli";

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

std::vector<std::string> profileNameServers(const KeyFile& profile) {
  std::vector<std::string> servers = dnsEntries(profile, "ipv4");
  for (const std::string& server : dnsEntries(profile, "ipv6")) servers.push_back(server);
  return servers;
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

std::string nameServerInterface(bool live) {
  const std::vector<StoredProfile> profiles = loadProfiles();
  const std::string routed = live ? defaultRouteInterface() : std::string();
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
  const ProfilePlace place = placeOf(iface);
  if (!place.found) return false;
  servers = profileNameServers(place.profile.content);
  return true;
}

bool setProfileNameServers(const std::string& iface, const std::vector<std::string>& servers,
                           const char* operation) {
  const ProfilePlace place = placeOf(iface);
  if (!place.found) {
    KESP_LOG(LOG_ERROR, operation, "no profile configures " << iface);
    return false;
  }
  if (!editable(place, iface, operation)) return false;
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

void readProfilesNameServers(std::vector<std::string>& servers, std::string& source) {
  servers.clear();
  source.clear();
  const std::vector<StoredProfile> profiles = loadProfiles();
  for (const std::string& iface : profileInterfaces(profiles)) {
    const ProfilePlace place = placeOf(profiles, iface);
    const std::vector<std::string> listed = profileNameServers(place.profile.content);
    if (!listed.empty() && source.empty()) source = place.profile.path();
    servers.insert(servers.end(), listed.begin(), listed.end());
  }
}

bool writeProfilesNameServers(const std::string& iface, const std::vector<std::string>& servers,
                              const char* operation) {
  if (!iface.empty() && !setProfileNameServers(iface, servers, operation)) return false;
  const std::vector<StoredProfile> profiles = loadProfiles();
  for (const std::string& other : profileInterfaces(profiles)) {
    if (other == iface || profileNameServers(placeOf(profiles, other).profile.content).empty())
      continue;
    if (!setProfileNameServers(other, {}, operation)) return false;
  }
  return true;
}

bool applyProfilesNameServers(const std::string& iface, const char* operation) {
  // The daemon reads profile files only when told to; the servers taken off
  // other profiles reach their devices at their next activation.
  std::vector<std::string> load = {"connection", "load"};
  const std::vector<StoredProfile> profiles = loadProfiles();
  for (const std::string& name : profileInterfaces(profiles))
    load.push_back(placeOf(profiles, name).profile.path());
  if (load.size() > 2 && !runCheckedStep(kNmcli, load, operation)) return false;
  return iface.empty() || runCheckedStep(kNmcli, {"device", "reapply", iface}, operation);
}

}  // namespace detail
}  // namespace KESP
