// The dialogue of kesp_config_net fed by a script of answers, as an operator
// would type them, and the application of its plan through recording
// operations.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "change_plan.h"
#include "dialogue.h"
#include "keep_question.h"

using namespace kesp_config_net;

namespace {

const char kEnd[] = "<Ctrl-D>";
const char kInterrupt[] = "<Ctrl-C>";

/// Answers from a list; kEnd and kInterrupt stand for the keys.
class ScriptedInput : public LineSource {
 public:
  explicit ScriptedInput(std::vector<std::string> answers) : answers_(std::move(answers)) {}
  ReadStatus readLine(const std::string& prompt, std::string& line) override {
    prompts.push_back(prompt);
    if (next_ >= answers_.size()) return ReadStatus::End;
    line = answers_[next_++];
    if (line == kEnd) return ReadStatus::End;
    if (line == kInterrupt) return ReadStatus::Interrupted;
    return ReadStatus::Line;
  }
  ReadStatus readSecret(const std::string& prompt, std::string& line) override {
    secretPrompts.push_back(prompt);
    return readLine(prompt, line);
  }
  bool usedAll() const { return next_ == answers_.size(); }

  std::vector<std::string> prompts;
  std::vector<std::string> secretPrompts;

 private:
  std::vector<std::string> answers_;
  size_t next_ = 0;
};

DialogueFacts liveFacts() {
  DialogueFacts facts;
  facts.system.flavour = KESP::FLAVOUR_DEBIAN;
  facts.system.live = true;
  facts.system.dhcpv6Client = false;
  InterfaceReport eth0;
  eth0.name = "eth0";
  eth0.live = true;
  eth0.present = true;
  InterfaceReport eth1;
  eth1.name = "eth1";
  eth1.configured = true;
  eth1.mode = KESP::STATICV4;
  eth1.ipv4 = KESP::Ipv4Settings(true, "198.51.100.7", "255.255.255.0", "198.51.100.1");
  eth1.live = true;
  eth1.present = true;
  eth1.liveIpv4.address = "198.51.100.7";
  eth1.liveIpv4.netmask = "255.255.255.0";
  facts.system.interfaces = {eth0, eth1};
  facts.nameServers = {"192.0.2.53"};
  facts.hostName = "appliance";
  facts.proxy = {"proxy.lan", "3128", "bob", true};
  return facts;
}

struct Session {
  DialogueEnd end;
  ChangePlan plan;
  std::string output;
};

Session run(const DialogueFacts& facts, ScriptedInput& input) {
  std::ostringstream out;
  Session result;
  result.end = runDialogue(facts, input, out, result.plan);
  result.output = out.str();
  return result;
}

size_t count(const std::string& text, const std::string& part) {
  size_t found = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
  return found;
}

// The answers of a complete session: eth0 static, name servers, host name,
// proxy kept as it is but with a new password.
const std::vector<std::string> kStaticSession = {
    "1",              // interface eth0
    "2",              // IPv4: static
    "192.0.2.10",     // address
    "24",             // netmask as a length
    "192.0.2.1",      // gateway
    "",               // IPv6: default, none
    "192.0.2.53 2001:db8::53",
    "web1",
    "proxy.lan", "", "",  // host, port kept (3128), user kept (bob)
    "s3cret",         // password
    "yes",
};

TEST(ConfigNetDialogue, BuildsThePlanOfAStaticSession) {
  ScriptedInput input(kStaticSession);
  const Session result = run(liveFacts(), input);
  ASSERT_EQ(result.end, DialogueEnd::Confirmed) << result.output;
  EXPECT_TRUE(input.usedAll());
  const ChangePlan& plan = result.plan;
  ASSERT_TRUE(plan.changeInterface);
  EXPECT_EQ(plan.interface.iface, "eth0");
  EXPECT_EQ(plan.interface.mode, KESP::STATICV4);
  EXPECT_EQ(plan.interface.ipv4Address, "192.0.2.10");
  EXPECT_EQ(plan.interface.ipv4Netmask, "255.255.255.0");
  EXPECT_EQ(plan.interface.ipv4Gateway, "192.0.2.1");
  EXPECT_EQ(plan.interface.ipv6Address, "");
  EXPECT_TRUE(plan.changeNameServers);
  EXPECT_EQ(plan.nameServers, (std::vector<std::string>{"192.0.2.53", "2001:db8::53"}));
  EXPECT_TRUE(plan.changeHostName);
  EXPECT_EQ(plan.hostName, "web1");
  ASSERT_TRUE(plan.changeProxy);
  EXPECT_EQ(plan.proxy.host, "proxy.lan");
  EXPECT_EQ(plan.proxy.port, "3128");
  EXPECT_EQ(plan.proxy.user, "bob");
  EXPECT_TRUE(plan.proxy.passwordGiven);
  EXPECT_EQ(plan.proxy.password, "s3cret");
  ASSERT_EQ(input.secretPrompts.size(), 1u);
  EXPECT_NE(input.secretPrompts[0].find("Enter to keep the stored one"), std::string::npos);

  // What the operator saw: the list with modes and addresses, the summary.
  EXPECT_NE(result.output.find("1) eth0      not configured        no address"), std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("2) eth1      STATICV4              198.51.100.7/24"), std::string::npos);
  EXPECT_NE(result.output.find("eth0:         STATICV4, IPv4 192.0.2.10/24 gateway 192.0.2.1"),
            std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("192.0.2.53 2001:db8::53 (applied with the interface change)"),
            std::string::npos);
  EXPECT_EQ(count(result.output, "Not accepted"), 0u);
}

TEST(ConfigNetDialogue, NamesWrongInputAtEveryPromptAndAsksAgain) {
  DialogueFacts facts = liveFacts();
  facts.system.dhcpv6Client = true;
  const std::vector<std::pair<std::string, std::string>> wrongThenRight = {
      {"9", "'9' is not one of the listed numbers 1-2"},
      {"eth7", "'eth7' is not one of the listed interfaces"},
      {"4", "'4' is not one of the choices 1-3"},
      {"300.1.2.3", "'300.1.2.3' is not an IPv4 address"},
      {"192.0.2.10/40", "'40' is not a prefix length"},
      {"192.0.2.0/24", "'192.0.2.0/24' is the network's own address, not a host address"},
      {"192.0.2.255/24", "'192.0.2.255/24' is the network's broadcast address, not a host address"},
      {"255.0.255.0", "'255.0.255.0' is not a netmask"},
      {"10.0.0.1", "the gateway '10.0.0.1' is not in the network of 192.0.2.10/24"},
      {"x", "'x' is not one of the choices 1-4"},
      {"2001:zz::1", "'2001:zz::1' is not an IPv6 address"},
      {"129", "'129' is not an IPv6 prefix length"},
      {"2001:db8::10", "the gateway '2001:db8::10' cannot be the interface's own address"},
      {"192.0.2.53 dns.example", "'dns.example' is not a name server address"},
      {"192.0.2.53, 192.0.2.53", "the name server '192.0.2.53' is given twice"},
      {"-web-", "'-web-' is not a host name"},
      {"proxy lan", "'proxy lan' is not a proxy host"},
      {"70000", "'70000' is not a port"},
      {"a b", "'a b' is not a user name"},
      {"maybe", "please answer yes or no, not 'maybe'"},
  };
  const std::vector<std::string> answers = {
      "9", "eth7", "eth0",                                  // interface
      "4", "2",                                             // IPv4 method
      "300.1.2.3", "192.0.2.10/40", "192.0.2.0/24",         // address
      "192.0.2.255/24", "192.0.2.10",
      "255.0.255.0", "255.255.255.0",                       // netmask
      "10.0.0.1", "none",                                   // gateway
      "x", "2",                                             // IPv6 method (with DHCPv6: 1-4)
      "2001:zz::1", "2001:db8::10",                         // IPv6 address
      "129", "64",                                          // prefix
      "2001:db8::10", "",                                   // IPv6 gateway: none
      "192.0.2.53 dns.example", "192.0.2.53, 192.0.2.53",   // name servers, commas too
      "192.0.2.53,198.51.100.53",
      "-web-", "",                                          // host name kept
      "proxy lan", "other.lan",                             // proxy host
      "70000", "8080",                                      // port
      "a b", "none",                                        // no user
      "maybe", "no",                                        // declined
  };
  ScriptedInput input(answers);
  const Session result = run(facts, input);
  EXPECT_EQ(result.end, DialogueEnd::Declined) << result.output;
  EXPECT_TRUE(input.usedAll());
  EXPECT_EQ(count(result.output, "  Not accepted: "), wrongThenRight.size()) << result.output;
  for (const auto& wrong : wrongThenRight)
    EXPECT_NE(result.output.find("  Not accepted: " + wrong.second), std::string::npos)
        << wrong.first << "\n" << result.output;
  EXPECT_EQ(result.plan.interface.mode, KESP::STATICV4 | KESP::STATICV6);
  EXPECT_EQ(result.plan.interface.ipv4Gateway, "");
  EXPECT_TRUE(result.plan.changeNameServers);
  EXPECT_EQ(result.plan.nameServers, (std::vector<std::string>{"192.0.2.53", "198.51.100.53"}));
  EXPECT_FALSE(result.plan.changeHostName);
  EXPECT_EQ(result.plan.proxy.host, "other.lan");
  EXPECT_EQ(result.plan.proxy.user, "");
}

TEST(ConfigNetDialogue, LeavingBeforeTheConfirmationChangesNothing) {
  // Every prompt of the static session, left there with either key.
  for (size_t answered = 0; answered < kStaticSession.size(); ++answered) {
    for (const char* key : {kEnd, kInterrupt}) {
      std::vector<std::string> answers(kStaticSession.begin(), kStaticSession.begin() + answered);
      answers.push_back(key);
      ScriptedInput input(answers);
      const Session result = run(liveFacts(), input);
      EXPECT_EQ(result.end, DialogueEnd::Left) << "after " << answered << " answers, " << key;
      EXPECT_TRUE(input.usedAll());
    }
  }
}

TEST(ConfigNetDialogue, KeepingEverythingNeedsNoConfirmation) {
  ScriptedInput input({"", "192.0.2.53", "appliance", ""});
  const Session result = run(liveFacts(), input);
  EXPECT_EQ(result.end, DialogueEnd::NothingToDo);
  EXPECT_TRUE(result.plan.empty());
  EXPECT_NE(result.output.find("Nothing to change."), std::string::npos);
  for (const std::string& prompt : input.prompts) EXPECT_EQ(prompt.find("Apply"), std::string::npos);
}

TEST(ConfigNetDialogue, OffersOnlyWhatTheSystemCanDo) {
  // No DHCPv6 client: three IPv6 methods; "no IPv4" with "no IPv6" is refused.
  {
    ScriptedInput input({"2", "3", "1", "3", "", "", "", "yes"});
    const Session result = run(liveFacts(), input);
    ASSERT_EQ(result.end, DialogueEnd::Confirmed) << result.output;
    EXPECT_EQ(result.output.find("DHCPv6"), std::string::npos);
    EXPECT_NE(result.output.find("Not accepted: the interface needs IPv4 or IPv6"), std::string::npos);
    EXPECT_EQ(result.plan.interface.iface, "eth1");
    EXPECT_EQ(result.plan.interface.mode, KESP::AUTOV6);
  }
  // Red Hat with a client: DHCPv6 alone is refused and asked again.
  {
    DialogueFacts facts = liveFacts();
    facts.system.flavour = KESP::FLAVOUR_REDHAT;
    facts.system.dhcpv6Client = true;
    ScriptedInput input({"1", "3", "3", "4", "", "", "", "yes"});
    const Session result = run(facts, input);
    ASSERT_EQ(result.end, DialogueEnd::Confirmed) << result.output;
    EXPECT_NE(result.output.find("Not accepted: this system's family cannot use DHCPv6 without an IPv4"),
              std::string::npos)
        << result.output;
    EXPECT_EQ(result.plan.interface.mode, KESP::AUTOV6);
  }
}

TEST(ConfigNetDialogue, DefaultsComeFromTheCurrentConfiguration) {
  // eth1 is static: Enter keeps its method, address, netmask and gateway.
  ScriptedInput input({"eth1", "", "", "", "", "", "", "", "", "yes"});
  const Session result = run(liveFacts(), input);
  ASSERT_EQ(result.end, DialogueEnd::Confirmed) << result.output;
  EXPECT_EQ(result.plan.interface.mode, KESP::STATICV4);
  EXPECT_EQ(result.plan.interface.ipv4Address, "198.51.100.7");
  EXPECT_EQ(result.plan.interface.ipv4Netmask, "255.255.255.0");
  EXPECT_EQ(result.plan.interface.ipv4Gateway, "198.51.100.1");
  EXPECT_NE(std::find(input.prompts.begin(), input.prompts.end(), "IPv4 address [198.51.100.7]: "),
            input.prompts.end());
  EXPECT_FALSE(result.plan.changeNameServers);
  EXPECT_FALSE(result.plan.changeProxy);
}

TEST(ConfigNetDialogue, OfflineImagesTakeNewNamesAndNoHostName) {
  DialogueFacts facts = liveFacts();
  facts.system.live = false;
  facts.imageRoot = "/mnt/image";
  for (InterfaceReport& item : facts.system.interfaces) item.live = false;
  ScriptedInput input({"eth5", "1", "", "", "none", "yes"});
  const Session result = run(facts, input);
  ASSERT_EQ(result.end, DialogueEnd::Confirmed) << result.output;
  EXPECT_EQ(result.plan.interface.iface, "eth5");
  EXPECT_EQ(result.plan.interface.mode, KESP::DHCPV4);
  EXPECT_TRUE(result.plan.changeProxy);
  EXPECT_EQ(result.plan.proxy.host, "");
  EXPECT_NE(result.output.find("offline image /mnt/image"), std::string::npos);
  EXPECT_EQ(result.output.find("Host name"), std::string::npos);
  EXPECT_NE(result.output.find("Only the files of the image are written"), std::string::npos);
}

// ------------------------------------------------------------ applying a plan

class RecordingOperations : public Operations {
 public:
  explicit RecordingOperations(bool isLive) : live_(isLive) {}
  bool live() const override { return live_; }
  Outcome changeInterface(const InterfaceChange& change) override {
    calls.push_back("interface " + change.iface);
    return interfaceOutcome;
  }
  Outcome setNameServers(const std::vector<std::string>& servers, bool pending) override {
    calls.push_back(std::string("nameservers ") + (pending ? "pending " : "") + std::to_string(servers.size()));
    return succeeded();
  }
  bool withdrawPendingNameServers() override {
    calls.push_back("withdraw");
    return pendingLeft;
  }
  Outcome setHostName(const std::string& name) override {
    calls.push_back("hostname " + name);
    return hostNameOutcome;
  }
  Outcome setProxy(const ProxyRequest& proxy) override {
    calls.push_back("proxy " + proxy.host);
    return succeeded();
  }
  Outcome moveConfiguration(int, const std::string&, const std::string&) override {
    calls.push_back("move");
    return succeeded();
  }
  static Outcome succeeded() {
    Outcome outcome;
    outcome.ok = true;
    return outcome;
  }

  std::vector<std::string> calls;
  Outcome interfaceOutcome = succeeded();
  Outcome hostNameOutcome = succeeded();
  bool pendingLeft = true;

 private:
  bool live_;
};

ChangePlan fullPlan() {
  ChangePlan plan;
  plan.changeInterface = true;
  plan.interface.iface = "eth0";
  plan.interface.mode = KESP::DHCPV4;
  plan.changeNameServers = true;
  plan.nameServers = {"192.0.2.53"};
  plan.changeHostName = true;
  plan.hostName = "web1";
  plan.changeProxy = true;
  plan.proxy.host = "proxy.lan";
  return plan;
}

TEST(ConfigNetApply, AppliesEachPartInTurnAndReportsIt) {
  Outcome failedInterface;
  failedInterface.errors = {"Network FAILED to restart using new parameters eth0",
                            "Successfully restored previous network settings"};
  failedInterface.warnings = {"DHCP will override supplied DNS settings"};
  Outcome failedHostName;
  failedHostName.errors = {"Unable to execute kesp_set_hostname web1 command"};
  const struct {
    bool live;
    bool interfaceOk;
    bool hostNameOk;
    bool pendingLeft;
    bool allDone;
    std::vector<std::string> calls;
    std::vector<std::string> shown;
  } cases[] = {
      {true, true, true, true, true,
       {"nameservers pending 1", "interface eth0", "hostname web1", "proxy proxy.lan"},
       {"interface eth0: done", "name servers: done (applied with the interface change)",
        "host name: done", "HTTP proxy: done"}},
      {true, false, true, true, false,
       {"nameservers pending 1", "interface eth0", "withdraw", "hostname web1", "proxy proxy.lan"},
       {"interface eth0: warning: DHCP will override supplied DNS settings",
        "interface eth0: FAILED\n      Network FAILED to restart using new parameters eth0\n"
        "      Successfully restored previous network settings",
        "name servers: NOT APPLIED, the interface change failed", "HTTP proxy: done"}},
      {true, false, true, false, false,
       {"nameservers pending 1", "interface eth0", "withdraw", "hostname web1", "proxy proxy.lan"},
       {"name servers: applied, although the interface change failed"}},
      {true, true, false, true, false,
       {"nameservers pending 1", "interface eth0", "hostname web1", "proxy proxy.lan"},
       {"host name: FAILED\n      Unable to execute kesp_set_hostname web1 command"}},
      {false, true, true, true, true,
       {"interface eth0", "nameservers 1", "hostname web1", "proxy proxy.lan"},
       {"interface eth0: files written", "name servers: done"}},
  };
  for (const auto& c : cases) {
    RecordingOperations operations(c.live);
    operations.interfaceOutcome = c.interfaceOk ? RecordingOperations::succeeded() : failedInterface;
    operations.hostNameOutcome = c.hostNameOk ? RecordingOperations::succeeded() : failedHostName;
    operations.pendingLeft = c.pendingLeft;
    std::ostringstream out;
    EXPECT_EQ(applyPlan(fullPlan(), operations, out), c.allDone);
    EXPECT_EQ(operations.calls, c.calls);
    for (const std::string& line : c.shown)
      EXPECT_NE(out.str().find(line), std::string::npos) << line << "\n---\n" << out.str();
  }
}

TEST(ConfigNetApply, NameServersAloneGoStraightToTheResolver) {
  ChangePlan plan;
  plan.changeNameServers = true;
  plan.nameServers = {"192.0.2.53", "192.0.2.54"};
  RecordingOperations operations(true);
  std::ostringstream out;
  EXPECT_TRUE(applyPlan(plan, operations, out));
  EXPECT_EQ(operations.calls, (std::vector<std::string>{"nameservers 2"}));
}

}  // namespace

// After a change from a remote session: only a yes in time keeps it, and the
// seconds left are shown as they pass.
TEST(ConfigNetKeepQuestion, OnlyAYesInTimeKeeps) {
  struct Case {
    const char* typed;  // nullptr: the input stays open and silent
    bool closeAfter;
    bool kept;
  };
  const Case cases[] = {{"yes\n", false, true}, {" Y \n", false, true}, {"no\n", false, false},
                        {"later\n", false, false}, {"ye", true, false}, {nullptr, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed ? c.typed : "(silence)");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    if (c.typed) {
      ASSERT_EQ(write(pipeEnds[1], c.typed, strlen(c.typed)), static_cast<ssize_t>(strlen(c.typed)));
    }
    if (c.closeAfter) close(pipeEnds[1]);
    std::ostringstream shown;
    EXPECT_EQ(askToKeep(pipeEnds[0], shown, 2), c.kept);
    EXPECT_NE(shown.str().find("\rKeep these settings? They are put back in   2 seconds unless you answer yes: "),
              std::string::npos)
        << shown.str();
    if (!c.typed) {
      EXPECT_NE(shown.str().find("in   1 seconds"), std::string::npos) << shown.str();
    }
    close(pipeEnds[0]);
    if (!c.closeAfter) close(pipeEnds[1]);
  }
}
