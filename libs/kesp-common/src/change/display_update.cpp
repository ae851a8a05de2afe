// The console display after a change: consoles redraw on SIGUSR1 and stay.

#include "change/display_update.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "kesp/log.h"
#include "kesp/network_change.h"
#include "kesp/sysroot.h"
#include "files/root_path.h"

namespace KESP {

const char* const CONSOLE_REGISTRY_DIR = "/run/kesp/consoles";

namespace detail {

DisplayAction displayActionFor(const ConsoleProcess& process, bool wholeSystem) {
  if (!process.namedConsole) return DisplayAction::Leave;
  if (process.catchesRedraw && (process.registered || wholeSystem)) return DisplayAction::Redraw;
  if (wholeSystem && !process.catchesRedraw) return DisplayAction::End;
  return DisplayAction::Leave;
}

}  // namespace detail

namespace {

const char kConsoleName[] = "kesp_login";

std::string procFileLine(int pid, const char* file, const char* prefix) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, std::string(prefix).size(), prefix) == 0) return line;
  }
  return std::string();
}

/// What /proc tells of pid now (the kernel's view: never under the root).
detail::ConsoleProcess describe(int pid, bool registered) {
  detail::ConsoleProcess process;
  process.registered = registered;
  process.namedConsole = procFileLine(pid, "comm", "") == kConsoleName;
  const std::string caught = procFileLine(pid, "status", "SigCgt:");
  if (caught.size() > 7) {
    const unsigned long long mask = std::strtoull(caught.c_str() + 7, nullptr, 16);
    process.catchesRedraw = (mask >> (SIGUSR1 - 1)) & 1u;
  }
  return process;
}

/// The process numbers among names.
std::set<int> processNumbers(const std::vector<std::string>& names) {
  std::set<int> pids;
  for (const std::string& name : names) {
    if (name.empty() || name.size() > 9 || name.find_first_not_of("0123456789") != std::string::npos)
      continue;
    pids.insert(std::atoi(name.c_str()));
  }
  return pids;
}

/// Every process of the kernel (never under the root).
std::set<int> runningProcesses() {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir("/proc"), closedir);
  while (dir) {
    const dirent* entry = readdir(dir.get());
    if (!entry) break;
    names.emplace_back(entry->d_name);
  }
  return processNumbers(names);
}

std::string registrationPath(int pid) {
  return sysPath(CONSOLE_REGISTRY_DIR) + "/" + std::to_string(pid);
}

}  // namespace

void updateNetworkDisplay() {
  std::vector<std::string> entries;
  // The registry lies in the image's /run: read and cleaned inside the root.
  detail::listDirectoryInRoot(sysPath(CONSOLE_REGISTRY_DIR), entries);
  const std::set<int> registered = processNumbers(entries);
  const bool wholeSystem = systemRoot().empty();
  std::set<int> candidates = registered;
  if (wholeSystem) {
    const std::set<int> all = runningProcesses();
    candidates.insert(all.begin(), all.end());
  }
  int redrawn = 0;
  for (int pid : candidates) {
    if (pid <= 1 || pid == getpid()) continue;
    const bool isRegistered = registered.count(pid) != 0;
    const detail::ConsoleProcess process = describe(pid, isRegistered);
    if (isRegistered && (!process.namedConsole || !process.catchesRedraw))
      detail::removeInRoot(registrationPath(pid));  // the console is gone
    switch (detail::displayActionFor(process, wholeSystem)) {
      case detail::DisplayAction::Redraw:
        redrawn += kill(pid, SIGUSR1) == 0;
        break;
      case detail::DisplayAction::End:
        kill(pid, SIGKILL);
        KESP_LOG(LOG_INFO, "updateNetworkDisplay",
                 "ended console " << pid << ", which cannot redraw; its service starts it again");
        break;
      case detail::DisplayAction::Leave:
        break;
    }
  }
  KESP_LOG(LOG_INFO, "updateNetworkDisplay", "asked " << redrawn << " console(s) to redraw");
}

bool registerConsole(int pid) {
  if (!detail::makeDirectoriesInRoot(sysPath(CONSOLE_REGISTRY_DIR))) return false;
  const int fd = detail::openInRoot(registrationPath(pid),
                                    O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // The name registers the process; its content is for the reader's eye.
  const std::string line = std::to_string(pid) + "\n";
  const bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  return written;
}

void unregisterConsole(int pid) { detail::removeInRoot(registrationPath(pid)); }

}  // namespace KESP
