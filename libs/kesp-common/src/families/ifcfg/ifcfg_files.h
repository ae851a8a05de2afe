#pragma once
// Which ifcfg file configures an interface. SUSE names the file after the
// interface; Red Hat's network scripts take the interface from the file's
// DEVICE line, so ifcfg-by-device may configure eth3.

#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// The names after "ifcfg-" in directory (without the system root): valid
/// interface names only, backup copies ("~", ".bak", ".rpmsave", ...) left
/// out, sorted. False (logged under operation) when the directory cannot be read.
bool listIfcfgFileNames(const std::string& directory, std::vector<std::string>& names,
                        const char* operation);

/// The Red Hat file of iface, without the system root: the one whose DEVICE
/// names it, else "ifcfg-<iface>" (which need not exist). `configuresOther`
/// receives the device named by a DEVICE line of "ifcfg-<iface>" that is not
/// iface and no file configures iface; empty otherwise.
std::string redHatFileOf(const std::string& iface, std::string* configuresOther = nullptr);

/// The interfaces the Red Hat files configure: each file's DEVICE, else the
/// name in its file name; each once, sorted.
bool listRedHatInterfaces(std::vector<std::string>& names);

}  // namespace detail
}  // namespace KESP
