#pragma once
// When the library may start a program at all. Every way it runs one
// (execute, execute_no_wait, system_env, run_program, Parser::execute and the
// argument-vector runner) asks here first, so that the rule holds whatever
// the caller: a draft only records, and an offline image is files only.

#include <string>

namespace KESP {
namespace detail {

/// False, logged at ERROR under operation with the program named and errno
/// EPERM, while a draft is open on the thread or the system under the root is
/// an offline image (setOfflineImage): neither may act on this machine.
bool programMayRun(const char* operation, const std::string& program);

}  // namespace detail
}  // namespace KESP
