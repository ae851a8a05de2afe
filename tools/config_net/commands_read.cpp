// The commands that only read: show, gateways, and the showing forms of dns,
// proxy and hostname.

#include <ostream>

#include "commands.h"
#include "input_checks.h"
#include "interface_report.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/proxy.h"
#include "kesp/util.h"
#include "log_collector.h"
#include "report_render.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

std::vector<std::string> errorsSince(const LogCollector& log, size_t mark) {
  return messagesAtLeast(log.linesSince(mark), KESP::LOG_ERROR);
}

}  // namespace

int runShow(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  const bool live = !invocation.offline;
  const size_t mark = context.log.mark();
  if (KESP::getOsFlavour() == KESP::FLAVOUR_NONE) return reportNoFamily(context.err, invocation.root);
  KESP::takeUnreadableFiles();
  std::vector<std::string> names;
  if (!invocation.arguments.empty()) {
    const std::string& name = invocation.arguments[0];
    const std::string problem = checkInterfaceName(name);
    if (!problem.empty()) return reportUsage(context.err, "show", problem);
    names.push_back(name);
  } else if (!listInterfaceNames(live, names)) {
    return reportFailure(context.err, tr("cannot list the configured interfaces"),
                         errorsSince(context.log, mark));
  }
  SystemReport facts = reportSystemFacts(live);
  if (facts.flavour == KESP::FLAVOUR_NONE) return reportNoFamily(context.err, invocation.root);
  facts.unfinishedChange = KESP::interruptedChangeWaiting();
  // Written as each interface is made: a thousand of them are never held at once.
  ShowWriter writer(context.out, invocation.json);
  if (!invocation.arguments.empty()) {
    const InterfaceReport only = reportInterface(names.front(), live);
    if (!only.configured && !only.present)
      return reportFailure(context.err,
                           live ? trf("{1} is neither configured nor present", {only.name})
                                : trf("{1} is not configured", {only.name}),
                           KESP::takeUnreadableFiles());
    writer.start(facts);
    writer.add(only);
  } else {
    writer.start(facts);
    reportEachInterface(names, live, [&writer](InterfaceReport& item) { writer.add(item); });
  }
  writer.finish(facts);
  const std::vector<std::string> unreadable = KESP::takeUnreadableFiles();
  // What could be shown is shown; a file it lacked is not passed off as absent.
  if (!unreadable.empty())
    return reportFailure(context.err, tr("some files could not be read; what is shown lacks them"),
                         unreadable);
  return EXIT_OK;
}

int runGateways(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  if (invocation.offline)
    return reportUsage(context.err, "gateways",
                       tr("gateways asks the running kernel; it cannot be used with --root"));
  const std::string& iface = invocation.arguments[0];
  const std::string problem = checkInterfaceName(iface);
  if (!problem.empty()) return reportUsage(context.err, "gateways", problem);
  const size_t mark = context.log.mark();
  std::string ipv4, ipv6;
  if (!KESP::getDefaultGateways(iface, ipv4, ipv6)) {
    std::vector<std::string> reasons = errorsSince(context.log, mark);
    reasons.insert(reasons.begin(), tr("no default route through a gateway"));
    return reportFailure(context.err, trf("no default gateway for {1}", {iface}), reasons);
  }
  context.out << (invocation.json ? renderGatewaysJson(iface, ipv4, ipv6)
                                  : renderGatewaysText(ipv4, ipv6));
  return EXIT_OK;
}

int showNameServers(CommandContext& context) {
  NameServerView view;
  KESP::NameServerOwner owner;
  const size_t mark = context.log.mark();
  if (!KESP::getDnsServers(view.servers, owner, view.source)) {
    std::vector<std::string> reasons = errorsSince(context.log, mark);
    if (reasons.empty())
      reasons.push_back(trf("the name servers of {1} cannot be read", {KESP::nameServerOwnerName(owner)}));
    return reportFailure(context.err, tr("cannot read the name servers"), reasons);
  }
  view.owner = KESP::nameServerOwnerName(owner);
  context.out << (context.invocation.json ? renderNameServersJson(view)
                                          : renderNameServersText(view));
  return EXIT_OK;
}

int showProxy(CommandContext& context) {
  ProxyView view;
  std::string password;
  const size_t mark = context.log.mark();
  if (!KESP::getProxy(view.host, view.port, view.user, password))
    return reportFailure(context.err, tr("cannot read the proxy"), errorsSince(context.log, mark));
  view.passwordSet = !password.empty();
  context.out << (context.invocation.json ? renderProxyJson(view) : renderProxyText(view));
  return EXIT_OK;
}

int showHostName(CommandContext& context) {
  std::string name;
  // An image has no kernel to ask: its name is the one it will boot with.
  if (context.invocation.offline) {
    if (!KESP::getImageHostName(name))
      return reportFailure(context.err, tr("cannot read the host name"),
                           {trf("cannot read {1}", {"/etc/hostname"})});
    if (name.empty())
      return reportFailure(context.err, tr("cannot read the host name"),
                           {trf("{1} holds no name", {"/etc/hostname"})});
  } else {
    name = KESP::getHostName();
  }
  if (name.empty()) return reportFailure(context.err, tr("cannot read the host name"), {});
  context.out << (context.invocation.json ? renderHostNameJson(name) : renderHostNameText(name));
  return EXIT_OK;
}

}  // namespace kesp_config_net
