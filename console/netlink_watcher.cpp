#include "netlink_watcher.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kesp_console {

NetlinkWatcher::NetlinkWatcher() {
  fd_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (fd_ < 0) return;
  sockaddr_nl local;
  std::memset(&local, 0, sizeof local);
  local.nl_family = AF_NETLINK;
  local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
  if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

NetlinkWatcher::~NetlinkWatcher() {
  if (fd_ >= 0) close(fd_);
}

bool NetlinkWatcher::drain() {
  if (fd_ < 0) return false;
  bool changed = false;
  // The content does not matter: any message of these groups means the
  // interfaces or their addresses changed.
  char buffer[8192];
  for (;;) {
    ssize_t received = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (received > 0) {
      changed = true;
    } else if (received < 0 && errno == EINTR) {
      continue;
    } else if (received < 0 && errno == ENOBUFS) {
      changed = true;  // notifications were dropped
    } else {
      return changed;  // EAGAIN: drained; 0 or another error: nothing more to read
    }
  }
}

}  // namespace kesp_console
