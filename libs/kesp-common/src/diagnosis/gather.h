#pragma once
// The facts of the layers that cost no traffic (link, configuration, the
// addresses the kernel holds), and the probes that send, layer by layer.

#include <string>

#include "diagnosis/facts.h"

namespace KESP {

class LiveAddressSnapshot;
struct ConfiguredNetwork;

namespace detail {

/// Link, configuration and addresses of iface from a reading of the kernel
/// and of the family's files, and the configured gateway. The file that
/// configures iface is looked up only where a verdict names it, or for
/// the details.
void gatherQuietFacts(const std::string& iface, const LiveAddressSnapshot& live,
                      const ConfiguredNetwork& configured, bool withDetails,
                      DiagnosisFacts& facts);

/// The name servers in use and the proxy, for every interface alike.
void gatherServiceFacts(DiagnosisFacts& facts);

/// Runs the probes layer after layer while the verdict so far holds, each
/// within probeMs and all before deadlineMs from now.
void runProbes(DiagnosisFacts& facts, int probeMs, int deadlineMs);

}  // namespace detail
}  // namespace KESP
