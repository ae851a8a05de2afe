#pragma once
// The --help texts of the tool and of each command.

#include <string>

namespace kesp_config_net {

/// The tool's overview: usage, global options, commands, exit statuses.
std::string toolHelp();
/// The help of one command; the tool's overview for an unknown name.
std::string commandHelp(const std::string& command);

}  // namespace kesp_config_net
