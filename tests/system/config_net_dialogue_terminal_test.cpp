// The dialogue of kesp_config_net as a new operator meets it: in a network
// namespace where eth0 has no address, the console (kesp_login, restarted in
// a loop as its supervisor would) shows its warning; the operator configures
// eth0 statically in a second tmux window and sees the warning go, switches
// back to DHCP, then types wrong input at every prompt and leaves, and
// nothing changes. The stand-in ifup applies the files' addresses; the change
// asks the console of this root to redraw, and it stays.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "config_net_harness.h"

namespace {

using config_net_test::contains;
using config_net_test::quote;
using config_net_test::ToolRoot;
using kesp_test::NetNamespace;

const char kWarning[] = "NO NETWORKING DETECTED";
const int kWait = 10000;
const size_t kColumns = 80;  // the console's

/// A private tmux server of fixed size; one window per program.
class Tmux {
 public:
  Tmux() : socket_("kesp-config-net-" + std::to_string(getpid()) + "-" + std::to_string(++count_)) {
    kesp_test::writeFile(config_ / "tmux.conf", "set -g remain-on-exit on\n");
  }
  ~Tmux() { tmux("kill-server"); }

  bool open(const std::string& window, const std::string& command) {
    const std::string how = started_ ? "new-window -t main -n " + window
                                     : "-f " + quote(config_ / "tmux.conf") +
                                           " new-session -d -s main -x " + std::to_string(kColumns) +
                                           " -y 100 -n " + window;
    started_ = true;
    return tmux(how + " " + quote(command)) == 0;
  }
  std::vector<std::string> lines(const std::string& window) const {
    const std::string text =
        kesp_test::shellOutput("tmux -L " + socket_ + " capture-pane -p -t main:" + window);
    std::vector<std::string> rows(1);
    for (char c : text) {
      if (c == '\n') rows.emplace_back();
      else rows.back() += c;
    }
    return rows;
  }
  std::string screen(const std::string& window) const {
    std::string text;
    for (const std::string& row : lines(window)) text += "|" + row + "\n";
    return text;
  }
  /// Rows that fill the window to its edge with a word that goes on in the
  /// next row: the terminal broke the word.
  std::vector<std::string> brokenWords(const std::string& window) const {
    const std::vector<std::string> rows = lines(window);
    std::vector<std::string> broken;
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
      size_t characters = 0;
      for (unsigned char c : rows[i]) characters += (c & 0xC0) != 0x80;
      if (characters >= kColumns && rows[i].back() != ' ' && !rows[i + 1].empty() &&
          rows[i + 1][0] != ' ')
        broken.push_back(rows[i] + "|" + rows[i + 1]);
    }
    return broken;
  }
  bool waitFor(const std::string& window, const std::function<bool(const std::string&)>& expected) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWait);
    for (;;) {
      if (expected(screen(window))) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
  }
  /// The window's text as it was written, lines broken between words joined
  /// again: every run of blanks and row ends as one blank.
  std::string flowing(const std::string& window) const {
    std::string rows;
    for (const std::string& row : lines(window)) rows += row + " ";
    return collapsed(rows);
  }
  static std::string collapsed(const std::string& text) {
    std::string flat;
    for (char c : text)
      if (c != ' ' || (!flat.empty() && flat.back() != ' ')) flat += c;
    return flat;
  }
  /// waitForText for a text that a line broken between words may carry on the next row.
  bool waitForWrappedText(const std::string& window, const std::string& text) const {
    return waitFor(window,
                   [&](const std::string&) { return contains(flowing(window), collapsed(text)); });
  }
  bool waitForText(const std::string& window, const std::string& text) const {
    return waitFor(window, [&](const std::string& shown) { return contains(shown, text); });
  }
  /// Waits until the prompt stands on the last line that holds text, where
  /// the cursor waits for the answer, or on the line before when a long
  /// prompt goes on there (broken between words).
  bool waitForPrompt(const std::string& window, const std::string& prompt) const {
    return waitFor(window, [&](const std::string&) {
      std::vector<std::string> rows = lines(window);
      while (!rows.empty() && rows.back().find_first_not_of(' ') == std::string::npos) rows.pop_back();
      if (rows.empty()) return false;
      if (contains(rows.back(), prompt)) return true;
      // Nothing typed after it yet: the line still ends with the prompt's colon.
      const std::string& before = rows.size() > 1 ? rows[rows.size() - 2] : "";
      return rows.back().back() == ':' && contains(before + " " + rows.back(), prompt);
    });
  }
  void answer(const std::string& window, const std::string& text) const {
    if (!text.empty()) tmux("send-keys -t main:" + window + " -l -- " + quote(text));
    tmux("send-keys -t main:" + window + " Enter");
  }
  void keys(const std::string& window, const std::string& names) const {
    tmux("send-keys -t main:" + window + " " + names);
  }
  /// The exit status the window's command line printed as "[exit status N]"
  /// once the program ended, or -1. (tmux's own pane status is not reliable
  /// for a pane that ends while another pane's program is killed.)
  int waitForExit(const std::string& window) const {
    const std::string tag = "[exit status ";
    if (!waitForText(window, tag)) return -1;
    const std::string shown = screen(window);
    return std::atoi(shown.c_str() + shown.find(tag) + tag.size());
  }

 private:
  int tmux(const std::string& arguments) const {
    return kesp_test::shell("tmux -L " + socket_ + " " + arguments + " >/dev/null 2>&1");
  }

  static std::atomic<int> count_;
  kesp_test::TempDir config_;
  std::string socket_;
  bool started_ = false;
};

std::atomic<int> Tmux::count_{0};

/// One prompt of the dialogue: what it shows, and what the operator types;
/// a refusal expected before the next prompt, when the answer is wrong.
struct Step {
  std::string prompt;
  std::string answer;
  std::string refusal;
};

class ConfigNetDialogueTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef KESP_CONFIG_NET_CONSOLE
    GTEST_SKIP() << "terminal test: the console (kesp_login) is not built";
#else
    KESP_SKIP_UNLESS_ROOT();
    if (kesp_test::shell("command -v tmux >/dev/null") != 0) GTEST_SKIP() << "terminal test: no tmux";
    // The console's own pieces (welcome text, clear) over the tool's root;
    // its interfaces file configures only lo.
    ASSERT_EQ(kesp_test::shell("cp -a " + quote(kesp_test::fixturePath("console/root")) + "/. " +
                               quote(root.path())),
              0);
    ns.addVeth("eth0");
    const std::string pidFile = root.fakeBin() + "/console.pid";
    const std::string console = "echo $$ > " + quote(pidFile) +
                                "; exec env TERM=xterm-256color LANG=C.UTF-8 TZ=UTC " +
                                quote(KESP_CONFIG_NET_CONSOLE) + " --root " + quote(root.path());
    const std::string loop = "while :; do echo start >> " + quote(starts()) + "; sh -c " +
                             quote(console) + "; sleep 0.2; done";
    ASSERT_TRUE(tmux.open("console", ns.execPrefix() + "sh -c " + quote(loop)));
#endif
  }

  std::string starts() const { return root.fakeBin() + "/console.starts"; }
  int consoleStarts() const {
    const std::string text = kesp_test::fileExists(starts()) ? kesp_test::readFile(starts()) : "";
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  }

  /// Opens the tool in a window of its own and goes through the steps.
  void converse(const std::string& window, const std::vector<Step>& steps,
                const std::string& language = "LANG=C.UTF-8", const std::string& refused = "Not accepted") {
    const std::string tool = ns.execPrefix() + "env -u LC_ALL -u LANGUAGE TERM=xterm-256color " + language +
                             " TEXTDOMAINDIR=" + quote(KESP_CONFIG_NET_LOCALE_DIR) + " PATH=" +
                             quote(root.fakeBin()) + ":\"$PATH\" " + quote(KESP_CONFIG_NET_BINARY) +
                             " --system-root " + quote(root.path());
    // The trap keeps the wrapping shell alive through a Ctrl-C (which the
    // whole foreground group receives), so that it can tell the status; the
    // tool itself starts with SIGINT at its default, as at a console.
    ASSERT_TRUE(tmux.open(window, "sh -c " + quote("trap : INT; " + tool + "; echo \"[exit status $?]\"")));
    for (const Step& step : steps) {
      ASSERT_TRUE(tmux.waitForPrompt(window, step.prompt))
          << "waiting for '" << step.prompt << "'\n" << tmux.screen(window);
      if (step.answer == "C-c" || step.answer == "C-d") {
        tmux.keys(window, step.answer);
        continue;
      }
      tmux.answer(window, step.answer);
      if (!step.refusal.empty()) {
        ASSERT_TRUE(tmux.waitForWrappedText(window, "  " + refused + ": " + step.refusal))
            << "waiting for the refusal '" << step.refusal << "'\n" << tmux.screen(window);
      }
    }
  }

  std::string eth0Addresses() const { return ns.execOutput("ip -o -4 addr show dev eth0"); }

  NetNamespace ns;
  ToolRoot root{"debian"};
  Tmux tmux;
};

TEST_F(ConfigNetDialogueTerminal, ConfigureStaticThenDhcpThenWrongInputChangesNothing) {
  ASSERT_TRUE(tmux.waitForText("console", kWarning)) << tmux.screen("console");

  // 1. eth0 static: the console's warning goes.
  converse("static", {{"Interface to configure", "1", ""},
                      {"Choose 1-3 [1]", "2", ""},
                      {"IPv4 address:", "192.0.2.10/24", ""},
                      {"Gateway (Enter for none):", "192.0.2.1", ""},
                      {"Choose 1-3 [1]", "", ""},
                      {"Name servers, separated by blanks", "192.0.2.54", ""},
                      {"New host name", "", ""},
                      {"Proxy host", "", ""},
                      {"Apply these changes? (yes/no) [no]:", "yes", ""}});
  ASSERT_TRUE(tmux.waitForText("static", "All changes were applied.")) << tmux.screen("static");
  EXPECT_TRUE(contains(tmux.screen("static"), "interface eth0: done, it has an address"));
  EXPECT_EQ(tmux.waitForExit("static"), 0);
  // The change made the console redraw: the same process, without the warning.
  EXPECT_TRUE(tmux.waitFor("console", [&](const std::string& shown) {
    return !contains(shown, kWarning) && contains(shown, "Login");
  })) << tmux.screen("console");
  EXPECT_EQ(consoleStarts(), 1);
  EXPECT_EQ(root.killallCalls(), "");
  EXPECT_TRUE(contains(eth0Addresses(), "inet 192.0.2.10/24")) << eth0Addresses();
  EXPECT_TRUE(contains(root.read("/etc/network/interfaces"), "iface eth0 inet static"));
  EXPECT_EQ(root.read("/etc/resolv.conf"), "# written by the installer\nsearch example.lan\nnameserver 192.0.2.54\n");

  // 2. Back to DHCP: the lease comes, the warning stays away.
  root.write("/etc/fake-dhcp/eth0", "192.0.2.77/24");
  const int startsBefore = consoleStarts();
  converse("dhcp", {{"Interface to configure", "eth0", ""},
                    {"Choose 1-3 [2]", "1", ""},
                    {"Choose 1-3 [1]", "", ""},
                    {"Name servers, separated by blanks", "", ""},
                    {"New host name", "", ""},
                    {"Proxy host", "", ""},
                    {"Apply these changes? (yes/no) [no]:", "y", ""}});
  ASSERT_TRUE(tmux.waitForText("dhcp", "All changes were applied.")) << tmux.screen("dhcp");
  EXPECT_EQ(tmux.waitForExit("dhcp"), 0);
  EXPECT_TRUE(contains(eth0Addresses(), "inet 192.0.2.77/24")) << eth0Addresses();
  EXPECT_FALSE(contains(eth0Addresses(), "192.0.2.10"));
  EXPECT_TRUE(contains(root.read("/etc/network/interfaces"), "iface eth0 inet dhcp"));
  EXPECT_TRUE(tmux.waitFor("console", [&](const std::string& shown) {
    return !contains(shown, kWarning) && contains(shown, "Login");
  })) << tmux.screen("console");
  EXPECT_EQ(consoleStarts(), startsBefore);

  // 3. Wrong input at every prompt, then no; and leaving with Ctrl-C and Ctrl-D.
  const std::vector<std::string> watched = {"/etc/network/interfaces", "/etc/resolv.conf",
                                            "/etc/environment", "/var/log/fake-net.log"};
  std::vector<std::string> before;
  for (const std::string& file : watched) before.push_back(root.read(file));
  const std::string killallBefore = root.killallCalls();
  const std::string addressesBefore = eth0Addresses();

  converse("wrong", {
      {"Interface to configure", "7", "'7' is not one of the listed numbers 1-1"},
      {"Interface to configure", "eth9", "'eth9' is not one of the listed interfaces"},
      {"Interface to configure", "1", ""},
      {"Choose 1-3 [1]", "0", "'0' is not one of the choices 1-3"},
      {"Choose 1-3 [1]", "2", ""},
      {"IPv4 address:", "192.0.2.256", "'192.0.2.256' is not an IPv4 address"},
      {"IPv4 address:", "192.0.2.30", ""},
      {"Netmask [255.255.255.0]:", "255.255.0.255", "'255.255.0.255' is not a netmask"},
      {"Netmask [255.255.255.0]:", "", ""},
      {"Gateway (Enter for none):", "192.0.3.1",
       "the gateway '192.0.3.1' is not in the network of 192.0.2.30/24"},
      {"Gateway (Enter for none):", "", ""},
      {"Choose 1-3 [1]", "9", "'9' is not one of the choices 1-3"},
      {"Choose 1-3 [1]", "2", ""},
      {"IPv6 address:", "2001:db8::g", "'2001:db8::g' is not an IPv6 address"},
      {"IPv6 address:", "2001:db8::30", ""},
      {"Prefix length [64]:", "200", "'200' is not an IPv6 prefix length"},
      {"Prefix length [64]:", "", ""},
      {"IPv6 gateway (Enter for none):", "2001:db8::30",
       "the gateway '2001:db8::30' cannot be the interface's own address"},
      {"IPv6 gateway (Enter for none):", "", ""},
      {"Name servers, separated by blanks", "192.0.2.53 not-an-address",
       "'not-an-address' is not a name server address"},
      {"Name servers, separated by blanks", "", ""},
      {"New host name", "bad_name", "'bad_name' is not a host name"},
      {"New host name", "", ""},
      {"Proxy host", "proxy host", "'proxy host' is not a proxy host"},
      {"Proxy host", "proxy.lan", ""},
      {"Proxy port [80]:", "0", "'0' is not a port"},
      {"Proxy port [80]:", "", ""},
      {"Proxy user (Enter for none):", "a user", "'a user' is not a user name"},
      {"Proxy user (Enter for none):", "", ""},
      {"Apply these changes? (yes/no) [no]:", "perhaps", "please answer yes or no, not 'perhaps'"},
      {"Apply these changes? (yes/no) [no]:", "no", ""},
  });
  ASSERT_TRUE(tmux.waitForText("wrong", "Nothing was changed.")) << tmux.screen("wrong");
  EXPECT_EQ(tmux.waitForExit("wrong"), 0);
  for (const char* window : {"static", "dhcp", "wrong"}) {
    EXPECT_EQ(tmux.brokenWords(window), std::vector<std::string>{}) << tmux.screen(window);
    // ifdown's and the DHCP client's own words are theirs, not the operator's.
    for (const char* theirs : {"RTNETLINK", "DHCPDISCOVER"})
      EXPECT_FALSE(contains(tmux.screen(window), theirs)) << tmux.screen(window);
  }

  converse("interrupt", {{"Interface to configure", "1", ""}, {"Choose 1-3 [1]", "C-c", ""}});
  ASSERT_TRUE(tmux.waitForText("interrupt", "Left without changing anything.")) << tmux.screen("interrupt");
  EXPECT_EQ(tmux.waitForExit("interrupt"), 1);
  converse("end", {{"Interface to configure", "", ""}, {"Name servers, separated by blanks", "C-d", ""}});
  ASSERT_TRUE(tmux.waitForText("end", "Left without changing anything.")) << tmux.screen("end");
  EXPECT_EQ(tmux.waitForExit("end"), 1);

  for (size_t i = 0; i < watched.size(); ++i) EXPECT_EQ(root.read(watched[i]), before[i]) << watched[i];
  EXPECT_FALSE(root.exists("/etc/resolv.conf.pending"));
  EXPECT_EQ(root.killallCalls(), killallBefore);
  EXPECT_EQ(eth0Addresses(), addressesBefore);
  EXPECT_FALSE(contains(tmux.screen("console"), kWarning));
}

// An operator at a German console meets the dialogue in German from start to
// end: prompts, refusals, the summary and the report of the change.
TEST_F(ConfigNetDialogueTerminal, GermanOperatorMeetsOneLanguage) {
  ASSERT_TRUE(tmux.waitForText("console", kWarning)) << tmux.screen("console");
  converse("deutsch",
           {{"Welche Schnittstelle?", "1", ""},
            {"Wählen Sie 1-3 [1]", "2", ""},
            {"IPv4-Adresse:", "192.0.2.0/24",
             "'192.0.2.0/24' ist die Adresse des Netzes selbst, keine Host-Adresse"},
            {"IPv4-Adresse:", "192.0.2.10/24", ""},
            {"Gateway (Eingabetaste für keines):", "", ""},
            {"Wählen Sie 1-3 [1]", "", ""},
            {"Namensserver, durch Leerzeichen oder Kommas getrennt", "192.0.2.53, 192.0.2.53",
             "der Namensserver '192.0.2.53' ist zweimal angegeben"},
            {"Namensserver, durch Leerzeichen oder Kommas getrennt", "192.0.2.53,198.51.100.53", ""},
            {"Neuer Hostname", "", ""},
            {"Proxy-Host", "", ""},
            {"Diese Änderungen anwenden? (ja/nein) [nein]:", "vielleicht",
             "bitte mit ja oder nein antworten, nicht 'vielleicht'"},
            {"Diese Änderungen anwenden? (ja/nein) [nein]:", "ja", ""}},
           "LANG=de_DE.UTF-8", "Nicht angenommen");
  ASSERT_TRUE(tmux.waitForText("deutsch", "Alle Änderungen wurden angewandt.")) << tmux.screen("deutsch");
  EXPECT_EQ(tmux.waitForExit("deutsch"), 0);
  // Rows joined as they were written: long lines break between words.
  const std::string shown = tmux.flowing("deutsch");
  EXPECT_EQ(tmux.brokenWords("deutsch"), std::vector<std::string>{}) << tmux.screen("deutsch");
  for (const char* german : {"Ethernet-Schnittstellen:", "Zusammenfassung der Änderungen:",
                             "es wird bis zu 30 Sekunden gewartet, bis eth0 eine IPv4-Adresse hat",
                             "Schnittstelle eth0: erledigt, sie hat eine Adresse",
                             // the verdict on the changed interface: no gateway was given
                             "Diagnose: eth0: kein Gateway: andere Netze sind nicht erreichbar"})
    EXPECT_TRUE(contains(shown, german)) << german << "\n" << shown;
  // None of the English originals slipped through.
  for (const char* english : {"Interface to configure", "Choose", "Not accepted", "Summary", "unchanged",
                              "Applying", "done", "waiting"})
    EXPECT_FALSE(contains(shown, english)) << english << "\n" << shown;
  EXPECT_EQ(root.read("/etc/resolv.conf"),
            "# written by the installer\nsearch example.lan\nnameserver 192.0.2.53\nnameserver 198.51.100.53\n");
  EXPECT_TRUE(contains(eth0Addresses(), "inet 192.0.2.10/24")) << eth0Addresses();
}

}  // namespace
