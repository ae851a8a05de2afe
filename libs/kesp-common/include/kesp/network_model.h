#pragma once
// How an interface gets its addresses, and the records of its settings.

#include <cstdint>
#include <string>

namespace KESP {

typedef unsigned int AddressMode;
const AddressMode STATICV4 = 1;
const AddressMode STATICV6 = 2;
const AddressMode DHCPV4 = 4;
const AddressMode DHCPV6 = 8;
const AddressMode AUTOV6 = 16;
const AddressMode IPV4_MODES = STATICV4 | DHCPV4;
const AddressMode IPV6_MODES = STATICV6 | DHCPV6 | AUTOV6;

extern const std::string RESOLV_CONF;          // "/etc/resolv.conf"
extern const std::string RESOLV_CONF_PENDING;  // "/etc/resolv.conf.pending"
extern const char LOCAL_HOST_NAMES[3][60];     // "localhost", "127.0.0.1", "127.0.1.1"

/// The IPv4 side of an interface; empty texts mean "not set".
struct Ipv4Settings {
  std::string address;
  std::string netmask;
  std::string gateway;
  std::string broadcast;

  Ipv4Settings() = default;
  /// With derive set: broadcast from address and netmask, gateway unless "default".
  /// With derive clear: address and netmask only.
  Ipv4Settings(bool derive, const std::string& address, const std::string& netmask,
               const std::string& gateway);
};

/// The IPv6 side of an interface; the address in canonical text.
struct Ipv6Settings {
  std::string address;
  std::string prefix;
  std::string gateway;

  Ipv6Settings() = default;
  /// With derive set: canonical address and gateway (unless "default"), the
  /// prefix as given or counted from a colon-form mask. With derive clear: empty.
  Ipv6Settings(bool derive, const std::string& address, const std::string& prefixOrMask,
               const std::string& gateway);
};

/// Writes the value's name into name; an unnamed value leaves name unchanged.
void getModeName(AddressMode mode, std::string& name);
/// Sets mode from a name (case-sensitive); 0 and an error line for an unknown name.
void getEnum(const std::string& name, AddressMode& mode);
unsigned countBits(uint32_t word);
/// Appends the local host names the comma-separated list does not yet contain.
void appendLocalHostNames(std::string& list);

}  // namespace KESP
