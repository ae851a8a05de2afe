#pragma once
// kesp_config_net run as a script or an operator runs it: the binary, on a
// system root made from a family's fixture tree with recording stand-ins for
// the programs it may start, offline (--root) or, inside a network namespace,
// live (--system-root). A fake killall stands first in PATH.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "netns.h"
#include "test_support.h"

namespace config_net_test {

inline std::string quote(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

/// A system root: tests/fixtures/config_net/<family> with the stand-ins for
/// ifup, ifdown (sbin), the host-name and deployment-property scripts, and
/// killall in a directory of its own.
class ToolRoot {
 public:
  explicit ToolRoot(const std::string& family) {
    const std::string programs = kesp_test::fixturePath("config_net/programs");
    const std::string script =
        kesp_test::fixtureCopyCommand(kesp_test::fixturePath("config_net/" + family), path()) +
        " && mkdir -p " + quote(file("/sbin")) + " " + quote(file("/opt/tolvex/share/kesp")) + " " +
        quote(fakeBin()) + " && cp " + quote(programs + "/ifup") + " " + quote(programs + "/ifdown") +
        " " + quote(file("/sbin/")) + " && cp " + quote(programs + "/kesp_set_hostname") + " " +
        quote(programs + "/kesp_ovf_process") + " " + quote(file("/opt/tolvex/share/kesp/")) +
        " && cp " + quote(programs + "/killall") + " " + quote(fakeBin() + "/");
    if (kesp_test::shell(script) != 0) throw std::runtime_error("cannot build the root: " + script);
  }

  const std::string& path() const { return root_.path(); }
  std::string file(const std::string& absolute) const { return path() + absolute; }
  std::string read(const std::string& absolute) const { return kesp_test::readFile(file(absolute)); }
  bool exists(const std::string& absolute) const { return kesp_test::fileExists(file(absolute)); }
  void write(const std::string& absolute, const std::string& content, unsigned mode = 0644) const {
    kesp_test::writeFile(file(absolute), content, mode);
  }
  /// The directory put first in PATH: the fake killall and what it records.
  std::string fakeBin() const { return scratch_.path() + "/bin"; }
  /// What the stand-ins recorded, "" when they never ran.
  std::string recorded(const std::string& absolute) const {
    return exists(absolute) ? read(absolute) : "";
  }
  std::string killallCalls() const {
    return kesp_test::fileExists(fakeBin() + "/killall.log")
               ? kesp_test::readFile(fakeBin() + "/killall.log")
               : "";
  }

  /// Puts recording stand-ins at the places of every program the tool may
  /// start (fixtures/config_net/programs/stand-ins); standInsRan() tells
  /// what of them ran, "" when none did.
  void plantStandIns() const {
    if (kesp_test::shell(standIns() + " plant " + quote(path())) != 0)
      throw std::runtime_error("cannot plant the stand-ins in " + path());
  }
  std::string standInsRan() const { return kesp_test::shellOutput(standIns() + " ran " + quote(path())); }

  /// Runs the tool on the root as an offline image.
  Result offline(std::vector<std::string> words, const std::string& input = "") const {
    words.insert(words.begin(), {"--root", path()});
    return run(words, input, "");
  }
  /// As offline(), ended after `seconds` (status 124): a command that blocks
  /// fails its test instead of hanging the run.
  Result offlineWithin(int seconds, std::vector<std::string> words) const {
    words.insert(words.begin(), {"--root", path()});
    return run(words, "", "timeout -k 2 " + std::to_string(seconds) + " ");
  }
  /// As offlineWithin, telling the tool's peak resident memory in kilobytes.
  Result offlineMeasured(int seconds, std::vector<std::string> words, long& peakKilobytes,
                         const std::string& input = "") const {
    words.insert(words.begin(), {"--root", path()});
    const std::string peak = scratch_.path() + "/peak";
    Result result =
        run(words, input, "/usr/bin/time -f %M -o " + quote(peak) + " timeout -k 2 " + std::to_string(seconds) + " ");
    // The last line: a failed command's status comes first.
    std::string text = kesp_test::readFile(peak);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    peakKilobytes = std::atol(text.substr(text.rfind('\n') + 1).c_str());
    return result;
  }
  /// Runs the tool inside the namespace on this root as the live system.
  Result live(const kesp_test::NetNamespace& ns, std::vector<std::string> words,
              const std::string& input = "") const {
    words.insert(words.begin(), {"--system-root", path()});
    return run(words, input, ns.execPrefix());
  }

 private:
  static std::string standIns() {
    return quote(kesp_test::fixturePath("config_net/programs/stand-ins"));
  }

  Result run(const std::vector<std::string>& words, const std::string& input,
             const std::string& prefix) const {
    const std::string base = scratch_.path() + "/run" + std::to_string(++runs_);
    kesp_test::writeFile(base + ".in", input);
    // The tool's messages in their English original, whatever the caller's language.
    std::string command = "cd / && " + prefix + "env LC_ALL=C PATH=" + quote(fakeBin()) + ":\"$PATH\" " +
                          quote(KESP_CONFIG_NET_BINARY);
    for (const std::string& word : words) command += " " + quote(word);
    command += " <" + quote(base + ".in") + " >" + quote(base + ".out") + " 2>" + quote(base + ".err");
    Result result;
    result.status = kesp_test::shell(command);
    result.out = kesp_test::readFile(base + ".out");
    result.err = kesp_test::readFile(base + ".err");
    return result;
  }

  kesp_test::TempDir root_;
  kesp_test::TempDir scratch_;
  mutable int runs_ = 0;
};

inline std::ostream& operator<<(std::ostream& out, const Result& result) {
  return out << "status " << result.status << "\n--- out\n" << result.out << "--- err\n" << result.err;
}

}  // namespace config_net_test
