// The address groups of a profile, read and written (see profile_settings.h).

#include "families/networkmanager/profile_settings.h"

#include <sys/random.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "families/ifcfg/ifcfg_addresses.h"
#include "kesp/log.h"
#include "model/ipv4_prefix.h"

namespace KESP {
namespace detail {

namespace {

/// The order of an address key: -1 for the unnumbered ones, else N; -2 for
/// a key that is none ("address-data", "addr-gen-mode").
long addressKeyIndex(const std::string& key, bool& plural) {
  size_t digits = 0;
  if (key.compare(0, 9, "addresses") == 0) {
    plural = true;
    digits = 9;
  } else if (key.compare(0, 7, "address") == 0) {
    plural = false;
    digits = 7;
  } else {
    return -2;
  }
  if (digits == key.size()) return -1;
  if (key.size() - digits > 6) return -2;
  for (size_t i = digits; i < key.size(); ++i)
    if (key[i] < '0' || key[i] > '9') return -2;
  return std::atol(key.c_str() + digits);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

ProfileAddress parseAddress(const std::string& text, bool ipv6) {
  ProfileAddress parsed;
  const std::vector<std::string> parts = split(text, ',');
  const std::string& first = parts[0];
  const size_t slash = first.find('/');
  parsed.address = first.substr(0, slash);
  parsed.length = slash == std::string::npos ? (ipv6 ? "64" : "24") : first.substr(slash + 1);
  if (parts.size() > 1) parsed.gateway = parts[1];
  return parsed;
}

/// Every address key of group, for removal.
std::vector<std::string> addressKeys(const KeyFile& profile, const std::string& group) {
  std::vector<std::string> keys;
  bool plural = false;
  for (const auto& entry : profile.entries(group))
    if (addressKeyIndex(entry.first, plural) >= -1) keys.push_back(entry.first);
  return keys;
}

/// The method a group gets when the mode has none of its family: one that
/// already turns the family off is kept.
std::string offMethod(const KeyFile& profile, const std::string& group) {
  std::string method;
  profile.get(group, "method", method);
  return method == "disabled" || method == "ignore" ? method : "disabled";
}

void writeGroup(KeyFile& profile, const std::string& group, const std::string& method,
                const std::string& address, const std::string& gateway,
                const std::string& iface, const char* operation) {
  const std::vector<ProfileAddress> old = profileAddresses(profile, group);
  // The first address is the main one, which the new mode replaces (with an
  // address or with none, as DHCP): only the others are further ones.
  if (old.size() > 1)
    KESP_LOG(LOG_WARN, operation,
             "removing " << old.size() - 1 << " further " << group << " address(es) of "
                         << iface);
  // The new address takes the old ones' place: removing them first and
  // adding it after the group's last key would move it behind the gateway
  // the first write added, and each write would differ from the one before.
  const std::vector<std::string> oldKeys = addressKeys(profile, group);
  if (address.empty())
    for (const std::string& key : oldKeys) profile.remove(group, key);
  profile.set(group, "method", method);
  if (!address.empty()) profile.set(group, "address1", address, oldKeys);
  if (!gateway.empty())
    profile.set(group, "gateway", gateway);
  else
    profile.remove(group, "gateway");
  // The reader refuses name servers beside a method that turns the family off.
  std::string servers;
  if ((method == "disabled" || method == "ignore") && profile.get(group, "dns", servers)) {
    KESP_LOG(LOG_WARN, operation,
             "removing the " << group << " name servers of " << iface << " (" << servers
                             << "): the family is off");
    profile.remove(group, "dns");
  }
  if (method == "disabled" || method == "ignore") {
    profile.remove(group, "dns-search");
  }
}

}  // namespace

std::vector<ProfileAddress> profileAddresses(const KeyFile& profile, const std::string& group) {
  struct Keyed {
    long index;
    bool plural;
    std::string value;
  };
  std::vector<Keyed> keyed;
  for (const auto& entry : profile.entries(group)) {
    bool plural = false;
    const long index = addressKeyIndex(entry.first, plural);
    if (index < -1) continue;
    // A repeated key counts once, with its last value, as for the reader.
    auto same = std::find_if(keyed.begin(), keyed.end(), [&](const Keyed& k) {
      return k.index == index && k.plural == plural;
    });
    if (same != keyed.end()) keyed.erase(same);
    keyed.push_back({index, plural, entry.second});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return a.index != b.index ? a.index < b.index : a.plural < b.plural;
  });
  std::vector<ProfileAddress> addresses;
  for (const Keyed& k : keyed)
    for (const std::string& item : split(k.value, ';'))
      if (!item.empty()) addresses.push_back(parseAddress(item, group == "ipv6"));
  return addresses;
}

void readProfileSettings(const KeyFile& profile, AddressMode& mode, Ipv4Settings& ipv4,
                         Ipv6Settings& ipv6, std::vector<std::string>& furtherAddresses) {
  mode = 0;
  std::string method4;
  std::string method6;
  profile.get("ipv4", "method", method4);
  profile.get("ipv6", "method", method6);
  if (method4 == "manual") mode |= STATICV4;
  if (method4 == "auto") mode |= DHCPV4;
  if (method6 == "manual") mode |= STATICV6;
  if (method6 == "auto") mode |= AUTOV6;
  if (method6 == "dhcp") mode |= DHCPV6;

  const std::vector<ProfileAddress> v4 = profileAddresses(profile, "ipv4");
  const std::vector<ProfileAddress> v6 = profileAddresses(profile, "ipv6");
  size_t first4 = 0;
  size_t first6 = 0;
  if ((mode & STATICV4) && !v4.empty()) {
    ipv4.address = v4[0].address;
    netmaskOfPrefixLength(v4[0].length, ipv4.netmask);
    if (!profile.get("ipv4", "gateway", ipv4.gateway) && !v4[0].gateway.empty())
      ipv4.gateway = v4[0].gateway;
    first4 = 1;
  }
  if ((mode & STATICV6) && !v6.empty()) {
    ipv6.address = v6[0].address;
    ipv6.prefix = v6[0].length;
    if (!profile.get("ipv6", "gateway", ipv6.gateway) && !v6[0].gateway.empty())
      ipv6.gateway = v6[0].gateway;
    first6 = 1;
  }
  for (size_t i = first4; i < v4.size(); ++i)
    furtherAddresses.push_back(v4[i].address + "/" + v4[i].length);
  for (size_t i = first6; i < v6.size(); ++i)
    furtherAddresses.push_back(v6[i].address + "/" + v6[i].length);
}

void writeProfileSettings(KeyFile& profile, const std::string& iface, AddressMode mode,
                          const Ipv4Settings& ipv4, const Ipv6Settings& ipv6,
                          const char* operation) {
  std::string method4 = offMethod(profile, "ipv4");
  std::string address4;
  std::string gateway4;
  if (mode & DHCPV4) method4 = "auto";
  if (mode & STATICV4) {
    if (!(mode & DHCPV4)) method4 = "manual";
    address4 = ipv4.address + "/" + prefixLengthOfNetmask(ipv4.netmask);
    gateway4 = ipv4.gateway;
  }
  std::string method6 = offMethod(profile, "ipv6");
  std::string address6;
  std::string gateway6;
  if (mode & DHCPV6) method6 = "dhcp";
  if (mode & AUTOV6) method6 = "auto";
  if (mode & STATICV6) {
    if (!(mode & (DHCPV6 | AUTOV6))) method6 = "manual";
    address6 = ipv6.address + "/" + ipv6.prefix;
    gateway6 = ipv6.gateway;
  }
  writeGroup(profile, "ipv4", method4, address4, gateway4, iface, operation);
  writeGroup(profile, "ipv6", method6, address6, gateway6, iface, operation);
}

KeyFile newEthernetProfile(const std::string& iface, const std::string& uuid) {
  return KeyFile("[connection]\nid=" + iface + "\nuuid=" + uuid +
                 "\ntype=ethernet\ninterface-name=" + iface + "\n\n[ethernet]\n\n[ipv4]\n\n[ipv6]\n");
}

std::string freshUuid() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) return std::string();
    got += static_cast<size_t>(n);
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);  // RFC 4122 variant
  char text[37];
  std::snprintf(text, sizeof text,
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

}  // namespace detail
}  // namespace KESP
