#pragma once
// A change kept pending until confirmed: when it is due to be put back.

#include <string>

#include "change/change_journal.h"

namespace KESP {
namespace detail {

/// This boot's identity as the kernel tells it (never under the system root);
/// empty when it cannot be read.
std::string currentBootId();

/// True when the journal's change must be put back now: it was cut off
/// half-way (no deadline), its deadline has come, or it was made in another
/// boot (one whose boot cannot be told counts as another).
bool pendingIsDue(const Journal& journal);

/// "2026-12-08T14:30:00Z"
std::string utcTimestamp(long long secondsSinceEpoch);

/// "a change pending until <time> (eth0, eth1)", for messages.
std::string describePending(const Journal& journal);

}  // namespace detail
}  // namespace KESP
