#pragma once
// What the interface-file tests share: the settings every writer case writes,
// the named modes, and the fixture layout tests/fixtures/<family>/writer/
// <input>/{input,<MODE NAME>} where "NONE" stands for mode 0.

#include <cctype>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "kesp/network.h"
#include "test_support.h"

namespace kesp_test {

/// Every mode that has a name, and 0.
inline const std::vector<KESP::AddressMode>& namedModes() {
  static const std::vector<KESP::AddressMode> modes = {0, 1, 2, 3, 4, 6, 8, 9, 12, 16, 17, 20};
  return modes;
}

inline std::string modeFileName(KESP::AddressMode mode) {
  if (mode == 0) return "NONE";
  std::string name = "unnamed";
  KESP::getModeName(mode, name);
  return name;
}

inline KESP::Ipv4Settings sampleIpv4(bool withGateway = true) {
  KESP::Ipv4Settings ipv4;
  ipv4.address = "192.0.2.10";
  ipv4.netmask = "255.255.255.0";
  ipv4.broadcast = "192.0.2.255";
  if (withGateway) ipv4.gateway = "192.0.2.1";
  return ipv4;
}

inline KESP::Ipv6Settings sampleIpv6(bool withGateway = true) {
  KESP::Ipv6Settings ipv6;
  ipv6.address = "2001:db8::10";
  ipv6.prefix = "64";
  if (withGateway) ipv6.gateway = "2001:db8::1";
  return ipv6;
}

/// The lines of a text, as TextFile::load would give them.
inline std::list<std::string> linesOf(const std::string& text) {
  std::list<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

/// The text TextFile::save would write.
inline std::string textOf(const std::list<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

inline std::string writerFixture(const std::string& family, const std::string& input,
                                 const std::string& file) {
  return readFile(fixturePath(family + "/writer/" + input + "/" + file));
}

/// One writer case: a fixture input, the mode written over it, and whether the
/// sample gateways are written. The expected file is named after the mode.
struct WriterCase {
  std::string input;
  KESP::AddressMode mode;
  bool withGateways;

  std::string expectedFile() const {
    return modeFileName(mode) + (withGateways ? "" : "-nogateway");
  }
};

inline std::vector<WriterCase> everyNamedMode(const std::vector<std::string>& inputs) {
  std::vector<WriterCase> cases;
  for (const std::string& input : inputs)
    for (KESP::AddressMode mode : namedModes()) cases.push_back({input, mode, true});
  return cases;
}

inline std::string writerCaseName(const WriterCase& c) {
  std::string name = c.input + "_" + c.expectedFile();
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

}  // namespace kesp_test
