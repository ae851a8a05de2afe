// The name servers and the proxy asked over the network: one DNS question of
// our own over UDP, and a TCP connection that is closed as soon as it opens.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <deque>
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

}  // namespace

void probeNameServers(std::vector<NameServerFacts>& servers, int waitMs) {
  std::random_device random;
  const uint16_t id = static_cast<uint16_t>(random());
  const std::string query = buildRootQuery(id);
  std::deque<Descriptor> sockets;  // descriptors do not move
  std::vector<pollfd> waits;
  std::vector<size_t> owners;
  for (size_t i = 0; i < servers.size(); ++i) {
    sockaddr_storage address;
    socklen_t size = 0;
    servers[i].result = ProbeResult::Failed;
    if (!numericAddress(servers[i].address, 53, address, size)) continue;
    sockets.emplace_back(socket(address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const int fd = sockets.back().get();
    // A connected socket hears only its own server, and an ICMP refusal as an error.
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        send(fd, query.data(), query.size(), 0) != static_cast<ssize_t>(query.size()))
      continue;
    servers[i].result = ProbeResult::Silent;
    waits.push_back(pollfd{fd, POLLIN, 0});
    owners.push_back(i);
  }
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(waitMs);
  size_t open = waits.size();
  while (open > 0) {
    const int ms = millisecondsUntil(end);
    if (ms == 0 || poll(waits.data(), waits.size(), ms) <= 0) break;
    for (size_t w = 0; w < waits.size(); ++w) {
      if (waits[w].fd < 0 || waits[w].revents == 0) continue;
      NameServerFacts& server = servers[owners[w]];
      char buffer[512];
      const ssize_t got = recv(waits[w].fd, buffer, sizeof buffer, 0);
      if (got < 0 && errno == EAGAIN) continue;
      DnsReplyKind kind = DnsReplyKind::NotAReply;
      if (got >= 0) kind = judgeRootReply(std::string(buffer, static_cast<size_t>(got)), id, server.refusal);
      // Nothing listening (an ICMP refusal) is as silent as no server at all.
      if (got < 0 || kind != DnsReplyKind::NotAReply) {
        if (kind == DnsReplyKind::Answer) server.result = ProbeResult::Answered;
        if (kind == DnsReplyKind::Refusal) server.result = ProbeResult::Refused;
        waits[w].fd = -1;
        --open;
      }
    }
  }
}

ProbeResult connectProbe(const std::string& host, const std::string& port, int waitMs) {
  unsigned number = 0;
  try {
    number = static_cast<unsigned>(std::stoul(port.empty() ? "80" : port));
  } catch (...) {
    return ProbeResult::Failed;
  }
  sockaddr_storage address;
  socklen_t size = 0;
  if (!numericAddress(host, number, address, size)) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return ProbeResult::Failed;
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    size = found->ai_addrlen;
    freeaddrinfo(found);
    if (address.ss_family == AF_INET)
      reinterpret_cast<sockaddr_in*>(&address)->sin_port = htons(static_cast<uint16_t>(number));
    else
      reinterpret_cast<sockaddr_in6*>(&address)->sin6_port = htons(static_cast<uint16_t>(number));
  }
  Descriptor fd(socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) return ProbeResult::Failed;
  if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), size) == 0) return ProbeResult::Answered;
  if (errno == ECONNREFUSED) return ProbeResult::Refused;
  if (errno != EINPROGRESS) return ProbeResult::Failed;
  pollfd wait{fd.get(), POLLOUT, 0};
  if (poll(&wait, 1, waitMs) <= 0) return ProbeResult::Silent;
  int error = 0;
  socklen_t errorSize = sizeof error;
  getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &errorSize);
  if (error == 0) return ProbeResult::Answered;
  return error == ECONNREFUSED ? ProbeResult::Refused : ProbeResult::Failed;
}

}  // namespace detail
}  // namespace KESP
