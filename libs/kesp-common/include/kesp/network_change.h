#pragma once
// Changes to the running system beyond the interface files: name servers,
// default gateways, host name and the console display.

#include <functional>
#include <string>
#include <vector>

#include "kesp/network_model.h"

namespace KESP {

/// True for an IPv4 or IPv6 address, or a link-local IPv6 address with a zone
/// index that is an interface name ("fe80::1%eth0").
bool isNameServerAddress(const std::string& text);

/// Who rewrites RESOLV_CONF, and so where name servers must be written to
/// last: the file itself (nobody rewrites it), systemd-resolved (a link into
/// its runtime directory), Debian's resolvconf (a link into /run/resolvconf),
/// openresolv, NetworkManager or SUSE's netconfig (a link into their runtime
/// directories, or the file they wrote, headed by their comment).
enum class NameServerOwner { File, Resolved, Resolvconf, Openresolv, NetworkManager, Netconfig };
/// The owner's name as shown to operators and scripts: "file",
/// "systemd-resolved", "resolvconf", "openresolv", "NetworkManager", "netconfig".
const char* nameServerOwnerName(NameServerOwner owner);
/// The owner of RESOLV_CONF under the system root, decided afresh from where
/// its links lead and from its opening comment lines.
NameServerOwner findNameServerOwner();

/// Writes the name servers where the owner of RESOLV_CONF reads them, so that
/// they survive its next rewrite: the file itself as below; systemd-resolved:
/// "[Resolve]" with "DNS=" (reset) and "DNS=<servers>" in
/// /etc/systemd/resolved.conf.d/90-kesp.conf; resolvconf and openresolv:
/// "dns-nameservers" of the interface with the default route in the Debian
/// interfaces files (the one with a gateway when not applied now), taken off
/// every other stanza, or else resolvconf's base file
/// (/etc/resolvconf/resolv.conf.d/base) or openresolv's "name_servers" in
/// /etc/resolvconf.conf, the other place cleared; netconfig:
/// NETCONFIG_DNS_STATIC_SERVERS in /etc/sysconfig/network/config.
/// When applyNow, the owner's program (under the system root) then rewrites
/// resolv.conf: "systemctl try-reload-or-restart systemd-resolved.service",
/// "resolvconf -u", "netconfig update -f"; a missing program or one that
/// fails fails the change. The written configuration is read back as the
/// owner merges it; when it would not give exactly these servers (a later
/// file names others) the change is undone. Under NetworkManager nothing is
/// written (its profiles are not written yet) and the result is false.
///
/// The file itself: the servers, one "nameserver <address>" line each, go to
/// RESOLV_CONF (through a symbolic link). The new text is the file's current
/// one with the new lines in place of the first old "nameserver" line
/// (appended when there was none) and the other old ones dropped; search,
/// domain, options and comments stay.
///
/// With pending, the same lines go to RESOLV_CONF_PENDING instead (a new one
/// starts from resolv.conf's text), taken up by the next network change that
/// succeeds, which writes them where the owner reads them then; an owner
/// whose configuration cannot be written is refused at once.
/// Every entry must pass isNameServerAddress: otherwise nothing is written and
/// the result is false. Everything is one change, locked and journaled.
bool setDnsServers(const std::vector<std::string>& servers, bool pending, bool applyNow = true);
/// Makes the running system use the name servers now configured where the
/// owner of RESOLV_CONF reads them: what setDnsServers does after writing
/// them with applyNow. The family's step for the interface carrying them is
/// left out when that interface is in restarted (it came up with them).
/// False (logged) when a step fails; refused, as every program is, while a
/// draft is open or on an offline image.
bool useDnsServersNow(const std::vector<std::string>& restarted);
/// Removes a list staged with setDnsServers(…, true), as one change (locked,
/// journaled). True when a staged list was there and is gone; false when there
/// was none or it could not be removed (logged).
bool withdrawPendingDnsServers();
/// Replaces servers with the name servers the owner of RESOLV_CONF will use:
/// those it is configured with where setDnsServers writes them (resolved's
/// DNS= merged over resolved.conf and its drop-ins; resolvconf's interface
/// options and base file; netconfig's static servers), or, where it is
/// configured with none, those of the resolver file it writes (for
/// systemd-resolved its upstream list, /run/systemd/resolve/resolv.conf).
/// False when a file holding them cannot be read.
bool getDnsServers(std::vector<std::string>& servers);
/// getDnsServers, also telling the owner and the file the list came from
/// (empty when nothing names a server).
bool getDnsServers(std::vector<std::string>& servers, NameServerOwner& owner, std::string& source);

/// The default gateways in use: the interface's own, else the first of any
/// interface. False when neither routing table offers a default route through
/// a gateway (or the last IPv6 gateway taken did not convert).
bool getDefaultGateways(const std::string& iface, std::string& ipv4Gateway,
                        std::string& ipv6Gateway);

/// Runs the host-name script, with the host name's words as its arguments when
/// one is given. 0 when the script ended with status 0, else 1.
int kesp_set_hostname();
int kesp_set_hostname(const std::string& hostName);
/// Sets the host name of an offline image below the system root: the whole of
/// /etc/hostname, and the names of the 127.0.1.1 line of /etc/hosts where
/// there is one. False (logged) when a file cannot be written.
bool setImageHostName(const std::string& name);
/// The host name of an offline image below the system root: the first line of
/// /etc/hostname that is not blank or a comment, trimmed; empty when it has
/// none. False (logged) when the file cannot be read.
bool getImageHostName(std::string& name);
/// Where each running console that redraws on request (SIGUSR1) registers
/// itself: a file named by its process number (under the system root).
extern const char* const CONSOLE_REGISTRY_DIR;
/// Makes the running consoles check the network again and redraw: each
/// registered console (a kesp_login process catching SIGUSR1) gets SIGUSR1
/// and stays. Without a system root every process named kesp_login is asked
/// too, and one that does not catch the signal (started before the update)
/// is ended with SIGKILL for its supervisor to start anew. With a root only
/// the consoles registered under it are reached. Stale registrations are
/// removed. Logged at LOG_INFO.
void updateNetworkDisplay();
/// Registers the console process pid in CONSOLE_REGISTRY_DIR (made as needed,
/// inside the system root). False when it cannot: such a console is still
/// found by its name on the real system.
bool registerConsole(int pid);
/// Withdraws pid's registration, if any.
void unregisterConsole(int pid);
/// gethostname into a buffer of at least 64 bytes; 0 and nothing done without one.
int getHostNameInto(char* buffer);
/// getdomainname into a buffer of at least 64 bytes; 0 and nothing done without one.
int getDomainName(char* buffer);
/// setdomainname with at most 64 bytes of the text; 0 and nothing done without one.
int setDomainName(const char* name);

// ---------------------------------------------------------------- one change at a time

// Every operation that writes (the network change, writeNetworkFiles, the name
// servers, the proxy, move, the host name) holds an exclusive lock under
// "/run/kesp/" for its whole run, first puts back an unfinished change it
// finds, and journals each file under "/var/lib/kesp/" before touching it, so
// that a change killed at any point can be undone. Reading never waits.

/// How long a writing operation waits for another one to finish before it
/// fails, changing nothing (60 seconds unless set).
void setChangeWaitSeconds(int seconds);

/// Puts back the change that a killed process left unfinished: every
/// journaled file byte for byte (content, mode, owner, or no file where there
/// was none), the writer's leftover temporary files removed, and, when
/// restartInterfaces (a live system, not an offline image), the change's
/// interfaces taken down and brought up again with the old files. True when
/// nothing was unfinished or all was put back; what was done goes to done
/// (when given) and the log. False when something could not be put back: the
/// journal then stays. The recovery that every writing operation runs first
/// restarts interfaces only without a system root.
bool recoverInterruptedChange(std::vector<std::string>* done = nullptr,
                              bool restartInterfaces = true);

/// At boot, after recoverInterruptedChange(…, false) put files back and
/// before the network services start: regenerates what the family derives
/// from its files at boot, before they were put back (netplan's generated
/// configuration), and talks to no daemon. True where nothing is derived;
/// false (logged under "recover") when that failed.
bool prepareNetworkForBoot();

/// Whether a journal of an unfinished change waits to be put back (read
/// without the lock, as every reading is).
bool interruptedChangeWaiting();

/// Moves the journal of an unfinished change aside without acting on it,
/// kept for inspection beside it (its new path goes to keptAs), so that
/// changes can go on after a journal that recovery refuses. True when there
/// was none or it was moved.
bool discardInterruptedChange(std::string* keptAs = nullptr);

/// Runs body as one change: what the writing operations inside it do is
/// journaled together and, when body fails or the process dies, put back
/// together. True when body succeeded and the change was committed.
bool asOneChange(const char* operation, const std::function<bool()>& body);

// ---------------------------------------------------------------- the change transaction

/// The time bound of a change, in seconds, the same on every family: from
/// bringing the interface up with the new settings to giving up on them. The
/// family's bring-up counts against it (a DHCP client still asking at the
/// bound is stopped, NetworkManager is told to wait no longer), and so does
/// the wait for the address. A restore waits as long again, at most, for
/// the previous configuration's address.
const int ADDRESS_WAIT_SECONDS = 30;
/// The longest waitForAddress(…, timeoutSeconds) waits, in whole seconds: it
/// looks every 2 seconds, timeoutSeconds / 2 + 1 times.
constexpr int addressWaitLimitSeconds(int timeoutSeconds) { return (timeoutSeconds / 2 + 1) * 2; }

/// Applies a new address configuration to iface as one transaction: checks the
/// request (see writeNetworkFiles), keeps exact in-memory copies of the
/// family's files, takes iface down, moves a pending name-server file into
/// place, rewrites the files, brings iface up and waits for an address of a
/// requested family, all within ADDRESS_WAIT_SECONDS of bringing it up. True
/// only when that address came. On every later failure the new settings are
/// taken down (the DHCP clients they started stopped), the copies written
/// back and iface brought up again with them, and the previous
/// configuration's address waited for; a refused request touches neither
/// files nor interface.
/// The reason for a false result is logged under "setNetworkAddresses".
bool setNetworkAddresses(const std::string& iface, AddressMode mode,
                         const std::string& ipv4Address, const std::string& ipv4Netmask,
                         const std::string& ipv4Gateway, const std::string& ipv6Address,
                         const std::string& ipv6Prefix, const std::string& ipv6Gateway);

/// setNetworkAddresses, then, whatever its result, makes the consoles redraw
/// (updateNetworkDisplay) and flags iface as managed by running
/// "kesp_ovf_process -r <iface>" (no shell). Returns the transaction's result.
bool setNetwork(const std::string& iface, AddressMode mode, const std::string& ipv4Address,
                const std::string& ipv4Netmask, const std::string& ipv4Gateway,
                const std::string& ipv6Address, const std::string& ipv6Prefix,
                const std::string& ipv6Gateway);

/// True as soon as iface holds an address of a family in mode (either family
/// when mode has both); the interface is re-examined whenever the kernel
/// reports an address change, and at least every 2 seconds. False once
/// (timeoutSeconds / 2 + 1) * 2 seconds have passed without one, and at once
/// when mode names no family or that product is not positive.
bool waitForAddress(const std::string& iface, AddressMode mode, int timeoutSeconds);

/// Rewrites the running family's files (under the system root) for the
/// request, as setNetworkAddresses does between taking iface down and bringing
/// it up, touching no interface: the interface file (which must exist), and
/// also the DHCPv6 client defaults' INTERFACES list on Debian when that file
/// exists, the routes file's "default" lines and MODULES_LOADED_ON_BOOT's ipv6
/// on SUSE. Refuses first, with one ERROR line and nothing written, an invalid
/// interface name; with STATICV4 an address or netmask that is not a dotted
/// quad (the netmask contiguous) or a gateway that is neither a dotted quad,
/// empty nor "default"; with STATICV6 an address that is not IPv6, a prefix
/// outside 0..128 that is no contiguous IPv6 mask, or a gateway that is
/// neither IPv6, empty nor "default"; DHCPV6 without a DHCPv6 client; DHCPV6
/// alone on Red Hat; an unknown family. False (logged) when refused or when a
/// file could not be read or saved; files already saved then stay saved.
bool writeNetworkFiles(const std::string& iface, AddressMode mode,
                       const std::string& ipv4Address, const std::string& ipv4Netmask,
                       const std::string& ipv4Gateway, const std::string& ipv6Address,
                       const std::string& ipv6Prefix, const std::string& ipv6Gateway);

}  // namespace KESP
