#include "dialogue.h"

#include <ostream>

#include "dialogue_parts.h"
#include "prompter.h"

namespace kesp_config_net {

namespace {

void introduce(const DialogueFacts& facts, std::ostream& out) {
  out << "Network configuration";
  if (facts.imageRoot.empty())
    out << " of this system";
  else
    out << " of the offline image " << facts.imageRoot;
  out << " (" << flavourName(facts.system.flavour) << " interface files)\n"
      << "Enter keeps the value in [brackets]. Ctrl-C or Ctrl-D leaves without changing anything.\n\n";
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
    out << "Nothing to change.\n";
    return DialogueEnd::NothingToDo;
  }
  out << renderPlanSummary(plan, facts.system.live);
  bool yes = false;
  if (!askConfirmation(prompter, yes)) return DialogueEnd::Left;
  return yes ? DialogueEnd::Confirmed : DialogueEnd::Declined;
}

}  // namespace kesp_config_net
