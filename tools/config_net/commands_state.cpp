// The commands of a whole network state: `export` prints it as a document,
// `apply` makes the system match one (or, with --check, says what that would
// change), as one change.

#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "bounded_input.h"
#include "commands.h"
#include "diff_text.h"
#include "input_checks.h"
#include "interface_report.h"
#include "json_writer.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/proxy.h"
#include "kesp/state_change.h"
#include "kesp/util.h"
#include "log_collector.h"
#include "state_document.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

std::vector<std::string> errorsSince(const LogCollector& log, size_t mark) {
  return messagesAtLeast(log.linesSince(mark), KESP::LOG_ERROR);
}

/// The system's state in the document's terms; false when the interfaces
/// cannot be listed.
bool readCurrentState(bool live, KESP::DesiredState& state) {
  std::vector<std::string> names;
  // The configured ones only (the loopback left out), as `show --root` lists them.
  if (!listInterfaceNames(false, names)) return false;
  std::vector<KESP::ConfiguredNetwork> networks(names.size());
  for (size_t i = 0; i < names.size(); ++i) networks[i].name = names[i];
  KESP::getNetworks(networks, false);
  for (const KESP::ConfiguredNetwork& network : networks) {
    // A stanza without addresses ("manual") has no mode a document could ask for.
    if (!network.configured || network.mode == 0 || modeName(network.mode).empty()) continue;
    KESP::DesiredInterface iface;
    iface.name = network.name;
    iface.mode = network.mode;
    if (network.mode & KESP::STATICV4) {
      iface.ipv4Address = network.ipv4.address;
      iface.ipv4Netmask = network.ipv4.netmask;
      netmaskFromText(network.ipv4.netmask, iface.ipv4Netmask);
      iface.ipv4Gateway = network.ipv4.gateway;
    }
    if (network.mode & KESP::STATICV6) {
      iface.ipv6Address = network.ipv6.address;
      iface.ipv6Prefix = network.ipv6.prefix;
      iface.ipv6Gateway = network.ipv6.gateway;
    }
    state.interfaces.push_back(iface);
  }
  state.managesNameServers = true;
  KESP::getDnsServers(state.nameServers);
  std::string name = live ? KESP::getHostName() : "";
  if (!live) KESP::getImageHostName(name);
  state.managesHostName = !name.empty();
  state.hostName = name;
  std::string password;
  state.managesProxy = true;
  KESP::getProxy(state.proxy.host, state.proxy.port, state.proxy.user, password);
  return true;
}

/// Reads the document named by the argument ("-": standard input) and the
/// password; a reason for the operator when they cannot be had.
int readDocument(CommandContext& context, StateDocument& document) {
  const Invocation& invocation = context.invocation;
  const std::string& source = invocation.arguments[0];
  const bool passwordOnStdin = invocation.has("password-stdin");
  if (source == "-" && passwordOnStdin)
    return reportUsage(context.err, "apply",
                       tr("--password-stdin cannot be used with a document on standard input"));
  // Taken before anything can refuse the document: a caller writing the
  // password must not meet a closed pipe.
  std::string stdinPassword;
  if (passwordOnStdin && !readBoundedLine(context.in, stdinPassword))
    return reportUsage(context.err, "apply",
                       trf("the password on standard input is larger than {1}", {kMaxInputText}));
  std::string text;
  const std::string tooLarge = trf("the document is larger than {1}", {kMaxInputText});
  if (source == "-") {
    if (!readBoundedInput(context.in, text)) return reportUsage(context.err, "apply", tooLarge);
  } else {
    std::ifstream file(source, std::ios::binary);
    if (!file) return reportFailure(context.err, trf("cannot read {1}", {KESP::terminalSafe(source)}), {});
    if (!readBoundedInput(file, text)) return reportUsage(context.err, "apply", tooLarge);
  }
  JsonValue parsed;
  std::string error;
  if (!parseJson(text, parsed, error))
    return reportUsage(context.err, "apply", trf("the document is no JSON: {1}", {error}));
  const std::vector<std::string> problems = readStateDocument(parsed, document);
  if (!problems.empty())
    return reportFailure(context.err, tr("the document was refused; nothing was changed"),
                         problems);
  KESP::DesiredProxy& proxy = document.state.proxy;
  if (passwordOnStdin || !document.passwordFile.empty()) {
    if (!document.state.managesProxy || proxy.user.empty())
      return reportUsage(context.err, "apply", tr("a proxy password needs a proxy user"));
    if (passwordOnStdin && !document.passwordFile.empty())
      return reportUsage(
          context.err, "apply",
          tr("the password comes from proxy.password_file or --password-stdin, not both"));
    if (passwordOnStdin) {
      proxy.password = stdinPassword;
    } else {
      std::ifstream file(document.passwordFile);
      if (!file)
        return reportFailure(
            context.err, tr("the document was refused; nothing was changed"),
            {trf("proxy.password_file: cannot read {1}", {KESP::terminalSafe(document.passwordFile)})});
      if (!readBoundedLine(file, proxy.password))
        return reportFailure(context.err, tr("the document was refused; nothing was changed"),
                             {trf("proxy.password_file: larger than {1}", {kMaxInputText})});
    }
    proxy.passwordGiven = true;
  }
  return EXIT_OK;
}

std::string renderResultJson(const KESP::StatePlan& plan, bool live) {
  JsonWriter json;
  json.beginObject().key("changed").value(plan.changed()).key("files").beginArray();
  for (const KESP::FileChange& file : plan.files) {
    json.beginObject().key("path").value(file.path).key("before");
    if (file.existed)
      json.value(maskPasswords(file.before));
    else
      json.null();
    json.key("after");
    if (file.exists)
      json.value(maskPasswords(file.after));
    else
      json.null();
    json.endObject();
  }
  json.endArray().key("restarted").stringArray(live ? plan.restarts : std::vector<std::string>());
  if (plan.hostNameChanges) json.key("hostname").value(true);
  json.endObject();
  return json.text();
}

std::string renderResultText(const KESP::StatePlan& plan, bool live, bool check) {
  if (!plan.changed()) return tr("nothing to change") + "\n";
  std::string text;
  for (const KESP::FileChange& file : plan.files)
    text += (check ? tr("would change ") : tr("changed ")) + file.path + "\n";
  if (live)
    for (const std::string& iface : plan.restarts)
      text += (check ? tr("would restart ") : tr("restarted ")) + iface + "\n";
  if (plan.hostNameChanges) text += check ? tr("would set the host name\n") : tr("host name set\n");
  return text;
}

}  // namespace

int runExport(CommandContext& context) {
  const size_t mark = context.log.mark();
  if (KESP::getOsFlavour() == KESP::FLAVOUR_NONE)
    return reportNoFamily(context.err, context.invocation.root);
  KESP::takeUnreadableFiles();
  KESP::DesiredState state;
  if (!readCurrentState(!context.invocation.offline, state))
    return reportFailure(context.err, tr("cannot list the configured interfaces"),
                         errorsSince(context.log, mark));
  // A document that silently lacks a file would undo that file when applied.
  const std::vector<std::string> unreadable = KESP::takeUnreadableFiles();
  if (!unreadable.empty())
    return reportFailure(context.err, tr("some files could not be read; nothing was exported"),
                         unreadable);
  context.out << renderStateDocument(state);
  return EXIT_OK;
}

int runApply(CommandContext& context) {
  const Invocation& invocation = context.invocation;
  const bool live = !invocation.offline;
  StateDocument document;
  const int read = readDocument(context, document);
  if (read != EXIT_OK) return read;
  const KESP::OsFlavour flavour = KESP::getOsFlavour();
  if (!document.state.interfaces.empty() && flavour == KESP::FLAVOUR_NONE)
    return reportNoFamily(context.err, invocation.root);
  const SystemTraits traits{flavour, KESP::hasDhcpv6Client(), !live || KESP::hasDhcpv4Client()};
  const std::vector<std::string> problems = findStateSystemProblems(document.state, traits);
  if (!problems.empty())
    return reportFailure(context.err, tr("the document was refused; nothing was changed"),
                         problems);

  const bool check = invocation.has("check");
  const size_t mark = context.log.mark();
  KESP::StatePlan plan;
  const bool ok = check ? KESP::planState(document.state, live, plan)
                        : KESP::applyState(document.state, live, plan);
  if (!ok)
    return reportFailure(context.err,
                         check ? tr("the document cannot be applied")
                               : tr("the document was not applied; nothing was changed"),
                         errorsSince(context.log, mark));
  if (invocation.has("diff"))
    for (const KESP::FileChange& file : plan.files)
      context.out << unifiedDiff(file.path, file.existed, maskPasswords(file.before), file.exists,
                                 maskPasswords(file.after));
  context.out << (invocation.json ? renderResultJson(plan, live)
                                  : renderResultText(plan, live, check));
  return EXIT_OK;
}

}  // namespace kesp_config_net
