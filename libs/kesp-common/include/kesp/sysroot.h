#pragma once
// Every fixed path of the system's own files and programs goes through sysPath(),
// so that tests and the demo can run the library on a directory tree of their own.

#include <string>

namespace KESP {

/// Sets the root prepended to fixed paths; empty means the real system.
void setSystemRoot(const std::string& dir);
const std::string& systemRoot();
/// The path as seen under the system root (unchanged when no root is set).
std::string sysPath(const std::string& absolutePath);

}  // namespace KESP
