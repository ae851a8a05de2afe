#pragma once
// Ports of bonds and bridges take no addresses of their own: the master holds
// them. Each family says in its own files which interfaces are ports.

#include <string>

#include "kesp/interface_files.h"

namespace KESP {
namespace detail {

/// The bond or bridge iface is a port of in the family's files; empty when none.
std::string redHatPortMaster(const std::string& iface);
std::string susePortMaster(const std::string& iface);
std::string debianPortMaster(const std::string& iface);

/// Why iface may not have addresses of its own ("eth2 is a port of bond0");
/// empty when master is.
inline std::string portRefusal(const std::string& iface, const std::string& master) {
  if (master.empty()) return std::string();
  return iface + " is a port of " + master + "; its addresses belong to " + master;
}

}  // namespace detail
}  // namespace KESP
