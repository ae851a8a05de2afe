#pragma once
// networkd's .network files as networkd finds them: by name across its
// directories, a name in /etc hiding the same name in /run and /usr/lib, and
// for each link the first file, in name order, whose [Match] fits it.

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "files/directory_reader.h"
#include "files/scoped_fd.h"
#include "kesp/util.h"

namespace KESP {
namespace detail {

/// Where the appliance writes: networkd's directory for the administrator.
extern const char* const kNetworkdEtcDirectory;

/// The .network files networkd reads, in its order, without the system root.
/// Masked ones (links to /dev/null, empty files) are left out; one that is
/// no regular file is refused (logged, naming it) and sets refused.
std::vector<std::string> networkdFilePaths(bool* refused = nullptr);

/// A .network file as listed: its name, the index of its directory in
/// networkd's order and its d_type.
struct NetworkdListed {
  std::string name;
  size_t directory;
  unsigned char type;
  std::string path() const;  ///< without the root
};
constexpr size_t kNetworkdDirectoryCount = 5;
/// Every .network name networkd finds, in its order, each name once (from
/// the first directory that has it), none looked at further. directories
/// (kNetworkdDirectoryCount of them, when given) keep the directories open.
std::vector<NetworkdListed> listNetworkdFiles(Descriptor* directories);

/// True when networkd reads any .network file (the first found ends the
/// search).
bool anyNetworkdFile();

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

/// What a file's [Match] says of names: Name= patterns as collected (an
/// empty assignment resets them), and whether other keys match by more.
struct NetworkdNameMatch {
  std::vector<std::string> patterns;
  bool otherKeys = false;
};
NetworkdNameMatch networkdNameMatch(KeyValueFile& file);
NetworkdMatch networkdMatch(const NetworkdNameMatch& match, const std::string& iface);

/// The .network files listed once and read at most once each, in order and
/// only as far as a lookup needs, for finding the files of many interfaces
/// (findNetworkdFile for each would list and read them all again). What the
/// files read say of names is kept, not the files: a literal name is found
/// through an index, and the file that matches is read again.
class NetworkdFileSet {
 public:
  NetworkdFileSet();
  /// As findNetworkdFile.
  NetworkdMatch find(const std::string& iface, KeyValueFile& file, std::string& path);

 private:
  struct General {
    size_t index;  ///< in files_
    NetworkdNameMatch match;
  };
  /// Reads files_[index] into file through its directory, opened by the listing.
  bool read(size_t index, KeyValueFile& file);

  Descriptor directories_[kNetworkdDirectoryCount];
  std::string inRoot_[kNetworkdDirectoryCount];  ///< their paths with the root
  std::optional<DirectoryReader> readers_[kNetworkdDirectoryCount];  ///< made at a first read
  bool refused_ = false;
  std::vector<NetworkdListed> files_;  ///< in networkd's order
  size_t next_ = 0;                 ///< the next file to read
  bool unreadable_ = false;         ///< reading stopped at a file that cannot be read
  std::unordered_map<std::string, size_t> byName_;  ///< literal names: the first file
  std::vector<General> general_;    ///< globs, negations, other keys, empty [Match]
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
