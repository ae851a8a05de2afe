// A DHCP client left running by a configuration that was taken back keeps
// asking for a lease and, once it gets one, puts an address on the interface
// that the old configuration does not know about. Only the kernel knows which
// clients run: their program name, their arguments and the network namespace
// they run in, which is what keeps a client of another namespace's eth0
// (a container's, the host's) out of reach.

#include "system/dhcp_clients.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace KESP {
namespace detail {

namespace {

const char* const kClientPrograms[] = {"dhclient", "dhcpcd", "udhcpc", "pump", "dhcp6c"};

bool sameNetworkNamespace(const std::string& processDir, const struct stat& own) {
  struct stat theirs;
  return stat((processDir + "/ns/net").c_str(), &theirs) == 0 && theirs.st_ino == own.st_ino &&
         theirs.st_dev == own.st_dev;
}

std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool isClientOf(pid_t pid, const std::string& iface, const struct stat& ownNamespace) {
  const std::string dir = "/proc/" + std::to_string(pid);
  const std::string program = firstLine(dir + "/comm");
  if (std::find(std::begin(kClientPrograms), std::end(kClientPrograms), program) ==
      std::end(kClientPrograms))
    return false;
  if (!sameNetworkNamespace(dir, ownNamespace)) return false;
  std::ifstream in(dir + "/cmdline");
  std::string word;
  while (std::getline(in, word, '\0'))
    if (word == iface) return true;
  return false;
}

bool ownNamespace(struct stat& info) { return stat("/proc/thread-self/ns/net", &info) == 0; }

bool stillThere(pid_t pid, const std::string& iface, const struct stat& own) {
  return kill(pid, 0) == 0 && isClientOf(pid, iface, own);
}

}  // namespace

std::vector<pid_t> dhcpClientsOf(const std::string& iface) {
  std::vector<pid_t> pids;
  struct stat own;
  if (!ownNamespace(own)) return pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  while (const dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    if (isClientOf(static_cast<pid_t>(pid), iface, own)) pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return pids;
}

std::vector<std::string> stopDhcpClients(const std::string& iface, const std::vector<pid_t>& pids) {
  std::vector<std::string> ended;
  struct stat own;
  if (!ownNamespace(own)) return ended;
  std::vector<pid_t> signalled;
  for (pid_t pid : pids) {
    // Checked again right before the signal: the number may have been reused.
    if (!stillThere(pid, iface, own)) continue;
    const std::string program = firstLine("/proc/" + std::to_string(pid) + "/comm");
    if (kill(pid, SIGTERM) != 0) continue;
    signalled.push_back(pid);
    ended.push_back(program + " (pid " + std::to_string(pid) + ")");
  }
  // dhclient releases its lease on SIGTERM; one that hangs on it is ended.
  for (int look = 0; look < 20; ++look) {
    signalled.erase(std::remove_if(signalled.begin(), signalled.end(),
                                   [&](pid_t pid) { return !stillThere(pid, iface, own); }),
                    signalled.end());
    if (signalled.empty()) return ended;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (pid_t pid : signalled)
    if (stillThere(pid, iface, own)) kill(pid, SIGKILL);
  return ended;
}

}  // namespace detail
}  // namespace KESP
