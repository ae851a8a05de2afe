#pragma once
// The whole program below its main(): reads the command line, points the
// library at the system or image, collects its log, runs the dialogue or a
// command, and gives the exit status (0 done, 1 failed, 2 usage error).

#include <iosfwd>
#include <string>
#include <vector>

namespace kesp_config_net {

/// words are the arguments after the program name.
int runTool(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
            std::ostream& err);

}  // namespace kesp_config_net
