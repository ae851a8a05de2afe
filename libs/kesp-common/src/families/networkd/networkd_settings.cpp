// Reading and editing the addressing keys of a .network file.

#include "families/networkd/networkd_settings.h"

#include <arpa/inet.h>

#include <functional>

#include "families/networkd/networkd_files.h"
#include "files/key_line.h"
#include "files/word_list.h"
#include "model/ipv4_prefix.h"

namespace KESP {
namespace detail {
namespace {

using Lines = std::list<std::string>;
using Entries = std::vector<std::pair<std::string, std::string>>;

bool isIpv6Text(const std::string& text) { return text.find(':') != std::string::npos; }

bool isYes(const std::string& value) {
  return value == "yes" || value == "true" || value == "1" || value == "on";
}

/// Calls visit with each section named name: its header and end, and its keys.
void forEachSection(Lines& lines, const std::string& name,
                    const std::function<void(Lines::iterator, Lines::iterator, const Entries&)>& visit) {
  for (auto it = lines.begin(); it != lines.end();) {
    std::string header;
    if (!parseSectionHeader(*it, header) || header != name) {
      ++it;
      continue;
    }
    auto end = std::next(it);
    Entries entries;
    std::string other, key, value;
    for (; end != lines.end() && !parseSectionHeader(*end, other); ++end)
      if (parseKeyLine(*end, '=', false, false, key, value))
        entries.emplace_back(key, trimmedValue(value));
    auto after = end;
    visit(it, end, entries);
    it = after;
  }
}

/// The section's value of key (its last), empty when absent.
std::string valueOf(const Entries& entries, const char* key) {
  std::string found;
  for (const auto& entry : entries)
    if (entry.first == key) found = entry.second;
  return found;
}

bool isDefaultRoute(const Entries& entries) {
  const std::string destination = valueOf(entries, "Destination");
  return !valueOf(entries, "Gateway").empty() &&
         (destination.empty() || destination == "0.0.0.0/0" || destination == "::/0");
}

std::vector<std::string> networkValues(KeyValueFile& file, const char* key) {
  std::vector<std::string> values;
  std::vector<KeyValueFile::Position> positions;
  file.find("Network", key, values, positions);
  for (std::string& value : values) value = trimmedValue(value);
  return values;
}

void readAddress(const std::string& text, AddressMode& mode, Ipv4Settings& ipv4,
                 Ipv6Settings& ipv6, std::vector<std::string>& further) {
  const std::string::size_type slash = text.rfind('/');
  if (isIpv6Text(text) && !(mode & STATICV6)) {
    mode |= STATICV6;
    ipv6.address = text.substr(0, slash);
    // Without a length networkd takes the address alone.
    ipv6.prefix = slash == std::string::npos ? "128" : text.substr(slash + 1);
  } else if (!isIpv6Text(text) && !(mode & STATICV4) &&
             (splitAddressPrefix(text, ipv4.address, ipv4.netmask) ||
              (slash == std::string::npos && !text.empty()))) {
    mode |= STATICV4;
    if (slash == std::string::npos) {
      ipv4.address = text;
      ipv4.netmask = "255.255.255.255";
    }
  } else if (!text.empty()) {
    further.push_back(text);
  }
}

std::string prefixLength(const std::string& netmask) {
  in_addr mask;
  if (inet_pton(AF_INET, netmask.c_str(), &mask) != 1) return netmask;
  return std::to_string(countBits(ntohl(mask.s_addr)));
}

/// Adds lines at the end of the first section named name (before its
/// trailing blank lines), or in a new section at the end of the file.
void appendToSection(Lines& lines, const std::string& name, const std::vector<std::string>& added) {
  if (added.empty()) return;
  bool found = false;
  forEachSection(lines, name, [&](Lines::iterator, Lines::iterator end, const Entries&) {
    if (found) return;
    found = true;
    auto at = end;
    while (at != lines.begin() && std::prev(at)->find_first_not_of(" \t\r") == std::string::npos)
      --at;
    lines.insert(at, added.begin(), added.end());
  });
  if (found) return;
  if (!lines.empty() && !lines.back().empty()) lines.push_back("");
  lines.push_back("[" + name + "]");
  lines.insert(lines.end(), added.begin(), added.end());
}

}  // namespace

void readNetworkdInterface(KeyValueFile& file, AddressMode& mode, Ipv4Settings& ipv4,
                           Ipv6Settings& ipv6, std::vector<std::string>& further) {
  const std::vector<std::string> dhcp = networkValues(file, "DHCP");
  const std::string method = dhcp.empty() ? std::string() : dhcp.back();
  if (isYes(method) || method == "both" || method == "ipv4") mode |= DHCPV4;
  if (isYes(method) || method == "both" || method == "ipv6") mode |= DHCPV6;
  const std::vector<std::string> acceptRa = networkValues(file, "IPv6AcceptRA");
  if (!(mode & DHCPV6) && !acceptRa.empty() && isYes(acceptRa.back())) mode |= AUTOV6;

  std::vector<std::string> addresses = networkValues(file, "Address");
  forEachSection(file.lines, "Address", [&](Lines::iterator, Lines::iterator, const Entries& e) {
    if (!valueOf(e, "Address").empty()) addresses.push_back(valueOf(e, "Address"));
  });
  for (const std::string& address : addresses) readAddress(address, mode, ipv4, ipv6, further);

  std::vector<std::string> gateways = networkValues(file, "Gateway");
  forEachSection(file.lines, "Route", [&](Lines::iterator, Lines::iterator, const Entries& e) {
    if (isDefaultRoute(e)) gateways.push_back(valueOf(e, "Gateway"));
  });
  for (const std::string& gateway : gateways) {
    std::string& target = isIpv6Text(gateway) ? ipv6.gateway : ipv4.gateway;
    if (target.empty()) target = gateway;
  }
}

void writeNetworkdInterface(KeyValueFile& file, const std::string& iface, AddressMode mode,
                            const Ipv4Settings& ipv4, const Ipv6Settings& ipv6) {
  for (const char* key : {"DHCP", "Address", "Gateway", "IPv6AcceptRA"}) file.remove("Network", key);
  for (const char* section : {"Address", "Route"}) {
    forEachSection(file.lines, section, [&](Lines::iterator begin, Lines::iterator end,
                                           const Entries& entries) {
      if (std::string(section) == "Address" || isDefaultRoute(entries)) file.lines.erase(begin, end);
    });
  }
  std::vector<std::string> names;
  std::vector<KeyValueFile::Position> positions;
  if (file.find("Match", "Name", names, positions) != 1 || trimmedValue(names.front()) != iface) {
    file.remove("Match", "Name");
    appendToSection(file.lines, "Match", {"Name=" + iface});
  }
  std::vector<std::string> added;
  const AddressMode dhcp = mode & (DHCPV4 | DHCPV6);
  if (dhcp) added.push_back(dhcp == (DHCPV4 | DHCPV6) ? "DHCP=yes" : dhcp == DHCPV4 ? "DHCP=ipv4" : "DHCP=ipv6");
  if (mode & STATICV4) added.push_back("Address=" + ipv4.address + "/" + prefixLength(ipv4.netmask));
  if (mode & STATICV6) added.push_back("Address=" + ipv6.address + "/" + ipv6.prefix);
  if ((mode & STATICV4) && !ipv4.gateway.empty()) added.push_back("Gateway=" + ipv4.gateway);
  if ((mode & STATICV6) && !ipv6.gateway.empty()) added.push_back("Gateway=" + ipv6.gateway);
  if (mode & AUTOV6) added.push_back("IPv6AcceptRA=yes");
  appendToSection(file.lines, "Network", added);
}

std::vector<std::string> networkdNameServersOf(KeyValueFile& file) {
  std::vector<std::string> servers;
  for (const std::string& value : networkValues(file, "DNS")) {
    const std::vector<std::string> listed = blankSeparatedWords(value);
    // An empty assignment resets the list.
    if (listed.empty()) servers.clear();
    servers.insert(servers.end(), listed.begin(), listed.end());
  }
  return servers;
}

void setNetworkdNameServersIn(KeyValueFile& file, const std::vector<std::string>& servers) {
  file.remove("Network", "DNS");
  std::vector<std::string> lines;
  for (const std::string& server : servers) lines.push_back("DNS=" + server);
  appendToSection(file.lines, "Network", lines);
}

}  // namespace detail
}  // namespace KESP
