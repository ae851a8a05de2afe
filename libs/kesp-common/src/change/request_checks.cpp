// The checks a change request passes before anything is touched. The texts end
// up in ifcfg files and sysconfig files that a root shell sources, so each one
// must be exactly what its field claims to be.

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "change/change_request.h"
#include "kesp/log.h"
#include "kesp/util.h"
#include "files/names.h"
#include "families/family.h"

namespace KESP {
namespace detail {

namespace {

const size_t kLoggedTextLimit = 64;
const unsigned kMaxIpv6Prefix = 128;

bool hasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

bool parseIpv4(const std::string& text, in_addr& address) {
  return !hasNul(text) && inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool parseIpv6(const std::string& text, in6_addr& address) {
  return !hasNul(text) && inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool isDottedQuad(const std::string& text) {
  in_addr address;
  return parseIpv4(text, address);
}

bool isIpv6Address(const std::string& text) {
  in6_addr address;
  return parseIpv6(text, address);
}

/// Ones, then zeros, over the bytes in network order.
bool isContiguous(const unsigned char* bytes, size_t size) {
  bool zeroSeen = false;
  for (size_t i = 0; i < size; ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      const bool one = (bytes[i] >> bit) & 1u;
      if (one && zeroSeen) return false;
      if (!one) zeroSeen = true;
    }
  }
  return true;
}

bool isIpv4Netmask(const std::string& text) {
  in_addr mask;
  return parseIpv4(text, mask) &&
         isContiguous(reinterpret_cast<const unsigned char*>(&mask.s_addr), sizeof mask.s_addr);
}

bool isIpv6Prefix(const std::string& text) {
  if (text.find(':') != std::string::npos) {
    in6_addr mask;
    return parseIpv6(text, mask) && isContiguous(mask.s6_addr, sizeof mask.s6_addr);
  }
  if (text.empty() || text.size() > 3) return false;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value <= kMaxIpv6Prefix;
}

/// "default" and the empty text both mean "no gateway".
bool isGateway(const std::string& text, bool (*isAddress)(const std::string&)) {
  return text.empty() || text == "default" || isAddress(text);
}

bool isIpv4Gateway(const std::string& text) { return isGateway(text, isDottedQuad); }
bool isIpv6Gateway(const std::string& text) { return isGateway(text, isIpv6Address); }

struct FieldRule {
  AddressMode requiredMode;
  const char* fieldName;
  std::string ChangeRequest::*field;
  bool (*isValid)(const std::string&);
};

const FieldRule kFieldRules[] = {
    {STATICV4, "IPv4 address", &ChangeRequest::ipv4Address, isDottedQuad},
    {STATICV4, "IPv4 netmask", &ChangeRequest::ipv4Netmask, isIpv4Netmask},
    {STATICV4, "IPv4 gateway", &ChangeRequest::ipv4Gateway, isIpv4Gateway},
    {STATICV6, "IPv6 address", &ChangeRequest::ipv6Address, isIpv6Address},
    {STATICV6, "IPv6 prefix", &ChangeRequest::ipv6Prefix, isIpv6Prefix},
    {STATICV6, "IPv6 gateway", &ChangeRequest::ipv6Gateway, isIpv6Gateway},
};

std::string faultText(const char* fieldName, const std::string& value) {
  return std::string("invalid ") + fieldName + " '" + printableText(value) + "'";
}

}  // namespace

std::string printableText(const std::string& text) {
  if (text.size() <= kLoggedTextLimit) return terminalSafe(text);
  return terminalSafe(text.substr(0, kLoggedTextLimit)) + "...";
}

std::string findRequestFault(const ChangeRequest& request) {
  if (!isValidInterfaceName(request.iface)) return faultText("interface name", request.iface);
  for (const FieldRule& rule : kFieldRules) {
    if (!(request.mode & rule.requiredMode)) continue;
    const std::string& value = request.*rule.field;
    if (!rule.isValid(value)) return faultText(rule.fieldName, value);
  }
  return std::string();
}

bool checkChangeRequest(const ChangeRequest& request, const char* operation) {
  const std::string fault = findRequestFault(request);
  if (fault.empty()) return true;
  KESP_LOG(LOG_ERROR, operation, fault);
  return false;
}

bool isSupportedRequest(OsFlavour flavour, const ChangeRequest& request, const char* operation) {
  const Family* family = familyOf(flavour);
  if ((request.mode & DHCPV6) && !(family && family->hasDhcpv6Client())) {
    KESP_LOG(LOG_ERROR, operation, "This appliance does not have a DHCPv6 client installed");
    return false;
  }
  const std::string refusal = family ? family->refusal(request) : std::string();
  if (!refusal.empty()) {
    KESP_LOG(LOG_ERROR, operation, refusal);
    return false;
  }
  return true;
}

bool isRunnableRequest(OsFlavour flavour, const ChangeRequest& request, const char* operation) {
  // Without a client ifup fails only after the interface went down, and says
  // why only in its own output.
  const Family* family = familyOf(flavour);
  if (family && (request.mode & DHCPV4) && !family->hasDhcpv4Client()) {
    KESP_LOG(LOG_ERROR, operation,
             "no DHCP client is installed; DHCPv4 cannot configure " << request.iface);
    return false;
  }
  return true;
}

Ipv4Settings ChangeRequest::ipv4Settings() const {
  // A DHCP request usually comes without texts; there is no broadcast to
  // derive then, and no reason to warn that none could be.
  const bool noTexts = ipv4Address.empty() && ipv4Netmask.empty();
  const bool derive = (mode & IPV4_MODES) != 0 && !((mode & STATICV4) == 0 && noTexts);
  return Ipv4Settings(derive, ipv4Address, ipv4Netmask, ipv4Gateway);
}

Ipv6Settings ChangeRequest::ipv6Settings() const {
  return Ipv6Settings((mode & IPV6_MODES) != 0, ipv6Address, ipv6Prefix, ipv6Gateway);
}

}  // namespace detail
}  // namespace KESP
