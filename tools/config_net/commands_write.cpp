// The commands that change something: set, dns, proxy, hostname and move, and
// recover, which puts back a change that was killed half-way.

#include <unistd.h>

#include <istream>
#include <ostream>

#include "bounded_input.h"
#include "commands.h"
#include "input_checks.h"
#include "interface_change.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/network_change.h"
#include "log_collector.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

/// Prints the outcome of a change: the success line on out, or the failure
/// with its reasons on err; warnings and notes either way.
int finish(CommandContext& context, const Outcome& outcome, const std::string& success,
           const std::string& failure) {
  reportWarnings(context.err, outcome);
  if (!outcome.ok) {
    std::vector<std::string> reasons = outcome.errors;
    if (reasons.empty()) reasons.push_back(tr("no reason was logged"));
    if (!outcome.note.empty()) reasons.push_back("(" + outcome.note + ")");
    return reportFailure(context.err, failure, reasons);
  }
  context.out << success << "\n";
  if (!outcome.note.empty()) context.out << "(" << outcome.note << ")\n";
  return EXIT_OK;
}

std::string joined(const std::vector<std::string>& lines, const std::string& separator) {
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : separator) + line;
  return text;
}

}  // namespace

int runSet(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  InterfaceChange change;
  change.iface = invocation.arguments[0];
  if (!modeFromName(invocation.option("mode"), change.mode))
    return reportUsage(context.err, "set",
                       trf("{1} is not a mode; use one of {2}",
                           {quoteForMessage(invocation.option("mode")), modeNameList()}));
  change.ipv4Address = invocation.option("ipv4-address");
  change.ipv4Netmask = invocation.option("ipv4-netmask");
  change.ipv4Gateway = invocation.option("ipv4-gateway");
  change.ipv6Address = invocation.option("ipv6-address");
  change.ipv6Prefix = invocation.option("ipv6-prefix");
  change.ipv6Gateway = invocation.option("ipv6-gateway");
  normaliseChange(change);
  const std::vector<std::string> problems = findFormatProblems(change);
  if (!problems.empty()) return reportUsage(context.err, "set", joined(problems, "\nkesp_config_net: "));

  const SystemTraits traits{KESP::getOsFlavour(), KESP::hasDhcpv6Client(),
                            !context.operations.live() || KESP::hasDhcpv4Client()};
  if (traits.flavour == KESP::FLAVOUR_NONE) return reportNoFamily(context.err, invocation.root);
  const std::string refusal = findSystemProblem(change, traits);
  if (!refusal.empty())
    return reportFailure(context.err, trf("{1} was not changed", {change.iface}), {refusal});

  // A script sees nothing; an operator at a terminal learns why nothing happens.
  if (context.operations.live() && isatty(STDERR_FILENO))
    context.err << "kesp_config_net: " << waitNotice(change) << "\n" << std::flush;
  const Outcome outcome = context.operations.changeInterface(change);
  const std::string where = context.operations.live() ? "" : tr(" (files of the image only)");
  return finish(context, outcome, change.iface + ": " + describeChange(change) + where,
                trf("{1}: the change to {2} failed", {change.iface, modeName(change.mode)}));
}

int runDns(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  const bool pending = invocation.has("pending");
  if (invocation.arguments.empty() && !invocation.has("clear")) return showNameServers(context);
  const std::string problem = checkNameServers(invocation.arguments);
  if (!problem.empty()) return reportUsage(context.err, "dns", problem);
  const Outcome outcome = context.operations.setNameServers(invocation.arguments, pending);
  const std::string servers = joined(invocation.arguments, " ");
  std::string done;
  if (invocation.arguments.empty())
    done = pending ? tr("staged an empty name-server list for the next interface change")
                   : tr("wrote an empty name-server list");
  else
    done = pending ? trf("staged name servers {1} for the next interface change", {servers})
                   : trf("wrote name servers {1}", {servers});
  return finish(context, outcome, done, tr("the name servers were not written"));
}

int runProxy(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  const std::string action = invocation.arguments.empty() ? "show" : invocation.arguments[0];
  if (action == "show") return showProxy(context);
  ProxyRequest request;
  if (action == "set") {
    request.host = invocation.option("host");
    request.port = invocation.option("port");
    request.user = invocation.option("user");
    std::string problem = checkProxyHost(request.host);
    if (problem.empty() && invocation.has("port")) problem = checkPort(request.port);
    if (problem.empty() && invocation.has("user")) problem = checkProxyUser(request.user);
    if (!problem.empty()) return reportUsage(context.err, "proxy", problem);
    if (invocation.has("password-stdin")) {
      if (!readBoundedLine(context.in, request.password))
        return reportUsage(context.err, "proxy",
                           trf("the password on standard input is larger than {1}", {kMaxInputText}));
      request.passwordGiven = true;
    }
  } else {
    request.passwordGiven = true;  // clear: nothing to keep
  }
  const Outcome outcome = context.operations.setProxy(request);
  return finish(context, outcome,
                request.host.empty() ? tr("proxy removed") : trf("proxy set to {1}", {request.host}),
                outcome.unwrittenFile.empty()
                    ? tr("the proxy was not written")
                    : trf("the proxy was written to /etc/environment but not to {1}",
                          {outcome.unwrittenFile}));
}

int runHostName(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  if (invocation.arguments.empty()) return showHostName(context);
  const std::string& name = invocation.arguments[0];
  const std::string problem = checkHostName(name);
  if (!problem.empty()) return reportUsage(context.err, "hostname", problem);
  const Outcome outcome = context.operations.setHostName(name);
  return finish(context, outcome,
                trf("host name set to {1}", {name}) +
                    (invocation.offline ? tr(" (files of the image only)") : ""),
                tr("the host name was not set"));
}

int runMove(CommandContext& context) {
  const std::vector<std::string>& arguments = context.invocation.arguments;
  const std::string& action = arguments[0];
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string problem = checkInterfaceName(arguments[i]);
    if (!problem.empty()) return reportUsage(context.err, "move", problem);
  }
  if (action == "swap" && arguments.size() > 2 && arguments[1] == arguments[2])
    return reportUsage(context.err, "move",
                       trf("swap needs two different interfaces; {1} cannot be swapped with itself",
                           {quoteForMessage(arguments[1])}));
  if (KESP::getOsFlavour() == KESP::FLAVOUR_NONE)
    return reportNoFamily(context.err, context.invocation.root);
  const int operation = action == "add"      ? KESP::MOVE_ADD
                        : action == "remove" ? KESP::MOVE_REMOVE
                                             : KESP::MOVE_SWAP;
  const std::string second = arguments.size() > 2 ? arguments[2] : "";
  const Outcome outcome = context.operations.moveConfiguration(operation, arguments[1], second);
  std::string done = action == "add"      ? trf("{1}: configured for DHCPV4", {arguments[1]})
                     : action == "remove" ? trf("{1}: configuration removed", {arguments[1]})
                                          : trf("{1} and {2}: configurations exchanged", {arguments[1], second});
  return finish(context, outcome, done, trf("move {1} failed", {action}));
}

int runRecover(CommandContext& context) {
  const size_t mark = context.log.mark();
  if (context.invocation.has("discard")) {
    std::string keptAs;
    if (!KESP::discardInterruptedChange(&keptAs))
      return reportFailure(context.err, tr("the unfinished change could not be moved aside"),
                           messagesAtLeast(context.log.linesSince(mark), KESP::LOG_ERROR));
    if (keptAs.empty())
      context.out << tr("no unfinished change") << "\n";
    else
      context.out << trf("unfinished change discarded, nothing put back; its journal is kept as {1}",
                         {keptAs})
                  << "\n";
    return EXIT_OK;
  }
  std::vector<std::string> done;
  // An offline image's interfaces are not this system's; at boot the network
  // services that start after this bring them up with the files put back.
  const bool boot = context.invocation.has("boot");
  bool ok = KESP::recoverInterruptedChange(&done, !context.invocation.offline && !boot);
  if (ok && boot && !done.empty()) ok = KESP::prepareNetworkForBoot();
  for (const std::string& line : done) context.out << line << "\n";
  if (!ok)
    return reportFailure(context.err, tr("the unfinished change could not be put back"),
                         messagesAtLeast(context.log.linesSince(mark), KESP::LOG_ERROR));
  if (done.empty()) context.out << tr("no unfinished change") << "\n";
  return EXIT_OK;
}

}  // namespace kesp_config_net
