// Waiting for an interface to hold an address. The kernel announces every
// address change on an rtnetlink group, so the wait re-examines the interface
// as soon as something changed instead of sleeping blind between looks; a look
// every 2 seconds remains as a safety net (a lost notification, or no
// rtnetlink at all), and the overall bound is the one the 2-second polling had.

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "change/address_wait.h"
#include "kesp/discovery.h"
#include "kesp/network_change.h"

namespace KESP {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

const Milliseconds kLookInterval(2000);

bool hasRequestedAddress(const std::string& iface, AddressMode mode) {
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  if (!getLiveAddresses(iface, ipv4, ipv6)) return false;
  const bool ipv4Ready = (mode & IPV4_MODES) && !ipv4.address.empty();
  const bool ipv6Ready = (mode & IPV6_MODES) && !ipv6.address.empty();
  return ipv4Ready || ipv6Ready;
}

/// A socket on the address-change groups of the calling thread's network
/// namespace; -1 when there is none to be had.
class AddressEvents {
 public:
  AddressEvents() {
    fd_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd_ < 0) return;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~AddressEvents() {
    if (fd_ >= 0) close(fd_);
  }
  AddressEvents(const AddressEvents&) = delete;
  AddressEvents& operator=(const AddressEvents&) = delete;

  /// Blocks until a notification arrives or the time is up, then discards
  /// whatever is queued: the interface is examined afresh either way.
  void waitFor(Milliseconds limit) {
    if (limit <= Milliseconds::zero()) return;
    if (fd_ < 0) {
      std::this_thread::sleep_for(limit);
      return;
    }
    pollfd events{fd_, POLLIN, 0};
    if (poll(&events, 1, static_cast<int>(limit.count())) > 0) drain();
  }

 private:
  void drain() {
    char buffer[8192];
    for (;;) {
      const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n > 0) continue;
      // An overrun (ENOBUFS) only means that much changed: keep emptying.
      if (n < 0 && (errno == EINTR || errno == ENOBUFS)) continue;
      return;
    }
  }

  int fd_ = -1;
};

}  // namespace

namespace detail {

bool waitForAddressUntil(const std::string& iface, AddressMode mode, Clock::time_point deadline) {
  if (!(mode & (IPV4_MODES | IPV6_MODES))) return false;
  // Subscribed before the first look, so that no change can slip in between.
  AddressEvents events;
  for (;;) {
    if (hasRequestedAddress(iface, mode)) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    const Milliseconds left = std::chrono::duration_cast<Milliseconds>(deadline - now);
    events.waitFor(std::min(left + Milliseconds(1), kLookInterval));
  }
}

}  // namespace detail

bool waitForAddress(const std::string& iface, AddressMode mode, int timeoutSeconds) {
  const int limitSeconds = addressWaitLimitSeconds(timeoutSeconds);
  if (limitSeconds <= 0) return false;
  return detail::waitForAddressUntil(iface, mode,
                                     Clock::now() + std::chrono::seconds(limitSeconds));
}

}  // namespace KESP
