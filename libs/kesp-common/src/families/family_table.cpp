// The families the library knows, in the order detection tries them, and the
// public calls that only pick the family and hand over to it.

#include <sys/stat.h>

#include "families/family.h"
#include "files/names.h"
#include "files/root_path.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

const Family& netplanFamily();
const Family& networkManagerFamily();
const Family& networkdFamily();
const Family& debianFamily();
const Family& redHatFamily();
const Family& suseFamily();

namespace {

// Detection order: netplan's YAML is read before anything it renders for; a
// system with NetworkManager's profiles is configured through them (the family
// hands interfaces that only older files configure to those files' family); a
// system that has both /etc/network and the sysconfig tree is configured
// through /etc/network.
const Family* const* families() {
  static const Family* const kFamilies[] = {
      &netplanFamily(), &networkManagerFamily(), &networkdFamily(), &debianFamily(),
      &redHatFamily(),  &suseFamily(),           nullptr,
  };
  return kFamilies;
}

}  // namespace

bool Family::isPresent() const {
  struct stat info;
  return statInRoot(sysPath(marker()), info) && S_ISDIR(info.st_mode);
}

std::string Family::refusal(const ChangeRequest&) const { return std::string(); }

std::string Family::nameServerInterface(bool, const char*) const { return std::string(); }

bool Family::writeInterfaceNameServers(const std::string&, const std::vector<std::string>&,
                                       const char*) const {
  return true;
}

bool Family::readInterfaceNameServers(std::vector<std::string>& servers, std::string& source) const {
  servers.clear();
  source.clear();
  return true;
}

bool Family::applyInterfaceNameServers(const std::string&, const char*) const { return true; }

const Family* familyOf(OsFlavour flavour) {
  for (const Family* const* family = families(); *family; ++family) {
    if ((*family)->flavour() == flavour) return *family;
  }
  return nullptr;
}

namespace {

// What an OsFlavourHold remembers, per thread; the root is part of the
// answer, since a caller that runs the tool in process changes it between
// commands.
struct HeldDetection {
  int holds = 0;
  bool known = false;
  std::string root;
  const Family* family = nullptr;
};

HeldDetection& heldDetection() {
  static thread_local HeldDetection held;
  return held;
}

}  // namespace

const Family* detectFamily() {
  HeldDetection& held = heldDetection();
  if (held.holds > 0 && held.known && held.root == systemRoot()) return held.family;
  const Family* found = nullptr;
  for (const Family* const* family = families(); *family && !found; ++family) {
    if ((*family)->isPresent()) found = *family;
  }
  if (held.holds > 0) {
    held.known = true;
    held.root = systemRoot();
    held.family = found;
  }
  return found;
}

}  // namespace detail

OsFlavourHold::OsFlavourHold(bool changesNothing) : keepsListings_(changesNothing) {
  ++detail::heldDetection().holds;
  detail::holdRootDirectory(true);
  if (keepsListings_) detail::keepListings(true);
}

OsFlavourHold::~OsFlavourHold() {
  if (keepsListings_) detail::keepListings(false);
  detail::holdRootDirectory(false);
  detail::HeldDetection& held = detail::heldDetection();
  if (--held.holds == 0) held.known = false;
}

OsFlavour getOsFlavour() {
  const detail::Family* family = detail::detectFamily();
  return family ? family->flavour() : FLAVOUR_NONE;
}

std::vector<std::string> osFlavourMarkers() {
  std::vector<std::string> paths;
  for (const detail::Family* const* family = detail::families(); *family; ++family)
    paths.push_back((*family)->marker());
  return paths;
}

std::vector<std::string> osFlavourTitles() {
  std::vector<std::string> titles;
  for (const detail::Family* const* family = detail::families(); *family; ++family)
    titles.push_back((*family)->title());
  return titles;
}

std::string osFlavourName(OsFlavour flavour) {
  const detail::Family* family = detail::familyOf(flavour);
  return family ? family->name() : "";
}

std::string osFlavourTitle(OsFlavour flavour) {
  const detail::Family* family = detail::familyOf(flavour);
  return family ? family->title() : "";
}

std::string interfaceConfigPath(OsFlavour flavour, const std::string& iface,
                                const char* operation) {
  if (!detail::checkInterfaceName(iface, operation)) return std::string();
  const detail::Family* family = detail::familyOf(flavour);
  return family ? family->configPath(iface, operation) : std::string();
}

}  // namespace KESP
