#pragma once
// The distribution's interface files: which family the system belongs to, how
// each family's files say how an interface gets its addresses, editing them in
// place, and bringing an interface up or down with the family's own tools.
//
// The readers and writers work on files already in memory (TextFile,
// KeyValueFile) so that they can be used and tested without touching a disk;
// getNetwork, listConfiguredInterfaces and controlInterface are the edges that
// open files and run programs, always through sysPath().

#include <string>
#include <vector>

#include "kesp/network_model.h"
#include "kesp/util.h"

namespace KESP {

/// Distribution family. The values are powers of two but never combined.
enum OsFlavour {
  FLAVOUR_NONE = 0,
  FLAVOUR_DEBIAN = 1,
  FLAVOUR_REDHAT = 2,
  FLAVOUR_SUSE = 4,
  FLAVOUR_NETWORKMANAGER = 8,
  FLAVOUR_NETPLAN = 16,
  FLAVOUR_NETWORKD = 32,
};

/// "/etc/network/interfaces": every interface of a Debian-style system.
extern const std::string DEBIAN_INTERFACES_FILE;
/// Directory of the Red Hat-style per-interface files "ifcfg-<name>".
extern const std::string REDHAT_SCRIPTS_DIR;
/// Directory of the SUSE-style per-interface files "ifcfg-<name>" and "routes".
extern const std::string SUSE_NETWORK_DIR;
/// "/etc/sysconfig/network/routes", whose "default" lines hold SUSE's gateways.
extern const std::string SUSE_ROUTES_FILE;

/// The family of the running system (under the system root), detected afresh:
/// NetworkManager's profiles where its profile directory is there and holds
/// profiles (or no other family's files are there); else the first of
/// "/etc/network", "/etc/sysconfig/network-scripts" and
/// "/etc/sysconfig/network" that is a directory (links followed) decides.
/// FLAVOUR_NONE when none is; never fails, logs nothing.
OsFlavour getOsFlavour();

/// While one lives, getOsFlavour and everything in the library that needs the
/// family detect it once per system root and answer later calls from memory.
/// For one command of a program that runs for milliseconds: which family
/// configures the system does not change under it, and detecting it probes
/// every family's directories each time. The system root's directory is
/// likewise opened once and kept for the hold's life. A hold serves the
/// thread that made it. Holds nest; a program that runs for
/// days (the console) holds none, so that it sees a family that appears later.
/// A hold for a command that changes no file (changesNothing) also keeps
/// each directory's listing: the reads list what detection listed.
class OsFlavourHold {
 public:
  explicit OsFlavourHold(bool changesNothing = false);
  ~OsFlavourHold();
  OsFlavourHold(const OsFlavourHold&) = delete;
  OsFlavourHold& operator=(const OsFlavourHold&) = delete;

 private:
  bool keepsListings_;
};

/// The directories getOsFlavour looks for, in its order, as absolute paths of the system; for telling an operator what was
/// looked for when none was found.
std::vector<std::string> osFlavourMarkers();

/// The families' names for people ("NetworkManager", "Debian", ...), in the
/// order getOsFlavour tries them; for telling an operator what was looked for.
std::vector<std::string> osFlavourTitles();

/// The family's name for programs ("debian", "redhat", "suse"); empty for
/// FLAVOUR_NONE.
std::string osFlavourName(OsFlavour flavour);
/// The family's name for people ("Debian", "Red Hat", "SUSE"); empty for
/// FLAVOUR_NONE.
std::string osFlavourTitle(OsFlavour flavour);

/// The first value of key with one enclosing pair of single quotes, or else of
/// double quotes, removed (up to the last matching quote; what follows it is
/// dropped). False, value untouched, when the key is absent.
bool getUnquotedValue(KeyValueFile& file, const std::string& key, std::string& value);

/// Path of the file that holds iface's configuration for the family, without
/// the system root: on Debian the file that defines iface (the interfaces
/// file or one it sources; the interfaces file for a new interface), or the
/// family's "<dir>/ifcfg-<iface>" (on Red Hat the ifcfg file whose DEVICE
/// names iface comes first). Empty for FLAVOUR_NONE or an invalid interface name
/// (logged at ERROR under `operation`).
std::string interfaceConfigPath(OsFlavour flavour, const std::string& iface, const char* operation);

// ---------------------------------------------------------------- Debian

/// Edits iface's stanzas of a loaded interfaces file for the requested mode:
/// "inet dhcp"/"inet static" stanzas with their address, broadcast, netmask and
/// gateway lines, an "inet6 static" stanza with address, netmask (the prefix)
/// and gateway, and an "auto" line. Mode 0 removes iface's stanzas and takes
/// iface off its auto lines (other names on them stay). A removed stanza takes
/// its option lines with it, so that none of them is left under another
/// stanza. DHCPV6/AUTOV6 keep an existing IPv6 stanza, turning a static one
/// into "dhcp" or "auto"; where no stanza of iface would be left they add
/// "inet6 manual", so that ifup still brings the link up. Further stanzas of a
/// family that stays (aliases) are removed, each named in a warning; when one
/// holds options of its own nothing is changed (logged at ERROR). A non-zero
/// mode adds "auto" unless an auto, allow-auto or allow-hotplug line already
/// starts iface. Options keep their indentation and the blanks after their
/// keyword; added ones take the stanza's indentation, or the file's most common
/// one. Every other line stays unchanged and in place. An invalid interface
/// name changes nothing (logged at ERROR).
void writeDebianInterface(TextFile& file, const std::string& iface, AddressMode mode,
                          const Ipv4Settings& ipv4, const Ipv6Settings& ipv6);

/// Reads iface's configuration from the lines of an interfaces file: mode bits
/// from the method words of its first iface line of each family (dhcp/static
/// for inet, static for inet6; further stanzas of a family are aliases and not
/// read) and the settings from their option lines, whose keyword and value any
/// run of blanks separates; fields not in the file are
/// left as they were. mode is not reset first. True when the file has an iface
/// line of iface.
bool readDebianInterface(const TextFile& file, const std::string& iface, AddressMode& mode,
                         Ipv4Settings& ipv4, Ipv6Settings& ipv6);

/// Appends the names of the interfaces file's iface lines, each once, in file
/// order. (listConfiguredInterfaces also follows the files it sources.)
void listDebianInterfaces(const TextFile& file, std::vector<std::string>& names);

// ---------------------------------------------------------------- Red Hat

/// Sets and removes only the own keys of a loaded ifcfg file (DEVICE, ONBOOT,
/// TYPE, IPV6INIT, BOOTPROTO, DHCPV6C, IPADDR, NETMASK, GATEWAY, BROADCAST,
/// IPV6ADDR, IPV6_DEFAULTGW, IPV6_DEFAULTDEV) for the requested mode; an empty
/// file becomes a complete one. DEVICE and TYPE are only added, never changed.
/// Further addresses (IPADDRn, NETMASKn, PREFIXn, GATEWAYn,
/// IPV6ADDR_SECONDARIES) are removed, named in a WARN line. Values are
/// written as given. An invalid interface name changes nothing (logged at ERROR).
void writeRedHatInterface(KeyValueFile& file, const std::string& iface, AddressMode mode,
                          const Ipv4Settings& ipv4, const Ipv6Settings& ipv6);

/// Reads mode and settings from a loaded ifcfg file ("=" separator); keys that
/// are absent leave their fields as they were. mode is overwritten.
void readRedHatInterface(KeyValueFile& file, AddressMode& mode, Ipv4Settings& ipv4,
                         Ipv6Settings& ipv6);

// ---------------------------------------------------------------- SUSE

/// Sets and removes only the own keys of a loaded ifcfg file (DEVICE,
/// STARTMODE, TYPE, USERCONTROL, BOOTPROTO and the address keys, quoted) for
/// the requested mode; the gateways go to the routes file instead. TYPE is
/// only added, never changed. Further addresses (IPADDR<suffix> with its
/// NETMASK, PREFIXLEN, BROADCAST, LABEL, SCOPE and REMOTE_IPADDR keys) are
/// removed, named in a WARN line. An invalid interface name changes nothing
/// (logged at ERROR).
void writeSuseInterface(KeyValueFile& file, const std::string& iface, AddressMode mode,
                        const Ipv4Settings& ipv4, const Ipv6Settings& ipv6);

/// Reads mode and addresses from a loaded ifcfg file; BOOTPROTO 'dhcp' means
/// DHCPV4+DHCPV6 when dhcpv6ClientPresent, else DHCPV4. mode is overwritten.
void readSuseInterface(KeyValueFile& file, bool dhcpv6ClientPresent, AddressMode& mode,
                       Ipv4Settings& ipv4, Ipv6Settings& ipv6);

/// Makes the "default" lines of a loaded routes file of one interface
/// ("ifroute-<iface>"; " " separator) hold the
/// IPv4 gateway (mode has STATICV4) and then the IPv6 gateway (STATICV6), each
/// as "<gateway> - -" and only when not empty; other lines stay untouched.
void writeSuseRoutes(KeyValueFile& routes, AddressMode mode, const Ipv4Settings& ipv4,
                     const Ipv6Settings& ipv6);

/// Sets the gateways from a loaded routes file's "default" lines, the last of
/// each family winning: a first word of only hex digits and colons is IPv6.
void readSuseRoutes(KeyValueFile& routes, Ipv4Settings& ipv4, Ipv6Settings& ipv6);

// ---------------------------------------------------------------- all families

/// How iface is configured in the running family's interface files (on Debian
/// the interfaces file and the files it sources, as ifupdown reads them;
/// "source" patterns and "source-directory" paths relative to /etc/network
/// when not absolute): mode set
/// to 0 first, then to the configured mode; the settings the files hold are
/// filled in, other fields keep what the caller passed. With detectAutoV6, a
/// dynamic IPv6 address on iface turns mode 0, STATICV4 and DHCPV4 into their
/// AUTOV6 combinations. True when a configuration for iface was found; false
/// (logged) for an invalid name, an unknown family or no configuration.
bool getNetwork(const std::string& iface, bool detectAutoV6, AddressMode& mode, Ipv4Settings& ipv4,
                Ipv6Settings& ipv6);

/// How one interface is configured, as getNetwork reports it.
struct ConfiguredNetwork {
  std::string name;
  bool configured = false;  ///< getNetwork's result
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  /// The addresses beside the main IPv4 and IPv6 ones ("192.0.2.6/24"), in
  /// file order; ifcfg files can hold any number of them.
  std::vector<std::string> furtherAddresses;
};

/// getNetwork for every entry's name (the other fields are overwritten), with
/// the family's files read once: the Debian file holds every interface, so a
/// call of getNetwork per name would read and parse it once per name. A name
/// that no file configures is an answer here (configured false), not a
/// failure: it is not logged. Bad names and an unknown family still are.
void getNetworks(std::vector<ConfiguredNetwork>& networks, bool detectAutoV6);

class LiveAddressSnapshot;
/// getNetworks with detectAutoV6, the dynamic IPv6 addresses taken from a
/// snapshot already read rather than from a fresh reading of the kernel's
/// table: a caller that holds one (the console's status check) reads the
/// kernel once.
void getNetworks(std::vector<ConfiguredNetwork>& networks, const LiveAddressSnapshot& live);

/// True when a change can set iface only once it has a configuration file of
/// its own (move(MOVE_ADD)): the family keeps one file per interface,
/// iface's is missing (or only a draft removes it), and no other file of
/// the family configures it (netplan's own file beside the installer's, a
/// .network file whose pattern matches it: the change edits that one).
bool needsOwnConfiguration(const std::string& iface);

/// Replaces names with the interfaces that the family's files configure:
/// Debian iface lines in reading order (sourced files in place of their
/// source lines), or the sorted names of the ifcfg-<name>
/// files (backup copies such as "~", ".bak", ".rpmsave" left out; on Red Hat
/// a file's DEVICE in place of its name). False
/// (logged) for an unknown family or when the files cannot be read.
bool listConfiguredInterfaces(std::vector<std::string>& names);

/// Brings iface up or down with "/sbin/ifup" or "/sbin/ifdown", preceded on
/// SUSE (up, IPv6 mode) by "/etc/init.d/boot.loadmodules restart" and followed
/// on Debian by "/etc/init.d/wide-dhcpv6-client start|stop" where those exist.
/// Exit statuses are not examined. False (logged) for an invalid name or when
/// a process could not be created for one of the commands; later ones are then
/// not run.
bool controlInterface(const std::string& iface, bool up, AddressMode mode);

/// True when the family's DHCPv6 client is installed: Debian
/// "/etc/init.d/wide-dhcpv6-client", Red Hat and SUSE "/sbin/dhcp6c".
bool hasDhcpv6Client();

/// True when a DHCPv4 client the family's ifup can start is installed (a
/// regular file, looked up inside the system root): Debian dhclient, dhcpcd,
/// udhcpc or pump; Red Hat dhclient or dhcpcd; SUSE wicked's dhcp4 helper,
/// dhcpcd or dhclient. Without one, ifup of a DHCP interface only fails.
bool hasDhcpv4Client();

}  // namespace KESP
