// One status check of the console (which address decides the status pane, no
// drawing) against a real kernel: a private network namespace holding 2, 16 or
// 128 Ethernet interfaces, each with an IPv4 address and its link up (the peer
// too, so that it has a carrier), and a Debian interfaces
// file under a temporary system root.
//
//   AllScanned  every interface is configured for IPv6 only except the last
//               one in name order, so the check reads all of them
//   FirstCounts every interface is configured for IPv4: the first one decides
//   Warning     every interface is configured for IPv6 only: no address counts,
//               the warning shows and its cause line is found (the quiet
//               layers; no packet is sent, as the first cause is found there)
//   Floor       what any check has to do at least, in plain C++: one
//               getifaddrs, one read of /proc/net/if_inet6 and one read of
//               the interfaces file; the checks are judged against it
//
// Needs root (network namespaces); skipped otherwise.

#include <benchmark/benchmark.h>
#include <ifaddrs.h>

#include <fstream>
#include <iterator>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "netns.h"
#include "status_check.h"
#include "test_support.h"

namespace {

struct Scene {
  kesp_test::NetNamespace ns;
  std::vector<std::string> sortedNames;
};

// Namespaces are made once per size and removed before the program ends.
std::map<int, std::unique_ptr<Scene>>& scenes() {
  static std::map<int, std::unique_ptr<Scene>> made;
  return made;
}

Scene& sceneWith(int count) {
  std::unique_ptr<Scene>& scene = scenes()[count];
  if (scene) return *scene;
  scene = std::make_unique<Scene>();
  // One shell inside the namespace for all links: far quicker than one per command.
  std::string script = "for i in $(seq 0 " + std::to_string(count - 1) +
                       "); do ip link add eth$i type veth peer name p-eth$i && "
                       "ip link set eth$i up && ip link set p-eth$i up && "
                       "ip addr add 10.$((i / 200)).$((i % 200)).1/24 dev eth$i || exit 1; done";
  scene->ns.run(script);
  for (int i = 0; i < count; ++i) scene->sortedNames.push_back("eth" + std::to_string(i));
  std::sort(scene->sortedNames.begin(), scene->sortedNames.end());
  return *scene;
}

std::string interfacesFile(const std::vector<std::string>& names, bool onlyLastHasIpv4,
                           bool noneHasIpv4 = false) {
  std::string text = "auto lo\niface lo inet loopback\n";
  for (size_t i = 0; i < names.size(); ++i) {
    bool ipv4 = !noneHasIpv4 && (!onlyLastHasIpv4 || i + 1 == names.size());
    text += "\nauto " + names[i] + "\n";
    text += ipv4 ? "iface " + names[i] + " inet dhcp\n" : "iface " + names[i] + " inet6 static\n";
    if (!ipv4) text += "    address 2001:db8::" + std::to_string(i + 1) + "\n    netmask 64\n";
  }
  return text;
}

void runStatusCheck(benchmark::State& state, bool onlyLastHasIpv4, bool noneHasIpv4 = false) {
  if (!kesp_test::isRoot()) {
    state.SkipWithError("needs root to create network namespaces");
    return;
  }
  int count = static_cast<int>(state.range(0));
  Scene& scene = sceneWith(count);
  kesp_test::SystemRoot root;
  root.write("/etc/network/interfaces",
             interfacesFile(scene.sortedNames, onlyLastHasIpv4, noneHasIpv4));
  kesp_test::NetNamespace::Inside inside(scene.ns);

  kesp_console::StatusChoice chosen;
  for (auto _ : state) {
    chosen = kesp_console::checkStatus();
    benchmark::DoNotOptimize(chosen);
  }
  if (chosen.address.empty() != noneHasIpv4 || chosen.cause.empty() != !noneHasIpv4)
    state.SkipWithError("the check found what the scene does not hold");
  state.counters["interfaces"] = count;
}

std::string readWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_StatusFloor(benchmark::State& state) {
  if (!kesp_test::isRoot()) {
    state.SkipWithError("needs root to create network namespaces");
    return;
  }
  Scene& scene = sceneWith(static_cast<int>(state.range(0)));
  kesp_test::SystemRoot root;
  root.write("/etc/network/interfaces", interfacesFile(scene.sortedNames, true));
  kesp_test::NetNamespace::Inside inside(scene.ns);
  size_t seen = 0;
  for (auto _ : state) {
    ifaddrs* addresses = nullptr;
    if (getifaddrs(&addresses) != 0) {
      state.SkipWithError("getifaddrs failed");
      break;
    }
    for (ifaddrs* entry = addresses; entry; entry = entry->ifa_next) ++seen;
    freeifaddrs(addresses);
    seen += readWhole("/proc/net/if_inet6").size();
    seen += readWhole(KESP::sysPath("/etc/network/interfaces")).size();
  }
  benchmark::DoNotOptimize(seen);
  state.counters["interfaces"] = static_cast<double>(state.range(0));
}

void BM_StatusCheckAllScanned(benchmark::State& state) { runStatusCheck(state, true); }
void BM_StatusCheckFirstCounts(benchmark::State& state) { runStatusCheck(state, false); }
void BM_StatusCheckWarning(benchmark::State& state) { runStatusCheck(state, false, true); }

BENCHMARK(BM_StatusCheckAllScanned)->Arg(2)->Arg(16)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusCheckFirstCounts)->Arg(2)->Arg(16)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusCheckWarning)->Arg(2)->Arg(16)->Arg(128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusFloor)->Arg(2)->Arg(16)->Arg(128)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  scenes().clear();
  return 0;
}
