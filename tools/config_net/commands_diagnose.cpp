// The diagnose command: why an interface does not reach the network.

#include <ostream>

#include "commands.h"
#include "input_checks.h"
#include "interface_report.h"
#include "kesp/diagnosis.h"
#include "kesp/interface_files.h"
#include "log_collector.h"
#include "translate.h"
#include "verdict_render.h"

namespace kesp_config_net {

int runDiagnose(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  if (invocation.offline)
    return reportUsage(context.err, "diagnose",
                       tr("diagnose asks the running kernel and the network; it cannot be used "
                          "with --root"));
  std::vector<std::string> names;
  if (!invocation.arguments.empty()) {
    const std::string problem = checkInterfaceName(invocation.arguments[0]);
    if (!problem.empty()) return reportUsage(context.err, "diagnose", problem);
    names.push_back(invocation.arguments[0]);
  } else if (KESP::getOsFlavour() == KESP::FLAVOUR_NONE) {
    return reportNoFamily(context.err, invocation.root);
  } else if (!listInterfaceNames(true, names)) {
    return reportFailure(context.err, tr("cannot list the configured interfaces"), {});
  }
  if (names.empty()) return reportFailure(context.err, tr("no interface to examine"), {});
  const std::vector<KESP::Verdict> verdicts = KESP::diagnoseInterfaces(names);
  bool allHold = true;
  for (const KESP::Verdict& verdict : verdicts) allHold = allHold && verdict.ok();
  if (invocation.json) {
    context.out << renderVerdictsJson(verdicts);
  } else {
    for (const KESP::Verdict& verdict : verdicts) context.out << renderVerdictText(verdict);
  }
  return allHold ? EXIT_OK : EXIT_FAILED;
}

}  // namespace kesp_config_net
