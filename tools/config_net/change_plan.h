#pragma once
// What the dialogue decided to change, shown as a summary before the
// confirmation and applied part by part after it.

#include <iosfwd>
#include <string>
#include <vector>

#include "interface_change.h"
#include "operations.h"

namespace kesp_config_net {

struct ChangePlan {
  bool changeInterface = false;
  InterfaceChange interface;
  bool changeNameServers = false;
  std::vector<std::string> nameServers;
  bool changeHostName = false;
  std::string hostName;
  bool changeProxy = false;
  ProxyRequest proxy;

  bool empty() const {
    return !changeInterface && !changeNameServers && !changeHostName && !changeProxy;
  }
};

/// The summary shown before the confirmation, one line per part.
std::string renderPlanSummary(const ChangePlan& plan, bool live);

/// Applies the parts in turn (interface, name servers, host name, proxy) and
/// writes each one's outcome on out; true when every part succeeded. With an
/// interface change, the name servers go to the pending file and are applied
/// by it; if the change fails, a pending file it left is withdrawn. On an
/// offline image they are written directly.
bool applyPlan(const ChangePlan& plan, Operations& operations, std::ostream& out);

}  // namespace kesp_config_net
