#pragma once
// networkd's .network files as networkd finds them: by name across its
// directories, a name in /etc hiding the same name in /run and /usr/lib, and
// for each link the first file, in name order, whose [Match] fits it.

#include <string>
#include <vector>

#include "kesp/util.h"

namespace KESP {
namespace detail {

/// Where the appliance writes: networkd's directory for the administrator.
extern const char* const kNetworkdEtcDirectory;

/// The .network files networkd reads, in its order, without the system root.
/// Masked ones (links to /dev/null, empty files) are left out; one that is
/// no regular file is refused (logged, naming it) and sets refused.
/// First stops at the first file (whether there is one at all); Unsized
/// leaves plain files unchecked for emptiness, for a caller that reads them
/// anyway and skips an empty one.
enum class NetworkdListing { All, First, Unsized };
std::vector<std::string> networkdFilePaths(bool* refused = nullptr,
                                           NetworkdListing listing = NetworkdListing::All);

/// How a file's [Match] section relates to an interface.
enum class NetworkdMatch { None, Exact, Pattern, Unreadable };

/// Exact: one Name= naming iface alone; Pattern: a glob, a list or an empty
/// [Match] (every link) that takes iface in; None otherwise, and for a file
/// that matches by other properties only (MAC address, driver…), which cannot
/// be told from the name.
NetworkdMatch networkdMatch(KeyValueFile& file, const std::string& iface);

/// The file networkd applies to iface (loaded into file, path without the
/// root) and how it matches; None when no file does, Unreadable (logged)
/// when a file could not be read.
NetworkdMatch findNetworkdFile(const std::string& iface, KeyValueFile& file, std::string& path);

/// Every .network file listed and read once, for finding the files of many
/// interfaces (findNetworkdFile for each would list and read them all again
/// per interface). Files that name their links literally are indexed by name.
class NetworkdFileSet {
 public:
  NetworkdFileSet();
  /// As findNetworkdFile.
  NetworkdMatch find(const std::string& iface, KeyValueFile& file, std::string& path);

 private:
  struct Entry {
    std::string path;
    KeyValueFile file{'='};
  };
  bool refused_ = false;
  std::vector<Entry> entries_;           ///< in networkd's order; empty files left out
  size_t firstUnreadable_;               ///< the order of the first file not read
  std::vector<std::pair<std::string, size_t>> byName_;  ///< literal names, sorted, first file
  std::vector<size_t> general_;          ///< globs, negations, other keys, empty [Match]
};

/// The file a change of iface writes: the matching file when it names iface
/// alone (its copy in /etc when it lies elsewhere), otherwise a new file of
/// the interface's own in /etc that networkd reads before the others.
std::string networkdTargetPath(const std::string& iface);

/// The names that [Match] Name= lines name without globs, each once.
std::vector<std::string> networkdInterfaceNames();

/// Whether networkd manages the network under the root: it is enabled (its
/// unit wanted by multi-user.target, or its bus name linked) and some
/// .network file exists.
bool networkdIsManager();

/// A value with the blanks networkd ignores removed from its end.
std::string trimmedValue(const std::string& value);

}  // namespace detail
}  // namespace KESP
