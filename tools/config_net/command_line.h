#pragma once
// The command line of kesp_config_net, read into an Invocation. Pure: the
// words come in, the invocation or the reason for a usage error comes out.
//
//   kesp_config_net [GLOBAL OPTIONS]                    the dialogue
//   kesp_config_net [GLOBAL OPTIONS] COMMAND [ARGS]     one command
//
// Global options may stand before or after the command; "--name=value" and
// "--name value" are the same; "--" ends the options.

#include <map>
#include <string>
#include <vector>

namespace kesp_config_net {

struct Invocation {
  /// The directory of --root (offline image) or --system-root (live).
  std::string root;
  /// --root: only files are read and written, nothing is run.
  bool offline = false;
  bool json = false;
  bool verbose = false;
  bool help = false;
  /// --wait: seconds a change waits for another one; negative when not given.
  int waitSeconds = -1;
  bool version = false;
  /// Empty for the dialogue.
  std::string command;
  /// The command's own options by name without dashes; flags map to "".
  std::map<std::string, std::string> options;
  /// The command's words after its name, options taken out.
  std::vector<std::string> arguments;

  bool has(const std::string& option) const { return options.count(option) != 0; }
  std::string option(const std::string& name) const {
    auto found = options.find(name);
    return found == options.end() ? std::string() : found->second;
  }
};

/// --confirm-within's seconds (1 to 86400); 0 when not given or not a number.
int confirmWithinSeconds(const Invocation& invocation);

/// The command names, in the order the help lists them.
const std::vector<std::string>& commandNames();

/// Reads the words after the program name. False with a one-line reason for
/// a usage error: an unknown command or option, a missing or repeated value,
/// a wrong number of arguments, options that do not fit together.
bool parseCommandLine(const std::vector<std::string>& words, Invocation& invocation,
                      std::string& error);

}  // namespace kesp_config_net
