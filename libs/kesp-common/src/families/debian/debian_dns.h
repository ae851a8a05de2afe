#pragma once
// The name servers that ifupdown hands to resolvconf: the "dns-nameservers"
// option of an interface's stanza.

#include <list>
#include <string>
#include <vector>

namespace KESP {
namespace detail {

/// The words of every "dns-nameservers" line inside a stanza, in order.
std::vector<std::string> debianNameServers(const std::list<std::string>& lines);

/// Gives the first stanza of iface the option "dns-nameservers <servers>"
/// (rewritten in place, else added after the stanza's last option with its
/// indentation) and takes the option off every other stanza; with no servers,
/// or an empty iface, it is taken off every stanza. False when iface is not
/// empty and has no stanza in these lines (then only the removals are made).
bool setDebianNameServers(std::list<std::string>& lines, const std::string& iface,
                          const std::vector<std::string>& servers);

/// The interfaces files (the main one and those it sources): the servers of
/// their stanzas and the first file naming any. True, empty, without a main file.
bool readDebianTreeNameServers(std::vector<std::string>& servers, std::string& source);

/// Writes servers on iface's stanza (the first file defining it) and removes
/// the option from every other stanza of every file; an empty iface removes it
/// everywhere. False (logged) when a file cannot be written.
bool writeDebianTreeNameServers(const std::string& iface, const std::vector<std::string>& servers,
                                const char* operation);

/// The interface whose stanza should carry the servers: with live, the one
/// the running kernel's first IPv4 default route leaves by, if it has a
/// stanza; else the first interface with a gateway in its stanzas. Empty when
/// none (or no interfaces file).
std::string debianNameServerInterface(bool live, const char* operation);

/// What ifupdown's hook registers with resolvconf for the first stanza of
/// iface: its record name ("eth0.inet") and its text ("domain", "search" and
/// "nameserver" lines from the stanza's dns-domain, dns-search and
/// dns-nameservers). An empty name when no stanza configures iface.
void debianResolvconfRecord(const std::string& iface, std::string& name, std::string& text);

}  // namespace detail
}  // namespace KESP
