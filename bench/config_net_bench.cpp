// kesp_config_net on an offline image whose Debian interfaces file holds
// 1,000 interface stanzas (eth0 .. eth999, every other one static with an
// IPv6 stanza beside it), run in process as the binary runs it:
//
//   ShowAll       show          every interface's configuration, text
//   ShowAllJson   show --json   the same as JSON
//   ShowOne       show eth999   one interface, the last in the file
//   SetOffline    set eth500 --mode STATICV4 ... : writeNetworkFiles through
//                 the tool, alternating between two addresses so that every
//                 iteration really rewrites the file
//   ShowHundredProfiles / ShowHundredStanzas   show on an image of 100
//                 NetworkManager profiles against one of a Debian file of
//                 100 stanzas (the same interfaces and addresses)
//
// and, on an image of 100 such stanzas with name servers, host name and a
// proxy, `apply` of the document `export` printed for it (nothing to change:
// every setting read and compared, nothing written) beside `show` of it:
//
//   ShowHundred            show
//   ApplyUnchangedHundred  apply --json STATE (expected within 2x of show)
//
// Offline (--root) needs neither root nor a network namespace.

#include <benchmark/benchmark.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "tool.h"

namespace {

std::string stanzas(int count) {
  std::string text = "auto lo\niface lo inet loopback\n";
  for (int i = 0; i < count; ++i) {
    const std::string name = "eth" + std::to_string(i);
    text += "\nauto " + name + "\n";
    if (i % 2) {
      text += "iface " + name + " inet dhcp\n";
      continue;
    }
    text += "iface " + name + " inet static\n    address 10." + std::to_string(i / 250) + "." +
            std::to_string(i % 250) + ".1\n    netmask 255.255.255.0\n    gateway 10." +
            std::to_string(i / 250) + "." + std::to_string(i % 250) + ".254\n";
    text += "iface " + name + " inet6 static\n    address 2001:db8::" + std::to_string(i + 1) +
            "\n    netmask 64\n";
  }
  return text;
}

const kesp_test::TempDir& image() {
  static kesp_test::TempDir dir;
  static bool written = false;
  if (!written) {
    kesp_test::writeFile(dir / "etc/network/interfaces", stanzas(1000));
    kesp_test::writeFile(dir / "etc/resolv.conf", "nameserver 192.0.2.53\n");
    written = true;
  }
  return dir;
}

/// An image of 100 interfaces, every other one static: as profiles or stanzas.
const kesp_test::TempDir& hundredFamilyImage(bool profiles) {
  static kesp_test::TempDir dirs[2];
  static bool written[2] = {false, false};
  kesp_test::TempDir& dir = dirs[profiles];
  if (written[profiles]) return dir;
  std::string stanzas = "auto lo\niface lo inet loopback\n";
  for (int i = 0; i < 100; ++i) {
    const std::string name = "eth" + std::to_string(i);
    const std::string address = "10.0." + std::to_string(i) + ".1";
    if (profiles) {
      kesp_test::writeFile(dir / ("etc/NetworkManager/system-connections/" + name + ".nmconnection"),
                           "[connection]\nid=" + name + "\nuuid=00000000-0000-4000-8000-" +
                               std::to_string(100000000000 + i) + "\ntype=ethernet\ninterface-name=" +
                               name + "\n\n[ethernet]\n\n[ipv4]\n" +
                               (i % 2 ? "method=auto\n" : "method=manual\naddress1=" + address +
                                                               "/24\ngateway=10.0." +
                                                               std::to_string(i) + ".254\n") +
                               "\n[ipv6]\nmethod=auto\n",
                           0600);
    } else {
      stanzas += "\nauto " + name + "\n" +
                 (i % 2 ? "iface " + name + " inet dhcp\n"
                        : "iface " + name + " inet static\n    address " + address +
                              "\n    netmask 255.255.255.0\n    gateway 10.0." + std::to_string(i) +
                              ".254\n") +
                 "iface " + name + " inet6 auto\n";
    }
  }
  if (!profiles) kesp_test::writeFile(dir / "etc/network/interfaces", stanzas);
  kesp_test::writeFile(dir / "etc/resolv.conf", "nameserver 192.0.2.53\n");
  written[profiles] = true;
  return dir;
}

/// The image of 100 stanzas, and the state document `export` printed for it.
const kesp_test::TempDir& hundredImage(std::string* documentPath = nullptr) {
  static kesp_test::TempDir dir;
  static bool written = false;
  if (!written) {
    kesp_test::writeFile(dir / "image/etc/network/interfaces", stanzas(100));
    kesp_test::writeFile(dir / "image/etc/resolv.conf", "nameserver 192.0.2.53\n");
    kesp_test::writeFile(dir / "image/etc/hostname", "kesp1.example.org\n");
    kesp_test::writeFile(dir / "image/etc/environment",
                         "http_proxy=http://proxy.example.net:3128\n");
    std::istringstream in;
    std::ostringstream out, err;
    kesp_config_net::runTool({"--root", dir / "image", "export"}, in, out, err);
    kesp_test::writeFile(dir / "state.json", out.str());
    written = true;
  }
  if (documentPath) *documentPath = dir / "state.json";
  return dir;
}

int runQuietly(const std::vector<std::string>& words, size_t& printed) {
  std::istringstream in;
  std::ostringstream out, err;
  const int status = kesp_config_net::runTool(words, in, out, err);
  printed = out.str().size();
  return status;
}

void runCommand(benchmark::State& state, std::vector<std::string> words,
                const std::string& root = image().path()) {
  words.insert(words.begin(), {"--root", root});
  size_t printed = 0;
  for (auto _ : state) {
    if (runQuietly(words, printed) != 0) {
      state.SkipWithError("the command failed");
      return;
    }
    benchmark::DoNotOptimize(printed);
  }
  state.counters["output_bytes"] = static_cast<double>(printed);
}

void ShowAll(benchmark::State& state) { runCommand(state, {"show"}); }
void ShowAllJson(benchmark::State& state) { runCommand(state, {"show", "--json"}); }
void ShowOne(benchmark::State& state) { runCommand(state, {"show", "eth999"}); }
void ShowHundredProfiles(benchmark::State& state) {
  runCommand(state, {"show"}, hundredFamilyImage(true).path());
}
void ShowHundredStanzas(benchmark::State& state) {
  runCommand(state, {"show"}, hundredFamilyImage(false).path());
}

void ShowHundred(benchmark::State& state) {
  size_t printed = 0;
  const std::vector<std::string> words = {"--root", hundredImage() / "image", "show"};
  for (auto _ : state) {
    if (runQuietly(words, printed) != 0) return state.SkipWithError("show failed");
  }
  state.counters["output_bytes"] = static_cast<double>(printed);
}

void ApplyUnchangedHundred(benchmark::State& state) {
  std::string document;
  const std::vector<std::string> words = {"--root", hundredImage(&document) / "image", "apply",
                                          "--json", document};
  std::istringstream in;
  std::ostringstream out, err;
  for (auto _ : state) {
    out.str("");
    if (kesp_config_net::runTool(words, in, out, err) != 0 ||
        out.str() != "{\"changed\":false,\"files\":[],\"restarted\":[]}\n")
      return state.SkipWithError("apply of the exported state changed something or failed");
  }
}

void SetOffline(benchmark::State& state) {
  const std::vector<std::string> base = {"--root", image().path(), "set", "eth500", "--mode",
                                         "STATICV4", "--ipv4-netmask", "255.255.255.0",
                                         "--ipv4-address"};
  size_t printed = 0;
  long round = 0;
  for (auto _ : state) {
    std::vector<std::string> words = base;
    words.push_back(round++ % 2 ? "10.200.0.1" : "10.200.0.2");
    if (runQuietly(words, printed) != 0) {
      state.SkipWithError("set failed");
      return;
    }
  }
}

}  // namespace

BENCHMARK(ShowAll)->Unit(benchmark::kMillisecond);
BENCHMARK(ShowAllJson)->Unit(benchmark::kMillisecond);
BENCHMARK(ShowOne)->Unit(benchmark::kMillisecond);
BENCHMARK(SetOffline)->Unit(benchmark::kMillisecond);
BENCHMARK(ShowHundredProfiles)->Unit(benchmark::kMillisecond);
BENCHMARK(ShowHundredStanzas)->Unit(benchmark::kMillisecond);
BENCHMARK(ShowHundred)->Unit(benchmark::kMillisecond);
BENCHMARK(ApplyUnchangedHundred)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
