#include "netns.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "kesp/util.h"

namespace kesp_test {

namespace {

const char NAME_PREFIX[] = "kesp-";
const char RUN_DIR[] = "/run/netns/";

/// Runs a shell command line, collecting standard output and error together.
int runCollecting(const std::string& command, std::string& output) {
  output.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

void runOrThrow(const std::string& command) {
  std::string output;
  int code = runCollecting(command, output);
  if (code != 0) {
    throw std::runtime_error("command failed (" + std::to_string(code) + "): " + command +
                             "\n" + output);
  }
}

// Namespaces alive in this process, for removal when a signal or exit() cuts
// the destructors short. Plain arrays: the signal handler may touch nothing else.
constexpr int MAX_LIVE = 64;
constexpr int PATH_SIZE = 96;
char g_livePaths[MAX_LIVE][PATH_SIZE];
pid_t g_liveOwners[MAX_LIVE];
volatile sig_atomic_t g_liveUsed[MAX_LIVE];

// The same removal as `ip netns del`, with async-signal-safe calls only. A
// forked child removes only what it created itself.
void removeLiveNamespaces() {
  pid_t self = getpid();
  for (int i = 0; i < MAX_LIVE; ++i) {
    if (!g_liveUsed[i] || g_liveOwners[i] != self) continue;
    umount2(g_livePaths[i], MNT_DETACH);
    unlink(g_livePaths[i]);
    g_liveUsed[i] = 0;
  }
}

void onFatalSignal(int signal) {
  removeLiveNamespaces();
  std::signal(signal, SIG_DFL);
  raise(signal);
}

void registerLive(const std::string& path) {
  for (int i = 0; i < MAX_LIVE; ++i) {
    if (g_liveUsed[i]) continue;
    std::snprintf(g_livePaths[i], PATH_SIZE, "%s", path.c_str());
    g_liveOwners[i] = getpid();
    g_liveUsed[i] = 1;
    return;
  }
}

void unregisterLive(const std::string& path) {
  for (int i = 0; i < MAX_LIVE; ++i) {
    if (g_liveUsed[i] && path == g_livePaths[i]) g_liveUsed[i] = 0;
  }
}

bool isOwnerAlive(const std::string& name) {
  // "kesp-<pid>-<n>": anything else is not ours to judge, so it counts as alive.
  if (name.compare(0, sizeof NAME_PREFIX - 1, NAME_PREFIX) != 0) return true;
  std::string rest = name.substr(sizeof NAME_PREFIX - 1);
  size_t dash = rest.find('-');
  if (dash == std::string::npos || dash == 0) return true;
  std::string pidText = rest.substr(0, dash);
  if (pidText.find_first_not_of("0123456789") != std::string::npos) return true;
  pid_t pid = static_cast<pid_t>(std::strtol(pidText.c_str(), nullptr, 10));
  if (pid <= 0) return true;
  return kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

void NetNamespace::sweepStale() {
  std::string listing;
  if (runCollecting("ip netns list", listing) != 0) return;
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    std::string name = line.substr(0, line.find(' '));
    if (!isOwnerAlive(name)) runCollecting("ip netns del " + KESP::shell_quote(name), listing);
  }
}

namespace {

void prepareProcessOnce() {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  NetNamespace::sweepStale();
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGABRT}) {
    struct sigaction current {};
    // Someone else's handler (a sanitizer, a debugger aid) stays in charge.
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
      std::signal(signal, onFatalSignal);
  }
  std::atexit(removeLiveNamespaces);
}

std::string nextName() {
  static std::atomic<unsigned> counter{0};
  return NAME_PREFIX + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

bool sameNamespace(int fd, const std::string& path) {
  struct stat a {};
  struct stat b {};
  return fstat(fd, &a) == 0 && stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

int openCurrentNamespace() {
  int fd = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw std::runtime_error(std::string("cannot open /proc/self/ns/net: ") + strerror(errno));
  return fd;
}

}  // namespace

NetNamespace::NetNamespace()
    : name_(nextName()), path_(RUN_DIR + name_), creator_(getpid()), home_(-1) {
  prepareProcessOnce();
  home_ = openCurrentNamespace();
  try {
    runOrThrow("ip netns add " + KESP::shell_quote(name_));
  } catch (...) {
    close(home_);
    throw;
  }
  registerLive(path_);
  try {
    // Addresses must be usable at once, never "tentative": no DAD anywhere here.
    run("echo 0 > /proc/sys/net/ipv6/conf/default/accept_dad; "
        "echo 0 > /proc/sys/net/ipv6/conf/all/accept_dad; ip link set lo up");
  } catch (...) {
    remove();
    throw;
  }
}

NetNamespace::~NetNamespace() { remove(); }

void NetNamespace::remove() {
  if (home_ < 0) return;
  if (getpid() != creator_) return;  // a forked child leaves it to its parent
  int current = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
  if (current >= 0) {
    if (sameNamespace(current, path_) && setns(home_, CLONE_NEWNET) != 0) {
      std::fprintf(stderr, "netns: cannot leave %s: %s\n", name_.c_str(), strerror(errno));
    }
    close(current);
  }
  // Programs that tests started inside (a console, say) would keep it alive.
  std::string pids;
  if (runCollecting("ip netns pids " + KESP::shell_quote(name_), pids) == 0) {
    std::istringstream in(pids);
    long pid;
    while (in >> pid) {
      if (pid > 0 && pid != getpid()) kill(static_cast<pid_t>(pid), SIGKILL);
    }
  }
  std::string output;
  if (runCollecting("ip netns del " + KESP::shell_quote(name_), output) != 0)
    std::fprintf(stderr, "netns: cannot delete %s: %s\n", name_.c_str(), output.c_str());
  unregisterLive(path_);
  if (home_ >= 0) close(home_);
  home_ = -1;
}

std::string NetNamespace::execPrefix() const { return "ip netns exec " + KESP::shell_quote(name_) + " "; }

std::string NetNamespace::peerOf(const std::string& iface) { return "p-" + iface; }

int NetNamespace::exec(const std::string& command) const {
  return shell(execPrefix() + "sh -c " + KESP::shell_quote(command));
}

std::string NetNamespace::execOutput(const std::string& command) const {
  return shellOutput(execPrefix() + "sh -c " + KESP::shell_quote(command));
}

void NetNamespace::run(const std::string& command) const {
  runOrThrow(execPrefix() + "sh -c " + KESP::shell_quote(command));
}

void NetNamespace::addVeth(const std::string& iface, bool up) const {
  if (iface.empty() || iface.size() > 13)
    throw std::invalid_argument("veth name must be 1 to 13 bytes: " + iface);
  const std::string peer = peerOf(iface);
  run("ip link add " + KESP::shell_quote(iface) + " type veth peer name " + KESP::shell_quote(peer));
  for (const std::string& end : {iface, peer}) {
    run("echo 0 > " + KESP::shell_quote("/proc/sys/net/ipv6/conf/" + end + "/accept_dad"));
    if (up) setLinkUp(end, true);
  }
}

void NetNamespace::setLinkUp(const std::string& iface, bool up) const {
  run("ip link set " + KESP::shell_quote(iface) + (up ? " up" : " down"));
}

void NetNamespace::addAddress(const std::string& iface, const std::string& cidr,
                              const std::string& extra) const {
  run("ip addr add " + KESP::shell_quote(cidr) + " dev " + KESP::shell_quote(iface) + " " + extra);
}

void NetNamespace::addDynamicIpv6(const std::string& iface, const std::string& cidr,
                                  unsigned lifetimeSeconds) const {
  const std::string lifetime = std::to_string(lifetimeSeconds);
  run("ip -6 addr add " + KESP::shell_quote(cidr) + " dev " + KESP::shell_quote(iface) + " valid_lft " + lifetime +
      " preferred_lft " + lifetime);
}

void NetNamespace::removeAddress(const std::string& iface, const std::string& cidr) const {
  run("ip addr del " + KESP::shell_quote(cidr) + " dev " + KESP::shell_quote(iface));
}

NetNamespace::Inside::Inside(const NetNamespace& ns) : previous_(openCurrentNamespace()) {
  int target = open(ns.path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (target < 0 || setns(target, CLONE_NEWNET) != 0) {
    std::string reason = strerror(errno);
    if (target >= 0) close(target);
    close(previous_);
    throw std::runtime_error("cannot enter " + ns.name() + ": " + reason);
  }
  close(target);
}

NetNamespace::Inside::~Inside() {
  if (setns(previous_, CLONE_NEWNET) != 0) {
    // Going on in the wrong namespace would make every later test lie.
    std::fprintf(stderr, "netns: cannot return to the previous namespace: %s\n",
                 strerror(errno));
    std::abort();
  }
  close(previous_);
}

void NetNamespace::runInside(const std::function<void()>& body) const {
  Inside inside(*this);
  body();
}

bool NetNamespace::waitUntil(const std::string& command, int timeoutMs) const {
  const int stepMs = 50;
  for (int waited = 0;; waited += stepMs) {
    if (exec(command + " >/dev/null 2>&1") == 0) return true;
    if (waited >= timeoutMs) return false;
    usleep(stepMs * 1000);
  }
}

}  // namespace kesp_test
