#pragma once
// Running programs from an argument vector, without a shell, for every command
// that carries a caller's text (host names, interface names, property names).

#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// Runs argv[0] with argv (no PATH search, no shell over the arguments; a
/// script without a "#!" line is run by /bin/sh, as execvp does) and waits for
/// it. When `output` is given, it receives the program's standard output. Returns the
/// wait status, or -1 when no process could be created or an argument holds a
/// NUL byte (errno EINVAL). A failed exec ends the child with status 127.
/// `settings` ("NAME=value") are added to the inherited environment, each
/// replacing a variable of its name. When `input` is given, the program
/// reads it on its standard input, which then ends; a program that stops
/// reading early costs the caller nothing (no SIGPIPE). Without it, standard
/// input is inherited. With `withErrors`, `output` receives standard error
/// too, both kept in an anonymous file that is read once the program has
/// ended: a daemon it leaves running with them open cannot hold the caller up.
int runArgv(const std::vector<std::string>& argv, std::string* output = nullptr,
            const std::vector<std::string>& settings = {}, const std::string* input = nullptr,
            bool withErrors = false);

/// Splits at blanks (isspace); runs of blanks separate, no empty words.
std::vector<std::string> splitBlanks(const std::string& text);

}  // namespace detail
}  // namespace KESP
