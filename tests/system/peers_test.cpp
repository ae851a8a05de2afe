// Independent peers read what the writers wrote: Debian's ifupdown (extracted
// from its package into a temporary directory, never installed) parses the
// interfaces file, and bash sources the Red Hat and SUSE ifcfg files.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "../unit/interface_files_cases.h"
#include "kesp/interface_files.h"
#include "kesp/log.h"
#include "kesp/network_change.h"
#include "ifupdown_peer.h"
#include "test_support.h"

namespace {

using kesp_peer::Ifupdown;
using kesp_peer::run;
using kesp_test::WriterCase;
using namespace KESP;

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool containsAny(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& part : parts)
    if (contains(text, part)) return true;
  return false;
}

enum class Method { None, Static, Dhcp, Auto, Manual };

// What ifup --no-act prints for each method of the sample settings.
const std::map<Method, std::vector<std::string>> kInetSignatures = {
    {Method::Static, {"ip addr add 192.0.2.10/255.255.255.0 broadcast 192.0.2.255"}},
    {Method::Dhcp, {"dhclient", "dhcpcd", "udhcpc", "pump", "No DHCP client software found"}},
};
const std::map<Method, std::vector<std::string>> kInet6Signatures = {
    {Method::Static, {"ip -6 addr add 2001:db8::10/64"}},
    {Method::Dhcp, {"dhclient -6", "No DHCPv6 client software found"}},
    {Method::Auto, {"autoconf=1"}},
    {Method::Manual, {"ip link set dev eth0 up"}},
};

Method expectedInetMethod(AddressMode mode) {
  if (mode & DHCPV4) return Method::Dhcp;
  if (mode & STATICV4) return Method::Static;
  return Method::None;
}

/// The fixture inputs' own IPv6 stanza for eth0: realistic says static, which
/// the DHCPv6 and AUTOV6 modes turn into their method; shared-auto says auto.
Method expectedInet6Method(const std::string& input, AddressMode mode) {
  if (mode & STATICV6) return Method::Static;
  if (!(mode & (DHCPV6 | AUTOV6))) return Method::None;
  if (input == "realistic") return (mode & DHCPV6) ? Method::Dhcp : Method::Auto;
  if (input == "shared-auto") return Method::Auto;
  return expectedInetMethod(mode) == Method::None ? Method::Manual : Method::None;
}

class DebianPeerTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(DebianPeerTest, IfupdownReadsWhatWasWritten) {
  const Ifupdown& ifupdown = Ifupdown::get();
  if (!ifupdown.available()) GTEST_SKIP() << ifupdown.reason();
  const WriterCase& c = GetParam();
  kesp_test::TempDir scratch;
  const std::string file = scratch / "interfaces";
  const std::string common = " -i '" + file + "' --state-dir '" + (scratch / "state") + "' ";

  TextFile interfaces;
  for (std::string line :
       kesp_test::linesOf(kesp_test::writerFixture("debian", c.input, "input"))) {
    // The peer must not read this machine's own configuration.
    if (line == "source /etc/network/interfaces.d/*")
      line = "source " + (scratch / "interfaces.d/*");
    interfaces.lines.push_back(line);
  }
  writeDebianInterface(interfaces, "eth0", c.mode, kesp_test::sampleIpv4(),
                       kesp_test::sampleIpv6());
  ASSERT_TRUE(interfaces.save(file));

  std::string output;
  ASSERT_EQ(run(ifupdown.program("ifquery") + common + "--list", scratch, output), 0) << output;
  EXPECT_EQ(contains("\n" + output, "\neth0\n"), c.mode != 0) << output;

  const int queried = run(ifupdown.program("ifquery") + common + "eth0", scratch, output);
  EXPECT_EQ(queried == 0, c.mode != 0) << output;
  const std::vector<std::string> inetOptions = {"address: 192.0.2.10", "netmask: 255.255.255.0",
                                                "broadcast: 192.0.2.255", "gateway: 192.0.2.1"};
  const std::vector<std::string> inet6Options = {"address: 2001:db8::10", "netmask: 64",
                                                 "gateway: 2001:db8::1"};
  for (const std::string& option : inetOptions)
    EXPECT_EQ(contains(output, option), (c.mode & STATICV4) != 0) << option << "\n" << output;
  for (const std::string& option : inet6Options)
    EXPECT_EQ(contains(output, option), (c.mode & STATICV6) != 0) << option << "\n" << output;

  run(ifupdown.program("ifup") + " --no-act -v" + common + "eth0", scratch, output);
  const Method inet = expectedInetMethod(c.mode);
  const Method inet6 = expectedInet6Method(c.input, c.mode);
  EXPECT_EQ(contains(output, "eth0=eth0 (inet)"), inet != Method::None) << output;
  EXPECT_EQ(contains(output, "eth0=eth0 (inet6)"), inet6 != Method::None) << output;
  if (inet != Method::None) {
    EXPECT_TRUE(containsAny(output, kInetSignatures.at(inet))) << output;
  }
  if (inet6 != Method::None) {
    EXPECT_TRUE(containsAny(output, kInet6Signatures.at(inet6))) << output;
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DebianPeerTest,
                         ::testing::ValuesIn(kesp_test::everyNamedMode({"empty", "realistic",
                                                                        "shared-auto"})),
                         [](const auto& info) { return kesp_test::writerCaseName(info.param); });

struct SourcedLayout {
  const char* name;
  const char* sourceLine;  // as the main file says it
  const char* file;        // where eth0 is defined
};

const SourcedLayout kSourcedLayouts[] = {
    {"SourceGlob", "source /etc/network/interfaces.d/*", "/etc/network/interfaces.d/eth0"},
    {"SourceDirectory", "source-directory /etc/network/interfaces.d",
     "/etc/network/interfaces.d/ports"},
    {"Nested", "source /etc/network/extra.cfg", "/etc/network/ports.d/eth0"},
};

class DebianSourcedPeerTest : public ::testing::TestWithParam<SourcedLayout> {};

/// An eth0 that a sourced file defines, changed through the library, is still
/// one stanza to ifupdown, holding the new settings.
TEST_P(DebianSourcedPeerTest, IfqueryReadsOneChangedStanza) {
  const Ifupdown& ifupdown = Ifupdown::get();
  if (!ifupdown.available()) GTEST_SKIP() << ifupdown.reason();
  const SourcedLayout& layout = GetParam();
  kesp_test::SystemRoot root;
  kesp_test::LogCapture quiet(LOG_NONE);
  const std::string main = std::string("auto lo\niface lo inet loopback\n") + layout.sourceLine +
                           "\nauto eth1\niface eth1 inet dhcp\n";
  root.write(DEBIAN_INTERFACES_FILE, main);
  root.write("/etc/network/extra.cfg", "source /etc/network/ports.d/*\n");
  root.write(layout.file, "auto eth0\niface eth0 inet dhcp\n");
  ASSERT_TRUE(writeNetworkFiles("eth0", STATICV4, "192.0.2.10", "255.255.255.0", "192.0.2.1", "",
                                "", ""));
  ASSERT_EQ(root.read(DEBIAN_INTERFACES_FILE), main);

  // The peer reads the same tree, its absolute source paths taken inside the root.
  kesp_test::TempDir scratch;
  for (const char* path : {DEBIAN_INTERFACES_FILE.c_str(), "/etc/network/extra.cfg"}) {
    std::string text = root.read(path);
    for (std::string::size_type at = text.find(" /etc/"); at != std::string::npos;
         at = text.find(" /etc/", at + 1))
      text.insert(at + 1, root.path());
    kesp_test::writeFile(root / path, text);
  }
  const std::string common = " -i '" + (root / DEBIAN_INTERFACES_FILE) + "' --state-dir '" +
                             (scratch / "state") + "' ";
  std::string output;
  ASSERT_EQ(run(ifupdown.program("ifquery") + common + "--list", scratch, output), 0) << output;
  EXPECT_EQ(occurrences("\n" + output, "\neth0\n"), 1) << output;
  EXPECT_EQ(occurrences("\n" + output, "\neth1\n"), 1) << output;
  ASSERT_EQ(run(ifupdown.program("ifquery") + common + "eth0", scratch, output), 0) << output;
  EXPECT_EQ(occurrences(output, "address: "), 1) << output;
  for (const char* option : {"address: 192.0.2.10", "netmask: 255.255.255.0", "gateway: 192.0.2.1"})
    EXPECT_TRUE(contains(output, option)) << option << "\n" << output;
}

INSTANTIATE_TEST_SUITE_P(Layouts, DebianSourcedPeerTest, ::testing::ValuesIn(kSourcedLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

const char* const kUnset = "<unset>";
using Values = std::map<std::string, std::string>;

/// The variables' values after bash sourced the file; stderr must stay silent.
Values sourcedByBash(const std::string& file, const Values& wanted,
                     const kesp_test::TempDir& scratch) {
  std::string names;
  for (const auto& entry : wanted) names += " " + entry.first;
  const std::string script = scratch / "show.sh";
  kesp_test::writeFile(script,
                       "set -e\n. \"$1\"\nshift\nfor v; do\n"
                       "  if [ -n \"${!v+x}\" ]; then printf '%s=%s\\n' \"$v\" \"${!v}\";\n"
                       "  else printf '%s=" +
                           std::string(kUnset) + "\\n' \"$v\"; fi\ndone\n");
  const std::string errors = scratch / "errors";
  const std::string output = kesp_test::shellOutput("bash '" + script + "' '" + file + "'" + names +
                                                    " 2>'" + errors + "'");
  EXPECT_EQ(kesp_test::readFile(errors), "");
  Values values;
  for (const std::string& line : kesp_test::linesOf(output)) {
    const std::string::size_type equals = line.find('=');
    values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return values;
}

/// Sources the written file and compares with the Parts' values and with what
/// the library itself reads from the same lines.
void checkWithBash(KeyValueFile& written, const Values& required,
                   const kesp_test::TempDir& scratch) {
  const std::string file = scratch / "ifcfg-eth0";
  ASSERT_TRUE(written.save(file));
  const Values sourced = sourcedByBash(file, required, scratch);
  for (const auto& entry : required) {
    SCOPED_TRACE(entry.first);
    EXPECT_EQ(sourced.at(entry.first), entry.second);
    std::string ours;
    EXPECT_EQ(getUnquotedValue(written, entry.first, ours) ? ours : kUnset, entry.second);
  }
}

std::string when(bool condition, const std::string& value) { return condition ? value : kUnset; }

class RedHatPeerTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(RedHatPeerTest, BashSourcesTheRequiredValues) {
  const WriterCase& c = GetParam();
  const AddressMode m = c.mode;
  kesp_test::TempDir scratch;
  KeyValueFile file('=');
  file.lines = kesp_test::linesOf(kesp_test::writerFixture("redhat", c.input, "input"));
  writeRedHatInterface(file, "eth0", m, kesp_test::sampleIpv4(), kesp_test::sampleIpv6());

  const Values required = {
      {"DEVICE", "eth0"},
      {"ONBOOT", "yes"},
      {"TYPE", "Ethernet"},
      {"IPV6INIT", (m & IPV6_MODES) ? "yes" : "no"},
      {"BOOTPROTO", (m & DHCPV4) ? "dhcp" : "none"},
      {"DHCPV6C", when(m & DHCPV6, "yes")},
      {"IPADDR", when(m & STATICV4, "192.0.2.10")},
      {"NETMASK", when(m & STATICV4, "255.255.255.0")},
      // The network scripts let a PREFIX left over override NETMASK.
      {"PREFIX", kUnset},
      {"GATEWAY", when(m & STATICV4, "192.0.2.1")},
      {"BROADCAST", when(m & STATICV4, "192.0.2.255")},
      {"IPV6ADDR", when(m & STATICV6, "2001:db8::10/64")},
      {"IPV6_DEFAULTGW", when(m & STATICV6, "2001:db8::1")},
      {"MTU", when(c.input == "realistic", "1500")},
  };
  checkWithBash(file, required, scratch);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RedHatPeerTest,
                         ::testing::ValuesIn(kesp_test::everyNamedMode({"empty", "realistic",
                                                                        "dhcp"})),
                         [](const auto& info) { return kesp_test::writerCaseName(info.param); });

class SusePeerTest : public ::testing::TestWithParam<WriterCase> {};

TEST_P(SusePeerTest, BashSourcesTheRequiredValues) {
  const WriterCase& c = GetParam();
  const AddressMode m = c.mode;
  kesp_test::TempDir scratch;
  KeyValueFile file('=');
  file.lines = kesp_test::linesOf(kesp_test::writerFixture("suse", c.input, "input"));
  writeSuseInterface(file, "eth0", m, kesp_test::sampleIpv4(), kesp_test::sampleIpv6());

  const std::string bootProto = m == (DHCPV4 | DHCPV6) ? "dhcp"
                                : (m & DHCPV4)         ? "dhcp4"
                                : (m & DHCPV6)         ? "dhcp6"
                                                       : "static";
  const Values required = {
      {"DEVICE", "eth0"},
      {"STARTMODE", "auto"},
      {"TYPE", "Ethernet"},
      {"USERCONTROL", "no"},
      {"BOOTPROTO", bootProto},
      {"IPADDR", when(m & STATICV4, "192.0.2.10")},
      {"NETMASK", when(m & STATICV4, "255.255.255.0")},
      {"BROADCAST", when(m & STATICV4, "192.0.2.255")},
      {"IPADDR0", when(m & STATICV6, "2001:db8::10")},
      {"PREFIXLEN0", when(m & STATICV6, "64")},
      {"PREFIXLEN", kUnset},
      {"NAME", when(c.input == "realistic", "82540EM Gigabit Ethernet Controller")},
  };
  checkWithBash(file, required, scratch);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SusePeerTest,
                         ::testing::ValuesIn(kesp_test::everyNamedMode({"empty", "realistic"})),
                         [](const auto& info) { return kesp_test::writerCaseName(info.param); });

}  // namespace
