#pragma once
// Unified diffs of whole files, as `apply --diff` shows what a change does.

#include <string>

namespace kesp_config_net {

/// The unified diff (three lines of context) that turns before into after,
/// headed "--- a<path>" and "+++ b<path>" (/dev/null for a file that is not
/// there on that side); empty when they are the same.
std::string unifiedDiff(const std::string& path, bool existed, const std::string& before,
                        bool exists, const std::string& after);

/// The text with the password of every "scheme://user:password@" replaced by
/// "********", for showing files that hold a proxy URL.
std::string maskPasswords(const std::string& text);

}  // namespace kesp_config_net
