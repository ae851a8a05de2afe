// NetworkManager profiles: any text read as a key file, a change written
// into it, and read back.
//
// Properties: the text of an unedited file is the input (a final newline
// added); the one-pass look at the keys that choose a profile agrees with
// the lookups of each key; an edit keeps every line of a key it does not own, in order; the
// written mode reads back as written, its main addresses and gateways too;
// writing the same request again changes nothing.

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "families/networkmanager/key_file.h"
#include "families/networkmanager/profile_settings.h"
#include "families/networkmanager/profile_store.h"
#include "fuzz_requests.h"
#include "fuzz_support.h"

using namespace KESP;
using namespace KESP::detail;

namespace {

bool isOwned(const std::string& group, const std::string& key) {
  if (group != "ipv4" && group != "ipv6") return false;
  return key == "method" || key == "gateway" || key == "dns" || key == "dns-search" ||
         key.compare(0, 7, "address") == 0;
}

/// The key lines an edit must keep: every one outside the owned keys.
std::vector<std::string> keptEntries(const KeyFile& file) {
  std::vector<std::string> kept;
  for (const char* group : {"connection", "ethernet", "ipv4", "ipv6", "proxy", "user"})
    for (const auto& entry : file.entries(group))
      if (!isOwned(group, entry.first))
        kept.push_back(std::string(group) + " " + entry.first + "=" + entry.second);
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kesp_fuzz::silenceLog();
  FuzzedDataProvider input(data, size);
  const AddressMode mode = input.PickValueInArray(kesp_fuzz::kAllModes);
  const kesp_fuzz::Settings settings = kesp_fuzz::settingsAt(input.ConsumeIntegral<unsigned>());
  const std::string text = input.ConsumeRemainingBytesAsString();
  KeyFile file(text);
  const std::string expected = text.empty() || text.back() == '\n' ? text : text + "\n";
  KESP_FUZZ_CHECK(file.text() == expected);

  StoredProfile stored;
  stored.content = file;
  noteChoiceKeys(stored);
  std::string name;
  std::string mac;
  KESP_FUZZ_CHECK(stored.ethernet == isEthernetProfile(file));
  KESP_FUZZ_CHECK(stored.named == file.get("connection", "interface-name", name));
  KESP_FUZZ_CHECK(!stored.named || stored.interfaceName == name);
  const bool hasMac = file.get("ethernet", "mac-address", mac);
  KESP_FUZZ_CHECK(stored.mac.size() == (hasMac ? mac.size() : 0));  // lower-cased, same length

  const std::vector<std::string> kept = keptEntries(file);
  writeProfileSettings(file, "eth0", mode, settings.ipv4, settings.ipv6, "fuzz");
  KESP_FUZZ_CHECK(keptEntries(file) == kept);

  AddressMode readMode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;
  std::vector<std::string> further;
  readProfileSettings(KeyFile(file.text()), readMode, ipv4, ipv6, further);
  KESP_FUZZ_CHECK(readMode == mode);
  KESP_FUZZ_CHECK(further.empty());
  if (mode & STATICV4) {
    KESP_FUZZ_CHECK(ipv4.address == settings.ipv4.address);
    KESP_FUZZ_CHECK(ipv4.gateway == settings.ipv4.gateway);
  }
  if (mode & STATICV6) KESP_FUZZ_CHECK(ipv6.address == settings.ipv6.address);

  const std::string once = file.text();
  writeProfileSettings(file, "eth0", mode, settings.ipv4, settings.ipv6, "fuzz");
  KESP_FUZZ_CHECK(file.text() == once);
  return 0;
}
