#pragma once
// Waiting for an address against a deadline shared with the steps before it.

#include <chrono>
#include <string>

#include "kesp/network_model.h"

namespace KESP {
namespace detail {

/// True as soon as iface holds an address of a family of mode; false once
/// deadline has passed (after one look at least) or when mode asks for none.
bool waitForAddressUntil(const std::string& iface, AddressMode mode,
                         std::chrono::steady_clock::time_point deadline);

}  // namespace detail
}  // namespace KESP
