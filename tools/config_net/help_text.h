#pragma once
// The --help texts of the tool and of each command.

#include <string>

namespace kesp_config_net {

/// The tool's overview: usage, global options, commands, exit statuses.
std::string toolHelp();
/// The help of one command; the tool's overview for an unknown name.
std::string commandHelp(const std::string& command);
/// The "usage:" lines that open the command's help (the tool's for "").
std::string usageSynopsis(const std::string& command);
/// "kesp_config_net VERSION".
std::string versionText();

}  // namespace kesp_config_net
