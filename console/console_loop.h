#pragma once

namespace kesp_console {

/// Runs the console on the terminal until an entry is chosen (the process is
/// then replaced and this never returns) or a NUL key ends it (returns 0).
/// Returns 1 when the terminal cannot be used.
int runConsole();

}  // namespace kesp_console
