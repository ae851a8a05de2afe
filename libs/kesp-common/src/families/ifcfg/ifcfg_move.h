#pragma once
// move() for the families that keep one ifcfg file per interface.

#include <string>

#include "kesp/interface_files.h"

namespace KESP {
namespace detail {

/// A family's ifcfg writer (writeRedHatInterface, writeSuseInterface).
using IfcfgWriter = void (*)(KeyValueFile&, const std::string&, AddressMode, const Ipv4Settings&,
                             const Ipv6Settings&);

/// Adds, removes or exchanges whole ifcfg files of flavour's family, written
/// with write.
bool moveIfcfg(OsFlavour flavour, IfcfgWriter write, int op, const std::string& first,
               const std::string& second);

}  // namespace detail
}  // namespace KESP
