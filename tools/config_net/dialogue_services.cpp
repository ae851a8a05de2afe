// The parts of the dialogue beyond the interface: name servers, host name,
// HTTP proxy, and the confirmation.

#include <algorithm>
#include <cctype>
#include <ostream>
#include <sstream>

#include "dialogue_parts.h"
#include "input_checks.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

const char kNone[] = "none";

/// The words of an answer; commas separate them as blanks do ("192.0.2.53,
/// 198.51.100.53").
std::vector<std::string> words(const std::string& text) {
  std::string spaced = text;
  for (char& c : spaced)
    if (c == ',') c = ' ';
  std::vector<std::string> list;
  std::istringstream stream(spaced);
  std::string word;
  while (stream >> word) list.push_back(word);
  return list;
}

std::string joined(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& word : list) text += (text.empty() ? "" : " ") + word;
  return text;
}

std::string lowered(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string proxyNow(const ProxyView& proxy) {
  if (proxy.host.empty()) return tr("none");
  std::string text = proxy.host + ":" + proxy.port;
  if (!proxy.user.empty()) text += trf(" as {1}", {proxy.user});
  return text;
}

}  // namespace

bool askNameServerPart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan) {
  prompter.out() << trf("Name servers now: {1}",
                        {facts.nameServers.empty() ? tr("none") : joined(facts.nameServers)})
                 << "\n";
  std::string answer;
  if (!prompter.ask(tr("Name servers, separated by blanks or commas (Enter to keep, 'none' for none)"), "",
                    [](const std::string& text) -> std::string {
                      if (text.empty() || text == kNone) return "";
                      return checkNameServers(words(text));
                    },
                    answer))
    return false;
  if (answer.empty()) return true;
  const std::vector<std::string> servers = answer == kNone ? std::vector<std::string>() : words(answer);
  if (servers == facts.nameServers) return true;
  plan.changeNameServers = true;
  plan.nameServers = servers;
  return true;
}

bool askHostNamePart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan) {
  prompter.out() << trf("Host name now: {1}", {facts.hostName.empty() ? tr("unknown") : facts.hostName})
                 << "\n";
  std::string answer;
  if (!prompter.ask(tr("New host name (Enter to keep)"), "",
                    [](const std::string& text) {
                      return text.empty() ? std::string() : checkHostName(text);
                    },
                    answer))
    return false;
  if (answer.empty() || answer == facts.hostName) return true;
  plan.changeHostName = true;
  plan.hostName = answer;
  return true;
}

bool askProxyPart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan) {
  const ProxyView& now = facts.proxy;
  prompter.out() << trf("HTTP proxy now: {1}", {proxyNow(now)}) << "\n";
  std::string host;
  if (!prompter.ask(tr("Proxy host (Enter to keep, 'none' for no proxy)"), "",
                    [](const std::string& text) {
                      return text.empty() || text == kNone ? std::string() : checkProxyHost(text);
                    },
                    host))
    return false;
  if (host.empty() || (host == kNone && now.host.empty())) return true;
  ProxyRequest request;
  if (host == kNone) {
    request.passwordGiven = true;
    plan.changeProxy = true;
    plan.proxy = request;
    return true;
  }
  request.host = host;
  if (!prompter.ask(tr("Proxy port"), now.port.empty() ? "80" : now.port, checkPort, request.port))
    return false;
  std::string user;
  if (!prompter.ask(now.user.empty() ? tr("Proxy user (Enter for none)") : tr("Proxy user ('none' for none)"),
                    now.user,
                    [](const std::string& text) {
                      return text.empty() || text == kNone ? std::string() : checkProxyUser(text);
                    },
                    user))
    return false;
  request.user = user == kNone ? "" : user;
  request.passwordGiven = true;
  if (!request.user.empty()) {
    const bool canKeep = now.passwordSet && request.user == now.user;
    if (!prompter.askSecret(canKeep ? tr("Proxy password (Enter to keep the stored one)")
                                    : tr("Proxy password (Enter for none)"),
                            request.password))
      return false;
    request.passwordGiven = !(canKeep && request.password.empty());
  }
  plan.changeProxy = true;
  plan.proxy = request;
  return true;
}

bool isYesWord(const std::string& answer) {
  // The English words always do; the operator's language adds its own.
  const std::vector<std::string> yesWords = {"y", "yes", lowered(tr("yes")), lowered(tr("yes")).substr(0, 1)};
  return std::find(yesWords.begin(), yesWords.end(), lowered(trimmed(answer))) != yesWords.end();
}

bool askConfirmation(Prompter& prompter, bool& yes) {
  std::string answer;
  const std::vector<std::string> noWords = {"n", "no", lowered(tr("no")), lowered(tr("no")).substr(0, 1)};
  auto isOneOf = [](const std::string& word, const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), word) != list.end();
  };
  if (!prompter.ask(tr("Apply these changes? (yes/no)"), tr("no"),
                    [&](const std::string& text) -> std::string {
                      const std::string word = lowered(text);
                      if (isYesWord(word) || isOneOf(word, noWords)) return "";
                      return trf("please answer yes or no, not {1}", {quoteForMessage(text)});
                    },
                    answer))
    return false;
  yes = isYesWord(answer);
  return true;
}

}  // namespace kesp_config_net
