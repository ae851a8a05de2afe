#pragma once
// Where a system keeps its connection profiles, and which one an interface
// gets: what NetworkManager itself would pick.

#include <sys/types.h>

#include <string>
#include <vector>

#include "families/networkmanager/key_file.h"

namespace KESP {
namespace detail {

/// The writable profile directory; /run and /usr/lib hold read-only ones.
extern const char* const kProfileDirectory;

/// One profile file as read from disk.
struct StoredProfile {
  const char* directory = "";  ///< one of the three directories
  std::string fileName;
  /// The system's path (without the root).
  std::string path() const { return std::string(directory) + "/" + fileName; }
  KeyFile content;
  bool readOnly = false;  ///< in /run or /usr/lib: edits go to a copy in /etc
  /// Others may read or change it, or root does not own it: the daemon
  /// ignores such a file, since profiles may hold secrets.
  bool insecure = false;
  /// What NetworkManager's reader would say of the file ("line N: …"); an
  /// edit of it is refused. Empty when it reads it.
  std::string refusal;
  /// False when the profile was loaded for another interface, which it
  /// cannot be: owner and mode were not asked, and `insecure` says nothing
  /// (ignoredByDaemon asks them then).
  bool statusAsked = true;
  // What the choice of an interface's profile looks at, taken once at load.
  bool ethernet = false;
  bool named = false;         ///< has an interface-name
  std::string interfaceName;
  std::string mac;            ///< [ethernet] mac-address, lower case
};

/// Fills the choice fields of profile from its content.
void noteChoiceKeys(StoredProfile& profile);

/// Every profile file the three directories hold, /etc first: a name in /etc
/// hides the same name in /run and /usr/lib, and /run hides /usr/lib. In
/// /run and /usr/lib only "*.nmconnection" files count; hidden files, backup
/// copies and "*.nmmeta" never do. A file that exists but cannot be read is
/// named as unreadable (takeUnreadableFiles). Each file is opened and read
/// once. With onlyFor, owner and mode are asked only of the profiles that
/// could be that interface's (couldBe).
/// `unread` (when given) receives the paths (with the root) of the files
/// that are there but could not be read: any of them may be the profile of
/// an interface that seems to have none.
std::vector<StoredProfile> loadProfiles(const std::string* onlyFor = nullptr,
                                        std::vector<std::string>* unread = nullptr);

/// True when profile may be iface's, whatever the live MAC: an Ethernet
/// profile named iface, or one without a name that gives a MAC.
bool couldBe(const StoredProfile& profile, const std::string& iface);

/// True when the daemon ignores the profile's file (isInsecureProfile).
bool ignoredByDaemon(const StoredProfile& profile);

/// True when any of the directories holds a profile file (none is read).
/// `writableDirectory` tells whether the directory in /etc could be listed:
/// the family's marker, found by the same call; without it, false at once.
bool anyProfileFile(bool& writableDirectory);

/// True for a profile of an Ethernet connection.
bool isEthernetProfile(const KeyFile& profile);

/// True when the daemon would ignore a profile file of this owner and mode:
/// one root does not own (on an image, neither the owner of its root
/// directory: an image unpacked by a user is the user's throughout), or one
/// that others may read, write or run.
bool isInsecureProfile(uid_t owner, mode_t mode, uid_t imageOwner);

/// True when profile could be iface's (by name, else by liveMac), secure or not.
bool profileMatches(const StoredProfile& profile, const std::string& iface,
                    const std::string& liveMac);

/// The index in profiles of iface's profile: a secure Ethernet profile whose
/// interface-name is iface or, without one, whose [ethernet] mac-address is
/// liveMac; of several, the one that connects automatically, then the
/// highest autoconnect-priority, then the latest timestamp, then the first.
/// -1 when none.
int selectProfile(const std::vector<StoredProfile>& profiles, const std::string& iface,
                  const std::string& liveMac);

/// The names of the interfaces the secure profiles configure by name, and of
/// the live links whose MAC a profile without a name gives.
std::vector<std::string> profileInterfaces(const std::vector<StoredProfile>& profiles);

/// The live MAC of iface ("02:00:5e:10:00:01"); empty when none.
std::string liveMacOf(const std::string& iface);

/// The path in /etc that an edit of profile writes: its own for a profile in
/// /etc, else the same file name in /etc.
std::string writablePath(const StoredProfile& profile);

/// A path in /etc for a new profile of iface that no other profile uses.
std::string newProfilePath(const std::vector<StoredProfile>& profiles, const std::string& iface);

}  // namespace detail
}  // namespace KESP
