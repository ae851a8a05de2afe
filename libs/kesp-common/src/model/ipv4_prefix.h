#pragma once
// IPv4 prefix lengths as ifcfg files state them ("PREFIX=24", "10.0.0.5/24").

#include <string>

namespace KESP {
namespace detail {

/// The dotted netmask of a decimal prefix length 0..32 ("24" gives
/// "255.255.255.0"). False, dotted untouched, for any other text.
bool netmaskOfPrefixLength(const std::string& length, std::string& dotted);

/// Splits "address/length" at its last "/" when the length is a prefix length
/// 0..32: address becomes the part before, netmask the dotted form. False, both
/// untouched, when the text carries no such suffix.
bool splitAddressPrefix(const std::string& text, std::string& address, std::string& netmask);

}  // namespace detail
}  // namespace KESP
