#pragma once
// Questions answered by the appliance's own scripts rather than the kernel.

#include <string>
#include <vector>

namespace KESP {

/// Runs "/opt/tolvex/share/kesp/kesp_interfaces" and replaces `names` with its
/// output, one entry per line in output order (an empty line gives an empty
/// entry; a last line without a newline still counts). The script's exit
/// status is not examined. False, `names` untouched, when the script is
/// missing, not executable or could not be started.
bool getScriptInterfaces(std::vector<std::string>& names);

/// Runs "/opt/tolvex/share/kesp/kesp_ovf_process -g NAME..." (the name split at
/// blanks into separate arguments, no shell) and sets `value` to its whole
/// output, trailing newline included, whatever its exit status. When the
/// script cannot be started the value is "Unable to determine".
void getOvfProperty(const std::string& name, std::string& value);

}  // namespace KESP
