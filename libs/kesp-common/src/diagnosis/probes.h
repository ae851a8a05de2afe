#pragma once
// The probes that ask the network: each bounded by its own wait, none of
// them running another program. Sockets only; the verdict is chosen elsewhere.

#include <string>
#include <vector>

#include "diagnosis/facts.h"

namespace KESP {
namespace detail {

/// Asks on iface, by ARP, who holds target: from sender (empty: 0.0.0.0, an
/// RFC 5227 probe that disturbs no one's cache), repeated every resendMs,
/// for at most waitMs. Answered (with the answering hardware address in mac)
/// when a machine claims target whose hardware address is none of
/// localMacs (iface's own first); Silent when none did; Failed when the raw
/// socket cannot be used.
ProbeResult arpProbe(const std::string& iface, const std::vector<std::string>& localMacs,
                     const std::string& sender, const std::string& target, int waitMs,
                     int resendMs, std::string& mac);

/// The hardware addresses of every link of this machine (its network
/// namespace), as "02:00:5e:10:00:01".
std::vector<std::string> localHardwareAddresses();

/// The kernel's route to an IPv4 address, as `ip route get` finds it through
/// netlink: the interface it leaves by (empty when there is no route) and its
/// gateway (empty when on-link). False when the kernel could not be asked.
bool routeTo(const std::string& address, std::string& iface, std::string& gateway);

/// Sends buildRootQuery to every server at once (UDP port 53) and waits at
/// most waitMs for all of them, filling each entry's result.
void probeNameServers(std::vector<NameServerFacts>& servers, int waitMs);

/// Opens a TCP connection to host:port within waitMs (a host name asked of
/// servers first, within the same wait): Answered when it opens, Refused
/// when refused, Silent when nothing came back in time, Failed when host
/// cannot be resolved or reached.
ProbeResult connectProbe(const std::string& host, const std::string& port,
                         const std::vector<std::string>& servers, int waitMs);

}  // namespace detail
}  // namespace KESP
