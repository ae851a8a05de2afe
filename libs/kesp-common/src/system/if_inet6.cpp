// Canonical IPv6 text, and the dynamic addresses of /proc/net/if_inet6 text.

#include <arpa/inet.h>
#include <net/if.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/address_text.h"
#include "system/address_entries.h"
#include "kesp/discovery.h"
#include "kesp/log.h"

namespace KESP {

namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::vector<std::string> splitBlankSeparated(const std::string& line) {
  std::vector<std::string> fields;
  size_t pos = 0;
  while (pos < line.size()) {
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    size_t start = pos;
    while (pos < line.size() && !isBlank(line[pos])) ++pos;
    if (pos > start) fields.push_back(line.substr(start, pos - start));
  }
  return fields;
}

bool isHexDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)) == 0) return false;
  }
  return true;
}

/// A hexadecimal field of the kernel's table; false for anything else or a
/// value beyond 32 bits.
bool readHexField(const std::string& text, uint32_t& value) {
  if (!isHexDigits(text)) return false;
  size_t first = text.find_first_not_of('0');
  if (first != std::string::npos && text.size() - first > 8) return false;
  value = static_cast<uint32_t>(std::stoul(text, nullptr, 16));
  return true;
}

/// One line: 32 address digits, index, prefix length, scope, flags, device.
struct IfInet6Line {
  std::string digits;
  uint32_t prefixLength = 0;
  uint32_t flags = 0;
  std::string device;
};

bool parseIfInet6Line(const std::string& line, IfInet6Line& parsed) {
  std::vector<std::string> fields = splitBlankSeparated(line);
  if (fields.size() < 6) return false;
  uint32_t index = 0;
  uint32_t scope = 0;
  if (fields[0].size() != 32 || !isHexDigits(fields[0])) return false;
  if (!readHexField(fields[1], index) || !readHexField(fields[2], parsed.prefixLength) ||
      !readHexField(fields[3], scope) || !readHexField(fields[4], parsed.flags)) {
    return false;
  }
  if (parsed.prefixLength > 128) return false;
  // The kernel never prints a device name longer than IFNAMSIZ - 1.
  if (fields[5].size() >= IFNAMSIZ) return false;
  parsed.digits = fields[0];
  parsed.device = fields[5];
  return true;
}

bool isColumnBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

/// The device column (the sixth word) of the line text[begin, end); empty
/// when the line has fewer words. Found without splitting the line, so that
/// one interface's lines are picked out of many cheaply.
std::string deviceColumn(const std::string& text, size_t begin, size_t end) {
  size_t pos = begin;
  for (int word = 0; word < 6; ++word) {
    while (pos < end && isColumnBlank(text[pos])) ++pos;
    const size_t start = pos;
    while (pos < end && !isColumnBlank(text[pos])) ++pos;
    if (start == pos) break;
    if (word == 5) return text.substr(start, pos - start);
  }
  return std::string();
}

void logInvalidIpv6(const std::string& text) {
  KESP_LOG(LOG_ERROR, "makeCanonicalIPv6",
           "Attempted translation of an Invalid IPv6 address " << text);
}

}  // namespace

bool makeCanonicalIPv6(const std::string& text, std::string& out) {
  in6_addr address{};
  // An embedded NUL would let inet_pton accept only the text before it.
  bool valid = text.find('\0') == std::string::npos &&
               inet_pton(AF_INET6, text.c_str(), &address) == 1;
  if (!valid) {
    logInvalidIpv6(text);
    return false;
  }
  out = detail::ipv6AddressText(address);
  return true;
}

bool hexToCanonicalIPv6(const std::string& hexDigits, std::string& out) {
  std::string grouped;
  for (size_t i = 0; i < hexDigits.size(); ++i) {
    if (i > 0 && i % 4 == 0) grouped += ':';
    grouped += hexDigits[i];
  }
  // A short text with its own "::" ("::1") would still convert, though it is
  // no line of the kernel's table.
  if (hexDigits.size() != 32) {
    logInvalidIpv6(grouped);
    return false;
  }
  return makeCanonicalIPv6(grouped, out);
}

bool parseDynamicIpv6Addresses(const std::string& ifInet6Text, const std::string& iface,
                               std::vector<Ipv6Settings>& addresses) {
  bool result = false;
  size_t start = 0;
  while (start < ifInet6Text.size()) {
    size_t end = ifInet6Text.find('\n', start);
    if (end == std::string::npos) end = ifInet6Text.size();
    const size_t begin = start;
    start = end + 1;
    if (!iface.empty() && deviceColumn(ifInet6Text, begin, end) != iface) continue;
    std::string line = ifInet6Text.substr(begin, end - begin);

    IfInet6Line parsed;
    if (!parseIfInet6Line(line, parsed)) continue;
    if (!iface.empty() && parsed.device != iface) continue;
    // The kernel flags configured addresses (permanent, and the like); an
    // autoconfigured one carries none.
    if (parsed.flags != 0) continue;

    Ipv6Settings settings;
    result = hexToCanonicalIPv6(parsed.digits, settings.address);
    settings.prefix = std::to_string(parsed.prefixLength);
    addresses.push_back(settings);
  }
  return result;
}

namespace detail {

std::vector<FlaggedIpv6Address> parseFlaggedIpv6Addresses(const std::string& ifInet6Text,
                                                          const std::string& iface) {
  std::vector<FlaggedIpv6Address> found;
  size_t start = 0;
  while (start < ifInet6Text.size()) {
    size_t end = ifInet6Text.find('\n', start);
    if (end == std::string::npos) end = ifInet6Text.size();
    IfInet6Line parsed;
    const bool taken = parseIfInet6Line(ifInet6Text.substr(start, end - start), parsed) &&
                       parsed.device == iface;
    start = end + 1;
    FlaggedIpv6Address address;
    if (!taken || !hexToCanonicalIPv6(parsed.digits, address.address)) continue;
    address.prefixLength = parsed.prefixLength;
    address.flags = parsed.flags;
    found.push_back(address);
  }
  return found;
}

std::unordered_map<std::string, std::string> ifInet6ByDevice(const std::string& text) {
  std::unordered_map<std::string, std::string> byDevice;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string device = deviceColumn(text, start, end);
    if (!device.empty()) byDevice[device].append(text, start, end - start).push_back('\n');
    start = end + 1;
  }
  return byDevice;
}

}  // namespace detail

}  // namespace KESP
