#pragma once
// The commands for scripts. Each reads its arguments from the invocation,
// checks them (a bad value is a usage error, status 2, before anything is
// touched), does its work through the library or the Operations, prints data
// on `out` and reasons on `err`, and returns the exit status.

#include <iosfwd>
#include <string>
#include <vector>

#include "command_line.h"
#include "operations.h"

namespace kesp_config_net {

enum ExitStatus { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

class LogCollector;

struct CommandContext {
  const Invocation& invocation;
  Operations& operations;
  const LogCollector& log;
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

/// "kesp_config_net: <what>" and the reasons under it, on err; EXIT_FAILED.
int reportFailure(std::ostream& err, const std::string& what,
                  const std::vector<std::string>& reasons);
/// "kesp_config_net: <message>" and a pointer to the command's help; EXIT_USAGE.
int reportUsage(std::ostream& err, const std::string& command, const std::string& message);
/// What an operator needs when the root holds no interface files of a known
/// family: that none was found, where, and which directories were looked for.
std::string noFamilyMessage(const std::string& root);
/// The families the tool knows, for people: "NetworkManager, Debian, Red Hat or SUSE".
std::string knownFamilies();
/// noFamilyMessage as a failure; EXIT_FAILED.
int reportNoFamily(std::ostream& err, const std::string& root);
/// Shows the warnings of an outcome, and the errors of one that succeeded
/// nevertheless, as "kesp_config_net: warning: ..." lines.
void reportWarnings(std::ostream& err, const Outcome& outcome);

// The showing forms, shared by the commands that also change.
int showNameServers(CommandContext& context);
int showProxy(CommandContext& context);
int showHostName(CommandContext& context);

int runShow(CommandContext& context);
int runGateways(CommandContext& context);
int runDns(CommandContext& context);
int runProxy(CommandContext& context);
int runHostName(CommandContext& context);
int runSet(CommandContext& context);
int runMove(CommandContext& context);
int runRecover(CommandContext& context);
int runConfirm(CommandContext& context);
int runRevert(CommandContext& context);
int runExport(CommandContext& context);
int runApply(CommandContext& context);
int runDiagnose(CommandContext& context);

}  // namespace kesp_config_net
