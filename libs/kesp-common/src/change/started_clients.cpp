#include "change/started_clients.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "kesp/log.h"
#include "system/dhcp_clients.h"

namespace KESP {
namespace detail {

namespace {

std::vector<pid_t> startedSince(const std::string& iface, const std::vector<pid_t>& before) {
  std::vector<pid_t> started;
  for (pid_t pid : dhcpClientsOf(iface))
    if (std::find(before.begin(), before.end(), pid) == before.end()) started.push_back(pid);
  return started;
}

}  // namespace

StartedClients::StartedClients(const std::string& iface)
    : iface_(iface), before_(dhcpClientsOf(iface)) {}

bool StartedClients::bringUpWithin(std::chrono::steady_clock::time_point deadline,
                                   const std::function<bool()>& up) const {
  std::mutex mutex;
  std::condition_variable returned;
  bool done = false;
  // A thread of the caller's network namespace (a new thread shares its
  // creator's), so that it sees the same clients.
  std::thread watch([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (returned.wait_until(lock, deadline, [&] { return done; })) return;
    lock.unlock();
    const std::vector<std::string> ended = stopDhcpClients(iface_, startedSince(iface_, before_));
    for (const std::string& client : ended)
      KESP_LOG(LOG_WARN, "setNetworkAddresses",
               "no address within the time bound: stopped " << client << " on " << iface_);
  });
  const bool result = up();
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  returned.notify_one();
  watch.join();
  return result;
}

void StartedClients::stop(const char* operation) const {
  for (const std::string& client : stopDhcpClients(iface_, startedSince(iface_, before_)))
    KESP_LOG(LOG_WARN, operation, "stopped " << client << ", started for " << iface_);
}

}  // namespace detail
}  // namespace KESP
