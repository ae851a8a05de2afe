#pragma once
// Checks for texts that become file names, arguments or values in shell-sourced files.

#include <string>
#include <string_view>

namespace KESP {
namespace detail {

/// 1 to 15 bytes of letters, digits, ".", "_", "-" and ":"; not "." or "..",
/// and no leading "-" (it would read as an option).
/// Alias labels (eth0:1) and VLANs (eth0.100) pass.
bool isValidInterfaceName(const std::string& name);

/// Whether the name is an Ethernet interface's: the classic "eth" names and
/// the kernel's predictable names ("en" and the slot: ens3, enp0s3, eno1, enx...).
bool isEthernetName(const std::string& name);

/// terminalSafe(text), for log lines.
std::string printable(const std::string& text);

/// isValidInterfaceName, logging "invalid interface name '<name>'" at ERROR under
/// the given operation when it fails.
bool checkInterfaceName(const std::string& name, const char* operation);

/// Whether text begins with prefix.
inline bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

/// Whether text ends with ending.
inline bool endsWith(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

}  // namespace detail
}  // namespace KESP
