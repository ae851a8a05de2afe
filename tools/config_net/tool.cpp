#include "tool.h"

#include <sys/stat.h>

#include <ostream>

#include "command_line.h"
#include "commands.h"
#include "help_text.h"
#include "interactive.h"
#include "kesp/interface_files.h"
#include "kesp/util.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "log_collector.h"
#include "operations.h"
#include "revert_runner.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

using CommandRunner = int (*)(CommandContext&);

struct CommandEntry {
  const char* name;
  CommandRunner run;
  bool changesNothing = false;  ///< whatever its arguments
};

const CommandEntry kCommands[] = {
    {"show", runShow, true},   {"set", runSet},   {"dns", runDns},           {"gateways", runGateways},
    {"proxy", runProxy},   {"move", runMove}, {"hostname", runHostName},
    {"recover", runRecover}, {"export", runExport}, {"apply", runApply},
    {"confirm", runConfirm}, {"revert", runRevert},
    {"diagnose", runDiagnose, true},
};

bool isDirectory(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

/// Restores the system root the tool found, for callers that run it in process.
class RootGuard {
 public:
  RootGuard() : previous_(KESP::systemRoot()), offline_(KESP::offlineImage()) {}
  ~RootGuard() {
    KESP::setSystemRoot(previous_);
    KESP::setOfflineImage(offline_);
  }

 private:
  std::string previous_;
  bool offline_;
};

int dispatch(const Invocation& invocation, std::istream& in, std::ostream& out,
             std::ostream& err, const LogCollector& log) {
  LibraryOperations operations(!invocation.offline, log);
  if (invocation.command.empty()) return runInteractive(invocation, operations, out, err);
  CommandContext context{invocation, operations, log, in, out, err};
  for (const CommandEntry& entry : kCommands) {
    if (invocation.command != entry.name) continue;
    // A command asks for the family many times over; it is detected once.
    const KESP::OsFlavourHold flavourHold(entry.changesNothing);
    return entry.run(context);
  }
  return reportUsage(err, "", trf("unknown command '{1}'", {KESP::terminalSafe(invocation.command)}));
}

}  // namespace

int runTool(const std::vector<std::string>& words, std::istream& in, std::ostream& out,
            std::ostream& err) {
  Invocation invocation;
  std::string error;
  if (!parseCommandLine(words, invocation, error)) return reportUsage(err, invocation.command, error);
  if (invocation.version) {
    out << versionText();
    return EXIT_OK;
  }
  if (invocation.help || invocation.command == "help") {
    const std::string topic = invocation.command == "help"
                                  ? (invocation.arguments.empty() ? "" : invocation.arguments[0])
                                  : invocation.command;
    out << (topic.empty() ? toolHelp() : commandHelp(topic));
    return EXIT_OK;
  }
  if (!invocation.root.empty() && !isDirectory(invocation.root))
    return reportUsage(err, invocation.command,
                       trf("{1}: '{2}' is not a directory",
                           {invocation.offline ? "--root" : "--system-root", KESP::terminalSafe(invocation.root)}));
  RootGuard rootGuard;
  if (!invocation.root.empty()) KESP::setSystemRoot(invocation.root);
  // An image's programs never run on this machine, whatever the command asks.
  KESP::setOfflineImage(invocation.offline);
  if (invocation.waitSeconds >= 0) KESP::setChangeWaitSeconds(invocation.waitSeconds);
  LogCollector log;
  const PendingGuard pending(confirmWithinSeconds(invocation), invocation.root);
  const int status = dispatch(invocation, in, out, err, log);
  // A JSON document stays one document: scripts ask 'show --json'.
  if (status == EXIT_OK && confirmWithinSeconds(invocation) > 0 && !invocation.json) reportPending(out);
  if (invocation.verbose) {
    static const char* const kLevelNames[] = {"DEBUG", "INFO", "WARN", "ERROR"};
    for (const LogLine& line : log.linesSince(0))
      err << "log: [" << kLevelNames[line.level & 3] << "] " << line.message << "\n";
  }
  return status;
}

}  // namespace kesp_config_net
