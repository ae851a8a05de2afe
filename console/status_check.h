#pragma once
// The status check on the running system: interfaces and live addresses from
// the kernel, configured modes from the distribution's interface files.

#include <string>

#include "status_choice.h"

namespace kesp_console {

/// What decides the status pane: the reachable address of the first Ethernet
/// interface that has one, or empty (no networking) with the interface that
/// holds an address configured nowhere, if any.
/// Without an address it also names the cause: link, configuration and the
/// addresses held are judged at every check; the probes that send packets
/// run at most once a minute, and their verdict is kept until the next run.
StatusChoice checkStatus();

}  // namespace kesp_console
