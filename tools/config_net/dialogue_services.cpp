// The parts of the dialogue beyond the interface: name servers, host name,
// HTTP proxy, and the confirmation.

#include <cctype>
#include <ostream>
#include <sstream>

#include "dialogue_parts.h"
#include "input_checks.h"

namespace kesp_config_net {

namespace {

const char kNone[] = "none";

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> list;
  std::istringstream stream(text);
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
  if (proxy.host.empty()) return "none";
  std::string text = proxy.host + ":" + proxy.port;
  if (!proxy.user.empty()) text += " as " + proxy.user;
  return text;
}

}  // namespace

bool askNameServerPart(const DialogueFacts& facts, Prompter& prompter, ChangePlan& plan) {
  prompter.out() << "Name servers now: "
                 << (facts.nameServers.empty() ? std::string(kNone) : joined(facts.nameServers))
                 << "\n";
  std::string answer;
  if (!prompter.ask("Name servers, separated by blanks (Enter to keep, 'none' for none)", "",
                    [](const std::string& text) -> std::string {
                      if (text.empty() || text == kNone) return "";
                      for (const std::string& server : words(text)) {
                        const std::string problem = checkNameServer(server);
                        if (!problem.empty()) return problem;
                      }
                      return "";
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
  prompter.out() << "Host name now: " << (facts.hostName.empty() ? "unknown" : facts.hostName) << "\n";
  std::string answer;
  if (!prompter.ask("New host name (Enter to keep)", "",
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
  prompter.out() << "HTTP proxy now: " << proxyNow(now) << "\n";
  std::string host;
  if (!prompter.ask("Proxy host (Enter to keep, 'none' for no proxy)", "",
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
  if (!prompter.ask("Proxy port", now.port.empty() ? "80" : now.port, checkPort, request.port))
    return false;
  std::string user;
  if (!prompter.ask(now.user.empty() ? "Proxy user (Enter for none)" : "Proxy user ('none' for none)",
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
    if (!prompter.askSecret(canKeep ? "Proxy password (Enter to keep the stored one)"
                                    : "Proxy password (Enter for none)",
                            request.password))
      return false;
    request.passwordGiven = !(canKeep && request.password.empty());
  }
  plan.changeProxy = true;
  plan.proxy = request;
  return true;
}

bool askConfirmation(Prompter& prompter, bool& yes) {
  std::string answer;
  if (!prompter.ask("Apply these changes? (yes/no)", "no",
                    [](const std::string& text) -> std::string {
                      const std::string word = lowered(text);
                      if (word == "y" || word == "yes" || word == "n" || word == "no") return "";
                      return "please answer yes or no, not " + quoteForMessage(text);
                    },
                    answer))
    return false;
  yes = lowered(answer)[0] == 'y';
  return true;
}

}  // namespace kesp_config_net
