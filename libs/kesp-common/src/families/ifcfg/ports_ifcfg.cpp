// Ports in ifcfg files: Red Hat marks the port's own file (MASTER= with
// SLAVE=yes, BRIDGE=, TEAM_MASTER=); SUSE lists the ports in the master's file
// (BONDING_SLAVE<n>, BRIDGE_PORTS).

#include <sstream>
#include <vector>

#include "families/ifcfg/ifcfg_files.h"
#include "files/key_line.h"
#include "kesp/sysroot.h"
#include "families/ports.h"

namespace KESP {
namespace detail {

namespace {

const char* const kRedHatMasterKeys[] = {"MASTER", "BRIDGE", "TEAM_MASTER"};

bool namesInterface(const std::string& list, const std::string& iface) {
  std::istringstream words(list);
  std::string word;
  while (words >> word)
    if (word == iface) return true;
  return false;
}

/// True when a SUSE master's file lists iface among its ports.
bool listsPort(KeyValueFile& file, const std::string& iface) {
  std::string key, value;
  for (const std::string& line : file.lines) {
    if (!parseKeyLine(line, '=', false, false, key, value)) continue;
    const bool bondPort = key.compare(0, 13, "BONDING_SLAVE") == 0;
    if (!bondPort && key != "BRIDGE_PORTS") continue;
    KeyValueFile single('=');
    single.lines.push_back(line);
    getUnquotedValue(single, key, value);
    if (namesInterface(value, iface)) return true;
  }
  return false;
}

}  // namespace

std::string redHatPortMaster(const std::string& iface) {
  KeyValueFile file('=');
  if (!file.load(sysPath(redHatFileOf(iface)))) return std::string();
  std::string master;
  for (const char* key : kRedHatMasterKeys) {
    if (getUnquotedValue(file, key, master) && !master.empty()) return master;
  }
  return std::string();
}

std::string susePortMaster(const std::string& iface) {
  std::vector<std::string> names;
  if (!listIfcfgFileNames(SUSE_NETWORK_DIR, names, "susePortMaster")) return std::string();
  for (const std::string& name : names) {
    if (name == iface) continue;
    KeyValueFile file('=');
    if (file.load(sysPath(SUSE_NETWORK_DIR + "/ifcfg-" + name)) && listsPort(file, iface))
      return name;
  }
  return std::string();
}

}  // namespace detail
}  // namespace KESP
