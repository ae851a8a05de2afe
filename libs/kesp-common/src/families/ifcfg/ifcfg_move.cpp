// Adding, removing and exchanging whole ifcfg files.

#include "families/ifcfg/ifcfg_move.h"

#include <cerrno>

#include "change/change_scope.h"
#include "families/swap_sides.h"
#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/move.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

namespace {

/// The interface's ifcfg file under the system root.
std::string ifcfgPath(OsFlavour flavour, const std::string& iface) {
  return sysPath(interfaceConfigPath(flavour, iface, kMoveOperation));
}

bool addIfcfg(OsFlavour flavour, IfcfgWriter write, const std::string& iface) {
  const std::string path = ifcfgPath(flavour, iface);
  KeyValueFile file('=');
  // A file that exists but cannot be read still configures the interface.
  if (file.load(path) || file.unreadable()) {
    KESP_LOG(LOG_ERROR, kMoveOperation, "Cant add: " << iface);
    return false;
  }
  write(file, iface, DHCPV4, Ipv4Settings(), Ipv6Settings());
  return file.save(path);
}

bool removeIfcfg(OsFlavour flavour, const std::string& iface) {
  const std::string path = ifcfgPath(flavour, iface);
  TextFile file;
  if (!file.load(path)) {
    KESP_LOG(LOG_ERROR, kMoveOperation, "Cant remove: " << iface);
    return false;
  }
  if (!removeFile(path)) {
    const int err = errno;
    KESP_LOG(LOG_ERROR, kMoveOperation, "Cant remove: " << iface << errnoSuffix(err));
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
      KESP_LOG(LOG_ERROR, kMoveOperation,
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

}  // namespace

bool moveIfcfg(OsFlavour flavour, IfcfgWriter write, int op, const std::string& first,
               const std::string& second) {
  if (op == MOVE_ADD) return addIfcfg(flavour, write, first);
  if (op == MOVE_REMOVE) return removeIfcfg(flavour, first);
  return swapIfcfg(flavour, write, first, second);
}

}  // namespace detail
}  // namespace KESP
