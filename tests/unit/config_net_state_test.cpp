// The network state document: the JSON reader, the document's rules (every
// fault named by its key's path), its rendering read back, and the diff and
// password masking that `apply --diff` shows.

#include <gtest/gtest.h>

#include "diff_text.h"
#include "json_reader.h"
#include "state_document.h"

using namespace kesp_config_net;

namespace {

struct JsonCase {
  const char* text;
  const char* error;  // "" when it parses
};

TEST(ConfigNetState, JsonReaderAcceptsJsonAndPlacesFaults) {
  const JsonCase cases[] = {
      {" {\"a\": [1, -2.5e3, true, false, null, \"\\u00e9\\ud83d\\ude00\\n\"]} ", ""},
      {"{\"a\":1,\"a\":2}", "line 1, column 8: the member \"a\" appears twice"},
      {"{\"a\":1}\n x", "line 2, column 2: text after the document"},
      {"[1,]", "line 1, column 4: unexpected character"},
      {"\"\x01\"", "line 1, column 2: a control character in a string"},
      {"\"\\ud800x\"", "line 1, column 8: a high surrogate without its pair"},
      {"01", "line 1, column 2: text after the document"},
      {"{\"a\" 1}", "line 1, column 6: ':' expected"},
      {"", "line 1, column 1: unexpected end of the document"},
      {"-", "line 1, column 2: a digit is missing"},
  };
  for (const JsonCase& c : cases) {
    JsonValue value;
    std::string error;
    EXPECT_EQ(parseJson(c.text, value, error), *c.error == '\0') << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  JsonValue value;
  std::string error;
  ASSERT_TRUE(parseJson("{\"a\":[1,\"\\u00e9\\ud83d\\ude00\"]}", value, error));
  EXPECT_EQ(value.member("a")->items[1].text, "\xc3\xa9\xf0\x9f\x98\x80");
  EXPECT_EQ(value.member("a")->items[0].text, "1");
  // Nesting is bounded, so no input can exhaust the stack.
  EXPECT_FALSE(parseJson(std::string(10000, '['), value, error));
  EXPECT_EQ(error, "line 1, column 34: nested too deeply");
}

struct DocumentCase {
  const char* text;
  std::vector<std::string> paths;  // of the problems, in order
};

/// The key paths the problems name (each problem is "path: what is wrong").
std::vector<std::string> pathsOf(const std::vector<std::string>& problems) {
  std::vector<std::string> paths;
  for (const std::string& problem : problems) paths.push_back(problem.substr(0, problem.find(": ")));
  return paths;
}

TEST(ConfigNetState, DocumentFaultsNameTheirKeyPath) {
  const DocumentCase cases[] = {
      {R"({"interfaces":{"eth0":{"mode":"STATICV4","ipv4":{"address":"192.0.2.300","prefix":24}}}})",
       {"interfaces.eth0.ipv4.address"}},
      {R"({"interfaces":{"eth0":{"mode":"STATICV4","ipv4":{"address":"192.0.2.10","prefix":33}}}})",
       {"interfaces.eth0.ipv4.prefix"}},
      {R"({"interfaces":{"eth0":{"mode":"STATICV4","ipv4":{"address":"192.0.2.0","prefix":"24"}}}})",
       {"interfaces.eth0.ipv4.address"}},
      {R"({"interfaces":{"eth0":{"mode":"STATICV4","ipv4":{"address":"192.0.2.10","prefix":24,"gateway":"198.51.100.1"}}}})",
       {"interfaces.eth0.ipv4.gateway"}},
      {R"({"interfaces":{"eth0":{"mode":"STATICV4","ipv4":{"prefix":24}}}})",
       {"interfaces.eth0.ipv4.address"}},
      {R"({"interfaces":{"eth0":{"mode":"DHCPV4","ipv4":{"address":"192.0.2.10"}}}})",
       {"interfaces.eth0.ipv4"}},
      {R"({"interfaces":{"eth0":{"mode":"STATICV6","ipv6":{"address":"2001:db8::zz"}}}})",
       {"interfaces.eth0.ipv6.address"}},
      {R"({"interfaces":{"eth0":{"mode":"STATICV6","ipv6":{"address":"2001:db8::1","prefix":129,"gateway":"x"}}}})",
       {"interfaces.eth0.ipv6.prefix"}},
      {R"({"interfaces":{"eth0":{"mode":"FAST"},"eth1":{"ipv4":{}},"bad/name":{"mode":"DHCPV4"}}})",
       {"interfaces.eth0.mode", "interfaces.eth1.mode", "interfaces.bad/name"}},
      {R"({"interfaces":{"eth0":{"mode":"DHCPV4","mtu":1500}},"dns":["192.0.2.53",53],"colour":1})",
       {"interfaces.eth0.'mtu'", "dns[1]", "'colour'"}},
      {R"({"interfaces":[],"dns":["192.0.2.53","192.0.2.53"],"hostname":"-bad-"})",
       {"interfaces", "dns", "hostname"}},
      {R"({"dns":["example.org"],"hostname":7})", {"dns[0]", "hostname"}},
      {R"({"proxy":{"host":"proxy example","port":"99999","password":"x"}})",
       {"proxy.password", "proxy.host", "proxy.port"}},
      {R"({"proxy":{"host":"proxy.example.net","port":true,"user":"a b"}})",
       {"proxy.port", "proxy.user"}},
      {R"([1])", {"the document"}},
      // Valid: a prefix as text, a gateway-less static address, no proxy.
      {R"({"interfaces":{"eth0.100":{"mode":"STATICV4+DHCPV6","ipv4":{"address":"192.0.2.10","prefix":"24"}}},
           "dns":[],"proxy":{"host":""}})",
       {}},
  };
  for (const DocumentCase& c : cases) {
    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(c.text, value, error)) << c.text << ": " << error;
    StateDocument document;
    const std::vector<std::string> problems = readStateDocument(value, document);
    EXPECT_EQ(pathsOf(problems), c.paths) << c.text;
    // Only a wholly sound document yields anything to apply.
    if (problems.empty()) {
      EXPECT_EQ(document.state.interfaces.size(), 1u) << c.text;
    }
  }
}

TEST(ConfigNetState, RenderedDocumentReadsBackAsTheSameState) {
  KESP::DesiredState state;
  state.interfaces.push_back({"eth0", KESP::STATICV4 | KESP::STATICV6, "192.0.2.10",
                              "255.255.255.0", "192.0.2.1", "2001:db8::10", "64", "2001:db8::1"});
  state.interfaces.push_back({"eth1", KESP::DHCPV4 | KESP::AUTOV6, "", "", "", "", "", ""});
  state.managesNameServers = true;
  state.nameServers = {"192.0.2.53", "2001:db8::53"};
  state.managesHostName = true;
  state.hostName = "kesp1.example.org";
  state.managesProxy = true;
  state.proxy = {"proxy.example.net", "3128", "kesp", "never shown", true};
  const std::string text = renderStateDocument(state);
  EXPECT_EQ(text.find("never shown"), std::string::npos) << text;
  JsonValue value;
  std::string error;
  ASSERT_TRUE(parseJson(text, value, error)) << error;
  StateDocument read;
  ASSERT_EQ(readStateDocument(value, read), std::vector<std::string>()) << text;
  state.proxy.password.clear();
  state.proxy.passwordGiven = false;
  EXPECT_EQ(renderStateDocument(read.state), text);
  ASSERT_EQ(read.state.interfaces.size(), 2u);
  EXPECT_EQ(read.state.interfaces[0].ipv4Netmask, "255.255.255.0");
  EXPECT_EQ(read.state.proxy.port, "3128");
}

struct DiffCase {
  const char* before;
  const char* after;
  const char* diff;
};

TEST(ConfigNetState, UnifiedDiffWithContextAndMaskedPasswords) {
  const DiffCase cases[] = {
      {"a\nb\nc\n", "a\nb\nc\n", ""},
      {"1\n2\n3\n4\n5\n6\n7\n8\n9\n", "1\n2\n3\n4\nfive\n6\n7\n8\n9\n",
       "--- a/f\n+++ b/f\n@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"},
      {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n", "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n",
       "--- a/f\n+++ b/f\n@@ -1,3 +1,4 @@\n+0\n 1\n 2\n 3\n@@ -9,4 +10,3 @@\n 9\n 10\n 11\n-12\n"},
      {"x=1\n", "x=1\np=http://u:secret@h:3128\n",
       "--- a/f\n+++ b/f\n@@ -1 +1,2 @@\n x=1\n+p=http://u:********@h:3128\n"},
  };
  for (const DiffCase& c : cases)
    EXPECT_EQ(unifiedDiff("/f", true, maskPasswords(c.before), true, maskPasswords(c.after)), c.diff)
        << c.before;
  EXPECT_EQ(unifiedDiff("/f", false, "", true, "n\n"), "--- /dev/null\n+++ b/f\n@@ -0,0 +1 @@\n+n\n");
  EXPECT_EQ(maskPasswords("\"http://u@h:1\" ftp://a:b@c"), "\"http://u@h:1\" ftp://a:********@c");
}

}  // namespace
