#pragma once
// The dialogue on the terminal: gathers what it shows, runs it, and applies
// a confirmed plan with interruptions held off.

#include <iosfwd>

#include "command_line.h"
#include "dialogue.h"
#include "operations.h"

namespace kesp_config_net {

/// What the dialogue shows: interfaces, name servers, host name (live only)
/// and proxy, read afresh. False when the interface files cannot be listed.
bool gatherDialogueFacts(const Invocation& invocation, DialogueFacts& facts);

/// Runs the dialogue on standard input; the exit status. Without a terminal
/// on standard input it is a usage error (a script must name a command).
int runInteractive(const Invocation& invocation, Operations& operations, std::ostream& out,
                   std::ostream& err);

}  // namespace kesp_config_net
