#include "hostile_values.h"

#include <regex>
#include <sstream>

#include "test_support.h"

namespace kesp_test {

namespace {

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> splitAtNul(const std::string& text) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

const char kLoopVariable[] = "kesp_hostile_name";

}  // namespace

std::vector<std::string> hostileValues(const std::string& plausible, const std::string& canary) {
  const std::string touch = "touch " + canary;
  const std::vector<std::string> fragments = {
      "\n",
      "\r",
      std::string(1, '\0'),
      "'",
      "\"",
      "\\",
      "$(" + touch + ")",
      "`" + touch + "`",
      ";" + touch,
      "\n" + touch,
      "\r\n" + touch,
      std::string(1, '\0') + "\n" + touch,
      "'$(" + touch + ")'",
      "\"$(" + touch + ")\"",
      "';" + touch + ";'",
      "\";" + touch + ";\"",
      "\\\";" + touch + ";\\\"",
      "\\\n" + touch,
      " && " + touch,
      " | " + touch,
      "${IFS}" + touch,
      "\nEVIL=1",
      "\nexport EVIL=1",
      " EVIL=1 ",
      "\n[main]\nproxy=evil",
      "\";\nAPT::Evil \"1",
  };
  std::vector<std::string> values;
  for (const std::string& fragment : fragments) {
    values.push_back(fragment);
    if (plausible.empty()) continue;
    values.push_back(plausible + fragment);
    values.push_back(fragment + plausible);
    values.push_back(plausible.substr(0, plausible.size() / 2) + fragment +
                     plausible.substr(plausible.size() / 2));
  }
  return values;
}

std::map<std::string, std::string> sourcedVariables(const std::string& file, std::string& errors) {
  TempDir scratch;
  static const std::set<std::string> own = [] {
    std::set<std::string> names{kLoopVariable};
    std::istringstream baseline(shellOutput("env -i bash -c '. /dev/null; compgen -v' 2>/dev/null"));
    for (std::string name; std::getline(baseline, name);) names.insert(name);
    return names;
  }();

  const std::string script = std::string(". \"$1\"; for ") + kLoopVariable + " in $(compgen -v); do " +
                             "printf '%s\\0%s\\0' \"$" + kLoopVariable + "\" \"${!" + kLoopVariable +
                             "}\"; done";
  const std::string output = shellOutput("cd " + quoted(scratch.path()) + " && env -i bash -c " +
                                         quoted(script) + " kesp " + quoted(file) + " 2>" +
                                         quoted(scratch / "errors"));
  errors = fileExists(scratch / "errors") ? readFile(scratch / "errors") : "";
  std::map<std::string, std::string> variables;
  const std::vector<std::string> parts = splitAtNul(output);
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (!own.count(parts[i])) variables[parts[i]] = parts[i + 1];
  }
  return variables;
}

std::set<std::string> assignedNames(const std::string& file) {
  std::set<std::string> names;
  static const std::regex assignment("^\\s*(?:export\\s+)?([A-Za-z_][A-Za-z0-9_]*)=.*");
  std::istringstream in(readFile(file));
  std::smatch match;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_match(line, match, assignment)) names.insert(match[1]);
  }
  return names;
}

std::string sourcingProblem(const std::string& file, const std::string& canary,
                            const std::set<std::string>& allowed,
                            std::map<std::string, std::string>* values) {
  std::string errors;
  const std::map<std::string, std::string> variables = sourcedVariables(file, errors);
  if (values) *values = variables;
  if (fileExists(canary)) return "sourcing " + file + " ran a command";
  if (!errors.empty()) return "sourcing " + file + " printed errors: " + visible(errors);
  for (const auto& entry : variables) {
    if (!allowed.count(entry.first)) return "sourcing " + file + " defined " + entry.first;
  }
  return std::string();
}

bool haveAptConfig() { return shell("command -v apt-config >/dev/null 2>&1") == 0; }

std::vector<std::string> aptOptions(const std::string& file, std::string& errors) {
  TempDir scratch;
  makeDirs(scratch / "parts");
  // Only the given file: the system's parts directory and main file are moved away.
  writeFile(scratch / "base.conf", "Dir::Etc::Parts \"" + (scratch / "parts") +
                                       "\";\nDir::Etc::Main \"" + (scratch / "none") + "\";\n");
  const std::string output =
      shellOutput("APT_CONFIG=" + quoted(scratch / "base.conf") + " apt-config -c " + quoted(file) +
                  " dump 2>" + quoted(scratch / "errors"));
  errors = fileExists(scratch / "errors") ? readFile(scratch / "errors") : "";
  std::vector<std::string> options;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) options.push_back(line);
  return options;
}

std::string argumentRecorder(const std::string& record) {
  // Each argument behind an "A", so that an empty one still shows.
  return "#!/bin/bash\nfor a in \"$@\"; do printf 'A%s\\0' \"$a\"; done >> " + quoted(record) +
         "\nprintf '\\0' >> " + quoted(record) + "\necho recorded\n";
}

std::vector<std::vector<std::string>> recordedCalls(const std::string& record) {
  std::vector<std::vector<std::string>> calls;
  if (!fileExists(record)) return calls;
  const std::string text = readFile(record);
  std::vector<std::string> current;
  std::string::size_type start = 0;
  while (start < text.size()) {
    const std::string::size_type end = text.find('\0', start);
    if (end == std::string::npos) break;
    if (end == start) {
      calls.push_back(current);
      current.clear();
    } else {
      current.push_back(text.substr(start + 1, end - start - 1));
    }
    start = end + 1;
  }
  return calls;
}

std::string visible(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace kesp_test
