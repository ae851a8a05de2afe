#include "model/address_text.h"

namespace KESP {
namespace detail {

namespace {

void appendDecimal(std::string& text, unsigned value) {
  if (value >= 100) text += static_cast<char>('0' + value / 100);
  if (value >= 10) text += static_cast<char>('0' + value / 10 % 10);
  text += static_cast<char>('0' + value % 10);
}

void appendDotted(std::string& text, const unsigned char* bytes) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += '.';
    appendDecimal(text, bytes[i]);
  }
}

void appendHex(std::string& text, unsigned group) {
  static const char kDigits[] = "0123456789abcdef";
  bool started = false;
  for (int shift = 12; shift >= 0; shift -= 4) {
    const unsigned digit = (group >> shift) & 0xf;
    if (digit == 0 && !started && shift > 0) continue;
    started = true;
    text += kDigits[digit];
  }
}

}  // namespace

std::string ipv4AddressText(const in_addr& address) {
  std::string text;
  text.reserve(15);
  appendDotted(text, reinterpret_cast<const unsigned char*>(&address.s_addr));
  return text;
}

std::string ipv6AddressText(const in6_addr& address) {
  const unsigned char* bytes = address.s6_addr;
  unsigned groups[8];
  for (int i = 0; i < 8; ++i) groups[i] = (unsigned{bytes[2 * i]} << 8) | bytes[2 * i + 1];
  // The longest run of zero groups, the first of equal ones; one alone stays.
  int bestStart = -1, bestLength = 0;
  for (int i = 0; i < 8;) {
    if (groups[i] != 0) {
      ++i;
      continue;
    }
    int end = i;
    while (end < 8 && groups[end] == 0) ++end;
    if (end - i > bestLength) {
      bestStart = i;
      bestLength = end - i;
    }
    i = end;
  }
  if (bestLength < 2) bestStart = -1;
  // IPv4-compatible (::a.b.c.d) and IPv4-mapped (::ffff:a.b.c.d) addresses.
  const bool embeddedIpv4 =
      bestStart == 0 && (bestLength == 6 || (bestLength == 5 && groups[5] == 0xffff));
  std::string text;
  text.reserve(39);
  for (int i = 0; i < 8; ++i) {
    if (i == bestStart) {
      text += ':';
      i += bestLength - 1;
      if (i == 7) text += ':';
      continue;
    }
    if (i > 0) text += ':';
    if (i == 6 && embeddedIpv4) {
      appendDotted(text, bytes + 12);
      break;
    }
    appendHex(text, groups[i]);
  }
  return text;
}

}  // namespace detail
}  // namespace KESP
