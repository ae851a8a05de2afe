#include "files/word_list.h"

#include <cctype>

namespace KESP {
namespace detail {

namespace {

const char kDoubleQuote = '"';

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

/// A value split into its opening quote (0 when unquoted), the words between
/// the quotes and whatever follows the closing quote.
struct QuotedList {
  char quote = 0;
  std::string inner;
  std::string trailer;

  explicit QuotedList(const std::string& value) {
    if (!value.empty() && (value[0] == '"' || value[0] == '\'')) {
      std::string::size_type closing = value.rfind(value[0]);
      if (closing != 0) {
        quote = value[0];
        inner = value.substr(1, closing - 1);
        trailer = value.substr(closing + 1);
        return;
      }
    }
    inner = value;
  }

  std::string text() const {
    if (quote == 0) return inner + trailer;
    return quote + inner + quote + trailer;
  }
};

/// Start of the first whole-word occurrence of word in text, or npos.
std::string::size_type findWord(const std::string& text, const std::string& word) {
  std::string::size_type start = 0;
  while (start < text.size()) {
    while (start < text.size() && isBlank(text[start])) ++start;
    std::string::size_type end = start;
    while (end < text.size() && !isBlank(text[end])) ++end;
    if (end > start && text.compare(start, end - start, word) == 0) return start;
    start = end;
  }
  return std::string::npos;
}

size_t countWords(const std::string& text) {
  size_t words = 0;
  for (std::string::size_type i = 0; i < text.size(); ++i) {
    if (!isBlank(text[i]) && (i == 0 || isBlank(text[i - 1]))) ++words;
  }
  return words;
}

bool hasOnlyBlanks(const std::string& text) { return countWords(text) == 0; }

/// Removes every whole-word occurrence together with the blank before it, or
/// else the blank after it, so that the neighbours keep one separator.
void removeWord(std::string& text, const std::string& word) {
  for (;;) {
    std::string::size_type start = findWord(text, word);
    if (start == std::string::npos) return;
    std::string::size_type end = start + word.size();
    if (start > 0)
      --start;
    else if (end < text.size())
      ++end;
    text.erase(start, end - start);
  }
}

}  // namespace

std::string editModuleList(const std::string& value, bool ipv6Wanted) {
  const std::string module = "ipv6";
  QuotedList list(value);
  const bool wasQuoted = list.quote != 0;
  if (!wasQuoted) list.quote = kDoubleQuote;
  if (!ipv6Wanted) {
    removeWord(list.inner, module);
  } else if (findWord(list.inner, module) == std::string::npos) {
    // A quoted list always gains a separating blank, even an empty one.
    list.inner += (wasQuoted || !hasOnlyBlanks(list.inner)) ? " " + module : module;
  }
  return list.text();
}

std::string editInterfaceList(const std::string& value, const std::string& iface, bool present) {
  QuotedList list(value);
  if (!present) {
    removeWord(list.inner, iface);
  } else if (findWord(list.inner, iface) == std::string::npos) {
    list.inner += hasOnlyBlanks(list.inner) ? iface : " " + iface;
  }
  // Unquoted, a second word would be run as a command when the file is sourced.
  if (list.quote == 0 && countWords(list.inner) > 1) list.quote = kDoubleQuote;
  return list.text();
}

std::vector<std::string> blankSeparatedWords(std::string_view text) {
  std::vector<std::string> words;
  size_t at = 0;
  for (;;) {
    while (at < text.size() && isBlank(text[at])) ++at;
    if (at == text.size()) return words;
    const size_t begin = at;
    while (at < text.size() && !isBlank(text[at])) ++at;
    words.emplace_back(text.substr(begin, at - begin));
  }
}

}  // namespace detail
}  // namespace KESP
