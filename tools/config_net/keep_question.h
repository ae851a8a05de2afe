#pragma once
// The question after a change made from a remote session: keep it, or let it
// be put back when the time runs out.

#include <iosfwd>

namespace kesp_config_net {

/// The seconds a change made in the dialogue waits for "yes": 120 in a remote
/// (SSH) session on a live system, 0 (kept at once) at the console.
int dialogueConfirmSeconds(bool live);

/// Asks "Keep these settings? They are put back in N seconds unless you answer
/// yes" on out, the seconds left redrawn as they pass, and reads one line
/// from fd. True only for a yes before the time runs out; the end of input,
/// any other answer or silence is a no.
bool askToKeep(int fd, std::ostream& out, int seconds);

}  // namespace kesp_config_net
