#pragma once
// What the tool knows about the interfaces: how the family's files configure
// each one and, on a live system, which addresses the kernel gives it now.
// Gathered afresh for every command; nothing is kept.

#include <functional>
#include <string>
#include <vector>

#include "kesp/discovery.h"
#include "kesp/interface_files.h"
#include "kesp/network_model.h"

namespace kesp_config_net {

struct InterfaceReport {
  std::string name;
  /// The family's files hold a configuration for it.
  bool configured = false;
  /// The configured mode (AUTOV6 added on a live system that holds a dynamic
  /// IPv6 address, as the console counts it).
  KESP::AddressMode mode = 0;
  KESP::Ipv4Settings ipv4;
  KESP::Ipv6Settings ipv6;
  /// The files' addresses beside the main ones ("192.0.2.6/24").
  std::vector<std::string> furtherAddresses;
  /// The kernel was asked (never on an offline image).
  bool live = false;
  /// The kernel has a link of this name.
  bool present = false;
  /// The link's state and hardware address, when present.
  KESP::LinkState link;
  KESP::Ipv4Settings liveIpv4;
  KESP::Ipv6Settings liveIpv6;
};

struct SystemReport {
  KESP::OsFlavour flavour = KESP::FLAVOUR_NONE;
  bool live = false;
  bool dhcpv6Client = false;
  /// As SystemTraits::dhcpv4Usable.
  bool dhcpv4Usable = true;
  /// A journal of a change cut off half-way waits for recovery.
  bool unfinishedChange = false;
  std::vector<InterfaceReport> interfaces;
};

/// Orders names as people count: eth2 before eth10, then byte-wise.
void sortInterfaceNames(std::vector<std::string>& names);

/// The names worth reporting: those the family's files configure (but "lo")
/// and, on a live system, the kernel's Ethernet links ("eth..." and "en...");
/// each once, in counting order. False when the family's files cannot be
/// listed (unknown family, unreadable files).
bool listInterfaceNames(bool live, std::vector<std::string>& names);

/// The report of one interface (getNetwork, and getLiveAddresses when live).
InterfaceReport reportInterface(const std::string& name, bool live);

/// Family, DHCPv6 client and the reports of the given names (read as
/// reportEachInterface reads them).
SystemReport reportSystem(const std::vector<std::string>& names, bool live);

/// reportSystem without the interfaces.
SystemReport reportSystemFacts(bool live);

/// The reports of the given names handed to each as they are made, in
/// order, the files read once for each group of 128 names and the kernel
/// once: a caller that writes each one out holds no more than a group.
void reportEachInterface(const std::vector<std::string>& names, bool live,
                         const std::function<void(InterfaceReport&)>& each);

/// "Debian", "Red Hat", "SUSE" or "unknown".
std::string flavourName(KESP::OsFlavour flavour);
/// "debian", "redhat", "suse" or "unknown", for JSON.
std::string flavourKey(KESP::OsFlavour flavour);

}  // namespace kesp_config_net
