// Rewriting a family's files for a change request, through the family: the
// interface file and the files that must agree with it. Used by the
// transaction and, on offline images, by tools.

#include "change/change_request.h"
#include "change/change_scope.h"
#include "families/family.h"
#include "kesp/log.h"
#include "kesp/network_change.h"

namespace KESP {

namespace detail {

std::vector<std::string> changeFilePaths(OsFlavour flavour, const std::string& iface,
                                         const char* operation) {
  if (const Family* family = familyOf(flavour)) return family->changeFilePaths(iface, operation);
  KESP_LOG(LOG_ERROR, operation, "Unknown OS type: " << static_cast<int>(flavour));
  return {};
}

bool rewriteFamilyFiles(OsFlavour flavour, const ChangeRequest& request, const Ipv4Settings& ipv4,
                        const Ipv6Settings& ipv6, const char* operation) {
  const Family* family = familyOf(flavour);
  return family && family->rewrite(request, ipv4, ipv6, operation);
}

}  // namespace detail

bool writeNetworkFiles(const std::string& iface, AddressMode mode, const std::string& ipv4Address,
                       const std::string& ipv4Netmask, const std::string& ipv4Gateway,
                       const std::string& ipv6Address, const std::string& ipv6Prefix,
                       const std::string& ipv6Gateway) {
  const char* const operation = "writeNetworkFiles";
  const detail::ChangeRequest request{iface,       mode,        ipv4Address, ipv4Netmask,
                                      ipv4Gateway, ipv6Address, ipv6Prefix,  ipv6Gateway};
  if (!detail::checkChangeRequest(request, operation)) return false;
  const OsFlavour flavour = getOsFlavour();
  if (!detail::isSupportedRequest(flavour, request, operation)) return false;
  if (detail::changeFilePaths(flavour, iface, operation).empty()) return false;
  detail::ChangeScope scope(operation);
  if (!scope.isOpen()) return false;
  if (!detail::rewriteFamilyFiles(flavour, request, request.ipv4Settings(), request.ipv6Settings(),
                                  operation)) {
    KESP_LOG(LOG_ERROR, operation, "failed to update network interface files");
    return scope.finish(false);
  }
  return scope.finish(true);
}

}  // namespace KESP
