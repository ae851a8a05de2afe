#include "model/ipv4_prefix.h"

#include <arpa/inet.h>

#include <cstdint>

namespace KESP {
namespace detail {

bool netmaskOfPrefixLength(const std::string& length, std::string& dotted) {
  // Two digits at most, so that no text is long enough to overflow the sum.
  if (length.empty() || length.size() > 2) return false;
  unsigned bits = 0;
  for (char c : length) {
    if (c < '0' || c > '9') return false;
    bits = bits * 10 + static_cast<unsigned>(c - '0');
  }
  if (bits > 32) return false;
  in_addr mask{};
  mask.s_addr = htonl(bits == 0 ? 0 : ~uint32_t{0} << (32 - bits));
  char buffer[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &mask, buffer, sizeof buffer) == nullptr) return false;
  dotted = buffer;
  return true;
}

bool splitAddressPrefix(const std::string& text, std::string& address, std::string& netmask) {
  const std::string::size_type slash = text.rfind('/');
  if (slash == std::string::npos) return false;
  std::string dotted;
  if (!netmaskOfPrefixLength(text.substr(slash + 1), dotted)) return false;
  address = text.substr(0, slash);
  netmask = dotted;
  return true;
}

}  // namespace detail
}  // namespace KESP
