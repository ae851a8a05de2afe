#pragma once
// A whole desired network state (interfaces, name servers, host name, proxy)
// compared with the system and made true as one change: every file of every
// setting journaled together, all or nothing, and only the interfaces whose
// configuration changes restarted, together.

#include <sys/types.h>

#include <string>
#include <vector>

#include "kesp/network_model.h"

namespace KESP {

/// One interface as the state wants it; texts as setNetworkAddresses takes
/// them (the netmask dotted), only those of the static families used.
struct DesiredInterface {
  std::string name;
  AddressMode mode = 0;
  std::string ipv4Address;
  std::string ipv4Netmask;
  std::string ipv4Gateway;
  std::string ipv6Address;
  std::string ipv6Prefix;
  std::string ipv6Gateway;
};

/// The proxy as the state wants it; an empty host means none. Without
/// passwordGiven the stored password stays.
struct DesiredProxy {
  std::string host;
  std::string port;
  std::string user;
  std::string password;
  bool passwordGiven = false;
};

/// What the state manages; whatever it leaves out stays as it is.
struct DesiredState {
  std::vector<DesiredInterface> interfaces;
  bool managesNameServers = false;
  std::vector<std::string> nameServers;
  bool managesHostName = false;
  std::string hostName;
  bool managesProxy = false;
  DesiredProxy proxy;
};

/// One file the change writes or removes, paths without the system root.
struct FileChange {
  std::string path;
  bool existed = false;
  std::string before;
  bool exists = true;  ///< false: the change removes it
  std::string after;
  mode_t newFileMode = 0644;
};

struct StatePlan {
  std::vector<FileChange> files;
  /// The interfaces whose configuration changes: a live change restarts them.
  std::vector<std::string> restarts;
  /// A live system whose running host name differs: the host-name script
  /// runs once the files are in place.
  bool hostNameChanges = false;
  /// The name servers change: a live change makes their owner use them
  /// once the files are in place.
  bool nameServersChange = false;

  bool changed() const { return !files.empty() || hostNameChanges; }
};

/// What making the state true would change, from the current files and
/// settings, taking no lock and writing nothing (not even a journal): the
/// settings that differ are written by their own writers into a draft in
/// memory. live adds the checks only a running system needs (a DHCP client
/// for a DHCP mode) and takes the host name from the kernel instead of the
/// image's files. False (the reason logged) when a setting would be refused
/// or a file could not be read.
bool planState(const DesiredState& state, bool live, StatePlan& plan);

/// planState, and when something is to change, the whole plan made again
/// and carried out as one change under the change lock (a state that holds
/// already is only read, without the lock, unless an unfinished change
/// waits to be put back): the
/// files journaled and written together; on a live system the changed
/// interfaces taken down before and brought up after the files change, each
/// waited for (waitForAddress, ADDRESS_WAIT_SECONDS); then the host-name
/// script and the consoles asked to redraw. On any failure every file is put
/// back (and the interfaces restarted with them): false. plan tells what was
/// (or would have been) changed.
bool applyState(const DesiredState& state, bool live, StatePlan& plan);

}  // namespace KESP
