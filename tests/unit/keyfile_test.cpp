// Profiles in memory: the key-file editor keeps every line it does not own,
// and an interface's profile is the one the daemon would activate.

#include <gtest/gtest.h>
#include <unistd.h>

#include "families/networkmanager/key_file.h"
#include "families/networkmanager/profile_settings.h"
#include "families/networkmanager/profile_store.h"
#include "kesp/util.h"
#include "test_support.h"

namespace {

using namespace KESP;
using namespace KESP::detail;

struct EditCase {
  const char* name;
  std::string before;
  const char* group;
  const char* key;
  const char* value;  // nullptr: remove
  std::string after;
  std::vector<std::string> replacing = {};  // keys whose lines count as the key's
};

const EditCase kEditCases[] = {
    {"ReplacesInPlaceKeepingBlanks", "[ipv4]\n# kesp.note\nmethod = auto\nmay-fail=false\n",
     "ipv4", "method", "manual", "[ipv4]\n# kesp.note\nmethod = manual\nmay-fail=false\n"},
    {"LastDuplicateWinsOthersGo", "[ipv4]\nmethod=auto\n[ipv6]\n[ipv4]\nmethod=disabled\n",
     "ipv4", "method", "manual", "[ipv4]\n[ipv6]\n[ipv4]\nmethod=manual\n"},
    {"AddsAfterTheGroupsLastKey", "[ipv4]\nmethod=auto\n\n# kesp.tail\n[ipv6]\n", "ipv4",
     "address1", "192.0.2.1/24", "[ipv4]\nmethod=auto\naddress1=192.0.2.1/24\n\n# kesp.tail\n[ipv6]\n"},
    {"AddsAMissingGroupAtTheEnd", "[connection]\nid=x", "ipv6", "method", "auto",
     "[connection]\nid=x\n\n[ipv6]\nmethod=auto\n"},
    {"OtherEthernetSpelling", "[802-3-ethernet]\nmtu=1400\n", "ethernet", "mtu", "9000",
     "[802-3-ethernet]\nmtu=9000\n"},
    {"LinesThatAreNoKeysStay", "[ipv4]\ngarbage line\n=x\n\x01\x02\nmethod=auto\n", "ipv4",
     "method", nullptr, "[ipv4]\ngarbage line\n=x\n\x01\x02\n"},
    {"KeysBeforeAnyGroupAreNotTheGroups", "method=auto\n[ipv4]\n", "ipv4", "method", "manual",
     "method=auto\n[ipv4]\nmethod=manual\n"},
    {"NulBytesAndCarriageReturns", std::string("[ipv4]\r\nmethod=auto\r\nx=\0y\n", 26), "ipv4",
     "method", "manual", std::string("[ipv4]\r\nmethod=manual\nx=\0y\n", 27)},
    {"UnterminatedGroupIsNoGroup", "[ipv4]\n[ipv6\nmethod=auto\n", "ipv4", "method", nullptr,
     "[ipv4]\n[ipv6\n"},
    // A gateway added after the address once must not push the address
    // behind it at the next write of the same settings.
    {"ReplacedKeysKeepTheirPlace",
     "[ipv4]\naddresses=10.1.1.5/16\n# kesp.keep\n address2 = 192.0.2.5\ngateway=10.1.0.1\n",
     "ipv4", "address1", "10.1.1.5/16",
     "[ipv4]\n# kesp.keep\n address1 = 10.1.1.5/16\ngateway=10.1.0.1\n",
     {"addresses", "address2"}},
};

class KeyFileEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(KeyFileEditTest, ChangesOnlyTheKey) {
  const EditCase& c = GetParam();
  KeyFile file(c.before);
  auto edit = [&] {
    if (c.value)
      file.set(c.group, c.key, c.value, c.replacing);
    else
      file.remove(c.group, c.key);
  };
  edit();
  std::string value;
  EXPECT_EQ(file.get(c.group, c.key, value), c.value != nullptr);
  if (c.value) {
    EXPECT_EQ(value, c.value);
  }
  EXPECT_EQ(file.text(), c.after);
  edit();
  EXPECT_EQ(file.text(), c.after) << "the same edit again changed the text";
  EXPECT_EQ(KeyFile(file.text()).text(), file.text());
}

INSTANTIATE_TEST_SUITE_P(Edits, KeyFileEditTest, ::testing::ValuesIn(kEditCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct ReadCase {
  const char* ipv4;
  const char* ipv6;
  AddressMode mode;
  const char* address;
  const char* gateway;
  std::vector<std::string> further;
};

const ReadCase kReadCases[] = {
    {"method=manual\naddress1=192.0.2.5/25,192.0.2.1", "method=ignore", STATICV4, "192.0.2.5",
     "192.0.2.1", {}},
    {"method=manual\naddresses=192.0.2.5/24;192.0.2.6/24;\ngateway=192.0.2.9", "method=dhcp",
     STATICV4 | DHCPV6, "192.0.2.5", "192.0.2.9", {"192.0.2.6/24"}},
    {"method=manual\naddress2=192.0.2.7\naddress1=192.0.2.5/24", "method=auto\naddress1=2001:db8::5",
     STATICV4 | AUTOV6, "192.0.2.5", "", {"192.0.2.7/24", "2001:db8::5/64"}},
    {"method=auto\naddress1=192.0.2.5/24", "method=manual\naddress1=2001:db8::5/64",
     DHCPV4 | STATICV6, "", "", {"192.0.2.5/24"}},
    {"method=link-local", "method=disabled", 0, "", "", {}},
};

TEST(KeyfileProfileTest, ReadsMethodsAddressesAndGateways) {
  for (const ReadCase& c : kReadCases) {
    SCOPED_TRACE(c.ipv4);
    KeyFile profile(std::string("[ipv4]\n") + c.ipv4 + "\n[ipv6]\n" + c.ipv6 + "\n");
    AddressMode mode = 99;
    Ipv4Settings ipv4;
    Ipv6Settings ipv6;
    std::vector<std::string> further;
    readProfileSettings(profile, mode, ipv4, ipv6, further);
    EXPECT_EQ(mode, c.mode);
    EXPECT_EQ(ipv4.address, c.address);
    EXPECT_EQ(ipv4.gateway, c.gateway);
    EXPECT_EQ(further, c.further);
  }
}

TEST(KeyfileProfileTest, PicksTheProfileTheDaemonWouldActivate) {
  auto profile = [](const std::string& connection, const std::string& ethernet,
                    bool insecure = false) {
    StoredProfile stored;
    stored.insecure = insecure;
    stored.content = KeyFile("[connection]\ntype=ethernet\n" + connection + "\n[ethernet]\n" +
                             ethernet + "\n");
    noteChoiceKeys(stored);
    return stored;
  };
  const struct {
    std::vector<StoredProfile> profiles;
    int chosen;
  } cases[] = {
      {{profile("interface-name=eth1", ""), profile("interface-name=eth0", "")}, 1},
      {{profile("", "mac-address=02:00:5E:10:00:01"), profile("interface-name=eth1", "")}, 0},
      {{profile("", "mac-address=02:00:5e:10:00:02")}, -1},
      {{profile("interface-name=eth0\nautoconnect=false", ""),
        profile("interface-name=eth0\ntimestamp=5", ""),
        profile("interface-name=eth0\ntimestamp=9", "")},
       2},
      {{profile("interface-name=eth0\nautoconnect-priority=5", ""),
        profile("interface-name=eth0\ntimestamp=9", "")},
       0},
      {{profile("interface-name=eth0\ntype=wifi", "")}, -1},
      // The daemon ignores a profile others may read: the older one counts.
      {{profile("interface-name=eth0\ntimestamp=9", "", true),
        profile("interface-name=eth0\ntimestamp=5", "")},
       1},
      {{profile("", "mac-address=02:00:5e:10:00:01", true)}, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(selectProfile(c.profiles, "eth0", "02:00:5e:10:00:01"), c.chosen);
  // Root's own, or the image owner's; never open to group or others.
  const struct {
    uid_t owner;
    mode_t mode;
    bool insecure;
  } files[] = {{0, 0100600, false}, {0, 0100400, false}, {0, 0100640, true},
               {0, 0100604, true},  {1000, 0100600, true}, {4242, 0100600, false}};
  for (const auto& f : files)
    EXPECT_EQ(isInsecureProfile(f.owner, f.mode, 4242), f.insecure) << f.owner << " " << f.mode;
}

// Loaded for one interface, only its possible profiles are asked for owner
// and mode; any other question about the same profiles still sees what the
// daemon ignores.
TEST(KeyfileProfileTest, LoadedForOneInterfaceAnswersAsLoadedWhole) {
  kesp_test::SystemRoot root;
  const std::string dir = "/etc/NetworkManager/system-connections/";
  auto profile = [&](const std::string& name, const std::string& keys, unsigned mode) {
    root.write(dir + name + ".nmconnection", "[connection]\ntype=ethernet\n" + keys + "\n", mode);
  };
  profile("eth0-old", "interface-name=eth0\ntimestamp=5", 0600);
  profile("eth0-new", "interface-name=eth0\ntimestamp=9", 0644);  // ignored: others may read it
  profile("eth1", "interface-name=eth1", 0644);
  profile("eth2", "interface-name=eth2", 0600);
  root.write(dir + "by-mac.nmconnection",
             "[connection]\ntype=ethernet\n[ethernet]\nmac-address=02:00:5e:10:00:01\n", 0644);
  const std::string mac = "02:00:5e:10:00:01";
  for (const char* onlyFor : {"", "eth0", "eth1", "eth2", "eth3"}) {
    SCOPED_TRACE(onlyFor);
    const std::string iface = onlyFor;
    const std::vector<StoredProfile> profiles = loadProfiles(iface.empty() ? nullptr : &iface);
    ASSERT_EQ(profiles.size(), 5u);
    const int eth0 = selectProfile(profiles, "eth0", mac);
    ASSERT_GE(eth0, 0);
    EXPECT_EQ(profiles[static_cast<size_t>(eth0)].fileName, "eth0-old.nmconnection");
    EXPECT_EQ(selectProfile(profiles, "eth1", mac), -1);
    EXPECT_EQ(selectProfile(profiles, "eth3", mac), -1);
    EXPECT_EQ(profileInterfaces(profiles), (std::vector<std::string>{"eth0", "eth2"}));
  }
}

// A profile too large to describe is no missing file: the command names it
// and fails, instead of writing a new profile over it.
TEST(KeyfileProfileTest, AProfileTooLargeToReadIsNamed) {
  kesp_test::SystemRoot root;
  const std::string path = "/etc/NetworkManager/system-connections/eth0.nmconnection";
  root.write(path, "[connection]\ntype=ethernet\ninterface-name=eth0\n", 0600);
  ASSERT_EQ(::truncate((root / path).c_str(), static_cast<off_t>(kMaxKeyFileSize) + 1), 0);
  takeUnreadableFiles();
  EXPECT_TRUE(loadProfiles().empty());
  const std::vector<std::string> unreadable = takeUnreadableFiles();
  ASSERT_EQ(unreadable.size(), 1u);
  EXPECT_NE(unreadable[0].find(root / path), std::string::npos) << unreadable[0];
}

// What GLib's key file reader (NetworkManager's) refuses, as it answered for
// each text: the file, or the value when it is read.
TEST(KeyfileProfileTest, RefusesWhatTheDaemonsReaderRefuses) {
  const struct {
    std::string text;
    const char* problem;  // "" when GLib reads it whole
  } cases[] = {
      {"  [connection]  \n  id = a  \n# c\n\n", ""},
      {"[connection]\nid=\\t\\n\\r\\\\\\s\r\n", ""},
      {"[ipv4]\ndns=192.0.2.1\\;192.0.2.2;\n", ""},  // a list's separator
      {"[connection]\nid=a\\qb\n", "line 2: invalid escape sequence \"\\q\""},
      {"[connection]\nid=a\\x41\n", "line 2: invalid escape sequence \"\\x\""},
      {"[connection]\nid=ab\\\n", "line 2: escape character at end of line"},
      {"id=a\n[connection]\n", "line 1: a key before the first group"},
      {"[connection]\njunk line\n", "line 2: not a key-value pair, group, or comment"},
      {"[connection]\n=a\n", "line 2: a key without a name"},
      {"[connection\nid=a\n", "line 1: invalid group name"},
      {"[conn]ection]\nid=a\n", "line 1: invalid group name"},
      {std::string("[conn\x01]\nid=a\n"), "line 1: invalid group name"},
  };
  for (const auto& c : cases) EXPECT_EQ(keyFileProblem(c.text), c.problem) << c.text;
}

}  // namespace
