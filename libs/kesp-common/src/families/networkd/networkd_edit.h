#pragma once
// Changing an interface's .network file as a unit: found, copied to /etc
// where networkd's own directory for the administrator is not where it lies,
// edited in memory, written back.

#include <functional>
#include <string>
#include <vector>

#include "kesp/util.h"

namespace KESP {
namespace detail {

/// Loads the file networkd applies to iface (or none, for a new interface),
/// lets edit change it and saves it to networkdTargetPath(iface). False,
/// logged under operation, when the file cannot be read or written.
bool editNetworkdFile(const std::string& iface, const char* operation,
                      const std::function<void(KeyValueFile&)>& edit);

/// The per-link name servers of iface's .network file ([Network] DNS=), which
/// systemd-resolved takes over; false when the name is bad.
bool getNetworkdNameServers(const std::string& iface, std::vector<std::string>& servers);
/// Sets them (an empty list removes them) in one journaled change.
bool setNetworkdNameServers(const std::string& iface, const std::vector<std::string>& servers);

}  // namespace detail
}  // namespace KESP
