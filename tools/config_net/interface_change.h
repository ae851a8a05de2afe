#pragma once
// One interface's new address configuration, as the `set` command and the
// dialogue build it, with the checks that make a change safe to hand to the
// library: every problem is found and named here, before anything is touched.

#include <string>
#include <vector>

#include "kesp/interface_files.h"
#include "kesp/network_model.h"

namespace kesp_config_net {

/// The eight arguments of setNetwork; empty texts mean "not given".
struct InterfaceChange {
  std::string iface;
  KESP::AddressMode mode = 0;
  std::string ipv4Address;
  std::string ipv4Netmask;
  std::string ipv4Gateway;
  std::string ipv6Address;
  std::string ipv6Prefix;
  std::string ipv6Gateway;
};

/// What the running system can do, for the checks that depend on it.
struct SystemTraits {
  KESP::OsFlavour flavour = KESP::FLAVOUR_NONE;
  bool dhcpv6Client = false;
  /// A DHCPv4 client can run: installed on a live system; an offline image
  /// may get its client after its network is set.
  bool dhcpv4Usable = true;
};

/// The mode's name (such as "STATICV4+DHCPV6"); "NONE" for 0, "" for a
/// combination that has no name.
std::string modeName(KESP::AddressMode mode);
/// The mode of a name, upper or lower case; false for an unknown name or
/// "NONE" (a change always asks for at least one address family).
bool modeFromName(const std::string& name, KESP::AddressMode& mode);
/// Every name modeFromName accepts, separated by ", ", for messages.
std::string modeNameList();

/// Takes "192.0.2.10/24" and "2001:db8::10/64" apart when no netmask or prefix
/// was given, writes netmasks given as prefix lengths in dotted form, drops a
/// leading "/" from the IPv6 prefix and gives a static IPv6 address without a
/// prefix the usual 64.
void normaliseChange(InterfaceChange& change);

/// Everything wrong with the request's texts, one sentence each; empty when
/// it may be applied. Settings of a family that the mode does not configure
/// statically are refused rather than silently dropped.
std::vector<std::string> findFormatProblems(const InterfaceChange& change);

/// What the system cannot do: DHCPv4 or DHCPv6 without a client, DHCPv6 as the
/// only mode on Red Hat, an unknown family. Empty when supported.
std::string findSystemProblem(const InterfaceChange& change, const SystemTraits& traits);

/// What a live change waits for and for how long, for an operator at a
/// terminal: "waiting up to 30 seconds for eth0 to get an address".
std::string waitNotice(const InterfaceChange& change);

/// "STATICV4 192.0.2.10/24 gateway 192.0.2.1, DHCPV6": the change in one line.
std::string describeChange(const InterfaceChange& change);

}  // namespace kesp_config_net
