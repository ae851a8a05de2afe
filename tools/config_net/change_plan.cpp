#include "change_plan.h"

#include <ostream>

#include "translate.h"

namespace kesp_config_net {

namespace {

std::string serverList(const std::vector<std::string>& servers) {
  if (servers.empty()) return tr("none");
  std::string text;
  for (const std::string& server : servers) text += (text.empty() ? "" : " ") + server;
  return text;
}

std::string proxyText(const ProxyRequest& proxy) {
  if (proxy.host.empty()) return tr("none");
  std::string text = proxy.host + ":" + (proxy.port.empty() ? "80" : proxy.port);
  if (!proxy.user.empty()) {
    text += trf(" as {1}", {proxy.user});
    text += proxy.passwordGiven ? (proxy.password.empty() ? tr(", no password") : tr(", new password"))
                                : tr(", stored password kept");
  }
  return text;
}

void row(std::string& text, const std::string& label, const std::string& value) {
  // Padded by characters, not bytes: translated labels hold umlauts.
  size_t width = 0;
  for (unsigned char c : label) width += (c & 0xc0) != 0x80;
  text += "  " + label + std::string(width < 14 ? 14 - width : 1, ' ') + value + "\n";
}

/// Writes the outcome of one part; true when it succeeded.
bool report(std::ostream& out, const std::string& part, const Outcome& outcome,
            const std::string& success) {
  for (const std::string& warning : outcome.warnings)
    out << "  " << part << ": " << trf("warning: {1}", {warning}) << "\n";
  if (outcome.ok)
    for (const std::string& error : outcome.errors)
      out << "  " << part << ": " << trf("warning: {1}", {error}) << "\n";
  if (outcome.ok) {
    out << "  " << part << ": " << success << "\n";
  } else {
    out << "  " << part << ": " << tr("FAILED") << "\n";
    if (outcome.errors.empty()) out << "      " << tr("no reason was logged") << "\n";
    for (const std::string& error : outcome.errors) out << "      " << error << "\n";
  }
  if (!outcome.note.empty()) out << "      (" << outcome.note << ")\n";
  out.flush();
  return outcome.ok;
}

}  // namespace

std::string renderPlanSummary(const ChangePlan& plan, bool live) {
  std::string text = tr("Summary of the changes:") + "\n";
  if (plan.changeInterface)
    row(text, plan.interface.iface + ":", describeChange(plan.interface));
  else
    row(text, tr("interfaces:"), tr("unchanged"));
  if (plan.changeNameServers) {
    const bool withChange = plan.changeInterface && live;
    row(text, tr("name servers:"),
        serverList(plan.nameServers) + (withChange ? tr(" (applied with the interface change)") : ""));
  } else {
    row(text, tr("name servers:"), tr("unchanged"));
  }
  if (live) row(text, tr("host name:"), plan.changeHostName ? plan.hostName : tr("unchanged"));
  row(text, tr("HTTP proxy:"), plan.changeProxy ? proxyText(plan.proxy) : tr("unchanged"));
  if (!live) text += tr("Only the files of the image are written; nothing is run.") + "\n";
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
    if (!staged.ok) allDone = report(out, tr("name servers"), staged, "") && allDone;
  }
  if (plan.changeInterface) {
    const std::string part = trf("interface {1}", {plan.interface.iface});
    if (live) {
      out << "  " << part << ": "
          << trf("applying; the interface goes down and up again, {1}...", {waitNotice(plan.interface)})
          << "\n";
      out.flush();
    }
    const Outcome outcome = operations.changeInterface(plan.interface);
    allDone = report(out, part, outcome, live ? tr("done, it has an address") : tr("files written")) && allDone;
    if (serversStaged) {
      if (outcome.ok) {
        out << "  " << tr("name servers: done (applied with the interface change)") << "\n";
      } else {
        // A failed change leaves the staged list staged; withdrawn here, it
        // cannot ride along with a later, unrelated change.
        if (operations.withdrawPendingNameServers())
          out << "  " << tr("name servers: NOT APPLIED, the interface change failed") << "\n";
        else
          out << "  " << tr("name servers: applied, although the interface change failed") << "\n";
        allDone = false;
      }
    }
  }
  if (plan.changeNameServers && !serversWithChange)
    allDone = report(out, tr("name servers"), operations.setNameServers(plan.nameServers, false),
                     tr("done")) && allDone;
  if (plan.changeHostName)
    allDone = report(out, tr("host name"), operations.setHostName(plan.hostName), tr("done")) && allDone;
  if (plan.changeProxy)
    allDone = report(out, tr("HTTP proxy"), operations.setProxy(plan.proxy), tr("done")) && allDone;
  // The operator learns at once whether the changed interface now reaches
  // the network, and if not, why.
  if (plan.changeInterface) {
    const std::string verdict = operations.verdictOf(plan.interface.iface);
    if (!verdict.empty()) out << "  " << tr("diagnosis:") << " " << verdict;
  }
  return allDone;
}

}  // namespace kesp_config_net
