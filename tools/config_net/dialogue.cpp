#include "dialogue.h"

#include <ostream>

#include "dialogue_parts.h"
#include "prompter.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

void introduce(const DialogueFacts& facts, std::ostream& out) {
  if (facts.imageRoot.empty())
    out << trf("Network configuration of this system ({1} interface files)",
               {flavourName(facts.system.flavour)});
  else
    out << trf("Network configuration of the offline image {1} ({2} interface files)",
               {facts.imageRoot, flavourName(facts.system.flavour)});
  out << "\n"
      << tr("Enter keeps the value in [brackets]. Ctrl-C or Ctrl-D leaves without changing anything.")
      << "\n\n";
}

}  // namespace

DialogueEnd runDialogue(const DialogueFacts& facts, LineSource& input, std::ostream& out,
                        ChangePlan& plan) {
  plan = ChangePlan();
  Prompter prompter(input, out);
  introduce(facts, out);
  if (!askInterfacePart(facts, prompter, plan)) return DialogueEnd::Left;
  out << "\n";
  if (!askNameServerPart(facts, prompter, plan)) return DialogueEnd::Left;
  // The host name is the running system's; an offline image has none to set.
  if (facts.system.live) {
    out << "\n";
    if (!askHostNamePart(facts, prompter, plan)) return DialogueEnd::Left;
  }
  out << "\n";
  if (!askProxyPart(facts, prompter, plan)) return DialogueEnd::Left;
  out << "\n";
  if (plan.empty()) {
    out << tr("Nothing to change.") << "\n";
    return DialogueEnd::NothingToDo;
  }
  out << renderPlanSummary(plan, facts.system.live);
  bool yes = false;
  if (!askConfirmation(prompter, yes)) return DialogueEnd::Left;
  return yes ? DialogueEnd::Confirmed : DialogueEnd::Declined;
}

}  // namespace kesp_config_net
