#pragma once
// What the running kernel says right now: Ethernet interfaces holding an
// address, their live addresses, and the dynamic (non-permanent) IPv6
// addresses of /proc/net/if_inet6. Nothing is cached: every call asks afresh,
// and always describes the network namespace of the calling thread.

#include <memory>
#include <string>
#include <vector>

#include "kesp/network_model.h"

namespace KESP {

/// What the kernel says about an interface's link.
struct LinkState {
  /// Administratively up (IFF_UP).
  bool adminUp = false;
  /// The device sees a carrier (IFF_LOWER_UP).
  bool carrier = false;
  /// Operationally up (IFF_RUNNING): up, with a carrier, and not dormant.
  bool running = false;
  /// The hardware address as "02:00:5e:10:00:01"; empty when it has none.
  std::string mac;
  /// Whether traffic can pass: an address on a link that is down, or without
  /// a carrier, does not make the system reachable.
  bool usable() const { return adminUp && carrier && running; }
};

/// Replaces names with the Ethernet names (beginning with "eth" or "en") that hold at least one
/// IPv4 or IPv6 address, sorted byte-wise and each listed once.
/// Returns false (names left empty) when the kernel's address list cannot be read.
bool getInterfaces(std::vector<std::string>& names);

/// Fills the live addresses of iface: IPv4 address, netmask and broadcast of the
/// last IPv4 entry in the kernel's order (a missing netmask or broadcast gives an
/// empty text); IPv6 address and prefix of the first global, non-dynamic address,
/// or else of the first dynamic one. Gateways are never touched.
/// Returns true when any address was found; false leaves both records untouched.
bool getLiveAddresses(const std::string& iface, Ipv4Settings& ipv4, Ipv6Settings& ipv6);

/// The kernel's addresses read once, so that many interfaces can be asked about
/// at the cost of one reading (getInterfaces and getLiveAddresses each read the
/// whole address list afresh, which makes a loop over n interfaces cost n²).
class LiveAddressSnapshot {
 public:
  LiveAddressSnapshot();
  ~LiveAddressSnapshot();
  LiveAddressSnapshot(LiveAddressSnapshot&&) noexcept;
  LiveAddressSnapshot& operator=(LiveAddressSnapshot&&) noexcept;

  /// Reads the address list and the dynamic IPv6 addresses now. False, and an
  /// empty snapshot, when the address list cannot be read.
  bool read();
  /// What getInterfaces would have said at the time of read().
  std::vector<std::string> interfaces() const;
  /// What getLiveAddresses would have said at the time of read().
  bool liveAddresses(const std::string& iface, Ipv4Settings& ipv4, Ipv6Settings& ipv6) const;
  /// What getDynamicIpv6Address would have said of iface at the time of read().
  bool holdsDynamicIpv6(const std::string& iface) const;
  /// The Ethernet links at the time of read(), with or without an address,
  /// sorted byte-wise.
  std::vector<std::string> ethernetLinks() const;
  /// The link state of iface at the time of read(); false (state untouched)
  /// when the kernel had no such link.
  bool linkState(const std::string& iface, LinkState& state) const;

 private:
  struct Data;
  std::unique_ptr<Data> data_;
};

/// Appends to addresses the dynamic IPv6 addresses (flags 0) listed in the text of
/// /proc/net/if_inet6, in text order, with address and decimal prefix filled;
/// an empty iface takes every interface. Lines that do not parse are skipped.
/// Returns false when no line was taken, otherwise whether the last address
/// taken converted to canonical text.
bool parseDynamicIpv6Addresses(const std::string& ifInet6Text, const std::string& iface,
                               std::vector<Ipv6Settings>& addresses);

/// parseDynamicIpv6Addresses on the kernel's /proc/net/if_inet6; false when it
/// cannot be read (no IPv6).
bool readDynamicIpv6Addresses(const std::string& iface, std::vector<Ipv6Settings>& addresses);

/// Copies the first dynamic IPv6 address of iface into ipv6 and returns true;
/// returns false and leaves ipv6 untouched when there is none.
bool getDynamicIpv6Address(const std::string& iface, Ipv6Settings& ipv6);

/// Turns 32 hexadecimal digits into canonical IPv6 text in out.
/// Returns false (logged, out untouched) when they are not an IPv6 address.
bool hexToCanonicalIPv6(const std::string& hexDigits, std::string& out);

/// Writes the canonical text form of an IPv6 address (zero runs compressed) to out.
/// Returns false, logs "Attempted translation of an Invalid IPv6 address <text>" and
/// leaves out untouched when text is not an IPv6 address.
bool makeCanonicalIPv6(const std::string& text, std::string& out);

}  // namespace KESP
