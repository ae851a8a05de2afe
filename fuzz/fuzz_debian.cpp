// The Debian interfaces file: reading any text, and writing into it.
//
// Properties: writing what was read reaches a fixed point (a second write
// changes nothing and reads the same); a written mode reads back as written
// with its settings; the other interfaces read as they did before.
//
// Both hold for files with at most one stanza per family for the interface
// and no option line outside a stanza. Further stanzas of a family are
// aliases: the reader takes the first, and the writer either refuses the file
// unchanged (an alias with options of its own) or leaves one stanza per family,
// which is checked for any input. An option line after an auto line
// belongs to no stanza for ifupdown, but to the stanza before it for the shared
// grammar; once the writer deletes a stanza, such a line joins the one before.
// Other files are only read and written here, for the sanitizers.

#include <fuzzer/FuzzedDataProvider.h>

#include "families/debian/debian_grammar.h"
#include "fuzz_requests.h"
#include "fuzz_support.h"
#include "kesp/interface_files.h"

using namespace KESP;

namespace {

struct Reading {
  bool found = false;
  AddressMode mode = 0;
  Ipv4Settings ipv4;
  Ipv6Settings ipv6;

  bool operator==(const Reading& other) const {
    return found == other.found && mode == other.mode && ipv4.address == other.ipv4.address &&
           ipv4.netmask == other.ipv4.netmask && ipv4.gateway == other.ipv4.gateway &&
           ipv4.broadcast == other.ipv4.broadcast && ipv6.address == other.ipv6.address &&
           ipv6.prefix == other.ipv6.prefix && ipv6.gateway == other.ipv6.gateway;
  }
};

Reading read(const std::list<std::string>& lines, const std::string& iface) {
  TextFile file;
  file.lines = lines;
  Reading reading;
  reading.found = readDebianInterface(file, iface, reading.mode, reading.ipv4, reading.ipv6);
  return reading;
}

std::list<std::string> write(const std::list<std::string>& lines, const std::string& iface,
                             AddressMode mode, const Ipv4Settings& ipv4, const Ipv6Settings& ipv6) {
  TextFile file;
  file.lines = lines;
  writeDebianInterface(file, iface, mode, ipv4, ipv6);
  return file.lines;
}

/// At most one IPv4 and one IPv6 stanza of the interface.
bool oneStanzaPerFamily(const std::list<std::string>& lines, const std::string& iface) {
  int inet = 0;
  int inet6 = 0;
  for (const std::string& stored : lines) {
    const detail::DebianLine line = detail::classifyDebianLine(stored);
    if (line.kind != detail::DebianLineKind::Iface) continue;
    const detail::DebianStanza stanza = detail::stanzaOf(line.text, iface);
    inet += stanza == detail::DebianStanza::Inet;
    inet6 += stanza == detail::DebianStanza::Inet6;
  }
  return inet <= 1 && inet6 <= 1;
}

/// At most one IPv4 and one IPv6 stanza of the interface, and every option
/// line inside a stanza.
bool isWellFormed(const std::list<std::string>& lines, const std::string& iface) {
  int inet = 0;
  int inet6 = 0;
  bool inStanza = false;
  for (const std::string& stored : lines) {
    const detail::DebianLine line = detail::classifyDebianLine(stored);
    if (line.kind == detail::DebianLineKind::Iface) {
      inStanza = true;
      const detail::DebianStanza stanza = detail::stanzaOf(line.text, iface);
      if (stanza == detail::DebianStanza::Inet) ++inet;
      if (stanza == detail::DebianStanza::Inet6) ++inet6;
    } else if (detail::startsTopLevelItem(line)) {
      inStanza = false;
    } else if (line.kind == detail::DebianLineKind::Option && !inStanza) {
      return false;
    }
  }
  return inet <= 1 && inet6 <= 1;
}

void checkFixedPoint(const std::list<std::string>& lines, const std::string& iface) {
  const Reading original = read(lines, iface);
  if (!original.found) return;
  const std::list<std::string> once = write(lines, iface, original.mode, original.ipv4, original.ipv6);
  const Reading reread = read(once, iface);
  const std::list<std::string> twice = write(once, iface, reread.mode, reread.ipv4, reread.ipv6);
  KESP_FUZZ_CHECK(twice == once);
  KESP_FUZZ_CHECK(read(twice, iface) == reread);
}

void checkRoundTrip(const std::list<std::string>& lines, const std::string& iface,
                    const std::string& other, AddressMode mode,
                    const kesp_fuzz::Settings& settings) {
  const Reading otherBefore = read(lines, other);
  const std::list<std::string> written = write(lines, iface, mode, settings.ipv4, settings.ipv6);
  const Reading reading = read(written, iface);
  KESP_FUZZ_CHECK(reading.found);
  KESP_FUZZ_CHECK(reading.mode == mode);
  if (mode & STATICV4) {
    KESP_FUZZ_CHECK(reading.ipv4.address == settings.ipv4.address);
    KESP_FUZZ_CHECK(reading.ipv4.netmask == settings.ipv4.netmask);
    KESP_FUZZ_CHECK(reading.ipv4.broadcast == settings.ipv4.broadcast);
    KESP_FUZZ_CHECK(reading.ipv4.gateway == settings.ipv4.gateway);
  }
  if (mode & STATICV6) {
    KESP_FUZZ_CHECK(reading.ipv6.address == settings.ipv6.address);
    KESP_FUZZ_CHECK(reading.ipv6.prefix == settings.ipv6.prefix);
    KESP_FUZZ_CHECK(reading.ipv6.gateway == settings.ipv6.gateway);
  }
  // A second identical write is a no-op.
  KESP_FUZZ_CHECK(write(written, iface, mode, settings.ipv4, settings.ipv6) == written);
  // Nobody else's configuration moves.
  KESP_FUZZ_CHECK(read(written, other) == otherBefore);
  // Removing the interface again leaves no line of its own behind.
  const std::list<std::string> removed = write(written, iface, 0, Ipv4Settings(), Ipv6Settings());
  KESP_FUZZ_CHECK(!read(removed, iface).found);
  KESP_FUZZ_CHECK(read(removed, other) == otherBefore);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kesp_fuzz::silenceLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string iface = input.PickValueInArray(kesp_fuzz::kInterfaceNames);
  const std::string other = input.PickValueInArray(kesp_fuzz::kInterfaceNames);
  const AddressMode mode = input.PickValueInArray(kesp_fuzz::kRoundTripModes);
  const kesp_fuzz::Settings settings = kesp_fuzz::settingsAt(input.ConsumeIntegral<uint8_t>());
  const std::list<std::string> lines = kesp_fuzz::linesOf(input.ConsumeRemainingBytesAsString());

  std::vector<std::string> names;
  TextFile file;
  file.lines = lines;
  listDebianInterfaces(file, names);
  for (const std::string& name : names)
    KESP_FUZZ_CHECK(!name.empty() && name.find_first_of(" \t\n\v\f\r") == std::string::npos);

  const bool wellFormed = isWellFormed(lines, iface);
  if (wellFormed) {
    checkFixedPoint(lines, iface);
    if (other != iface) checkRoundTrip(lines, iface, other, mode, settings);
  } else {
    // Still read and written, for the sanitizers.
    const Reading reading = read(lines, iface);
    const std::list<std::string> written =
        write(lines, iface, reading.mode | mode, reading.ipv4, reading.ipv6);
    // Folded or refused unchanged: never a doubled stanza left behind.
    KESP_FUZZ_CHECK(written == lines || oneStanzaPerFamily(written, iface));
  }
  return 0;
}
