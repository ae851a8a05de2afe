#pragma once
// Which running console gets what when the display must follow a change.

namespace KESP {
namespace detail {

/// What the kernel says of one process that may be a console.
struct ConsoleProcess {
  bool namedConsole = false;   ///< its name (/proc/PID/comm) is kesp_login
  bool registered = false;     ///< a file under the registry names it
  bool catchesRedraw = false;  ///< SIGUSR1 is among its caught signals
};

enum class DisplayAction { Leave, Redraw, End };

/// A console redraws when it catches the signal and is ours: registered under
/// the root, or any console when the whole system is meant (no root). Ending a
/// console is the old way, kept for the whole system's consoles that cannot
/// redraw; a registration whose process is no console is left alone (stale).
DisplayAction displayActionFor(const ConsoleProcess& process, bool wholeSystem);

}  // namespace detail
}  // namespace KESP
