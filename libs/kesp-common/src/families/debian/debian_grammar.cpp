// Classifying lines of the Debian interfaces file.

#include "families/debian/debian_grammar.h"
#include "files/names.h"

#include <cctype>

namespace KESP {
namespace detail {

const DebianOption<Ipv4Settings> kInetOptions[4] = {
    {"address ", &Ipv4Settings::address},
    {"broadcast ", &Ipv4Settings::broadcast},
    {"netmask ", &Ipv4Settings::netmask},
    {"gateway ", &Ipv4Settings::gateway},
};

const DebianOption<Ipv6Settings> kInet6Options[3] = {
    {"address ", &Ipv6Settings::address},
    {"netmask ", &Ipv6Settings::prefix},
    {"gateway ", &Ipv6Settings::gateway},
};

namespace {

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string firstWord(const std::string& normalised) {
  std::string::size_type end = 0;
  while (end < normalised.size() && !isBlank(normalised[end])) ++end;
  return normalised.substr(0, end);
}

/// The blank-separated words of text from position `from` on.
std::vector<std::string> wordsFrom(const std::string& text, std::string::size_type from) {
  std::vector<std::string> words;
  std::string::size_type i = from;
  while (i < text.size()) {
    while (i < text.size() && isBlank(text[i])) ++i;
    std::string::size_type start = i;
    while (i < text.size() && !isBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

// Keywords after which ifupdown no longer takes option lines for the stanza
// before; "allow-" is a family of its own and checked as a prefix.
const char* const kTopLevelKeywords[] = {
    "iface",      "mapping",      "auto",       "source", "source-directory",
    "source-dir", "no-auto-down", "no-scripts", "rename",
};

}  // namespace

DebianLine classifyDebianLine(const std::string& stored) {
  std::string::size_type start = 0;
  while (start < stored.size() && isBlank(stored[start])) ++start;
  if (start < stored.size() && stored[start] == '#') return {DebianLineKind::Comment, ""};

  std::string text;
  text.reserve(stored.size() - start);
  for (std::string::size_type i = start; i < stored.size(); ++i) {
    // ifupdown splits words at any run of blanks, tabs included, so every run
    // stands for one space here and keywords are compared with a space after.
    if (isBlank(stored[i])) {
      if (i + 1 < stored.size() && isBlank(stored[i + 1])) continue;
      text += ' ';
      continue;
    }
    text += stored[i];
  }
  if (text.empty()) return {DebianLineKind::Blank, text};
  if (startsWith(text, "auto ")) return {DebianLineKind::Auto, text};
  if (startsWith(text, "iface ")) return {DebianLineKind::Iface, text};
  return {DebianLineKind::Option, text};
}

DebianStanza stanzaOf(const std::string& normalised, const std::string& iface, std::string* rest) {
  const std::string inet = "iface " + iface + " inet ";
  const std::string inet6 = "iface " + iface + " inet6 ";
  DebianStanza stanza = DebianStanza::NotOurs;
  std::string::size_type prefixLength = 0;
  if (startsWith(normalised, inet)) {
    stanza = DebianStanza::Inet;
    prefixLength = inet.size();
  } else if (startsWith(normalised, inet6)) {
    stanza = DebianStanza::Inet6;
    prefixLength = inet6.size();
  }
  if (rest) *rest = normalised.substr(prefixLength);
  return stanza;
}

std::string ifaceLineName(const std::string& normalised) {
  std::string::size_type start = 6;  // after "iface "
  std::string::size_type end = start;
  while (end < normalised.size() && !std::isspace(static_cast<unsigned char>(normalised[end])))
    ++end;
  return end > start ? normalised.substr(start, end - start) : std::string();
}

bool mayBeIfaceLine(const char* stored, std::size_t size) {
  std::size_t i = 0;
  while (i < size && isBlank(stored[i])) ++i;
  return size - i > 5 && std::char_traits<char>::compare(stored + i, "iface", 5) == 0 &&
         isBlank(stored[i + 5]);
}

bool mayBeIfaceLineOf(const char* stored, std::size_t size, const std::string& iface) {
  if (!mayBeIfaceLine(stored, size)) return false;
  std::size_t i = 0;
  while (isBlank(stored[i])) ++i;
  i += 5;  // "iface"
  while (i < size && isBlank(stored[i])) ++i;
  // Normalising only touches blanks, so the name is the same word here.
  return size - i > iface.size() &&
         std::char_traits<char>::compare(stored + i, iface.data(), iface.size()) == 0 &&
         isBlank(stored[i + iface.size()]);
}

bool isSourceLine(const char* stored, std::size_t size, std::vector<std::string>& words,
                  bool& directories) {
  std::size_t i = 0;
  while (i < size && isBlank(stored[i])) ++i;
  if (size - i < 6 || std::char_traits<char>::compare(stored + i, "source", 6) != 0) return false;
  const DebianLine line = classifyDebianLine(std::string(stored, size));
  if (line.kind != DebianLineKind::Option) return false;
  const std::string keyword = firstWord(line.text);
  if (keyword != "source" && keyword != "source-directory" && keyword != "source-dir") return false;
  directories = keyword != "source";
  words = wordsFrom(line.text, keyword.size());
  return true;
}

std::vector<std::string> autoLineNames(const std::string& normalised) {
  return wordsFrom(normalised, 4);  // after "auto"
}

std::string leadingBlanks(const std::string& stored) {
  std::string::size_type end = 0;
  while (end < stored.size() && isBlank(stored[end])) ++end;
  return stored.substr(0, end);
}

std::string rewrittenOption(const std::string& stored, const std::string& keyword,
                            const std::string& value) {
  std::string::size_type at = 0;
  while (at < stored.size() && isBlank(stored[at])) ++at;
  const std::string::size_type keywordEnd = at + keyword.size();
  std::string::size_type valueStart = keywordEnd;
  while (valueStart < stored.size() && isBlank(stored[valueStart])) ++valueStart;
  const std::string separator =
      valueStart > keywordEnd ? stored.substr(keywordEnd, valueStart - keywordEnd) : " ";
  return stored.substr(0, at) + keyword + separator + value;
}

bool isBootStartLine(const DebianLine& line) {
  if (line.kind == DebianLineKind::Auto) return true;
  if (line.kind != DebianLineKind::Option) return false;
  const std::string word = firstWord(line.text);
  return word == "allow-auto" || word == "allow-hotplug";
}

std::vector<std::string> bootStartNames(const DebianLine& line) {
  return wordsFrom(line.text, firstWord(line.text).size());
}

bool startsTopLevelItem(const DebianLine& line) {
  if (line.kind == DebianLineKind::Auto || line.kind == DebianLineKind::Iface) return true;
  if (line.kind != DebianLineKind::Option) return false;
  const std::string word = firstWord(line.text);
  if (startsWith(word, "allow-")) return true;
  for (const char* keyword : kTopLevelKeywords) {
    if (word == keyword) return true;
  }
  return false;
}

}  // namespace detail
}  // namespace KESP
