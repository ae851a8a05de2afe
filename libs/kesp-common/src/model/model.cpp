// Address modes, their names, and the settings records built from parts.

#include <arpa/inet.h>

#include <cstring>

#include "kesp/discovery.h"
#include "kesp/log.h"
#include "kesp/network_model.h"

namespace KESP {

const std::string RESOLV_CONF = "/etc/resolv.conf";
const std::string RESOLV_CONF_PENDING = "/etc/resolv.conf.pending";
const char LOCAL_HOST_NAMES[3][60] = {"localhost", "127.0.0.1", "127.0.1.1"};

namespace {

struct ModeName {
  AddressMode mode;
  const char* name;
};

// At most one IPv4 mode and one IPv6 mode, the IPv4 part first; every other
// combination is deliberately nameless.
const ModeName MODE_NAMES[] = {
    {0, ""},
    {STATICV4, "STATICV4"},
    {STATICV6, "STATICV6"},
    {STATICV4 | STATICV6, "STATICV4+STATICV6"},
    {DHCPV4, "DHCPV4"},
    {DHCPV4 | STATICV6, "DHCPV4+STATICV6"},
    {DHCPV6, "DHCPV6"},
    {STATICV4 | DHCPV6, "STATICV4+DHCPV6"},
    {DHCPV4 | DHCPV6, "DHCPV4+DHCPV6"},
    {AUTOV6, "AUTOV6"},
    {STATICV4 | AUTOV6, "STATICV4+AUTOV6"},
    {DHCPV4 | AUTOV6, "DHCPV4+AUTOV6"},
};

bool readDottedQuad(const std::string& text, in_addr& address) {
  if (text.find('\0') != std::string::npos) return false;
  return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

std::string broadcastOf(const std::string& address, const std::string& netmask) {
  in_addr host{};
  in_addr mask{};
  if (!readDottedQuad(address, host) || !readDottedQuad(netmask, mask)) {
    // A made-up broadcast would end up in interface files; empty means "not set".
    KESP_LOG(LOG_WARN, "Ipv4Settings",
             "Cannot derive a broadcast address from " << address << " and " << netmask);
    return "";
  }
  in_addr broadcast{};
  broadcast.s_addr = host.s_addr | ~mask.s_addr;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &broadcast, text, sizeof text);
  return text;
}

std::string prefixFromMask(const std::string& mask) {
  in6_addr bits{};
  if (mask.find('\0') != std::string::npos || inet_pton(AF_INET6, mask.c_str(), &bits) != 1) {
    KESP_LOG(LOG_WARN, "Ipv6Settings", "Cannot read the IPv6 mask " << mask);
    return "";
  }
  unsigned prefix = 0;
  for (int word = 0; word < 4; ++word) {
    uint32_t value;
    std::memcpy(&value, bits.s6_addr + 4 * word, sizeof value);
    prefix += countBits(value);
  }
  return std::to_string(prefix);
}

}  // namespace

Ipv4Settings::Ipv4Settings(bool derive, const std::string& address_,
                           const std::string& netmask_, const std::string& gateway_)
    : address(address_), netmask(netmask_) {
  if (!derive) return;
  broadcast = broadcastOf(address, netmask);
  if (gateway_ != "default") gateway = gateway_;
}

Ipv6Settings::Ipv6Settings(bool derive, const std::string& address_,
                           const std::string& prefixOrMask, const std::string& gateway_) {
  if (!derive) return;
  prefix = prefixOrMask.find(':') == std::string::npos ? prefixOrMask
                                                       : prefixFromMask(prefixOrMask);
  // An empty text is "not set", not an invalid address worth an error line.
  if (!address_.empty()) makeCanonicalIPv6(address_, address);
  if (!gateway_.empty() && gateway_ != "default") makeCanonicalIPv6(gateway_, gateway);
}

void getModeName(AddressMode mode, std::string& name) {
  for (const ModeName& entry : MODE_NAMES) {
    if (entry.mode == mode) {
      name = entry.name;
      return;
    }
  }
}

void getEnum(const std::string& name, AddressMode& mode) {
  mode = 0;
  if (name.empty()) return;
  for (const ModeName& entry : MODE_NAMES) {
    if (entry.mode != 0 && name == entry.name) {
      mode = entry.mode;
      return;
    }
  }
  KESP_LOG(LOG_ERROR, "getEnum", "can't decode ip versions " << name);
}

unsigned countBits(uint32_t word) {
  unsigned count = 0;
  for (; word != 0; word >>= 1) count += word & 1u;
  return count;
}

void appendLocalHostNames(std::string& list) {
  // A plain substring test: "127.0.0.10" already counts as holding "127.0.0.1".
  for (const char* entry : LOCAL_HOST_NAMES) {
    if (list.find(entry) != std::string::npos) continue;
    if (!list.empty()) list += ',';
    list += entry;
  }
}

}  // namespace KESP
