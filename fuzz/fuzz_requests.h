#pragma once
// Well-formed requests for the interface-file writers: the names, modes and
// settings that a checked change request can carry.

#include "kesp/network_model.h"

namespace kesp_fuzz {

const char* const kInterfaceNames[] = {"eth0", "eth1", "eth0:1", "eth0.100", "wan-dhcp"};

/// The modes whose files read back as the same mode in every family.
const KESP::AddressMode kRoundTripModes[] = {
    KESP::STATICV4, KESP::STATICV6, KESP::STATICV4 | KESP::STATICV6, KESP::DHCPV4,
    KESP::DHCPV4 | KESP::STATICV6};

const KESP::AddressMode kAllModes[] = {
    0,
    KESP::STATICV4,
    KESP::STATICV6,
    KESP::STATICV4 | KESP::STATICV6,
    KESP::DHCPV4,
    KESP::DHCPV4 | KESP::STATICV6,
    KESP::DHCPV6,
    KESP::STATICV4 | KESP::DHCPV6,
    KESP::DHCPV4 | KESP::DHCPV6,
    KESP::AUTOV6,
    KESP::STATICV4 | KESP::AUTOV6,
    KESP::DHCPV4 | KESP::AUTOV6,
};

struct Settings {
  KESP::Ipv4Settings ipv4;
  KESP::Ipv6Settings ipv6;
};

inline Settings settingsAt(unsigned index) {
  switch (index % 3) {
    case 0:
      return {KESP::Ipv4Settings(true, "10.1.1.5", "255.255.0.0", "10.1.0.1"),
              KESP::Ipv6Settings(true, "2001:db8:1::5", "64", "2001:db8:1::1")};
    case 1:
      return {KESP::Ipv4Settings(true, "192.0.2.10", "255.255.255.0", ""),
              KESP::Ipv6Settings(true, "fd00::10", "48", "")};
    default:
      return {KESP::Ipv4Settings(true, "172.16.0.2", "255.240.0.0", "172.16.0.1"),
              KESP::Ipv6Settings(true, "2001:db8::2", "ffff:ffff:ffff:ffff::", "fe80::1")};
  }
}

}  // namespace kesp_fuzz
