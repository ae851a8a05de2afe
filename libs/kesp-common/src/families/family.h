#pragma once
// A family of interface files behind one interface. Everything the library
// does that depends on how a distribution configures its network asks the
// family: where an interface's configuration lives, reading and writing it,
// listing, bringing an interface up and down, the DHCP clients its scripts
// start, and where the package manager keeps its proxy.
//
// Each family lives in its own folder under families/ and may use files/,
// model/, system/ and the change entry points of change/change_request.h and
// change/change_scope.h. The rest of the library reaches a family only
// through this header; the table in family_table.cpp is the one place that
// maps an OsFlavour to its family. Adding a family is a folder and a line
// there.

#include <string>
#include <vector>

#include "kesp/interface_files.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

struct ChangeRequest;

/// The package manager's proxy file a family's systems carry; its format
/// decides how the proxy is written there.
enum class ProxyFileKind { None, Apt, Yum, SuseSysconfig };

class Family {
 public:
  virtual ~Family() = default;

  virtual OsFlavour flavour() const = 0;
  /// The family's name for programs: "debian".
  virtual const char* name() const = 0;
  /// The family's name for people: "Debian".
  virtual const char* title() const = 0;
  /// The directory whose presence makes a system one of the family, as an
  /// absolute path of the system; named to an operator when none is found.
  virtual const char* marker() const = 0;
  /// True when the system under the root is of the family (its marker is a
  /// directory, links followed inside the root).
  virtual bool isPresent() const;

  /// See interfaceConfigPath; iface has passed the name check.
  virtual std::string configPath(const std::string& iface, const char* operation) const = 0;
  /// Reads each entry's configuration: mode (already 0), the settings the
  /// files hold (other fields keep what they had), the further addresses, and
  /// `configured` set to whether the files configure it. Names have passed
  /// the name check; nothing is logged for an interface without files.
  virtual void read(const std::vector<ConfiguredNetwork*>& networks) const = 0;
  /// See listConfiguredInterfaces; names is empty when called.
  virtual bool list(std::vector<std::string>& names) const = 0;

  /// See changeFilePaths in change_request.h.
  virtual std::vector<std::string> changeFilePaths(const std::string& iface,
                                                   const char* operation) const = 0;
  /// See rewriteFamilyFiles in change_request.h.
  virtual bool rewrite(const ChangeRequest& request, const Ipv4Settings& ipv4,
                       const Ipv6Settings& ipv6, const char* operation) const = 0;
  /// Why the family's files forbid the request ("eth2 is a port of bond0");
  /// empty when nothing does. The DHCP client checks are made apart.
  virtual std::string refusal(const ChangeRequest& request) const;
  /// The family's part of move(): op is known and the names have passed.
  virtual bool move(int op, const std::string& first, const std::string& second) const = 0;

  /// See controlInterface; iface has passed the name check.
  virtual bool control(const std::string& iface, bool up, AddressMode mode) const;
  /// See prepareNetworkForBoot.
  virtual bool prepareBoot(const char*) const { return true; }
  virtual bool hasDhcpv6Client() const = 0;
  virtual bool hasDhcpv4Client() const = 0;
  virtual ProxyFileKind proxyFile() const = 0;

  /// Name servers that the family's files give an interface and its scripts
  /// hand to resolvconf when they bring it up (Debian's dns-nameservers).
  /// The interface that should carry them: with live, the one the running
  /// kernel's default route leaves by, else one with a gateway; empty when
  /// the family keeps no servers per interface or none fits.
  virtual std::string nameServerInterface(bool live, const char* operation) const;
  /// Puts servers on iface's configuration and takes the family's servers
  /// off every other interface (all of them for an empty iface). False
  /// (logged) when a file cannot be written.
  virtual bool writeInterfaceNameServers(const std::string& iface,
                                         const std::vector<std::string>& servers,
                                         const char* operation) const;
  /// Every interface's servers in reading order, and the first file naming
  /// any. False when such a file cannot be read.
  virtual bool readInterfaceNameServers(std::vector<std::string>& servers,
                                        std::string& source) const;
  /// Makes the running system use the servers just written on iface (empty:
  /// taken off every interface) now, where the family's daemon must be told;
  /// true where nothing needs telling. False (logged) when that fails.
  virtual bool applyInterfaceNameServers(const std::string& iface, const char* operation) const;
  /// True when systemd-resolved takes the family's per-interface servers as
  /// the link's own (a daemon that configures links hands them over), so
  /// that under resolved they belong there rather than in its global list.
  virtual bool resolvedTakesInterfaceNameServers() const { return false; }
};

/// The family of flavour; null for FLAVOUR_NONE.
const Family* familyOf(OsFlavour flavour);
/// The family of the system under the root, detected afresh; null for none.
const Family* detectFamily();

/// Runs program (an absolute path of the system, under the root) with one
/// argument, for bringing interfaces up and down. Only a failure to create
/// the process counts (logged under controlInterface): the programs report
/// through their own logs.
bool runControlStep(const char* program, const std::string& argument);
/// Runs program (an absolute path of the system, under the root) with args
/// and, when given, input on its standard input, for a live step whose
/// success the caller reports: a missing program, one that cannot start and
/// one that exits other than 0 fail, logged under operation with what the
/// program printed.
bool runCheckedStep(const char* program, const std::vector<std::string>& args,
                    const char* operation, const std::string* input = nullptr);
/// True when path (of the system) exists under the root.
bool existsInRoot(const char* path);
/// True when the first of paths that is a regular file under the root exists.
bool anyRegularFileInRoot(const std::vector<const char*>& paths);

}  // namespace detail
}  // namespace KESP
