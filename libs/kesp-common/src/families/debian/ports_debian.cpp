// Ports in the Debian interfaces files: a port's stanza may name its bond
// ("bond-master bond0"), or the master's stanza lists its ports
// ("bond-slaves", "bridge_ports"; either spelling of the separator).

#include <sstream>
#include <vector>

#include "families/debian/debian_grammar.h"
#include "families/debian/debian_tree.h"
#include "families/ports.h"

namespace KESP {
namespace detail {

namespace {

enum class PortOption { None, MasterOfThis, ListsPorts };

PortOption portOption(const std::string& keyword) {
  std::string spelled = keyword;
  for (char& c : spelled)
    if (c == '_') c = '-';
  if (spelled == "bond-master") return PortOption::MasterOfThis;
  if (spelled == "bond-slaves" || spelled == "bridge-ports") return PortOption::ListsPorts;
  return PortOption::None;
}

}  // namespace

std::string debianPortMaster(const std::string& iface) {
  DebianTree tree;
  if (!loadDebianTree(tree, "debianPortMaster")) return std::string();
  std::string stanza;  // the interface whose stanza the lines belong to
  std::string master;
  walkDebianTree(
      tree,
      [&](const char* stored, std::size_t size) {
        if (!master.empty()) return;
        const DebianLine line = classifyDebianLine(std::string(stored, size));
        if (line.kind == DebianLineKind::Iface) {
          stanza = ifaceLineName(line.text);
          return;
        }
        if (startsTopLevelItem(line)) stanza.clear();
        if (line.kind != DebianLineKind::Option || stanza.empty()) return;
        std::istringstream words(line.text);
        std::string keyword, word;
        words >> keyword;
        const PortOption option = portOption(keyword);
        if (option == PortOption::MasterOfThis && stanza == iface && words >> word &&
            word != "none")
          master = word;
        while (option == PortOption::ListsPorts && stanza != iface && words >> word)
          if (word == iface) master = stanza;
      },
      [&stanza] { stanza.clear(); });
  return master;
}

}  // namespace detail
}  // namespace KESP
