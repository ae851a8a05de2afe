#pragma once
// Where each owner of resolv.conf takes its name servers from: one table,
// one row per owner, so that adding a way to write them is adding a row.

#include <string>
#include <vector>

#include "kesp/network_change.h"

namespace KESP {
namespace detail {

class Family;

/// Writes servers where the owner reads them; files only, through the one
/// writer (journaled). `live` says that the running kernel describes the
/// system being written. False, logged under operation, when it cannot.
using NameServerWriter = bool (*)(const std::vector<std::string>& servers, bool live,
                                  const char* operation);
/// The servers the owner is configured with and the file that names them
/// (empty when none does). False when such a file cannot be read.
using NameServerReader = bool (*)(std::vector<std::string>& servers, std::string& source);

struct NameServerPlaces {
  NameServerOwner owner;
  const char* name;
  /// Null where the owner's configuration cannot be written yet.
  NameServerWriter write;
  NameServerReader read;
  /// The owner's program that rewrites resolv.conf from that configuration
  /// now: the first of its paths (under the system root) that exists, with
  /// its arguments. Null paths: nothing to run.
  const char* const* programPaths;
  const char* const* programArguments;
  /// The owner takes servers only from an interface's configuration: without
  /// one to hold them, writes are refused.
  bool needsInterface = false;
};

const NameServerPlaces& placesOf(NameServerOwner owner);

/// The family whose per-interface servers the owner merges (Debian's
/// stanzas for resolvconf, the profiles for NetworkManager, the links of
/// netplan or networkd for resolved); null where the owner takes none.
const Family* interfaceServerFamily(NameServerOwner owner);

/// The owner's write, then the read-back check, then (applyNow) the family's
/// live step for the interface holding the servers and the owner's program.
/// The family's step is left out when that interface is comingUp: the caller
/// brings it up next, which hands the family its servers anyway (a step on
/// it while it is down would fail or bring it up early).
bool writeOwnedNameServers(NameServerOwner owner, const std::vector<std::string>& servers,
                           bool applyNow, const char* operation,
                           const std::string& comingUp = std::string());

/// The live part of writeOwnedNameServers on its own: the family's step
/// (unless its interface is among comingUp) and the owner's program.
bool applyOwnedNameServers(NameServerOwner owner, const char* operation,
                           const std::vector<std::string>& comingUp);

/// Applies a list staged with setDnsServers(…, true) (its whole text): a
/// resolv.conf of its own gets the text, any other owner the servers it
/// names where it reads them, applied now. False, logged under operation.
/// comingUp as in writeOwnedNameServers.
bool applyStagedNameServers(const std::string& staged, const char* operation,
                            const std::string& comingUp = std::string());

/// Why servers cannot be written under this owner at all (logged under
/// operation); false when they can.
bool refuseUnwritableOwner(NameServerOwner owner, const char* operation);

/// The values of the "nameserver" lines of a resolver file's text, in order.
std::vector<std::string> nameServersOf(const std::string& text);
/// text with its "nameserver" lines replaced by servers: the new lines take
/// the place of the first old one (or are appended); every other line stays.
std::string withNameServers(const std::string& text, const std::vector<std::string>& servers);

// The owners' own places (one file each).
bool writeResolverFile(const std::vector<std::string>& servers, bool live, const char* operation);
bool readResolverFile(std::vector<std::string>& servers, std::string& source);
bool writeResolvedServers(const std::vector<std::string>& servers, bool live, const char* operation);
bool readResolvedServers(std::vector<std::string>& servers, std::string& source);
bool writeResolvconfServers(const std::vector<std::string>& servers, bool live, const char* operation);
bool readResolvconfServers(std::vector<std::string>& servers, std::string& source);
bool writeOpenresolvServers(const std::vector<std::string>& servers, bool live, const char* operation);
bool readOpenresolvServers(std::vector<std::string>& servers, std::string& source);
bool writeNetconfigServers(const std::vector<std::string>& servers, bool live, const char* operation);
bool readNetconfigServers(std::vector<std::string>& servers, std::string& source);
bool writeNetworkManagerServers(const std::vector<std::string>& servers, bool live,
                                const char* operation);
bool readNetworkManagerServers(std::vector<std::string>& servers, std::string& source);

}  // namespace detail
}  // namespace KESP
