#pragma once
// How many interfaces are configured, read in one pass over the family's
// files. getNetwork reads the files afresh for every interface, which on a
// Debian interfaces file of a thousand stanzas means a thousand readings of
// the whole file; here the file is read once and cut into each interface's
// part, so that listing every interface stays linear in the file's size.

#include <map>
#include <string>
#include <vector>

#include "interface_report.h"
#include "kesp/util.h"

namespace kesp_config_net {

/// The lines of a Debian interfaces file cut at its iface lines: each
/// interface gets its iface lines with the lines that follow each of them up
/// to the next iface line. readDebianInterface reads from an interface's part
/// what it reads from the whole file, since the options it takes belong to
/// the iface line above them.
std::map<std::string, KESP::TextFile> splitDebianInterfaces(const KESP::TextFile& file);

/// The mode getNetwork reports when the interface holds a dynamic IPv6
/// address: AUTOV6 added where the files chose no IPv6 method.
KESP::AddressMode withDynamicIpv6(KESP::AddressMode mode);

/// Fills configured, mode, ipv4 and ipv6 of every report as
/// getNetwork(name, detectAutoV6, ...) would.
void readConfigurations(std::vector<InterfaceReport>& reports, bool detectAutoV6);

}  // namespace kesp_config_net
