#include "command_line.h"

#include <algorithm>

#include "kesp/util.h"
#include "translate.h"

namespace kesp_config_net {

namespace {

struct OptionRule {
  const char* name;
  bool takesValue;
};

struct CommandRule {
  const char* name;
  std::vector<OptionRule> options;
  size_t minArguments;
  size_t maxArguments;  // SIZE_MAX: any number
};

const size_t kAny = static_cast<size_t>(-1);

const std::vector<CommandRule>& commandRules() {
  static const std::vector<CommandRule> rules = {
      {"show", {}, 0, 1},
      {"set",
       {{"mode", true}, {"ipv4-address", true}, {"ipv4-netmask", true}, {"ipv4-gateway", true},
        {"ipv6-address", true}, {"ipv6-prefix", true}, {"ipv6-gateway", true},
        {"confirm-within", true}},
       1, 1},
      {"dns", {{"pending", false}, {"clear", false}, {"confirm-within", true}}, 0, kAny},
      {"gateways", {{"confirm-within", true}}, 1, 1},
      {"proxy", {{"host", true}, {"port", true}, {"user", true}, {"password-stdin", false}}, 0, 1},
      {"move", {{"confirm-within", true}}, 2, 3},
      {"hostname", {{"confirm-within", true}}, 0, 1},
      {"recover", {{"discard", false}, {"boot", false}}, 0, 0},
      {"export", {}, 0, 0},
      {"apply",
       {{"check", false}, {"diff", false}, {"password-stdin", false}, {"confirm-within", true}},
       1, 1},
      {"confirm", {}, 0, 0},
      {"revert", {{"if-due", false}, {"at", true}}, 0, 0},
      {"diagnose", {}, 0, 1},
      {"help", {}, 0, 1},
  };
  return rules;
}

const CommandRule* findCommand(const std::string& name) {
  for (const CommandRule& rule : commandRules())
    if (name == rule.name) return &rule;
  return nullptr;
}

const OptionRule* findOption(const std::vector<OptionRule>& options, const std::string& name) {
  for (const OptionRule& option : options)
    if (name == option.name) return &option;
  return nullptr;
}

const std::vector<OptionRule>& globalOptions() {
  static const std::vector<OptionRule> options = {
      {"root", true}, {"system-root", true}, {"json", false}, {"verbose", false}, {"help", false},
      {"wait", true},
      {"version", false},
  };
  return options;
}

/// One "--name[=value]" word already split.
struct OptionWord {
  std::string name;
  bool hasInlineValue = false;
  std::string inlineValue;
};

OptionWord splitOptionWord(const std::string& word) {
  OptionWord option;
  const std::string body = word.substr(2);
  const size_t equals = body.find('=');
  option.name = body.substr(0, equals);
  if (equals != std::string::npos) {
    option.hasInlineValue = true;
    option.inlineValue = body.substr(equals + 1);
  }
  return option;
}

bool applyGlobal(const std::string& name, const std::string& value, Invocation& invocation,
                 std::string& error) {
  if (name == "json") {
    invocation.json = true;
  } else if (name == "verbose") {
    invocation.verbose = true;
  } else if (name == "help") {
    invocation.help = true;
  } else if (name == "wait") {
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
      error = "--wait needs a number of seconds";
      return false;
    }
    invocation.waitSeconds = std::stoi(value);
  } else if (name == "version") {
    invocation.version = true;
  } else {
    if (!invocation.root.empty()) {
      error = tr("--root and --system-root may be given only once, and not together");
      return false;
    }
    if (value.empty()) {
      error = trf("{1} needs a directory", {"--" + name});
      return false;
    }
    invocation.root = value;
    invocation.offline = name == "root";
  }
  return true;
}

bool checkProxyUsage(const Invocation& invocation, std::string& error) {
  const std::string action = invocation.arguments.empty() ? "show" : invocation.arguments[0];
  const bool anyOption = !invocation.options.empty();
  if (action == "set") {
    if (!invocation.has("host")) error = tr("proxy set needs --host");
    if (invocation.has("password-stdin") && !invocation.has("user"))
      error = tr("proxy set: --password-stdin needs --user");
  } else if (action == "show" || action == "clear") {
    if (anyOption) error = trf("proxy {1} takes no options", {KESP::terminalSafe(action)});
  } else {
    error = trf("proxy: unknown action '{1}' (show, set or clear)", {KESP::terminalSafe(action)});
  }
  return error.empty();
}

bool checkMoveUsage(const Invocation& invocation, std::string& error) {
  const std::string& action = invocation.arguments[0];
  const size_t interfaces = invocation.arguments.size() - 1;
  if (action == "add" || action == "remove") {
    if (interfaces != 1) error = trf("move {1} takes one interface", {action});
  } else if (action == "swap") {
    if (interfaces != 2) error = tr("move swap takes two interfaces");
  } else {
    error = trf("move: unknown action '{1}' (add, remove or swap)", {action});
  }
  return error.empty();
}

/// A change kept pending needs a live system and something to confirm.
bool checkConfirmWithin(const Invocation& invocation, std::string& error) {
  if (confirmWithinSeconds(invocation) <= 0)
    error = trf("--confirm-within needs a number of seconds from 1 to {1}", {"86400"});
  else if (invocation.offline)
    error = tr("--confirm-within needs a live system: with --root nothing could put the change back");
  else if (invocation.has("check") || invocation.has("diff"))
    error = tr("--confirm-within makes a change; --check and --diff make none");
  return error.empty();
}

/// The rules that the option table cannot say.
bool checkCommandUsage(const Invocation& invocation, std::string& error) {
  const std::string& command = invocation.command;
  if (invocation.has("confirm-within") && !checkConfirmWithin(invocation, error)) return false;
  if (command == "proxy") return checkProxyUsage(invocation, error);
  if (command == "move") return checkMoveUsage(invocation, error);
  if (command == "set" && !invocation.has("mode")) error = tr("set needs --mode");
  if (command == "dns") {
    if (invocation.has("clear") && !invocation.arguments.empty())
      error = tr("dns: --clear takes no servers");
    else if (invocation.has("pending") && !invocation.has("clear") && invocation.arguments.empty())
      error = tr("dns --pending needs the servers to stage (or --clear)");
  }
  if (command == "help" && !invocation.arguments.empty() &&
      (!findCommand(invocation.arguments[0]) || invocation.arguments[0] == "help"))
    error = trf("help: unknown command '{1}'", {KESP::terminalSafe(invocation.arguments[0])});
  return error.empty();
}

}  // namespace

int confirmWithinSeconds(const Invocation& invocation) {
  const std::string value = invocation.option("confirm-within");
  if (value.empty() || value.size() > 5 || value.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  const int seconds = std::stoi(value);
  return seconds <= 86400 ? seconds : 0;
}

const std::vector<std::string>& commandNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const CommandRule& rule : commandRules())
      if (std::string(rule.name) != "help") list.push_back(rule.name);
    return list;
  }();
  return names;
}

bool parseCommandLine(const std::vector<std::string>& words, Invocation& invocation,
                      std::string& error) {
  invocation = Invocation();
  const CommandRule* command = nullptr;
  bool optionsEnded = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!optionsEnded && word == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && (word == "-h" || word == "-v")) {
      (word == "-h" ? invocation.help : invocation.verbose) = true;
      continue;
    }
    if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
      if (word.size() > 1 && word[0] == '-' && !optionsEnded) {
        error = trf("unknown option '{1}'", {KESP::terminalSafe(word)});
        return false;
      }
      if (!command) {
        command = findCommand(word);
        if (!command) {
          error = trf("unknown command '{1}'", {KESP::terminalSafe(word)});
          return false;
        }
        invocation.command = word;
      } else {
        invocation.arguments.push_back(word);
      }
      continue;
    }
    const OptionWord option = splitOptionWord(word);
    const OptionRule* rule = findOption(globalOptions(), option.name);
    const bool global = rule != nullptr;
    if (!rule && command) rule = findOption(command->options, option.name);
    if (!rule) {
      error = command ? trf("unknown option '{1}' for {2}", {KESP::terminalSafe("--" + option.name), invocation.command})
                      : trf("unknown option '{1}'", {KESP::terminalSafe("--" + option.name)});
      return false;
    }
    std::string value;
    if (rule->takesValue) {
      if (option.hasInlineValue) {
        value = option.inlineValue;
      } else if (i + 1 < words.size()) {
        value = words[++i];
      } else {
        error = trf("{1} needs a value", {"--" + option.name});
        return false;
      }
    } else if (option.hasInlineValue) {
      error = trf("{1} takes no value", {"--" + option.name});
      return false;
    }
    if (global) {
      if (!applyGlobal(option.name, value, invocation, error)) return false;
      continue;
    }
    if (invocation.options.count(option.name)) {
      error = trf("{1} given twice", {"--" + option.name});
      return false;
    }
    invocation.options[option.name] = value;
  }
  if (invocation.help || invocation.version) return true;
  if (command) {
    const size_t count = invocation.arguments.size();
    if (count < command->minArguments) {
      error = trf("{1}: missing argument (see '{1} --help')", {invocation.command});
      return false;
    }
    if (count > command->maxArguments) {
      error = trf("{1}: unexpected argument '{2}'",
                  {invocation.command, KESP::terminalSafe(invocation.arguments[command->maxArguments])});
      return false;
    }
    return checkCommandUsage(invocation, error);
  }
  return true;
}

}  // namespace kesp_config_net
