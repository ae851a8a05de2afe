// An interface's profile on disk (see profile_files.h).

#include "families/networkmanager/profile_files.h"

#include "families/networkmanager/profile_settings.h"
#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"

namespace KESP {
namespace detail {

namespace {

bool needsMac(const std::vector<StoredProfile>& profiles) {
  for (const StoredProfile& profile : profiles)
    if (profile.ethernet && !profile.named && !profile.mac.empty()) return true;
  return false;
}

/// Says why a profile that would be iface's is not: the daemon ignores it.
void warnIgnored(const std::vector<StoredProfile>& profiles, const std::string& iface,
                 const std::string& liveMac) {
  for (const StoredProfile& profile : profiles)
    if (profileMatches(profile, iface, liveMac) && ignoredByDaemon(profile))
      KESP_LOG(LOG_WARN, "profile",
               "ignoring " << profile.path() << " for " << iface
                           << ": NetworkManager reads only profiles that root owns and no "
                              "one else may read or change (chown root, chmod 600)");
}

}  // namespace

ProfilePlace placeOf(const std::vector<StoredProfile>& profiles, const std::string& iface) {
  ProfilePlace place;
  const std::string mac = needsMac(profiles) ? liveMacOf(iface) : "";
  warnIgnored(profiles, iface, mac);
  const int index = selectProfile(profiles, iface, mac);
  if (index >= 0) {
    place.found = true;
    place.profile = profiles[index];
    place.target = writablePath(place.profile);
  } else {
    place.target = newProfilePath(profiles, iface);
  }
  return place;
}

ProfilePlace placeOf(const std::string& iface) { return placeOf(loadProfiles(&iface), iface); }

bool editable(const ProfilePlace& place, const std::string& iface, const char* operation) {
  if (!place.found || place.profile.refusal.empty()) return true;
  KESP_LOG(LOG_ERROR, operation,
           "Cant change " << iface << ": NetworkManager would not read its profile "
                          << sysPath(place.profile.path()) << " (" << place.profile.refusal
                          << "); it is left as it is");
  return false;
}

bool saveProfile(const std::string& path, const std::string& content, const char* operation) {
  std::string error;
  if (replaceFile(sysPath(path), content, &error, 0600)) return true;
  KESP_LOG(LOG_ERROR, operation, "Failed to write file " << sysPath(path) << " (" << error << ")");
  return false;
}

bool writeInterfaceProfile(const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
                           const Ipv6Settings& ipv6, const char* operation) {
  std::vector<std::string> unread;
  const ProfilePlace place = placeOf(loadProfiles(&iface, &unread), iface);
  if (!editable(place, iface, operation)) return false;
  KeyFile content = place.profile.content;
  if (!place.found) {
    // A second profile beside one the daemon may well read would compete with it.
    if (!unread.empty()) {
      KESP_LOG(LOG_ERROR, operation,
               "Cant change " << iface << ": " << terminalSafe(unread.front())
                              << " cannot be read, and it may be the profile of " << iface);
      return false;
    }
    const std::string uuid = freshUuid();
    if (uuid.empty()) {
      KESP_LOG(LOG_ERROR, operation, "no random UUID for a new profile of " << iface);
      return false;
    }
    content = newEthernetProfile(iface, uuid);
  }
  writeProfileSettings(content, iface, mode, ipv4, ipv6, operation);
  return saveProfile(place.target, content.text(), operation);
}

}  // namespace detail
}  // namespace KESP
