#pragma once
// The status check on the running system: interfaces and live addresses from
// the kernel, configured modes from the distribution's interface files.

#include <string>

#include "status_choice.h"

namespace kesp_console {

/// The address that decides the status pane: the reachable address of the
/// first Ethernet interface that has one, or empty (no networking).
std::string checkStatusAddress();

}  // namespace kesp_console
