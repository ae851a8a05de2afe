// Adding, removing and exchanging whole interface configurations in the
// interfaces file and what it sources.

#include "families/debian/debian_family.h"
#include "families/swap_sides.h"
#include "kesp/log.h"
#include "kesp/move.h"

namespace KESP {
namespace detail {

namespace {

bool addDebian(const DebianTree& tree, DebianTreeEdit& edit, const std::string& iface) {
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  // Adding over an existing stanza would silently throw its settings away.
  if (readDebianTreeInterface(tree, iface, mode, ipv4, ipv6)) {
    KESP_LOG(LOG_ERROR, kMoveOperation, "Cant add: " << iface);
    return false;
  }
  return edit.write(iface, DHCPV4, Ipv4Settings(), Ipv6Settings()) && edit.save();
}

bool removeDebian(DebianTreeEdit& edit, const std::string& iface) {
  edit.write(iface, 0, Ipv4Settings(), Ipv6Settings());
  if (!edit.changed()) {
    KESP_LOG(LOG_ERROR, kMoveOperation, "Cant remove: " << iface);
    return false;
  }
  return edit.save();
}

bool swapDebian(DebianTreeEdit& edit, const std::string& first, const std::string& second) {
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

}  // namespace

bool moveDebian(int op, const std::string& first, const std::string& second) {
  DebianTree tree;
  if (!loadDebianTree(tree, kMoveOperation)) {
    KESP_LOG(LOG_ERROR, kMoveOperation, "Cant read " << DEBIAN_INTERFACES_FILE);
    return false;
  }
  DebianTreeEdit edit(tree);
  if (op == MOVE_ADD) return addDebian(tree, edit, first);
  if (op == MOVE_REMOVE) return removeDebian(edit, first);
  return swapDebian(edit, first, second);
}

}  // namespace detail
}  // namespace KESP
