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

/// Marks the system under the root as an offline image (or not): while it is
/// one, no program is run, the image's or any other; each attempt is refused
/// and logged. Off by default, and for a root whose programs are meant to
/// run (tests and demonstrations of a live system).
void setOfflineImage(bool offline);
bool offlineImage();

}  // namespace KESP
