// Interfaces and live addresses as the kernel reports them now.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "system/address_entries.h"
#include "kesp/discovery.h"
#include "kesp/log.h"
#include "files/names.h"
#include "model/address_text.h"

namespace KESP {

namespace detail {

namespace {

std::string ipv4Text(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return "";
  return ipv4AddressText(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
}

std::string ipv6Text(const sockaddr* address) {
  return ipv6AddressText(reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
}

std::string ipv6Prefix(const sockaddr* netmask) {
  if (netmask == nullptr || netmask->sa_family != AF_INET6) return "";
  const auto* mask = reinterpret_cast<const sockaddr_in6*>(netmask);
  unsigned prefix = 0;
  for (int word = 0; word < 4; ++word) {
    uint32_t value;
    std::memcpy(&value, mask->sin6_addr.s6_addr + 4 * word, sizeof value);
    prefix += countBits(value);
  }
  return std::to_string(prefix);
}

// The carrier flag of the kernel's link flags; the C library's net/if.h stops
// short of it.
const unsigned kLowerUpFlag = 1u << 16;

std::string macText(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_PACKET) return "";
  const auto* link = reinterpret_cast<const sockaddr_ll*>(address);
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < link->sll_halen && i < sizeof link->sll_addr; ++i) {
    if (i > 0) text += ':';
    text += kHex[link->sll_addr[i] >> 4];
    text += kHex[link->sll_addr[i] & 0xf];
  }
  return text;
}

bool isLinkLocal(const sockaddr* address) {
  const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address);
  const unsigned char* bytes = ipv6->sin6_addr.s6_addr;
  return bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80;
}

}  // namespace

std::vector<AddressEntry> toAddressEntries(const ifaddrs* list) {
  std::vector<AddressEntry> entries;
  for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    if (item->ifa_addr == nullptr || item->ifa_name == nullptr) continue;
    AddressEntry entry;
    entry.name = item->ifa_name;
    entry.family = item->ifa_addr->sa_family;
    if (entry.family == AF_INET) {
      entry.address = ipv4Text(item->ifa_addr);
      entry.netmask = ipv4Text(item->ifa_netmask);
      // The same slot holds the peer of a point-to-point link; that is no broadcast.
      if ((item->ifa_flags & IFF_BROADCAST) != 0) entry.broadcast = ipv4Text(item->ifa_broadaddr);
      // For an address without a broadcast the C library fills the slot with the
      // address itself; only a /32 can have that as its real broadcast.
      if (entry.broadcast == entry.address && entry.netmask != "255.255.255.255")
        entry.broadcast.clear();
    } else if (entry.family == AF_INET6) {
      entry.address = ipv6Text(item->ifa_addr);
      entry.prefix = ipv6Prefix(item->ifa_netmask);
      entry.linkLocal = isLinkLocal(item->ifa_addr);
    } else {
      continue;
    }
    entries.push_back(entry);
  }
  return entries;
}

std::vector<LinkEntry> toLinkEntries(const ifaddrs* list) {
  std::vector<LinkEntry> links;
  for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    if (item->ifa_addr == nullptr || item->ifa_name == nullptr) continue;
    if (item->ifa_addr->sa_family != AF_PACKET) continue;
    LinkEntry link;
    link.name = item->ifa_name;
    link.flags = item->ifa_flags;
    link.mac = macText(item->ifa_addr);
    links.push_back(link);
  }
  return links;
}

LinkState linkStateOf(const LinkEntry& link) {
  LinkState state;
  state.adminUp = (link.flags & IFF_UP) != 0;
  // A link that is down reports no carrier, whatever the cable does.
  state.carrier = state.adminUp && (link.flags & kLowerUpFlag) != 0;
  state.running = state.adminUp && (link.flags & IFF_RUNNING) != 0;
  state.mac = link.mac;
  return state;
}

std::vector<std::string> selectInterfaceNames(const std::vector<AddressEntry>& entries) {
  std::vector<std::string> names;
  for (const AddressEntry& entry : entries) {
    if (isEthernetName(entry.name)) names.push_back(entry.name);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

bool selectLiveAddresses(const std::vector<AddressEntry>& entries, const std::string& iface,
                         const std::vector<Ipv6Settings>& dynamic, Ipv4Settings& ipv4,
                         Ipv6Settings& ipv6) {
  bool found = false;
  bool ipv6Chosen = false;
  for (const AddressEntry& entry : entries) {
    if (entry.name != iface) continue;
    if (entry.family == AF_INET6) {
      if (ipv6Chosen || entry.linkLocal) continue;
      bool isDynamic = std::any_of(dynamic.begin(), dynamic.end(), [&](const Ipv6Settings& d) {
        return d.address == entry.address;
      });
      if (isDynamic) continue;
      ipv6.address = entry.address;
      ipv6.prefix = entry.prefix;
      ipv6Chosen = true;
      found = true;
    } else if (entry.family == AF_INET) {
      // Every field is taken from the same entry so that the record never mixes
      // two addresses; the kernel's last entry wins.
      ipv4.address = entry.address;
      ipv4.netmask = entry.netmask;
      ipv4.broadcast = entry.broadcast;
      found = true;
    }
  }
  if (!ipv6Chosen && !dynamic.empty()) {
    // A configured global address is preferred; the dynamic one is the fallback.
    ipv6 = dynamic.front();
    found = true;
  }
  return found;
}

}  // namespace detail

namespace detail {

bool readIfInet6(std::string& text) {
  std::ifstream file("/proc/net/if_inet6");
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  text = content.str();
  return true;
}

}  // namespace detail

struct LiveAddressSnapshot::Data {
  std::vector<detail::AddressEntry> entries;
  std::vector<detail::LinkEntry> links;
  std::unordered_map<std::string, std::string> ifInet6;  ///< lines by device
  // Asked interface by interface (the console asks for every one), a scan of
  // the whole list per question would grow with the square of the interfaces.
  std::unordered_map<std::string, std::vector<detail::AddressEntry>> entriesByName;
  std::unordered_map<std::string, const detail::LinkEntry*> linkByName;  ///< the first of each
};

LiveAddressSnapshot::LiveAddressSnapshot() : data_(new Data) {}
LiveAddressSnapshot::~LiveAddressSnapshot() = default;
LiveAddressSnapshot::LiveAddressSnapshot(LiveAddressSnapshot&&) noexcept = default;
LiveAddressSnapshot& LiveAddressSnapshot::operator=(LiveAddressSnapshot&&) noexcept = default;

bool LiveAddressSnapshot::read() {
  data_.reset(new Data);
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  data_->entries = detail::toAddressEntries(list);
  data_->links = detail::toLinkEntries(list);
  freeifaddrs(list);
  for (const detail::AddressEntry& entry : data_->entries)
    data_->entriesByName[entry.name].push_back(entry);
  for (const detail::LinkEntry& link : data_->links) data_->linkByName.emplace(link.name, &link);
  std::string ifInet6;
  if (detail::readIfInet6(ifInet6)) data_->ifInet6 = detail::ifInet6ByDevice(ifInet6);
  return true;
}

std::vector<std::string> LiveAddressSnapshot::interfaces() const {
  return detail::selectInterfaceNames(data_->entries);
}

bool LiveAddressSnapshot::liveAddresses(const std::string& iface, Ipv4Settings& ipv4,
                                        Ipv6Settings& ipv6) const {
  std::vector<Ipv6Settings> dynamic;
  const auto lines = data_->ifInet6.find(iface);
  if (lines == data_->ifInet6.end() || !parseDynamicIpv6Addresses(lines->second, iface, dynamic))
    dynamic.clear();
  static const std::vector<detail::AddressEntry> kNone;
  const auto own = data_->entriesByName.find(iface);
  return detail::selectLiveAddresses(own == data_->entriesByName.end() ? kNone : own->second, iface,
                                     dynamic, ipv4, ipv6);
}

bool LiveAddressSnapshot::holdsDynamicIpv6(const std::string& iface) const {
  const auto lines = data_->ifInet6.find(iface);
  std::vector<Ipv6Settings> dynamic;
  return lines != data_->ifInet6.end() &&
         parseDynamicIpv6Addresses(lines->second, iface, dynamic) && !dynamic.empty();
}

std::vector<std::string> LiveAddressSnapshot::ethernetLinks() const {
  std::vector<std::string> names;
  for (const detail::LinkEntry& link : data_->links)
    if (detail::isEthernetName(link.name)) names.push_back(link.name);
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

bool LiveAddressSnapshot::linkState(const std::string& iface, LinkState& state) const {
  const auto link = data_->linkByName.find(iface);
  if (link == data_->linkByName.end()) return false;
  state = detail::linkStateOf(*link->second);
  return true;
}

bool getInterfaces(std::vector<std::string>& names) {
  names.clear();
  LiveAddressSnapshot snapshot;
  if (!snapshot.read()) return false;
  names = snapshot.interfaces();
  return true;
}

bool getLiveAddresses(const std::string& iface, Ipv4Settings& ipv4, Ipv6Settings& ipv6) {
  LiveAddressSnapshot snapshot;
  return snapshot.read() && snapshot.liveAddresses(iface, ipv4, ipv6);
}

bool readDynamicIpv6Addresses(const std::string& iface, std::vector<Ipv6Settings>& addresses) {
  std::string text;
  return detail::readIfInet6(text) && parseDynamicIpv6Addresses(text, iface, addresses);
}

bool getDynamicIpv6Address(const std::string& iface, Ipv6Settings& ipv6) {
  std::vector<Ipv6Settings> addresses;
  if (!readDynamicIpv6Addresses(iface, addresses) || addresses.empty()) return false;
  ipv6 = addresses.front();
  return true;
}

}  // namespace KESP
