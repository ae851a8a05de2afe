#pragma once
// Changes to the running system beyond the interface files: name servers,
// default gateways, host name and the console display.

#include <string>
#include <vector>

#include "kesp/network_model.h"

namespace KESP {

/// Writes the name servers, one "nameserver <address>" line each, to
/// RESOLV_CONF_PENDING when pending (taken up by the next network change) or
/// to RESOLV_CONF. Every entry must be an IPv4 or IPv6 address: otherwise
/// nothing is written and the result is false. True when the file was written.
bool setDnsServers(const std::vector<std::string>& servers, bool pending);
/// Replaces servers with the name servers of RESOLV_CONF, in file order; false
/// when the file cannot be read.
bool getDnsServers(std::vector<std::string>& servers);

/// The default gateways in use: the interface's own, else the first of any
/// interface. False when neither routing table offers a default route through
/// a gateway (or the last IPv6 gateway taken did not convert).
bool getDefaultGateways(const std::string& iface, std::string& ipv4Gateway,
                        std::string& ipv6Gateway);

/// Runs the host-name script, with the host name's words as its arguments when
/// one is given. 0 when the script ended with status 0, else 1.
int kesp_set_hostname();
int kesp_set_hostname(const std::string& hostName);
/// Makes every running console redraw by ending it; its supervisor restarts it.
void updateNetworkDisplay();
/// gethostname into a buffer of at least 64 bytes; 0 and nothing done without one.
int getHostNameInto(char* buffer);
/// getdomainname into a buffer of at least 64 bytes; 0 and nothing done without one.
int getDomainName(char* buffer);
/// setdomainname with at most 64 bytes of the text; 0 and nothing done without one.
int setDomainName(const char* name);

}  // namespace KESP
