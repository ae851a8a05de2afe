#pragma once
// The console as a person meets it: kesp_login running in a private tmux
// server of fixed size, inside a network namespace, on a fixture system root.
// Keys go in with send-keys, the screen comes back with capture-pane, and every
// wait polls for the expected screen against a deadline.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "kesp/util.h"
#include "netns.h"
#include "test_support.h"

namespace console_test {

inline std::string shellWord(const std::string& text) { return KESP::shell_quote(text); }

/// A copy of tests/fixtures/console/root with the compiled catalogues, and the
/// recording stand-in installed where a test wants one.
class ConsoleRoot {
 public:
  ConsoleRoot() {
    kesp_test::shell("cp -a " + shellWord(kesp_test::fixturePath("console/root")) + "/. " +
                     shellWord(dir_.path()));
    kesp_test::shell("mkdir -p " + shellWord(path("/opt/tolvex/lib")) + " && cp -r " +
                     shellWord(KESP_LOGIN_LOCALE_DIR) + " " + shellWord(path("/opt/tolvex/lib/")));
  }
  const std::string& root() const { return dir_.path(); }
  std::string path(const std::string& absolute) const { return dir_.path() + absolute; }

  void writeInterfaces(const std::string& stanzas) const {
    kesp_test::writeFile(path("/etc/network/interfaces"),
                         "auto lo\niface lo inet loopback\n\n" + stanzas);
  }
  void setWelcomeText(const std::string& text) const {
    kesp_test::writeFile(path("/opt/tolvex/share/kesp/welcome.txt"), text);
  }
  /// How often the welcome-text stand-in has run.
  int welcomeRuns() const { return countLines("/opt/tolvex/share/kesp/textgen.runs"); }
  int clearRuns() const { return countLines("/usr/bin/clear.runs"); }
  /// Puts the argument recorder at an absolute system path (e.g. "/bin/login").
  void installRecorder(const std::string& absolute) const {
    kesp_test::shell("mkdir -p \"$(dirname " + shellWord(path(absolute)) + ")\" && cp " +
                     shellWord(KESP_ARGV_RECORDER) + " " + shellWord(path(absolute)));
  }
  std::string recordFile() const { return dir_.path() + "/record"; }
#ifdef KESP_SET_TIMEZONE_BINARY
  /// The shipped time-zone tool at its place, and a zone database of a few of
  /// the machine's zone files (read, never changed) with Etc/UTC in effect.
  void installTimezoneTool() const {
    installProgram(KESP_SET_TIMEZONE_BINARY, "/opt/tolvex/share/kesp/kesp_set_timezone");
    for (const char* zone : {"Etc/UTC", "Europe/Berlin", "Europe/Paris", "America/New_York"})
      kesp_test::shell("mkdir -p \"$(dirname " + shellWord(path("/usr/share/zoneinfo/") + zone) +
                       ")\" && cp /usr/share/zoneinfo/" + zone + " " +
                       shellWord(path("/usr/share/zoneinfo/") + zone));
    kesp_test::shell("ln -sfn /usr/share/zoneinfo/Etc/UTC " + shellWord(path("/etc/localtime")));
    kesp_test::writeFile(path("/etc/timezone"), "Etc/UTC\n");
  }
#endif
  void installProgram(const std::string& program, const std::string& absolute) const {
    kesp_test::shell("mkdir -p \"$(dirname " + shellWord(path(absolute)) + ")\" && cp " +
                     shellWord(program) + " " + shellWord(path(absolute)));
  }
  /// Process numbers of the consoles registered (as redrawing) under the root.
  std::vector<std::string> registeredConsoles() const {
    std::string listed = kesp_test::shellOutput("ls " + shellWord(path("/run/kesp/consoles")) +
                                                " 2>/dev/null");
    std::vector<std::string> pids;
    std::string pid;
    for (char c : listed + "\n") {
      if (c != '\n') {
        pid += c;
      } else if (!pid.empty()) {
        pids.push_back(pid);
        pid.clear();
      }
    }
    return pids;
  }
  /// The recorder's lines ("arg:…", "fd0:…"), empty until it has run.
  std::vector<std::string> record() const {
    std::vector<std::string> lines;
    if (!kesp_test::fileExists(recordFile())) return lines;
    std::string text = kesp_test::readFile(recordFile()), line;
    for (char c : text) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    return lines;
  }

 private:
  int countLines(const std::string& absolute) const {
    if (!kesp_test::fileExists(path(absolute))) return 0;
    std::string text = kesp_test::readFile(path(absolute));
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
  }

  kesp_test::TempDir dir_;
};

/// One cell of the captured screen with the colours that matter here.
struct Cell {
  std::string text;  // one character (UTF-8)
  int foreground = -1;  // 0..7, -1 for the default
  int background = -1;
  bool bold = false;
  bool reverse = false;
};
using Row = std::vector<Cell>;

/// Reads capture-pane -e output into cells (SGR attributes applied, other
/// escape sequences skipped). Rows keep tmux's trimming of trailing blanks.
inline std::vector<Row> parseCells(const std::string& captured) {
  std::vector<Row> rows(1);
  Cell pen;
  for (size_t i = 0; i < captured.size();) {
    unsigned char c = static_cast<unsigned char>(captured[i]);
    if (c == '\n') {
      rows.emplace_back();
      ++i;
    } else if (c == 0x1b && i + 1 < captured.size() && captured[i + 1] == '[') {
      size_t end = i + 2;
      while (end < captured.size() && !(captured[end] >= 0x40 && captured[end] <= 0x7e)) ++end;
      if (end < captured.size() && captured[end] == 'm') {
        std::vector<int> params;
        std::string digits;
        for (size_t k = i + 2; k <= end; ++k) {
          if (captured[k] == ';' || k == end) {
            params.push_back(digits.empty() ? 0 : std::stoi(digits));
            digits.clear();
          } else {
            digits += captured[k];
          }
        }
        for (size_t k = 0; k < params.size(); ++k) {
          int p = params[k];
          if (p == 0) pen = Cell();
          else if (p == 1) pen.bold = true;
          else if (p == 22) pen.bold = false;
          else if (p == 7) pen.reverse = true;
          else if (p == 27) pen.reverse = false;
          else if (p >= 30 && p <= 37) pen.foreground = p - 30;
          else if (p == 39) pen.foreground = -1;
          else if (p >= 40 && p <= 47) pen.background = p - 40;
          else if (p == 49) pen.background = -1;
          else if ((p == 38 || p == 48) && k + 2 < params.size() && params[k + 1] == 5) {
            (p == 38 ? pen.foreground : pen.background) = params[k + 2];
            k += 2;
          }
        }
      }
      i = end + 1;
    } else {
      size_t length = c < 0x80 ? 1 : c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
      Cell cell = pen;
      cell.text = captured.substr(i, length);
      rows.back().push_back(cell);
      i += length;
    }
  }
  return rows;
}

struct SessionOptions {
  int columns = 100;
  int rows = 30;
  std::string lang = "C.UTF-8";
  /// TZ of the console; empty: none, so that the root's /etc/localtime counts.
  std::string timezone = "UTC";
  /// Starts the console once more after it (or the program it handed over
  /// to) ends, as the terminal's service does.
  bool restart = false;
  std::map<std::string, std::string> environment;
  /// Runs after the console ends, in the same pane (e.g. "stty -a > FILE").
  std::string afterwards;
  /// Starts the console with SIGHUP ignored, so that a closed terminal shows
  /// as a hang-up on its input rather than as a signal.
  bool ignoreHangup = false;
  /// Starts the console with its input at end of file (no keyboard at all).
  bool inputAtEnd = false;
};

/// kesp_login --root ROOT in a fresh tmux server, inside the namespace.
class ConsoleSession {
 public:
  ConsoleSession(const kesp_test::NetNamespace& ns, const ConsoleRoot& root,
                 const SessionOptions& options = SessionOptions())
      : socket_("kesp-console-" + std::to_string(getpid()) + "-" +
                std::to_string(nextNumber())) {
    // The pane stays after the console ends so that its last screen and exit
    // status can still be read.
    kesp_test::writeFile(config_ / "tmux.conf", "set -g remain-on-exit on\n");
    std::string environment = std::string("env -u LC_ALL -u LANGUAGE -u KESP_LOG_FILE") +
                              (options.timezone.empty() ? " -u TZ" : "") + " TERM=xterm-256color"
                              " LANG=" + shellWord(options.lang) +
                              (options.timezone.empty() ? "" : " TZ=" + shellWord(options.timezone)) +
                              " KESP_RECORD_FILE=" + shellWord(root.recordFile());
    for (const auto& entry : options.environment)
      environment += " " + entry.first + "=" + shellWord(entry.second);
    std::string console = environment + " " + shellWord(KESP_LOGIN_BINARY) + " --root " +
                          shellWord(root.root());
    if (options.inputAtEnd) console += " < /dev/null";
    if (options.restart) console = "sh -c " + shellWord(console + "; " + console);
    if (options.ignoreHangup) console = "sh -c " + shellWord("trap '' HUP; exec " + console);
    std::string inner = options.afterwards.empty()
                            ? console
                            : "sh -c " + shellWord(console + "; " + options.afterwards);
    std::string command = ns.execPrefix() + inner;
    started_ = tmux("-f " + shellWord(config_ / "tmux.conf") + " new-session -d -s console -x " +
                    std::to_string(options.columns) + " -y " + std::to_string(options.rows) +
                    " " + shellWord(command)) == 0;
  }
  ~ConsoleSession() { closeTerminal(); }
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  bool started() const { return started_; }

  /// The screen as text, one string per row (trailing blanks trimmed).
  std::vector<std::string> lines() const {
    std::string text = kesp_test::shellOutput("tmux -L " + socket_ + " capture-pane -p -t console");
    std::vector<std::string> rows(1);
    for (char c : text) {
      if (c == '\n')
        rows.emplace_back();
      else
        rows.back() += c;
    }
    return rows;
  }
  std::vector<Row> cells() const {
    return parseCells(
        kesp_test::shellOutput("tmux -L " + socket_ + " capture-pane -p -e -t console"));
  }

  /// Ends the tmux server, which closes the console's terminal.
  void closeTerminal() const { tmux("kill-server"); }

  /// Gives the terminal a new size, as an operator resizing the window would.
  void resize(int columns, int rows) const {
    tmux("resize-window -t console -x " + std::to_string(columns) + " -y " + std::to_string(rows));
  }

  /// send-keys with tmux key names ("Down", "Enter", "KPEnter", "C-@").
  void keys(const std::string& names) const { tmux("send-keys -t console " + names); }
  /// send-keys of literal text.
  void type(const std::string& text) const { tmux("send-keys -t console -l -- " + shellWord(text)); }

  /// Polls the screen until the predicate holds; false after the deadline.
  bool waitFor(const std::function<bool(const std::vector<std::string>&)>& expected,
               int timeoutMs = 5000) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (expected(lines())) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  bool waitForText(const std::string& text, int timeoutMs = 5000) const {
    return waitFor([&](const std::vector<std::string>& rows) { return contains(rows, text); },
                   timeoutMs);
  }
  /// Waits until the console's process has ended; false after the deadline.
  /// (tmux does not always know a dead pane's exit status: tests that need it
  /// have the shell write it to a file.)
  bool waitForEnd(int timeoutMs = 5000) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      std::string state = kesp_test::shellOutput("tmux -L " + socket_ +
                                                 " display-message -p -t console '#{pane_dead}'");
      if (state.compare(0, 1, "1") == 0) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  static bool contains(const std::vector<std::string>& rows, const std::string& text) {
    for (const std::string& row : rows)
      if (row.find(text) != std::string::npos) return true;
    return false;
  }
  /// Everything on the screen, for failure messages.
  std::string dump() const {
    std::string text;
    for (const std::string& row : lines()) text += "|" + row + "\n";
    return text;
  }

 private:
  static int nextNumber() {
    static std::atomic<int> number{0};
    return ++number;
  }
  int tmux(const std::string& arguments) const {
    return kesp_test::shell("tmux -L " + socket_ + " " + arguments + " >/dev/null 2>&1");
  }

  kesp_test::TempDir config_;
  std::string socket_;
  bool started_ = false;
};

}  // namespace console_test
