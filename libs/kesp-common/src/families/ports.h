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

/// Why the family's files forbid giving iface addresses of its own ("eth2 is
/// a port of bond0"); empty when nothing does.
std::string findConfigurationRefusal(OsFlavour flavour, const std::string& iface);

}  // namespace detail
}  // namespace KESP
