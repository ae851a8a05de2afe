#pragma once
// Kernel notifications of link and address changes (rtnetlink), so that the
// status pane shows an address gained or lost at once instead of after the
// ten-minute key time-out.

namespace kesp_console {

class NetlinkWatcher {
 public:
  /// Subscribes to the link, IPv4 address and IPv6 address groups of the
  /// network namespace the process is in. Without netlink, fd() is -1 and the
  /// console relies on its key time-out alone.
  NetlinkWatcher();
  ~NetlinkWatcher();
  NetlinkWatcher(const NetlinkWatcher&) = delete;
  NetlinkWatcher& operator=(const NetlinkWatcher&) = delete;

  /// Non-blocking descriptor to wait on for readability, or -1.
  int fd() const { return fd_; }
  /// Reads every queued notification without blocking. True when at least one
  /// arrived or the kernel dropped some (the state must be read again anyway).
  bool drain();

 private:
  int fd_ = -1;
};

}  // namespace kesp_console
