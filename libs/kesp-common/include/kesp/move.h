#pragma once
// Editing the set of configured interfaces as a whole: giving an interface a
// default configuration, deleting one, or exchanging two interfaces'
// configurations, in the running family's interface files.

#include <string>

namespace KESP {

/// What move() does with the interfaces it is given.
enum MoveOperation {
  /// Delete the first interface's configuration.
  MOVE_REMOVE = 0,
  /// Give the first, so far unconfigured, interface a DHCPv4 configuration.
  MOVE_ADD = 1,
  /// Exchange the configurations of the first and the second interface.
  MOVE_SWAP = 3,
};

/// Applies the operation `op` (a MoveOperation) to the running family's
/// interface files; `second` is used by MOVE_SWAP only (pass "" otherwise).
///
/// - MOVE_ADD refuses ("Cant add: <first>") when the first interface already
///   has a configuration (an ifcfg file, or an iface line in the Debian file).
/// - MOVE_REMOVE deletes the ifcfg file, or the Debian stanzas and auto entry;
///   "Cant remove: <first>" when there is none, or the file cannot be deleted.
/// - MOVE_SWAP reads both with getNetwork and writes each the other's mode and
///   settings. On Red Hat and SUSE both ifcfg files are written afresh (keys
///   the writers do not own are not carried over) and the routes file is left
///   alone; on Debian both interfaces' stanzas move to the end of the file.
///   An unconfigured side ("Cant read interface: <name>", an absent file or no
///   stanza) is exchanged as the empty configuration; that is logged but is no
///   failure, since moving a configuration to a new interface is such a swap.
///   A file that exists but cannot be read stops the swap before anything is
///   written; so does, on Red Hat and SUSE, whose files a root shell sources,
///   an address text of either side that holds anything but letters, digits,
///   ".", ":", "/", "%", "_" and "-". A swap of an interface with itself, or
///   with one the system does not treat as Ethernet (names beginning "eth"
///   or "en"; loopback is not), is refused ("Cant swap: ...") before any file
///   is read. When the second ifcfg
///   file cannot be saved, the first is put back as it was.
///
/// Returns true when the change was made and saved.
/// Returns false, with the reason logged at ERROR under "move", for an invalid
/// interface name, a refused swap, an operation code other than the three (nothing is read or
/// written), an unknown family, an unreadable Debian interfaces file, a
/// refused add or remove, or a failed save or delete. Names are checked before any file is touched.
bool move(int op, const std::string& first, const std::string& second);

}  // namespace KESP
