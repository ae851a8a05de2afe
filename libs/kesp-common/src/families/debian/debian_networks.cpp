// Reading and listing every interface of the Debian files in one pass.

#include <unordered_map>
#include <unordered_set>

#include "families/debian/debian_family.h"
#include "families/debian/debian_grammar.h"

namespace KESP {
namespace detail {

void readDebianNetworks(const DebianTree& tree, const std::vector<ConfiguredNetwork*>& networks) {
  std::vector<DebianInterfaceReading> readings;
  readings.reserve(networks.size());
  std::unordered_map<std::string, DebianInterfaceReading*> byName;
  for (ConfiguredNetwork* network : networks) {
    readings.emplace_back(network->name, network->mode, network->ipv4, network->ipv6);
    byName.emplace(network->name, &readings.back());  // a repeated name is read once
  }
  DebianInterfaceReading* current = nullptr;
  walkDebianTree(
      tree,
      [&](const char* stored, std::size_t size) {
        if (!current && !mayBeIfaceLine(stored, size)) return;
        const DebianLine line = classifyDebianLine(std::string(stored, size));
        if (line.kind == DebianLineKind::Iface) {
          const auto reading = byName.find(ifaceLineName(line.text));
          current = reading == byName.end() ? nullptr : reading->second;
        }
        if (current) current->feed(line);
      },
      [&current] {
        if (current) current->leaveStanza();
        current = nullptr;
      });
  for (size_t i = 0; i < networks.size(); ++i) {
    const DebianInterfaceReading* reading = byName.at(networks[i]->name);
    networks[i]->configured = reading->found();
    if (reading == &readings[i]) continue;
    // The same name asked for twice: the first entry holds the reading.
    const ConfiguredNetwork& first = *networks[static_cast<size_t>(reading - readings.data())];
    networks[i]->mode = first.mode;
    networks[i]->ipv4 = first.ipv4;
    networks[i]->ipv6 = first.ipv6;
  }
}

void listDebianTreeInterfaces(const DebianTree& tree, std::vector<std::string>& names) {
  std::unordered_set<std::string> seen;
  walkDebianTree(
      tree,
      [&](const char* stored, std::size_t size) {
        if (!mayBeIfaceLine(stored, size)) return;
        const DebianLine line = classifyDebianLine(std::string(stored, size));
        if (line.kind != DebianLineKind::Iface) return;
        std::string name = ifaceLineName(line.text);
        if (!name.empty() && seen.insert(name).second) names.push_back(std::move(name));
      },
      [] {});
}

}  // namespace detail
}  // namespace KESP
