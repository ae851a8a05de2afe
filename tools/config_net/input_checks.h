#pragma once
// What an operator or a script may type, checked before anything is touched.
// Every check returns an empty text when the value is acceptable, otherwise
// one sentence that names the value and says what is wrong with it, ready to
// be shown as it is.

#include <string>
#include <vector>

namespace kesp_config_net {

/// 1 to 15 bytes of letters, digits, ".", "_", "-" and ":", not "." or ".."
/// and no leading "-",
/// the rule the library applies to every name that becomes a file name.
std::string checkInterfaceName(const std::string& name);

/// A dotted quad such as 192.0.2.10.
std::string checkIpv4Address(const std::string& text);
/// A dotted quad whose one bits are contiguous (255.255.255.0).
std::string checkNetmask(const std::string& text);
/// A dotted netmask, or a prefix length 0..32 written as "24" or "/24", made
/// into the dotted form; false (dotted untouched) when it is neither.
bool netmaskFromText(const std::string& text, std::string& dotted);
/// The prefix length of a valid dotted netmask, -1 for anything else.
int netmaskPrefixLength(const std::string& netmask);
/// An address that names a host of its network: not the network's own address
/// nor its broadcast address (networks of /31 and /32 have neither). Address
/// and netmask are taken as already checked.
std::string checkIpv4HostInNetwork(const std::string& address, const std::string& netmask);
/// A gateway must be an IPv4 address inside the address's network and not the
/// address itself (address and netmask are taken as already checked).
std::string checkIpv4Gateway(const std::string& gateway, const std::string& address,
                             const std::string& netmask);

/// Any valid IPv6 notation, without a prefix length.
std::string checkIpv6Address(const std::string& text);
/// A decimal prefix length 1..128.
std::string checkIpv6Prefix(const std::string& text);
/// An IPv6 address other than the interface's own.
std::string checkIpv6Gateway(const std::string& gateway, const std::string& address);

/// An IPv4 or IPv6 address (name servers are given by address).
std::string checkNameServer(const std::string& text);

/// Name servers, each an address and none given twice (the resolver would
/// simply ask it twice); empty when they are acceptable.
std::string checkNameServers(const std::vector<std::string>& servers);

/// Labels of letters, digits and "-" (not first or last), 1 to 63 bytes each,
/// separated by dots, 64 bytes at most in all: what the kernel keeps.
std::string checkHostName(const std::string& text);

/// Letters, digits, ".", "-" and "_" only: a host name or an IPv4 address.
std::string checkProxyHost(const std::string& text);
/// A decimal number 1..65535.
std::string checkPort(const std::string& text);
/// Printable text without blanks.
std::string checkProxyUser(const std::string& text);

/// The text in single quotes for a message, control bytes written as \xNN so
/// that typed escape sequences cannot disturb the terminal.
std::string quoteForMessage(const std::string& text);

/// Splits "address/length" at the last "/": true and both parts set when
/// there is one, false (parts untouched) when there is none.
bool splitPrefix(const std::string& text, std::string& address, std::string& length);

}  // namespace kesp_config_net
