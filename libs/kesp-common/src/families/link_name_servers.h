#pragma once
// Name servers kept per link in a family's files (netplan's `nameservers`,
// networkd's DNS=): the steps the families with such files share.

#include <string>
#include <vector>

#include "families/family.h"

namespace KESP {
namespace detail {

using LinkServersGetter = bool (*)(const std::string& iface, std::vector<std::string>& servers);
using LinkServersSetter = bool (*)(const std::string& iface, const std::vector<std::string>& servers);
/// The file (without the system root) whose servers iface takes; empty when none.
using LinkServersSource = std::string (*)(const std::string& iface);

/// Of the interfaces family configures: with live, the one the running
/// kernel's first IPv4 default route leaves by; else the first whose files
/// give a gateway. Empty when none.
std::string routedFamilyInterface(const Family& family, bool live);

/// Sets servers on iface and takes them off every other configured
/// interface that has some (all of them for an empty iface). False, logged
/// under operation, when a file cannot be written.
bool writeLinkNameServers(const Family& family, const std::string& iface,
                          const std::vector<std::string>& servers, LinkServersGetter get,
                          LinkServersSetter set, const char* operation);

/// Every configured interface's servers in listing order, and the file of
/// the first naming any: where (when given) tells it, else the interface's
/// configuration path. False when the files cannot be read.
bool readLinkNameServers(const Family& family, std::vector<std::string>& servers,
                         std::string& source, LinkServersGetter get,
                         LinkServersSource where = nullptr);

}  // namespace detail
}  // namespace KESP
