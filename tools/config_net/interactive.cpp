#include "interactive.h"

#include <unistd.h>

#include <ostream>

#include "commands.h"
#include "kesp/interface_files.h"
#include "kesp/network_change.h"
#include "kesp/proxy.h"
#include "kesp/util.h"
#include "terminal_input.h"
#include "translate.h"

namespace kesp_config_net {

bool gatherDialogueFacts(const Invocation& invocation, DialogueFacts& facts) {
  const bool live = !invocation.offline;
  std::vector<std::string> names;
  if (!listInterfaceNames(live, names)) return false;
  facts.system = reportSystem(names, live);
  facts.imageRoot = invocation.offline ? invocation.root : "";
  KESP::getDnsServers(facts.nameServers);
  if (live) facts.hostName = KESP::getHostName();
  std::string password;
  KESP::getProxy(facts.proxy.host, facts.proxy.port, facts.proxy.user, password);
  facts.proxy.passwordSet = !password.empty();
  return true;
}

int runInteractive(const Invocation& invocation, Operations& operations, std::ostream& out,
                   std::ostream& err) {
  if (!isatty(STDIN_FILENO))
    return reportUsage(err, "", tr("no command given, and the dialogue needs a terminal"));
  DialogueFacts facts;
  if (KESP::getOsFlavour() == KESP::FLAVOUR_NONE) return reportNoFamily(err, invocation.root);
  if (!gatherDialogueFacts(invocation, facts) || facts.system.flavour == KESP::FLAVOUR_NONE)
    return reportNoFamily(err, invocation.root);

  ChangePlan plan;
  DialogueEnd end;
  {
    TerminalLineSource terminal(out);
    end = runDialogue(facts, terminal, out, plan);
  }
  switch (end) {
    case DialogueEnd::Left:
      out << tr("Left without changing anything.") << "\n";
      return EXIT_FAILED;
    case DialogueEnd::Declined:
      out << tr("Nothing was changed.") << "\n";
      return EXIT_OK;
    case DialogueEnd::NothingToDo:
      return EXIT_OK;
    case DialogueEnd::Confirmed:
      break;
  }
  InterruptShield shield;
  out << tr("Applying the changes:") << "\n" << std::flush;
  const bool allDone = applyPlan(plan, operations, out);
  out << (allDone ? tr("All changes were applied.") : tr("Not every change was applied; see above.")) << "\n";
  return allDone ? EXIT_OK : EXIT_FAILED;
}

}  // namespace kesp_config_net
