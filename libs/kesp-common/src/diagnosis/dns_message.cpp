// A DNS query of our own: RFC 1035's header, one question for ". NS IN".

#include "diagnosis/dns_message.h"

namespace KESP {
namespace detail {

namespace {

// Header flags: QR (a response), RD (recursion desired); the low four bits
// of the second byte are the response code.
const unsigned char kFlagsQuery = 0x01;  // RD
const unsigned char kResponseBit = 0x80;
// The question: the root name (one zero byte), QTYPE NS (2), QCLASS IN (1).
const char kQuestion[] = {0, 0, 2, 0, 1};

unsigned char byteAt(const std::string& data, size_t at) { return static_cast<unsigned char>(data[at]); }

std::string rcodeText(unsigned code) {
  static const char* const kNames[] = {"NOERROR", "FORMERR", "SERVFAIL", "NXDOMAIN",
                                       "NOTIMP",  "REFUSED"};
  if (code < sizeof kNames / sizeof kNames[0]) return kNames[code];
  return "RCODE " + std::to_string(code);
}

std::string header(uint16_t id) {
  std::string query;
  query += static_cast<char>(id >> 8);
  query += static_cast<char>(id & 0xff);
  query += static_cast<char>(kFlagsQuery);
  query += '\0';
  // One question, no answers, authorities or additional records.
  query += std::string("\0\1\0\0\0\0\0\0", 8);
  return query;
}

/// The offset past the name at `at` (labels or a compression pointer);
/// npos when it runs off the end.
size_t skipName(const std::string& data, size_t at) {
  while (at < data.size()) {
    const unsigned length = byteAt(data, at);
    if (length == 0) return at + 1;
    if ((length & 0xc0) == 0xc0) return at + 2 <= data.size() ? at + 2 : std::string::npos;
    at += 1 + length;
  }
  return std::string::npos;
}

unsigned word(const std::string& data, size_t at) { return byteAt(data, at) << 8 | byteAt(data, at + 1); }

}  // namespace

std::string buildAddressQuery(uint16_t id, const std::string& name) {
  std::string question;
  size_t start = 0;
  if (name.empty() || name.size() > 253) return std::string();
  while (start < name.size()) {
    size_t dot = name.find('.', start);
    if (dot == std::string::npos) dot = name.size();
    const size_t length = dot - start;
    if (length == 0 || length > 63) return std::string();
    question += static_cast<char>(length);
    question.append(name, start, length);
    start = dot + 1;
  }
  question += std::string("\0\0\1\0\1", 5);  // end of name, type A, class IN
  return header(id) + question;
}

std::string firstAddressAnswer(const std::string& datagram, uint16_t id) {
  const size_t headerSize = 12;
  if (datagram.size() < headerSize || word(datagram, 0) != id ||
      (byteAt(datagram, 2) & kResponseBit) == 0 || (byteAt(datagram, 3) & 0x0f) != 0)
    return std::string();
  size_t at = headerSize;
  for (unsigned q = word(datagram, 4); q > 0 && at != std::string::npos; --q) {
    at = skipName(datagram, at);
    if (at != std::string::npos) at += 4;
  }
  for (unsigned a = word(datagram, 6); a > 0 && at != std::string::npos; --a) {
    at = skipName(datagram, at);
    if (at == std::string::npos || at + 10 > datagram.size()) return std::string();
    const unsigned type = word(datagram, at), length = word(datagram, at + 8);
    at += 10;
    if (at + length > datagram.size()) return std::string();
    if (type == 1 && length == 4)
      return std::to_string(byteAt(datagram, at)) + "." + std::to_string(byteAt(datagram, at + 1)) +
             "." + std::to_string(byteAt(datagram, at + 2)) + "." +
             std::to_string(byteAt(datagram, at + 3));
    at += length;
  }
  return std::string();
}

std::string buildRootQuery(uint16_t id) {
  std::string query = header(id);
  query.append(kQuestion, sizeof kQuestion);
  return query;
}

DnsReplyKind judgeRootReply(const std::string& datagram, uint16_t id, std::string& rcodeName) {
  const size_t headerSize = 12;
  if (datagram.size() < headerSize) return DnsReplyKind::NotAReply;
  if (byteAt(datagram, 0) != (id >> 8) || byteAt(datagram, 1) != (id & 0xff))
    return DnsReplyKind::NotAReply;
  if ((byteAt(datagram, 2) & kResponseBit) == 0) return DnsReplyKind::NotAReply;
  // A server may leave the question out of an error reply; when it is there
  // it must be ours.
  const unsigned questions = byteAt(datagram, 4) << 8 | byteAt(datagram, 5);
  if (questions > 1) return DnsReplyKind::NotAReply;
  if (questions == 1 &&
      datagram.compare(headerSize, sizeof kQuestion, std::string(kQuestion, sizeof kQuestion)) != 0)
    return DnsReplyKind::NotAReply;
  const unsigned code = byteAt(datagram, 3) & 0x0f;
  if (code == 0 || code == 3) return DnsReplyKind::Answer;
  rcodeName = rcodeText(code);
  return DnsReplyKind::Refusal;
}

}  // namespace detail
}  // namespace KESP
