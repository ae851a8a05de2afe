#pragma once
// Addresses as text, exactly as the C library's inet_ntop writes them, without
// its formatted printing: the console's status check turns every address of
// every interface into text, and there the printing was most of the cost.

#include <netinet/in.h>

#include <string>

namespace KESP {
namespace detail {

/// Dotted decimal: "192.0.2.1".
std::string ipv4AddressText(const in_addr& address);

/// Lower-case hex groups without leading zeros, the longest run of two or
/// more zero groups (the first of equal ones) as "::", and the last 32 bits
/// in dotted form where the address is IPv4-compatible or IPv4-mapped:
/// "2001:db8::1", "::ffff:192.0.2.1".
std::string ipv6AddressText(const in6_addr& address);

}  // namespace detail
}  // namespace KESP
