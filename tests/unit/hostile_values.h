#pragma once
// Hostile texts for the library's inputs, and independent readers of what
// ended up in files: bash sourcing a file, apt-config reading one, a program
// recording its arguments.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kesp_test {

/// Texts built from a plausible value and fragments that break out of a
/// value: line feed, carriage return, NUL, quotes, backslash, "$(…)",
/// backticks, ";", "&&", "|", "${…}" and new assignments. Every command in
/// them creates `canary` when run. Each fragment alone, before, after and
/// inside the plausible value.
std::vector<std::string> hostileValues(const std::string& plausible, const std::string& canary);

/// What `env -i bash -c '. FILE'` defines beyond a bare bash's own variables,
/// with the values bash reads; `errors` receives bash's standard error.
std::map<std::string, std::string> sourcedVariables(const std::string& file, std::string& errors);

/// The names assigned by "NAME=" lines of a trusted shell-variable file.
std::set<std::string> assignedNames(const std::string& file);

/// Empty when bash sources the file without an error, without creating the
/// canary and without defining a variable outside `allowed`; otherwise what
/// happened. `values` receives the variables read.
std::string sourcingProblem(const std::string& file, const std::string& canary,
                            const std::set<std::string>& allowed,
                            std::map<std::string, std::string>* values = nullptr);

/// apt-config pointed at this one file (no other APT configuration read):
/// every option as "name value" lines of its dump, and its standard error.
std::vector<std::string> aptOptions(const std::string& file, std::string& errors);
bool haveAptConfig();

/// A fake program that appends its arguments to `record` (each as "A" + text +
/// NUL, the call ended by a lone NUL) and prints "recorded".
std::string argumentRecorder(const std::string& record);
/// The recorded calls, each the list of its arguments.
std::vector<std::vector<std::string>> recordedCalls(const std::string& record);

/// The text with control bytes as \xNN, for failure messages.
std::string visible(const std::string& text);

}  // namespace kesp_test
