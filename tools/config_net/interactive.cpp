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
#include "word_wrap.h"

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

  // On a terminal the lines break between words, not at its edge.
  WordWrapBuffer wrap(out.rdbuf(), terminalColumns());
  std::ostream wrapped(&wrap);
  std::ostream& shown = isatty(STDOUT_FILENO) ? wrapped : out;
  ChangePlan plan;
  DialogueEnd end;
  {
    TerminalLineSource terminal(shown, [&wrap] { wrap.lineEnded(); });
    end = runDialogue(facts, terminal, shown, plan);
  }
  switch (end) {
    case DialogueEnd::Left:
      shown << tr("Left without changing anything.") << "\n";
      return EXIT_FAILED;
    case DialogueEnd::Declined:
      shown << tr("Nothing was changed.") << "\n";
      return EXIT_OK;
    case DialogueEnd::NothingToDo:
      return EXIT_OK;
    case DialogueEnd::Confirmed:
      break;
  }
  InterruptShield shield;
  shown << tr("Applying the changes:") << "\n" << std::flush;
  const bool allDone = applyPlan(plan, operations, shown);
  shown << (allDone ? tr("All changes were applied.") : tr("Not every change was applied; see above.")) << "\n";
  return allDone ? EXIT_OK : EXIT_FAILED;
}

}  // namespace kesp_config_net
