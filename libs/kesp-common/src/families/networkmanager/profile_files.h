#pragma once
// An interface's profile on disk: found, edited and saved as a whole file.

#include <string>
#include <vector>

#include "families/networkmanager/profile_store.h"
#include "kesp/network_model.h"

namespace KESP {
namespace detail {

/// Where iface's profile is and where an edit of it goes.
struct ProfilePlace {
  bool found = false;      ///< a profile configures iface
  StoredProfile profile;   ///< when found
  std::string target;      ///< path (in /etc) that an edit writes
};

/// Locates iface's profile among profiles (the live MAC read only when a
/// profile is matched by MAC), or the path of a new one.
ProfilePlace placeOf(const std::vector<StoredProfile>& profiles, const std::string& iface);
/// placeOf on the profiles loaded for iface alone.
ProfilePlace placeOf(const std::string& iface);

/// False, logged under operation, when iface's profile is one NetworkManager
/// would not read (StoredProfile::refusal): an edit of it would be reported
/// and never take effect.
bool editable(const ProfilePlace& place, const std::string& iface, const char* operation);

/// Writes content to path (the system's path) with the writer, mode 0600 for
/// a new file (the owner only: the daemon ignores profiles others may read).
/// False, logged under operation, on failure.
bool saveProfile(const std::string& path, const std::string& content, const char* operation);

/// Edits (or creates) iface's profile for the mode and saves it in /etc.
bool writeInterfaceProfile(const std::string& iface, AddressMode mode, const Ipv4Settings& ipv4,
                           const Ipv6Settings& ipv6, const char* operation);

}  // namespace detail
}  // namespace KESP
