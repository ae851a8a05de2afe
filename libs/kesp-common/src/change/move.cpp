// Adding, deleting and exchanging whole interface configurations in the
// running family's files, on top of the family readers and writers.

#include "kesp/move.h"

#include <cerrno>

#include "change/change_scope.h"
#include "families/debian/debian_tree.h"
#include "files/file_write.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "files/names.h"
#include "files/root_path.h"

namespace KESP {

namespace {

const char* const kOperation = "move";

bool isKnownOperation(int op) { return op == MOVE_REMOVE || op == MOVE_ADD || op == MOVE_SWAP; }

/// A swap with itself would read as success while exchanging nothing, and one
/// with a non-Ethernet interface (loopback) hands that interface's stanza to
/// an Ethernet port and takes it from where the system needs it.
bool canSwap(const std::string& first, const std::string& second) {
  if (first == second) {
    KESP_LOG(LOG_ERROR, kOperation, "Cant swap: " << first << " with itself");
    return false;
  }
  for (const std::string* name : {&first, &second}) {
    if (!detail::isEthernetName(*name)) {
      KESP_LOG(LOG_ERROR, kOperation, "Cant swap: " << *name << " is no Ethernet interface");
      return false;
    }
  }
  return true;
}

/// One interface of an exchange: its name and what its files configured.
struct SwapSide {
  explicit SwapSide(const std::string& iface) : name(iface) {}

  std::string name;
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
};

/// Fills side from the interface files; false (logged) when nothing was found,
/// in which case the side stands for the empty configuration.
bool readSide(SwapSide& side) {
  if (getNetwork(side.name, false, side.mode, side.ipv4, side.ipv6)) return true;
  KESP_LOG(LOG_ERROR, kOperation, "Cant read interface: " << side.name);
  return false;
}

/// True when every text of the side is made of address characters only
/// (letters, digits, ".", ":", "/", "%", "_", "-"). The ifcfg files are
/// sourced by a root shell and the writers put the texts in unquoted or
/// single-quoted; a value that its old file quoted safely could otherwise
/// run as a command in the new one.
bool hasPlainTexts(const SwapSide& side) {
  const std::string* const texts[] = {&side.ipv4.address, &side.ipv4.netmask,
                                      &side.ipv4.gateway, &side.ipv4.broadcast,
                                      &side.ipv6.address, &side.ipv6.prefix,
                                      &side.ipv6.gateway};
  for (const std::string* text : texts) {
    for (unsigned char c : *text) {
      const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
      if (!alnum && std::string(".:/%_-").find(static_cast<char>(c)) == std::string::npos) {
        KESP_LOG(LOG_ERROR, kOperation,
                 "Cant swap: " << side.name << " holds '" << detail::printable(*text)
                               << "', which is no address");
        return false;
      }
    }
  }
  return true;
}

/// Reads both sides, logging each one that has no configuration. An
/// unconfigured side still takes part: moving a configuration to a new
/// interface is what a swap with it is for.
void readBothSides(SwapSide& first, SwapSide& second) {
  readSide(first);
  readSide(second);
}

// ---------------------------------------------------------------- Debian

bool addDebian(const detail::DebianTree& tree, detail::DebianTreeEdit& edit,
               const std::string& iface) {
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  // Adding over an existing stanza would silently throw its settings away.
  if (detail::readDebianTreeInterface(tree, iface, mode, ipv4, ipv6)) {
    KESP_LOG(LOG_ERROR, kOperation, "Cant add: " << iface);
    return false;
  }
  return edit.write(iface, DHCPV4, Ipv4Settings(), Ipv6Settings()) && edit.save();
}

bool removeDebian(detail::DebianTreeEdit& edit, const std::string& iface) {
  edit.write(iface, 0, Ipv4Settings(), Ipv6Settings());
  if (!edit.changed()) {
    KESP_LOG(LOG_ERROR, kOperation, "Cant remove: " << iface);
    return false;
  }
  return edit.save();
}

bool swapDebian(detail::DebianTreeEdit& edit, const std::string& first, const std::string& second) {
  SwapSide a(first);
  SwapSide b(second);
  readBothSides(a, b);
  // Each interface keeps the file that defined it; a new one goes to the main file.
  const std::size_t firstFile = edit.ownerOf(first);
  const std::size_t secondFile = edit.ownerOf(second);
  // Clearing both first keeps one interface's new stanza from being merged
  // into the other's old one; both new stanzas end up at the end of their file.
  edit.write(first, 0, Ipv4Settings(), Ipv6Settings());
  edit.write(second, 0, Ipv4Settings(), Ipv6Settings());
  return edit.write(first, b.mode, b.ipv4, b.ipv6, firstFile) &&
         edit.write(second, a.mode, a.ipv4, a.ipv6, secondFile) && edit.save();
}

bool moveDebian(int op, const std::string& first, const std::string& second) {
  detail::DebianTree tree;
  if (!detail::loadDebianTree(tree, kOperation)) {
    KESP_LOG(LOG_ERROR, kOperation, "Cant read " << DEBIAN_INTERFACES_FILE);
    return false;
  }
  detail::DebianTreeEdit edit(tree);
  switch (op) {
    case MOVE_ADD:
      return addDebian(tree, edit, first);
    case MOVE_REMOVE:
      return removeDebian(edit, first);
    default:
      return swapDebian(edit, first, second);
  }
}

// ---------------------------------------------------------------- ifcfg files

using IfcfgWriter = void (*)(KeyValueFile&, const std::string&, AddressMode,
                             const Ipv4Settings&, const Ipv6Settings&);

/// The interface's ifcfg file under the system root.
std::string ifcfgPath(OsFlavour flavour, const std::string& iface) {
  return sysPath(interfaceConfigPath(flavour, iface, kOperation));
}

bool addIfcfg(OsFlavour flavour, IfcfgWriter write, const std::string& iface) {
  const std::string path = ifcfgPath(flavour, iface);
  KeyValueFile file('=');
  // A file that exists but cannot be read still configures the interface.
  if (file.load(path) || file.unreadable()) {
    KESP_LOG(LOG_ERROR, kOperation, "Cant add: " << iface);
    return false;
  }
  write(file, iface, DHCPV4, Ipv4Settings(), Ipv6Settings());
  return file.save(path);
}

bool removeIfcfg(OsFlavour flavour, const std::string& iface) {
  const std::string path = ifcfgPath(flavour, iface);
  TextFile file;
  if (!file.load(path)) {
    KESP_LOG(LOG_ERROR, kOperation, "Cant remove: " << iface);
    return false;
  }
  if (!detail::removeFile(path)) {
    const int err = errno;
    KESP_LOG(LOG_ERROR, kOperation, "Cant remove: " << iface << detail::errnoSuffix(err));
    return false;
  }
  return true;
}

bool swapIfcfg(OsFlavour flavour, IfcfgWriter write, const std::string& first,
               const std::string& second) {
  const std::string firstPath = ifcfgPath(flavour, first);
  const std::string secondPath = ifcfgPath(flavour, second);
  // An unreadable file would be exchanged as "no configuration" and its real
  // one lost; an absent file is an unconfigured interface and may take part.
  TextFile oldFirst;
  TextFile oldSecond;
  oldFirst.load(firstPath);
  oldSecond.load(secondPath);
  for (const TextFile* old : {&oldFirst, &oldSecond}) {
    if (old->unreadable()) {
      KESP_LOG(LOG_ERROR, kOperation,
               "Cant read interface: " << (old == &oldFirst ? first : second));
      return false;
    }
  }

  SwapSide a(first);
  SwapSide b(second);
  readBothSides(a, b);
  if (!hasPlainTexts(a) || !hasPlainTexts(b)) return false;
  KeyValueFile firstFile('=');
  KeyValueFile secondFile('=');
  write(firstFile, first, b.mode, b.ipv4, b.ipv6);
  write(secondFile, second, a.mode, a.ipv4, a.ipv6);
  // Half an exchange would leave both interfaces with the same addresses: a
  // failure of the second save rolls the first back with the whole change.
  return firstFile.save(firstPath) && secondFile.save(secondPath);
}

bool moveIfcfg(OsFlavour flavour, IfcfgWriter write, int op, const std::string& first,
               const std::string& second) {
  switch (op) {
    case MOVE_ADD:
      return addIfcfg(flavour, write, first);
    case MOVE_REMOVE:
      return removeIfcfg(flavour, first);
    default:
      return swapIfcfg(flavour, write, first, second);
  }
}

/// The family's part of move, once the names have passed.
bool moveFiles(int op, const std::string& first, const std::string& second) {
  const OsFlavour flavour = getOsFlavour();
  switch (flavour) {
    case FLAVOUR_DEBIAN:
      return moveDebian(op, first, second);
    case FLAVOUR_REDHAT:
      return moveIfcfg(flavour, writeRedHatInterface, op, first, second);
    case FLAVOUR_SUSE:
      return moveIfcfg(flavour, writeSuseInterface, op, first, second);
    case FLAVOUR_NONE:
      break;
  }
  KESP_LOG(LOG_ERROR, kOperation, "Unknown OS type: " << static_cast<int>(flavour));
  return false;
}

}  // namespace

bool move(int op, const std::string& first, const std::string& second) {
  if (!isKnownOperation(op)) {
    KESP_LOG(LOG_ERROR, kOperation, "Unknown move operation: " << op);
    return false;
  }
  // The names become file names; nothing may be touched before they pass.
  if (!detail::checkInterfaceName(first, kOperation)) return false;
  if (op == MOVE_SWAP && !detail::checkInterfaceName(second, kOperation)) return false;
  if (op == MOVE_SWAP && !canSwap(first, second)) return false;

  detail::ChangeScope scope(kOperation);
  if (!scope.isOpen()) return false;
  return scope.finish(moveFiles(op, first, second));
}


}  // namespace KESP
