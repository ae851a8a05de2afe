#pragma once
// The text and JSON forms of everything the tool prints as data. Pure: the
// records come in, the text goes out, so that the output can be tested
// without a system.

#include <iosfwd>
#include <string>
#include <vector>

#include "interface_report.h"

namespace kesp_config_net {

/// The configured mode in words: "STATICV4+DHCPV6", or "not configured".
std::string configuredModeText(const InterfaceReport& report);
/// The live addresses as "192.0.2.10/24 2001:db8::10/64", "no address", or
/// "link not present"; empty when the kernel was not asked.
std::string liveAddressText(const InterfaceReport& report);

/// "up, carrier, MAC 02:00:5e:10:00:01", "down, no carrier"; empty when the
/// kernel was not asked or has no such link.
std::string linkStateText(const InterfaceReport& report);

std::string renderShowText(const SystemReport& report);
std::string renderShowJson(const SystemReport& report);

/// show's text or JSON written to out piece by piece, as renderShowText and
/// renderShowJson would give it whole: start with the system's facts, each
/// interface, finish.
class ShowWriter {
 public:
  ShowWriter(std::ostream& out, bool json) : out_(out), json_(json) {}
  void start(const SystemReport& facts);
  void add(const InterfaceReport& item);
  void finish(const SystemReport& facts);

 private:
  std::ostream& out_;
  bool json_;
  bool first_ = true;
};

/// The name servers, who owns resolv.conf ("file", "systemd-resolved", ...)
/// and the file the servers were read from (empty when none names any).
struct NameServerView {
  std::vector<std::string> servers;
  std::string owner;
  std::string source;
};
std::string renderNameServersText(const NameServerView& view);
std::string renderNameServersJson(const NameServerView& view);

std::string renderGatewaysText(const std::string& ipv4, const std::string& ipv6);
std::string renderGatewaysJson(const std::string& iface, const std::string& ipv4,
                               const std::string& ipv6);

/// The stored proxy; the password itself is never shown, only whether one is set.
struct ProxyView {
  std::string host;
  std::string port;
  std::string user;
  bool passwordSet = false;
};
std::string renderProxyText(const ProxyView& proxy);
std::string renderProxyJson(const ProxyView& proxy);

std::string renderHostNameText(const std::string& name);
std::string renderHostNameJson(const std::string& name);

}  // namespace kesp_config_net
