#pragma once
// The questions of the dialogue, one function per part. Each returns false
// when the operator left (Ctrl-D, Ctrl-C); otherwise it has filled its part
// of the plan, or left it unchanged when the operator kept the current value.

#include "change_plan.h"
#include "dialogue.h"
#include "prompter.h"

namespace kesp_config_net {

/// Lists the interfaces and asks which one to configure, then how.
bool askInterfacePart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan);
bool askNameServerPart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan);
bool askHostNamePart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan);
bool askProxyPart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan);
/// yes/no; false when the operator left.
bool askConfirmation(Prompter& prompter, bool& yes);
/// "y", "yes" or the operator's language's word for it (or its first letter).
bool isYesWord(const std::string& answer);

}  // namespace kesp_config_net
