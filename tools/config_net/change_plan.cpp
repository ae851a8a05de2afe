#include "change_plan.h"

#include <ostream>

namespace kesp_config_net {

namespace {

std::string serverList(const std::vector<std::string>& servers) {
  if (servers.empty()) return "none";
  std::string text;
  for (const std::string& server : servers) text += (text.empty() ? "" : " ") + server;
  return text;
}

std::string proxyText(const ProxyRequest& proxy) {
  if (proxy.host.empty()) return "none";
  std::string text = proxy.host + ":" + (proxy.port.empty() ? "80" : proxy.port);
  if (!proxy.user.empty()) {
    text += " as " + proxy.user;
    text += proxy.passwordGiven ? (proxy.password.empty() ? ", no password" : ", new password")
                                : ", stored password kept";
  }
  return text;
}

void row(std::string& text, const std::string& label, const std::string& value) {
  text += "  " + label + std::string(label.size() < 14 ? 14 - label.size() : 1, ' ') + value + "\n";
}

/// Writes the outcome of one part; true when it succeeded.
bool report(std::ostream& out, const std::string& part, const Outcome& outcome,
            const std::string& success) {
  for (const std::string& warning : outcome.warnings) out << "  " << part << ": warning: " << warning << "\n";
  if (outcome.ok)
    for (const std::string& error : outcome.errors) out << "  " << part << ": warning: " << error << "\n";
  if (outcome.ok) {
    out << "  " << part << ": " << success << "\n";
  } else {
    out << "  " << part << ": FAILED\n";
    if (outcome.errors.empty()) out << "      no reason was logged\n";
    for (const std::string& error : outcome.errors) out << "      " << error << "\n";
  }
  if (!outcome.note.empty()) out << "      (" << outcome.note << ")\n";
  out.flush();
  return outcome.ok;
}

}  // namespace

std::string renderPlanSummary(const ChangePlan& plan, bool live) {
  std::string text = "Summary of the changes:\n";
  if (plan.changeInterface)
    row(text, plan.interface.iface + ":", describeChange(plan.interface));
  else
    row(text, "interfaces:", "unchanged");
  if (plan.changeNameServers) {
    const bool withChange = plan.changeInterface && live;
    row(text, "name servers:",
        serverList(plan.nameServers) + (withChange ? " (applied with the interface change)" : ""));
  } else {
    row(text, "name servers:", "unchanged");
  }
  if (live) row(text, "host name:", plan.changeHostName ? plan.hostName : "unchanged");
  row(text, "HTTP proxy:", plan.changeProxy ? proxyText(plan.proxy) : "unchanged");
  if (!live) text += "Only the files of the image are written; nothing is run.\n";
  return text;
}

bool applyPlan(const ChangePlan& plan, Operations& operations, std::ostream& out) {
  bool allDone = true;
  const bool live = operations.live();
  const bool serversWithChange = plan.changeNameServers && plan.changeInterface && live;
  bool serversStaged = false;
  if (serversWithChange) {
    const Outcome staged = operations.setNameServers(plan.nameServers, true);
    serversStaged = staged.ok;
    if (!staged.ok) allDone = report(out, "name servers", staged, "") && allDone;
  }
  if (plan.changeInterface) {
    const std::string part = "interface " + plan.interface.iface;
    if (live) {
      out << "  " << part << ": applying; the interface goes down and up again, "
          << "which can take a minute...\n";
      out.flush();
    }
    const Outcome outcome = operations.changeInterface(plan.interface);
    allDone = report(out, part, outcome, live ? "done, it has an address" : "files written") && allDone;
    if (serversStaged) {
      if (outcome.ok) {
        out << "  name servers: done (applied with the interface change)\n";
      } else {
        // The transaction moves the pending file into place before it
        // rewrites the interface files; a failure after that leaves them
        // applied, and the operator must know which happened.
        if (operations.withdrawPendingNameServers())
          out << "  name servers: NOT APPLIED, the interface change failed\n";
        else
          out << "  name servers: applied, although the interface change failed\n";
        allDone = false;
      }
    }
  }
  if (plan.changeNameServers && !serversWithChange)
    allDone = report(out, "name servers", operations.setNameServers(plan.nameServers, false),
                     "done") && allDone;
  if (plan.changeHostName)
    allDone = report(out, "host name", operations.setHostName(plan.hostName), "done") && allDone;
  if (plan.changeProxy)
    allDone = report(out, "HTTP proxy", operations.setProxy(plan.proxy), "done") && allDone;
  return allDone;
}

}  // namespace kesp_config_net
