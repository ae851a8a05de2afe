#pragma once
// The configuration dialogue for an operator at the console: line prompts,
// each answer checked and asked again until it is acceptable, a summary,
// and a confirmation. It only decides; applyPlan (change_plan.h) acts.

#include <iosfwd>
#include <string>
#include <vector>

#include "change_plan.h"
#include "interface_report.h"
#include "line_source.h"
#include "report_render.h"

namespace kesp_config_net {

/// What the dialogue shows and offers, gathered before it starts.
struct DialogueFacts {
  SystemReport system;
  /// The image's directory on an offline image, empty on a live system.
  std::string imageRoot;
  std::vector<std::string> nameServers;
  std::string hostName;
  ProxyView proxy;
};

enum class DialogueEnd {
  Confirmed,    // plan holds the changes, the operator said yes
  Declined,     // the operator said no at the confirmation
  NothingToDo,  // every part was left as it is
  Left,         // Ctrl-D or Ctrl-C before the confirmation
};

DialogueEnd runDialogue(const DialogueFacts& facts, LineSource& input, std::ostream& out,
                        ChangePlan& plan);

}  // namespace kesp_config_net
