// The name servers and the proxy asked over the network: one DNS question of
// our own over UDP, and a TCP connection that is closed as soon as it opens.

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <deque>
#include <functional>
#include <cstring>
#include <random>
#include <vector>

#include "diagnosis/dns_message.h"
#include "diagnosis/probes.h"
#include "files/scoped_fd.h"

namespace KESP {
namespace detail {

namespace {

using Clock = std::chrono::steady_clock;

/// A numeric address and port as a socket address; false for a name.
bool numericAddress(const std::string& host, unsigned port, sockaddr_storage& address,
                    socklen_t& size) {
  sockaddr_in* v4 = reinterpret_cast<sockaddr_in*>(&address);
  sockaddr_in6* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  address = sockaddr_storage{};
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<uint16_t>(port));
    size = sizeof *v4;
    return true;
  }
  if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(port));
    size = sizeof *v6;
    return true;
  }
  return false;
}

int millisecondsUntil(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left) + 1;
}

enum class Exchange { KeepWaiting, ServerDone, AllDone };
/// Told of each datagram from server i, or of its socket's error (null).
using ReplyHandler = std::function<Exchange(size_t i, const std::string* datagram)>;

/// Sends query to every server (UDP port 53) at once and hands each reply to
/// onReply until every server is done or waitMs have passed. Tells which
/// servers the query could be sent to.
std::vector<bool> exchange(const std::vector<std::string>& servers, const std::string& query,
                           int waitMs, const ReplyHandler& onReply) {
  std::vector<bool> sent(servers.size(), false);
  std::deque<Descriptor> sockets;  // descriptors do not move
  std::vector<pollfd> waits;
  std::vector<size_t> owners;
  for (size_t i = 0; i < servers.size(); ++i) {
    sockaddr_storage address;
    socklen_t size = 0;
    if (!numericAddress(servers[i], 53, address, size)) continue;
    sockets.emplace_back(socket(address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int fd = sockets.back().get();
    // A connected socket hears only its own server, and an ICMP refusal as an error.
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        send(fd, query.data(), query.size(), 0) != static_cast<ssize_t>(query.size()))
      continue;
    sent[i] = true;
    waits.push_back(pollfd{fd, POLLIN, 0});
    owners.push_back(i);
  }
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(waitMs);
  size_t open = waits.size();
  while (open > 0) {
    const int ms = millisecondsUntil(end);
    if (ms == 0 || poll(waits.data(), waits.size(), ms) <= 0) break;
    for (size_t w = 0; w < waits.size() && open > 0; ++w) {
      if (waits[w].fd < 0 || waits[w].revents == 0) continue;
      char buffer[1500];
      const ssize_t got = recv(waits[w].fd, buffer, sizeof buffer, 0);
      if (got < 0 && errno == EAGAIN) continue;
      const std::string datagram(buffer, got < 0 ? 0 : static_cast<size_t>(got));
      const Exchange next = onReply(owners[w], got < 0 ? nullptr : &datagram);
      if (next == Exchange::AllDone) return sent;
      if (next == Exchange::ServerDone) {
        waits[w].fd = -1;
        --open;
      }
    }
  }
  return sent;
}

/// The first IPv4 address the name servers give for name within waitMs.
std::string resolveName(const std::string& name, const std::vector<std::string>& servers,
                        int waitMs) {
  std::random_device random;
  const uint16_t id = static_cast<uint16_t>(random());
  const std::string query = buildAddressQuery(id, name);
  std::string found;
  if (query.empty()) return found;
  exchange(servers, query, waitMs, [&found, id](size_t, const std::string* datagram) {
    if (!datagram) return Exchange::ServerDone;
    found = firstAddressAnswer(*datagram, id);
    return found.empty() ? Exchange::ServerDone : Exchange::AllDone;
  });
  return found;
}

}  // namespace

void probeNameServers(std::vector<NameServerFacts>& servers, int waitMs) {
  std::random_device random;
  const uint16_t id = static_cast<uint16_t>(random());
  std::vector<std::string> addresses;
  for (const NameServerFacts& server : servers) addresses.push_back(server.address);
  const std::vector<bool> sent = exchange(addresses, buildRootQuery(id), waitMs,
                                          [&servers, id](size_t i, const std::string* datagram) {
    NameServerFacts& server = servers[i];
    // Nothing listening (an ICMP refusal) is as silent as no server at all.
    if (!datagram) return Exchange::ServerDone;
    const DnsReplyKind kind = judgeRootReply(*datagram, id, server.refusal);
    if (kind == DnsReplyKind::NotAReply) return Exchange::KeepWaiting;
    server.result = kind == DnsReplyKind::Answer ? ProbeResult::Answered : ProbeResult::Refused;
    return Exchange::ServerDone;
  });
  for (size_t i = 0; i < servers.size(); ++i)
    if (servers[i].result == ProbeResult::NotRun)
      servers[i].result = sent[i] ? ProbeResult::Silent : ProbeResult::Failed;
}

ProbeResult connectProbe(const std::string& host, const std::string& port,
                         const std::vector<std::string>& servers, int waitMs) {
  unsigned number = 0;
  try {
    number = static_cast<unsigned>(std::stoul(port.empty() ? "80" : port));
  } catch (...) {
    return ProbeResult::Failed;
  }
  sockaddr_storage address;
  socklen_t size = 0;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(waitMs);
  // The tool is one static program: the C library's resolver would need its
  // shared modules, so a name is asked of the name servers directly.
  if (!numericAddress(host, number, address, size) &&
      !numericAddress(resolveName(host, servers, waitMs), number, address, size))
    return ProbeResult::Failed;
  Descriptor fd(socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) return ProbeResult::Failed;
  if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), size) == 0) return ProbeResult::Answered;
  if (errno == ECONNREFUSED) return ProbeResult::Refused;
  if (errno != EINPROGRESS) return ProbeResult::Failed;
  pollfd wait{fd.get(), POLLOUT, 0};
  if (poll(&wait, 1, millisecondsUntil(end)) <= 0) return ProbeResult::Silent;
  int error = 0;
  socklen_t errorSize = sizeof error;
  getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &errorSize);
  if (error == 0) return ProbeResult::Answered;
  return error == ECONNREFUSED ? ProbeResult::Refused : ProbeResult::Failed;
}

}  // namespace detail
}  // namespace KESP
