// The command line of kesp_config_net: global options anywhere, each
// command's own options and arguments, and the usage errors (exit status 2).

#include <gtest/gtest.h>

#include "command_line.h"
#include "help_text.h"

using namespace kesp_config_net;

namespace {

struct Parsed {
  bool ok;
  Invocation invocation;
  std::string error;
};

Parsed parse(const std::vector<std::string>& words) {
  Parsed parsed;
  parsed.ok = parseCommandLine(words, parsed.invocation, parsed.error);
  return parsed;
}

TEST(ConfigNetCommandLine, ReadsGlobalOptionsBeforeAndAfterTheCommand) {
  const struct {
    std::vector<std::string> words;
    std::string command;
    std::string root;
    bool offline, json, verbose, help;
    std::vector<std::string> arguments;
  } cases[] = {
      {{}, "", "", false, false, false, false, {}},
      {{"--root", "/img", "show"}, "show", "/img", true, false, false, false, {}},
      {{"show", "eth0", "--root=/img", "--json"}, "show", "/img", true, true, false, false, {"eth0"}},
      {{"--json", "dns"}, "dns", "", false, true, false, false, {}},
      {{"--system-root", "/r", "-v", "gateways", "eth1"}, "gateways", "/r", false, false, true, false,
       {"eth1"}},
      {{"set", "--help"}, "set", "", false, false, false, true, {}},
      {{"-h"}, "", "", false, false, false, true, {}},
      {{"dns", "--", "--looks-like-an-option"}, "dns", "", false, false, false, false,
       {"--looks-like-an-option"}},
  };
  for (const auto& c : cases) {
    const Parsed parsed = parse(c.words);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.invocation.command, c.command);
    EXPECT_EQ(parsed.invocation.root, c.root);
    EXPECT_EQ(parsed.invocation.offline, c.offline);
    EXPECT_EQ(parsed.invocation.json, c.json);
    EXPECT_EQ(parsed.invocation.verbose, c.verbose);
    EXPECT_EQ(parsed.invocation.help, c.help);
    EXPECT_EQ(parsed.invocation.arguments, c.arguments);
  }
}

TEST(ConfigNetCommandLine, ReadsCommandOptions) {
  const Parsed set = parse({"set", "eth0", "--mode", "STATICV4", "--ipv4-address=192.0.2.10",
                            "--ipv4-netmask", "24", "--json"});
  ASSERT_TRUE(set.ok) << set.error;
  EXPECT_EQ(set.invocation.option("mode"), "STATICV4");
  EXPECT_EQ(set.invocation.option("ipv4-address"), "192.0.2.10");
  EXPECT_EQ(set.invocation.option("ipv4-netmask"), "24");
  EXPECT_FALSE(set.invocation.has("ipv4-gateway"));
  EXPECT_TRUE(set.invocation.json);

  const Parsed proxy = parse({"proxy", "set", "--host", "p", "--user", "u", "--password-stdin"});
  ASSERT_TRUE(proxy.ok) << proxy.error;
  EXPECT_TRUE(proxy.invocation.has("password-stdin"));
  EXPECT_EQ(proxy.invocation.option("password-stdin"), "");

  const Parsed dns = parse({"dns", "--pending", "192.0.2.53", "2001:db8::53"});
  ASSERT_TRUE(dns.ok) << dns.error;
  EXPECT_TRUE(dns.invocation.has("pending"));
  EXPECT_EQ(dns.invocation.arguments.size(), 2u);

  for (const std::vector<std::string>& words :
       std::vector<std::vector<std::string>>{{"move", "add", "eth1"},
                                             {"move", "swap", "eth0", "eth1"},
                                             {"proxy"}, {"proxy", "clear"}, {"hostname", "web1"},
                                             {"help", "set"}, {"dns", "--clear"},
                                             {"dns", "--pending", "--clear"}})
    EXPECT_TRUE(parse(words).ok) << words[0] << ": " << parse(words).error;
}

TEST(ConfigNetCommandLine, NamesEveryUsageError) {
  const struct {
    std::vector<std::string> words;
    const char* error;
  } cases[] = {
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"show", "--mode", "x"}, "unknown option '--mode' for show"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-x", "show"}, "unknown option '-x'"},
      {{"show", "eth0", "eth1"}, "show: unexpected argument 'eth1'"},
      {{"set", "--mode", "DHCPV4"}, "set: missing argument"},
      {{"set", "eth0"}, "set needs --mode"},
      {{"set", "eth0", "--mode"}, "--mode needs a value"},
      {{"set", "eth0", "--mode", "A", "--mode", "B"}, "--mode given twice"},
      {{"--root", "/a", "--system-root", "/b", "show"}, "not together"},
      {{"--root=", "show"}, "--root needs a directory"},
      {{"--json=yes", "show"}, "--json takes no value"},
      {{"gateways"}, "gateways: missing argument"},
      {{"dns", "--pending"}, "dns --pending needs the servers"},
      {{"dns", "--clear", "192.0.2.1"}, "--clear takes no servers"},
      {{"proxy", "set"}, "proxy set needs --host"},
      {{"proxy", "set", "--host", "h", "--password-stdin"}, "--password-stdin needs --user"},
      {{"proxy", "show", "--host", "h"}, "proxy show takes no options"},
      {{"proxy", "enable"}, "unknown action 'enable'"},
      {{"move", "add", "eth0", "eth1"}, "move add takes one interface"},
      {{"move", "swap", "eth0"}, "move swap takes two interfaces"},
      {{"move", "rename", "eth0"}, "unknown action 'rename'"},
      {{"hostname", "a", "b"}, "hostname: unexpected argument 'b'"},
      {{"help", "nothing"}, "help: unknown command 'nothing'"},
  };
  for (const auto& c : cases) {
    const Parsed parsed = parse(c.words);
    EXPECT_FALSE(parsed.ok) << c.error;
    EXPECT_NE(parsed.error.find(c.error), std::string::npos)
        << "expected '" << c.error << "', got '" << parsed.error << "'";
  }
}

TEST(ConfigNetCommandLine, EveryCommandHasItsOwnHelp) {
  const std::string overview = toolHelp();
  for (const std::string& command : commandNames()) {
    const std::string help = commandHelp(command);
    EXPECT_NE(overview.find("  " + command), std::string::npos) << command;
    EXPECT_EQ(help.rfind("usage: kesp_config_net " + command, 0), 0u) << help;
    // A help on parse: --help after any command is accepted with no other check.
    EXPECT_TRUE(parse({command, "--help"}).ok) << command;
  }
  EXPECT_NE(commandHelp("set").find("STATICV4+DHCPV6"), std::string::npos);
  EXPECT_EQ(commandHelp("set").find("@MODES@"), std::string::npos);
  EXPECT_EQ(commandHelp("unknown"), overview);
}

}  // namespace
