// Which distribution family the system belongs to, where its interface files
// live, and the quoting rule shared by the ifcfg formats.

#include <sys/stat.h>
#include <unistd.h>

#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "families/debian/debian_tree.h"
#include "families/ifcfg/ifcfg_files.h"
#include "files/names.h"
#include "files/root_path.h"

namespace KESP {

const std::string DEBIAN_INTERFACES_FILE = "/etc/network/interfaces";
const std::string REDHAT_SCRIPTS_DIR = "/etc/sysconfig/network-scripts";
const std::string SUSE_NETWORK_DIR = "/etc/sysconfig/network";
const std::string SUSE_ROUTES_FILE = "/etc/sysconfig/network/routes";

namespace {

struct FlavourMarker {
  const char* directory;
  OsFlavour flavour;
};

// Checked in this order: a system that has both /etc/network and the
// sysconfig tree is configured through /etc/network.
const FlavourMarker kFlavourMarkers[] = {
    {"/etc/network", FLAVOUR_DEBIAN},
    {"/etc/sysconfig/network-scripts", FLAVOUR_REDHAT},
    {"/etc/sysconfig/network", FLAVOUR_SUSE},
};

bool isDirectory(const std::string& path) {
  struct stat info;
  return detail::statInRoot(path, info) && S_ISDIR(info.st_mode);
}

/// Text between value's first character `quote` and its last one; false when
/// value does not start with quote or has no second one.
bool stripQuotes(const std::string& value, char quote, std::string& inner) {
  if (value.empty() || value[0] != quote) return false;
  std::string::size_type closing = value.rfind(quote);
  if (closing == 0) return false;
  inner = value.substr(1, closing - 1);
  return true;
}

}  // namespace

OsFlavour getOsFlavour() {
  for (const FlavourMarker& marker : kFlavourMarkers) {
    if (isDirectory(sysPath(marker.directory))) return marker.flavour;
  }
  return FLAVOUR_NONE;
}

std::vector<std::string> osFlavourMarkers() {
  std::vector<std::string> paths;
  for (const FlavourMarker& marker : kFlavourMarkers) paths.push_back(marker.directory);
  return paths;
}

bool getUnquotedValue(KeyValueFile& file, const std::string& key, std::string& value) {
  std::string raw;
  if (!file.get(key, raw)) return false;
  std::string inner;
  if (stripQuotes(raw, '\'', inner) || stripQuotes(raw, '"', inner))
    value = inner;
  else
    value = raw;
  return true;
}

std::string interfaceConfigPath(OsFlavour flavour, const std::string& iface,
                                const char* operation) {
  if (!detail::checkInterfaceName(iface, operation)) return std::string();
  switch (flavour) {
    case FLAVOUR_DEBIAN: {
      // The file that defines the interface, which may be a sourced one.
      detail::DebianTree tree;
      if (!detail::loadDebianTree(tree, operation)) return DEBIAN_INTERFACES_FILE;
      return tree.files[detail::DebianTreeEdit(tree).ownerOf(iface)].path;
    }
    case FLAVOUR_REDHAT:
      return detail::redHatFileOf(iface);
    case FLAVOUR_SUSE:
      return SUSE_NETWORK_DIR + "/ifcfg-" + iface;
    case FLAVOUR_NONE:
      break;
  }
  return std::string();
}

}  // namespace KESP
