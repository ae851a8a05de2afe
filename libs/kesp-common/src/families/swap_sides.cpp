#include "families/swap_sides.h"

#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "files/names.h"

namespace KESP {
namespace detail {

const char* const kMoveOperation = "move";

namespace {

/// Fills side from the interface files; false (logged) when nothing was found,
/// in which case the side stands for the empty configuration.
bool readSide(SwapSide& side) {
  if (getNetwork(side.name, false, side.mode, side.ipv4, side.ipv6)) return true;
  KESP_LOG(LOG_ERROR, kMoveOperation, "Cant read interface: " << side.name);
  return false;
}

}  // namespace

void readBothSides(SwapSide& first, SwapSide& second) {
  readSide(first);
  readSide(second);
}

bool hasPlainTexts(const SwapSide& side) {
  const std::string* const texts[] = {&side.ipv4.address, &side.ipv4.netmask,
                                      &side.ipv4.gateway, &side.ipv4.broadcast,
                                      &side.ipv6.address, &side.ipv6.prefix,
                                      &side.ipv6.gateway};
  for (const std::string* text : texts) {
    for (unsigned char c : *text) {
      const bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
      if (!alnum && std::string(".:/%_-").find(static_cast<char>(c)) == std::string::npos) {
        KESP_LOG(LOG_ERROR, kMoveOperation,
                 "Cant swap: " << side.name << " holds '" << printable(*text)
                               << "', which is no address");
        return false;
      }
    }
  }
  return true;
}

}  // namespace detail
}  // namespace KESP
