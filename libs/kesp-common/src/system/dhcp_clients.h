#pragma once
// The DHCP client processes that serve an interface of the calling thread's
// network namespace, found in the kernel's process table, and stopping them.

#include <sys/types.h>

#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// The processes of a DHCP client program (dhclient, dhcpcd, udhcpc, pump,
/// dhcp6c) running in the calling thread's network namespace with iface as
/// one of their arguments, in no particular order.
std::vector<pid_t> dhcpClientsOf(const std::string& iface);

/// Ends each process of pids that is still such a client of iface: SIGTERM,
/// then SIGKILL for one still there after two seconds. Returns what it ended,
/// "dhclient (pid 812)" each.
std::vector<std::string> stopDhcpClients(const std::string& iface, const std::vector<pid_t>& pids);

}  // namespace detail
}  // namespace KESP
