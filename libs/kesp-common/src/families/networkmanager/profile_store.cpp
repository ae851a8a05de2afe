// Finding profiles and picking an interface's (see profile_store.h).

#include "families/networkmanager/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/directory_reader.h"
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

// Editor leftovers and package-manager copies configure nothing.
bool isIgnoredName(std::string_view name) {
  static const char* const kSuffixes[] = {"~",        ".swp",    ".tmp",     ".bak",
                                          ".orig",    ".rej",    ".rpmnew",  ".rpmsave",
                                          ".rpmorig", ".nmmeta", ".dpkg-old", ".dpkg-new",
                                          ".dpkg-dist", ".dpkg-tmp"};
  if (name.empty() || name[0] == '.') return true;
  for (const char* suffix : kSuffixes)
    if (endsWith(name, suffix)) return true;
  return false;
}

bool isProfileName(std::string_view name, bool extensionOnly) {
  if (name.empty() || name[0] == '.') return false;
  // The usual name: no leftover's suffix ends as the extension does.
  if (endsWith(name, kExtension)) return true;
  return !extensionOnly && !isIgnoredName(name);
}

/// The profile files of an open directory, sorted by name: views into the
/// listing (the kept one, else `own`) with their d_types. The read-only
/// directories count only those with the profile extension.
struct ProfileNames {
  DirectoryListing own;
  std::vector<std::pair<std::string_view, unsigned char>> entries;
  bool has(std::string_view name) const {
    auto at = std::lower_bound(entries.begin(), entries.end(), name,
                               [](const auto& entry, std::string_view n) { return entry.first < n; });
    return at != entries.end() && at->first == name;
  }
};

void listProfileNames(int directory, const std::string& path, bool extensionOnly,
                      ProfileNames& listed) {
  const DirectoryListing* listing = listDirectoryOnce(directory, path, listed.own);
  if (!listing) return;
  listed.entries.reserve(listing->names.size());
  for (size_t i = 0; i < listing->names.size(); ++i)
    if (isProfileName(listing->names[i], extensionOnly))
      listed.entries.emplace_back(listing->names[i], listing->types[i]);
  std::sort(listed.entries.begin(), listed.entries.end());
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

bool isEthernetType(std::string_view type) { return type == "ethernet" || type == "802-3-ethernet"; }

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

std::vector<StoredProfile> loadProfiles(const std::string* onlyFor,
                                        std::vector<std::string>* unread) {
  std::vector<StoredProfile> profiles;
  const std::pair<const char*, bool> directories[] = {
      {kProfileDirectory, false}, {kReadOnlyDirectories[0], true}, {kReadOnlyDirectories[1], true}};
  constexpr size_t kDirectories = sizeof directories / sizeof directories[0];
  // Each opened once: each profile is then opened by its name in it.
  std::string inRoot[kDirectories];
  Descriptor opened[kDirectories];
  for (size_t i = 0; i < kDirectories; ++i) {
    inRoot[i] = sysPath(directories[i].first);
    opened[i].reset(openInRoot(inRoot[i], O_RDONLY | O_DIRECTORY));
  }
  // A name in an earlier directory hides the same name in a later one.
  ProfileNames listed[kDirectories];
  auto hidden = [&listed](size_t directory, std::string_view name) {
    for (size_t earlier = 0; earlier < directory; ++earlier)
      if (listed[earlier].has(name)) return true;
    return false;
  };
  const uid_t owner = imageOwner();
  for (size_t i = 0; i < kDirectories; ++i) {
    if (opened[i].get() < 0) continue;
    listProfileNames(opened[i].get(), inRoot[i], directories[i].second, listed[i]);
    profiles.reserve(profiles.size() + listed[i].entries.size());
    DirectoryReader reader(opened[i].get(), inRoot[i], kMaxKeyFileSize);
    for (const auto& entry : listed[i].entries) {
      if (hidden(i, entry.first)) continue;
      std::string name(entry.first);
      std::string text;
      // One that cannot be read is named by the reader, like any file that
      // cannot be read: it is still there (a new profile must not take its
      // name).
      const ReadResult read = reader.read(name, entry.second, text);
      if (read == ReadResult::NotRead && unread) unread->push_back(inRoot[i] + "/" + name);
      if (read != ReadResult::Read) continue;
      profiles.emplace_back();
      StoredProfile& profile = profiles.back();
      profile.directory = directories[i].first;
      profile.fileName = std::move(name);
      profile.readOnly = directories[i].second;
      const size_t readSize = text.size();
      profile.refusal = keyFileProblem(text);
      if (!profile.refusal.empty())
        noteRefused(inRoot[i] + "/" + profile.fileName,
                    "NetworkManager would not read it: " + profile.refusal);
      profile.content = KeyFile(std::move(text));
      noteChoiceKeys(profile);
      // Owner and mode are asked only of the profiles the choice looks at:
      // on a directory of many small files the status of each is a good part
      // of the cost of the command.
      profile.statusAsked = !onlyFor || couldBe(profile, *onlyFor);
      if (!profile.statusAsked) continue;
      struct stat info;
      const DirectoryReader::Status status = reader.status(info, readSize, text);
      if (status == DirectoryReader::Status::Failed) {
        if (unread) unread->push_back(inRoot[i] + "/" + profile.fileName);
        profiles.pop_back();
        continue;
      }
      if (status == DirectoryReader::Status::ReadAgain) {
        profile.refusal = keyFileProblem(text);
        profile.content = KeyFile(std::move(text));
        noteChoiceKeys(profile);
      }
      profile.insecure = isInsecureProfile(info.st_uid, info.st_mode, owner);
    }
  }
  return profiles;
}

bool anyProfileFile(bool& writableDirectory) {
  // Stops at the first profile name.
  auto any = [](const char* directory, bool extensionOnly, bool* listed) {
    const std::string path = sysPath(directory);
    Descriptor opened(openInRoot(path, O_RDONLY | O_DIRECTORY));
    bool found = false;
    const bool read = opened.get() >= 0 &&
                      forEachListedEntry(opened.get(), path, [&](const char* name, unsigned char) {
                        found = isProfileName(name, extensionOnly);
                        return !found;
                      });
    if (listed) *listed = read;
    return found;
  };
  // Without the directory in /etc the family is absent whatever the others hold.
  if (any(kProfileDirectory, false, &writableDirectory)) return true;
  if (!writableDirectory) return false;
  for (const char* directory : kReadOnlyDirectories)
    if (any(directory, true, nullptr)) return true;
  return false;
}

bool isInsecureProfile(uid_t owner, mode_t mode, uid_t imageOwner) {
  return (owner != 0 && owner != imageOwner) || (mode & 077) != 0;
}

bool isEthernetProfile(const KeyFile& profile) {
  std::string type;
  if (!profile.get("connection", "type", type)) return profile.hasGroup("ethernet");
  return isEthernetType(type);
}

void noteChoiceKeys(StoredProfile& profile) {
  // One pass over the text: every profile of the system is looked at, and
  // the last of a repeated key counts, as for get().
  std::string_view type;
  std::string_view mac;
  bool typed = false;
  bool ethernetGroup = false;
  bool hasMac = false;
  profile.named = false;
  profile.content.forEachKey([&](std::string_view group, std::string_view key,
                                 std::string_view value) {
    if (group == "connection") {
      if (key == "type") {
        type = value;
        typed = true;
      } else if (key == "interface-name") {
        profile.interfaceName.assign(value.data(), value.size());
        profile.named = true;
      }
    } else if (sameGroup(group, "ethernet")) {
      ethernetGroup = true;
      if (key == "mac-address") {
        mac = value;
        hasMac = true;
      }
    }
  });
  profile.ethernet = typed ? isEthernetType(type) : ethernetGroup;
  if (hasMac) profile.mac = lowerMac(std::string(mac));
}

bool couldBe(const StoredProfile& profile, const std::string& iface) {
  if (!profile.ethernet) return false;
  return profile.named ? profile.interfaceName == iface : !profile.mac.empty();
}

bool ignoredByDaemon(const StoredProfile& profile) {
  if (profile.statusAsked) return profile.insecure;
  // Loaded for another interface: asked now, through the whole path.
  struct stat info;
  return !statInRoot(sysPath(profile.path()), info) ||
         isInsecureProfile(info.st_uid, info.st_mode, imageOwner());
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
    if (profileMatches(profile, iface, liveMac) && !ignoredByDaemon(profile) &&
        (chosen < 0 || preferred(profile.content, profiles[chosen].content)))
      chosen = static_cast<int>(i);
  }
  return chosen;
}

std::vector<std::string> profileInterfaces(const std::vector<StoredProfile>& profiles) {
  std::vector<std::string> names;
  std::vector<std::string> macs;
  for (const StoredProfile& profile : profiles) {
    if (!profile.ethernet || ignoredByDaemon(profile)) continue;
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
  return profile.readOnly ? std::string(kProfileDirectory) + "/" + profile.fileName : profile.path();
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
