#pragma once
// The two interfaces of an exchange (move's swap), as every family reads them
// before it writes each one's configuration under the other's name.

#include <string>

#include "kesp/network_model.h"

namespace KESP {
namespace detail {

/// The operation name move logs under.
extern const char* const kMoveOperation;

/// One interface of an exchange: its name and what its files configured.
struct SwapSide {
  explicit SwapSide(const std::string& iface) : name(iface) {}

  std::string name;
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
};

/// Reads both sides, logging each one that has no configuration. An
/// unconfigured side still takes part (as the empty configuration): moving a
/// configuration to a new interface is what a swap with it is for.
void readBothSides(SwapSide& first, SwapSide& second);

/// True when every text of the side is made of address characters only
/// (letters, digits, ".", ":", "/", "%", "_", "-"); false (logged) otherwise.
/// The ifcfg files are sourced by a root shell and the writers put the texts
/// in unquoted or single-quoted; a value that its old file quoted safely
/// could otherwise run as a command in the new one.
bool hasPlainTexts(const SwapSide& side);

}  // namespace detail
}  // namespace KESP
