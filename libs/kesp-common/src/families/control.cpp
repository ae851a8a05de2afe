// Bringing an interface up or down with the distribution's own programs.

#include <sys/stat.h>

#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "files/names.h"
#include "files/root_path.h"

namespace KESP {

namespace {

const char* const kIfUp = "/sbin/ifup";
const char* const kIfDown = "/sbin/ifdown";
const char* const kSuseModuleLoader = "/etc/init.d/boot.loadmodules";
const char* const kDebianDhcpv6Client = "/etc/init.d/wide-dhcpv6-client";
const char* const kDhcpv6ClientProgram = "/sbin/dhcp6c";

struct Dhcpv6ClientMarker {
  OsFlavour flavour;
  const char* path;
};

const Dhcpv6ClientMarker kDhcpv6ClientMarkers[] = {
    {FLAVOUR_DEBIAN, kDebianDhcpv6Client},
    {FLAVOUR_REDHAT, kDhcpv6ClientProgram},
    {FLAVOUR_SUSE, kDhcpv6ClientProgram},
};

/// The DHCPv4 clients each family's ifup knows how to start: ifupdown tries
/// dhclient, dhcpcd, udhcpc and pump; Red Hat's scripts dhclient (dhcpcd on
/// older releases); SUSE's wicked its dhcp4 helper, older SUSE dhcpcd.
struct Dhcpv4ClientMarker {
  OsFlavour flavour;
  const char* path;
};

const Dhcpv4ClientMarker kDhcpv4ClientMarkers[] = {
    {FLAVOUR_DEBIAN, "/sbin/dhclient"},
    {FLAVOUR_DEBIAN, "/sbin/dhcpcd"},
    {FLAVOUR_DEBIAN, "/sbin/udhcpc"},
    {FLAVOUR_DEBIAN, "/sbin/pump"},
    {FLAVOUR_REDHAT, "/sbin/dhclient"},
    {FLAVOUR_REDHAT, "/sbin/dhcpcd"},
    {FLAVOUR_SUSE, "/usr/lib/wicked/bin/wickedd-dhcp4"},
    {FLAVOUR_SUSE, "/usr/libexec/wicked/bin/wickedd-dhcp4"},
    {FLAVOUR_SUSE, "/sbin/dhcpcd"},
    {FLAVOUR_SUSE, "/sbin/dhclient"},
};

bool isPresent(const char* path) {
  struct stat info;
  return stat(sysPath(path).c_str(), &info) == 0;
}

/// Runs the program under the system root with one argument. Only a failure
/// to create the process counts: the programs report through their own logs.
bool runStep(const char* program, const std::string& argument) {
  const std::string path = sysPath(program);
  const char* const argv[] = {path.c_str(), argument.c_str(), nullptr};
  if (run_program(argv) < 0) {
    KESP_LOG(LOG_ERROR, "controlInterface", "can't run " << program << " command");
    return false;
  }
  return true;
}

}  // namespace

bool controlInterface(const std::string& iface, bool up, AddressMode mode) {
  if (!detail::checkInterfaceName(iface, "controlInterface")) return false;
  const OsFlavour flavour = getOsFlavour();

  // The IPv6 module list may just have changed; load it before ifup needs it.
  if (flavour == FLAVOUR_SUSE && up && (mode & IPV6_MODES) && isPresent(kSuseModuleLoader) &&
      !runStep(kSuseModuleLoader, "restart"))
    return false;

  if (!runStep(up ? kIfUp : kIfDown, iface)) return false;

  // The DHCPv6 client reads its interface list when it starts, so it follows
  // every ifup and ifdown, whatever the mode.
  if (flavour == FLAVOUR_DEBIAN && isPresent(kDebianDhcpv6Client) &&
      !runStep(kDebianDhcpv6Client, up ? "start" : "stop"))
    return false;
  return true;
}

bool hasDhcpv6Client() {
  const OsFlavour flavour = getOsFlavour();
  for (const Dhcpv6ClientMarker& marker : kDhcpv6ClientMarkers) {
    if (marker.flavour == flavour) return isPresent(marker.path);
  }
  return false;
}

bool hasDhcpv4Client() {
  const OsFlavour flavour = getOsFlavour();
  for (const Dhcpv4ClientMarker& marker : kDhcpv4ClientMarkers) {
    struct stat info;
    // Inside the root: /sbin is often a link to usr/sbin, absolute in an image.
    if (marker.flavour == flavour && detail::statInRoot(sysPath(marker.path), info) &&
        S_ISREG(info.st_mode))
      return true;
  }
  return false;
}

}  // namespace KESP
