#include "interface_report.h"

#include <algorithm>
#include <cctype>

#include "kesp/interface_files.h"
#include "kesp/discovery.h"

namespace kesp_config_net {

namespace {

/// Negative, zero or positive as a comes before, with or after b, comparing
/// runs of digits by their value.
int compareCounting(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(static_cast<unsigned char>(a[i]));
    const bool digitB = std::isdigit(static_cast<unsigned char>(b[j]));
    if (digitA && digitB) {
      size_t endA = i, endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
      // Leading zeros aside, the longer run is the larger number.
      size_t startA = i, startB = j;
      while (startA + 1 < endA && a[startA] == '0') ++startA;
      while (startB + 1 < endB && b[startB] == '0') ++startB;
      if (endA - startA != endB - startB) return (endA - startA) < (endB - startB) ? -1 : 1;
      const int order = a.compare(startA, endA - startA, b, startB, endB - startB);
      if (order != 0) return order;
      i = endA;
      j = endB;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
      ++i;
      ++j;
    }
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  return a.compare(b);
}

void addLiveAddresses(const KESP::LiveAddressSnapshot& addresses, InterfaceReport& report) {
  report.live = true;
  report.present = addresses.linkState(report.name, report.link);
  if (report.present) addresses.liveAddresses(report.name, report.liveIpv4, report.liveIpv6);
}

}  // namespace

void sortInterfaceNames(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return compareCounting(a, b) < 0; });
  names.erase(std::unique(names.begin(), names.end()), names.end());
}

bool listInterfaceNames(bool live, std::vector<std::string>& names) {
  names.clear();
  std::vector<std::string> configured;
  if (!KESP::listConfiguredInterfaces(configured)) return false;
  for (const std::string& name : configured)
    if (name != "lo") names.push_back(name);
  if (live) {
    KESP::LiveAddressSnapshot kernel;
    if (kernel.read())
      for (const std::string& name : kernel.ethernetLinks()) names.push_back(name);
  }
  sortInterfaceNames(names);
  return true;
}

InterfaceReport reportInterface(const std::string& name, bool live) {
  InterfaceReport report;
  reportEachInterface({name}, live, [&report](InterfaceReport& item) { report = std::move(item); });
  return report;
}

SystemReport reportSystemFacts(bool live) {
  SystemReport report;
  report.flavour = KESP::getOsFlavour();
  report.live = live;
  report.dhcpv6Client = KESP::hasDhcpv6Client();
  report.dhcpv4Usable = !live || KESP::hasDhcpv4Client();
  return report;
}

void reportEachInterface(const std::vector<std::string>& names, bool live,
                         const std::function<void(InterfaceReport&)>& each) {
  KESP::LiveAddressSnapshot addresses;
  if (live) addresses.read();
  const size_t kChunk = 128;
  for (size_t first = 0; first < names.size(); first += kChunk) {
    const size_t count = std::min(kChunk, names.size() - first);
    std::vector<KESP::ConfiguredNetwork> configured(count);
    for (size_t i = 0; i < count; ++i) configured[i].name = names[first + i];
    KESP::getNetworks(configured, live);
    for (KESP::ConfiguredNetwork& network : configured) {
      InterfaceReport item;
      item.name = std::move(network.name);
      item.configured = network.configured;
      item.mode = network.mode;
      item.ipv4 = std::move(network.ipv4);
      item.ipv6 = std::move(network.ipv6);
      item.furtherAddresses = std::move(network.furtherAddresses);
      if (live) addLiveAddresses(addresses, item);
      each(item);
    }
  }
}

SystemReport reportSystem(const std::vector<std::string>& names, bool live) {
  SystemReport report = reportSystemFacts(live);
  report.interfaces.reserve(names.size());
  reportEachInterface(names, live,
                      [&report](InterfaceReport& item) { report.interfaces.push_back(std::move(item)); });
  return report;
}

std::string flavourName(KESP::OsFlavour flavour) {
  const std::string title = KESP::osFlavourTitle(flavour);
  return title.empty() ? "unknown" : title;
}

std::string flavourKey(KESP::OsFlavour flavour) {
  const std::string name = KESP::osFlavourName(flavour);
  return name.empty() ? "unknown" : name;
}

}  // namespace kesp_config_net
