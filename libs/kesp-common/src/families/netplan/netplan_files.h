#pragma once
// The edges of the netplan family: netplan's files read from the system root
// and the appliance's own file written back; also the name servers of an
// interface, which netplan keeps with its addresses.

#include <string>
#include <vector>

#include "families/netplan/netplan_tree.h"

namespace KESP {
namespace detail {

/// Every file merged, and the appliance's own document (an empty mapping when
/// the file does not exist yet).
struct NetplanState {
  std::vector<NetplanFile> files;
  std::vector<NetplanDefinition> definitions;
  YamlNode own;
};

/// False (logged under operation) when a file cannot be read.
bool loadNetplanState(NetplanState& state, const char* operation);

/// Writes the own document to kNetplanOwnFile (mode 0600: netplan warns of
/// anything wider). False, logged, when it cannot be written.
bool saveNetplanOwn(const YamlNode& own, const char* operation);

/// The `nameservers: addresses` of the definition networkd applies to iface;
/// false when the files cannot be read.
bool getNetplanNameServers(const std::string& iface, std::vector<std::string>& servers);
/// The last file, in netplan's order, that gives the servers of the
/// definition netplan applies to iface (merged definitions take a later
/// file's list whole); empty when none does.
std::string netplanNameServersSource(const std::string& iface);

/// Sets them in the appliance's definition of iface (made from the one in
/// force when absent); an empty list removes them. Journaled as every write.
bool setNetplanNameServers(const std::string& iface, const std::vector<std::string>& servers);

}  // namespace detail
}  // namespace KESP
