// Adding, deleting and exchanging whole interface configurations: the checks
// every family shares, then the running family's own part, as one change.

#include "kesp/move.h"

#include "change/change_scope.h"
#include "families/family.h"
#include "files/names.h"
#include "kesp/log.h"

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
  const detail::Family* family = detail::detectFamily();
  if (!family) KESP_LOG(LOG_ERROR, kOperation, "Unknown OS type: " << FLAVOUR_NONE);
  return scope.finish(family && family->move(op, first, second));
}

}  // namespace KESP
