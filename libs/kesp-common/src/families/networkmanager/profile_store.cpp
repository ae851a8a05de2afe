// Finding profiles and picking an interface's (see profile_store.h).

#include "families/networkmanager/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "files/file_write.h"
#include "files/names.h"
#include "files/root_path.h"
#include "files/scoped_fd.h"
#include "kesp/discovery.h"
#include "kesp/sysroot.h"

namespace KESP {
namespace detail {

const char* const kProfileDirectory = "/etc/NetworkManager/system-connections";

namespace {

const char* const kReadOnlyDirectories[] = {"/run/NetworkManager/system-connections",
                                            "/usr/lib/NetworkManager/system-connections"};
const char kExtension[] = ".nmconnection";

bool endsWith(const std::string& text, const char* ending) {
  const size_t length = std::strlen(ending);
  return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

// Editor leftovers and package-manager copies configure nothing.
bool isIgnoredName(const std::string& name) {
  static const char* const kSuffixes[] = {"~",        ".swp",    ".tmp",     ".bak",
                                          ".orig",    ".rej",    ".rpmnew",  ".rpmsave",
                                          ".rpmorig", ".nmmeta", ".dpkg-old", ".dpkg-new",
                                          ".dpkg-dist", ".dpkg-tmp"};
  if (name.empty() || name[0] == '.') return true;
  for (const char* suffix : kSuffixes)
    if (endsWith(name, suffix)) return true;
  return false;
}

bool isProfileName(const std::string& name, bool extensionOnly) {
  if (name.empty() || name[0] == '.') return false;
  // The usual name: no leftover's suffix ends as the extension does.
  if (endsWith(name, kExtension)) return true;
  return !extensionOnly && !isIgnoredName(name);
}

/// The profile file names of an open directory, sorted; the read-only
/// directories count only those with the profile extension.
std::vector<std::string> profileNames(int directory, bool extensionOnly) {
  std::vector<std::string> names;
  if (!listOpenDirectory(directory, names)) return {};
  names.erase(std::remove_if(names.begin(), names.end(),
                             [&](const std::string& name) {
                               return !isProfileName(name, extensionOnly);
                             }),
              names.end());
  std::sort(names.begin(), names.end());
  return names;
}

/// Who owns the image: the owner of the system root's directory, 0 without a
/// root.
uid_t imageOwner() {
  struct stat info;
  if (systemRoot().empty() || stat(systemRoot().c_str(), &info) != 0) return 0;
  return info.st_uid;
}

std::string lowerMac(std::string mac) {
  for (char& c : mac) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c == '-') c = ':';
  }
  return mac;
}

long long numberOf(const KeyFile& profile, const char* key) {
  std::string value;
  return profile.get("connection", key, value) ? std::atoll(value.c_str()) : 0;
}

bool connectsAutomatically(const KeyFile& profile) {
  std::string value;
  return !profile.get("connection", "autoconnect", value) ||
         !(value == "false" || value == "0" || value == "no");
}

/// True when a beats b as the profile NetworkManager activates.
bool preferred(const KeyFile& a, const KeyFile& b) {
  if (connectsAutomatically(a) != connectsAutomatically(b)) return connectsAutomatically(a);
  const long long pa = numberOf(a, "autoconnect-priority");
  const long long pb = numberOf(b, "autoconnect-priority");
  if (pa != pb) return pa > pb;
  return numberOf(a, "timestamp") > numberOf(b, "timestamp");
}

}  // namespace

std::vector<StoredProfile> loadProfiles(std::vector<std::string>* unreadable) {
  std::vector<StoredProfile> profiles;
  // The names of the directories already read, each list sorted.
  std::vector<std::vector<std::string>> earlier;
  auto hidden = [&earlier](const std::string& name) {
    for (const std::vector<std::string>& names : earlier)
      if (std::binary_search(names.begin(), names.end(), name)) return true;
    return false;
  };
  const uid_t owner = imageOwner();
  const std::pair<const char*, bool> directories[] = {
      {kProfileDirectory, false}, {kReadOnlyDirectories[0], true}, {kReadOnlyDirectories[1], true}};
  for (const auto& directory : directories) {
    // Opened once: each profile is then opened by its name in it.
    const std::string inRoot = sysPath(directory.first);
    Descriptor opened(openInRoot(inRoot, O_RDONLY | O_DIRECTORY));
    if (opened.get() < 0) continue;
    std::vector<std::string> names = profileNames(opened.get(), directory.second);
    profiles.reserve(profiles.size() + names.size());
    for (const std::string& name : names) {
      if (hidden(name)) continue;
      StoredProfile profile;
      profile.path.reserve(std::strlen(directory.first) + 1 + name.size());
      profile.path.append(directory.first).append(1, '/').append(name);
      profile.fileName = name;
      profile.readOnly = directory.second;
      std::string text;
      struct stat info;
      if (readFileInDirectory(opened.get(), inRoot, name, text, &info) != ReadResult::Read ||
          text.size() > kMaxKeyFileSize) {
        if (unreadable) unreadable->push_back(profile.path);
        continue;
      }
      profile.insecure = isInsecureProfile(info.st_uid, info.st_mode, owner);
      profile.content = KeyFile(std::move(text));
      noteChoiceKeys(profile);
      profiles.push_back(std::move(profile));
    }
    earlier.push_back(std::move(names));
  }
  return profiles;
}

bool anyProfileFile(bool& writableDirectory) {
  std::vector<std::string> names;
  auto any = [&names](bool extensionOnly) {
    return std::any_of(names.begin(), names.end(), [extensionOnly](const std::string& name) {
      return isProfileName(name, extensionOnly);
    });
  };
  writableDirectory = listDirectoryInRoot(sysPath(kProfileDirectory), names);
  // Without it the family is absent whatever the others hold.
  if (!writableDirectory) return false;
  if (any(false)) return true;
  for (const char* directory : kReadOnlyDirectories)
    if (listDirectoryInRoot(sysPath(directory), names) && any(true)) return true;
  return false;
}

bool isInsecureProfile(uid_t owner, mode_t mode, uid_t imageOwner) {
  return (owner != 0 && owner != imageOwner) || (mode & 077) != 0;
}

bool isEthernetProfile(const KeyFile& profile) {
  std::string type;
  if (!profile.get("connection", "type", type)) return profile.hasGroup("ethernet");
  return type == "ethernet" || type == "802-3-ethernet";
}

void noteChoiceKeys(StoredProfile& profile) {
  profile.ethernet = isEthernetProfile(profile.content);
  profile.named = profile.content.get("connection", "interface-name", profile.interfaceName);
  if (profile.content.get("ethernet", "mac-address", profile.mac)) profile.mac = lowerMac(profile.mac);
}

bool profileMatches(const StoredProfile& profile, const std::string& iface,
                    const std::string& liveMac) {
  if (!profile.ethernet) return false;
  if (profile.named) return profile.interfaceName == iface;
  return !liveMac.empty() && profile.mac == lowerMac(liveMac);
}

int selectProfile(const std::vector<StoredProfile>& profiles, const std::string& iface,
                  const std::string& liveMac) {
  int chosen = -1;
  for (size_t i = 0; i < profiles.size(); ++i) {
    const StoredProfile& profile = profiles[i];
    if (!profile.insecure && profileMatches(profile, iface, liveMac) &&
        (chosen < 0 || preferred(profile.content, profiles[chosen].content)))
      chosen = static_cast<int>(i);
  }
  return chosen;
}

std::vector<std::string> profileInterfaces(const std::vector<StoredProfile>& profiles) {
  std::vector<std::string> names;
  std::vector<std::string> macs;
  for (const StoredProfile& profile : profiles) {
    if (!profile.ethernet || profile.insecure) continue;
    if (profile.named) {
      if (isValidInterfaceName(profile.interfaceName)) names.push_back(profile.interfaceName);
    } else if (!profile.mac.empty()) {
      macs.push_back(profile.mac);
    }
  }
  if (!macs.empty()) {
    LiveAddressSnapshot live;
    live.read();
    for (const std::string& link : live.ethernetLinks()) {
      LinkState state;
      if (live.linkState(link, state) &&
          std::find(macs.begin(), macs.end(), lowerMac(state.mac)) != macs.end())
        names.push_back(link);
    }
  }
  return names;
}

std::string liveMacOf(const std::string& iface) {
  LiveAddressSnapshot live;
  LinkState state;
  if (!live.read() || !live.linkState(iface, state)) return std::string();
  return state.mac;
}

std::string writablePath(const StoredProfile& profile) {
  return profile.readOnly ? std::string(kProfileDirectory) + "/" + profile.fileName : profile.path;
}

std::string newProfilePath(const std::vector<StoredProfile>& profiles, const std::string& iface) {
  for (int n = 1;; ++n) {
    const std::string name = iface + (n == 1 ? "" : "-" + std::to_string(n)) + kExtension;
    bool taken = false;
    for (const StoredProfile& profile : profiles) taken = taken || profile.fileName == name;
    if (!taken) return std::string(kProfileDirectory) + "/" + name;
  }
}

}  // namespace detail
}  // namespace KESP
