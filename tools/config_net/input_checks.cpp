#include "input_checks.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdint>
#include <cstring>

#include "kesp/network_change.h"
#include "kesp/util.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

bool readIpv4(const std::string& text, uint32_t& hostOrder) {
  in_addr address{};
  if (text.empty() || text.find('\0') != std::string::npos ||
      inet_pton(AF_INET, text.c_str(), &address) != 1)
    return false;
  hostOrder = ntohl(address.s_addr);
  return true;
}

bool readIpv6(const std::string& text, in6_addr& address) {
  return !text.empty() && text.find('\0') == std::string::npos &&
         inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

/// A decimal number of at most three digits in [low, high]; -1 otherwise.
int readSmallNumber(const std::string& text, int low, int high) {
  if (text.empty() || text.size() > 3) return -1;
  int value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    value = value * 10 + (c - '0');
  }
  return value >= low && value <= high ? value : -1;
}

uint32_t maskOfLength(int length) {
  return length == 0 ? 0 : ~uint32_t{0} << (32 - length);
}

/// Quotes a value for a message; control bytes would garble the terminal.
std::string quoted(const std::string& text) { return "'" + KESP::terminalSafe(text) + "'"; }

/// Two spellings of one address (2001:db8::1 and 2001:DB8:0::1) are one server.
bool sameAddress(const std::string& a, const std::string& b) {
  uint32_t a4, b4;
  if (readIpv4(a, a4) && readIpv4(b, b4)) return a4 == b4;
  in6_addr a6{}, b6{};
  if (readIpv6(a, a6) && readIpv6(b, b6)) return std::memcmp(&a6, &b6, sizeof a6) == 0;
  return a == b;
}

bool isLabelByte(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
}

}  // namespace

std::string checkInterfaceName(const std::string& name) {
  if (name.empty()) return tr("an interface name is needed");
  // A leading "-" would reach the family's programs as an option.
  if (name[0] == '-')
    return trf("{1} is not an interface name (it cannot begin with '-')", {quoted(name)});
  if (name.size() > 15 || name == "." || name == "..")
    return trf("{1} is not an interface name (1 to 15 letters, digits, '.', '_', '-', ':')", {quoted(name)});
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-' &&
        c != ':')
      return trf("{1} is not an interface name (1 to 15 letters, digits, '.', '_', '-', ':')",
                 {quoted(name)});
  }
  return "";
}

std::string checkIpv4Address(const std::string& text) {
  uint32_t value;
  if (!readIpv4(text, value))
    return trf("{1} is not an IPv4 address (four numbers 0-255 separated by dots)", {quoted(text)});
  if (value == 0 || (value >> 24) == 127 || (value >> 28) >= 14)
    return trf("{1} cannot be an interface address (unspecified, loopback, multicast or reserved)",
               {quoted(text)});
  return "";
}

std::string checkNetmask(const std::string& text) {
  if (netmaskPrefixLength(text) < 0)
    return trf("{1} is not a netmask (such as 255.255.255.0, or a prefix length 0-32)", {quoted(text)});
  return "";
}

int netmaskPrefixLength(const std::string& netmask) {
  uint32_t value;
  if (!readIpv4(netmask, value)) return -1;
  int length = 0;
  while (length < 32 && (value & (uint32_t{1} << (31 - length)))) ++length;
  return maskOfLength(length) == value ? length : -1;
}

bool netmaskFromText(const std::string& text, std::string& dotted) {
  if (netmaskPrefixLength(text) >= 0) {
    dotted = text;
    return true;
  }
  const std::string digits = !text.empty() && text[0] == '/' ? text.substr(1) : text;
  const int length = readSmallNumber(digits, 0, 32);
  if (length < 0) return false;
  in_addr mask{};
  mask.s_addr = htonl(maskOfLength(length));
  char buffer[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &mask, buffer, sizeof buffer);
  dotted = buffer;
  return true;
}

std::string checkIpv4HostInNetwork(const std::string& address, const std::string& netmask) {
  uint32_t value;
  const int length = netmaskPrefixLength(netmask);
  if (!readIpv4(address, value) || length < 0 || length > 30) return "";
  const uint32_t mask = maskOfLength(length);
  const std::string network = address + "/" + std::to_string(length);
  if ((value & ~mask) == 0)
    return trf("{1} is the network's own address, not a host address", {quoted(network)});
  if ((value & ~mask) == ~mask)
    return trf("{1} is the network's broadcast address, not a host address", {quoted(network)});
  return "";
}

std::string checkIpv4Gateway(const std::string& gateway, const std::string& address,
                             const std::string& netmask) {
  uint32_t gatewayValue, addressValue;
  if (!readIpv4(gateway, gatewayValue))
    return trf("{1} is not an IPv4 address (four numbers 0-255 separated by dots)", {quoted(gateway)});
  if (!readIpv4(address, addressValue)) return "";
  if (gatewayValue == addressValue)
    return trf("the gateway {1} cannot be the interface's own address", {quoted(gateway)});
  const int length = netmaskPrefixLength(netmask);
  if (length < 0) return "";
  const uint32_t mask = maskOfLength(length);
  if ((gatewayValue & mask) != (addressValue & mask))
    return trf("the gateway {1} is not in the network of {2}",
               {quoted(gateway), address + "/" + std::to_string(length)});
  return "";
}

std::string checkIpv6Address(const std::string& text) {
  in6_addr address{};
  if (!readIpv6(text, address))
    return trf("{1} is not an IPv6 address (such as 2001:db8::10)", {quoted(text)});
  static const in6_addr unspecified{};
  if (std::memcmp(&address, &unspecified, sizeof address) == 0 ||
      IN6_IS_ADDR_LOOPBACK(&address) || IN6_IS_ADDR_MULTICAST(&address))
    return trf("{1} cannot be an interface address (unspecified, loopback or multicast)", {quoted(text)});
  return "";
}

std::string checkIpv6Prefix(const std::string& text) {
  const std::string digits = !text.empty() && text[0] == '/' ? text.substr(1) : text;
  if (readSmallNumber(digits, 1, 128) < 0)
    return trf("{1} is not an IPv6 prefix length (a number 1-128)", {quoted(text)});
  return "";
}

std::string checkIpv6Gateway(const std::string& gateway, const std::string& address) {
  in6_addr gatewayValue{}, addressValue{};
  if (!readIpv6(gateway, gatewayValue))
    return trf("{1} is not an IPv6 address (such as 2001:db8::1)", {quoted(gateway)});
  if (readIpv6(address, addressValue) &&
      std::memcmp(&gatewayValue, &addressValue, sizeof gatewayValue) == 0)
    return trf("the gateway {1} cannot be the interface's own address", {quoted(gateway)});
  return "";
}

std::string checkNameServer(const std::string& text) {
  uint32_t ipv4;
  in6_addr ipv6{};
  if (readIpv4(text, ipv4) || readIpv6(text, ipv6) || KESP::isNameServerAddress(text)) return "";
  return trf("{1} is not a name server address (an IPv4 or IPv6 address)", {quoted(text)});
}

std::string checkNameServers(const std::vector<std::string>& servers) {
  for (size_t i = 0; i < servers.size(); ++i) {
    const std::string problem = checkNameServer(servers[i]);
    if (!problem.empty()) return problem;
    for (size_t j = 0; j < i; ++j)
      if (sameAddress(servers[j], servers[i]))
        return trf("the name server {1} is given twice", {quoted(servers[i])});
  }
  return "";
}

std::string checkHostName(const std::string& text) {
  const std::string refusal = trf(
      "{1} is not a host name (labels of letters, digits and '-' separated by dots, 64 bytes at most)",
      {quoted(text)});
  if (text.empty() || text.size() > 64) return refusal;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('.', start);
    if (end == std::string::npos) end = text.size();
    const std::string label = text.substr(start, end - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
      return refusal;
    for (char c : label)
      if (!isLabelByte(c)) return refusal;
    start = end + 1;
  }
  return "";
}

std::string checkProxyHost(const std::string& text) {
  const std::string refusal =
      trf("{1} is not a proxy host (a host name or IPv4 address: letters, digits, '.', '-', '_')",
          {quoted(text)});
  if (text.empty() || text.size() > 253) return refusal;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_')
      return refusal;
  }
  return "";
}

std::string checkPort(const std::string& text) {
  bool digits = !text.empty() && text.size() <= 5;
  for (char c : text) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  if (!digits || std::stoi(text) < 1 || std::stoi(text) > 65535)
    return trf("{1} is not a port (a number 1-65535)", {quoted(text)});
  return "";
}

std::string checkProxyUser(const std::string& text) {
  if (text.empty()) return tr("a user name cannot be empty");
  for (unsigned char c : text) {
    if (c <= 0x20 || c == 0x7f)
      return trf("{1} is not a user name (no blanks or control characters)", {quoted(text)});
  }
  return "";
}

std::string quoteForMessage(const std::string& text) { return quoted(text); }

bool splitPrefix(const std::string& text, std::string& address, std::string& length) {
  const size_t slash = text.rfind('/');
  if (slash == std::string::npos) return false;
  address = text.substr(0, slash);
  length = text.substr(slash + 1);
  return true;
}

}  // namespace kesp_config_net
