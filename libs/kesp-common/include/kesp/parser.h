#pragma once
// Texts searched by pattern (Perl syntax), with captured groups picked by number.

#include <cstdio>
#include <string>
#include <vector>

namespace KESP {

class Parser {
 public:
  Parser() = default;
  explicit Parser(const std::string& text) : text_(text) {}

  std::string& text() { return text_; }
  const std::string& text() const { return text_; }

  /// Replaces the text by the whole file; 0, or -1 when it cannot be opened.
  int load(const std::string& path);
  /// Replaces the text by a shell command's standard output; 0 whenever the
  /// command could be started (whatever its status), -1 otherwise.
  int execute(const std::string& command);
  /// Stores the first match, or every non-overlapping match; true when any.
  bool search(const std::string& pattern, bool allMatches = false);

  unsigned matchCount() const { return static_cast<unsigned>(matches_.size()); }
  /// Groups stored for the current match; 0 when there is none.
  unsigned groupCount() const;
  /// Group i+1 of the current match, or a shared empty string.
  const std::string& get(unsigned i) const;
  /// Moves to the next stored match; false (nothing changed) at the last one.
  bool next();

 private:
  std::string text_;
  std::vector<std::vector<std::string>> matches_;
  unsigned index_ = 0;
};

/// True when the pattern matches the whole text.
bool regex_full_match(const std::string& pattern, const std::string& text);
/// Reads the stream to its end; each block is taken up to its first NUL byte.
void read_stream(std::string& out, FILE* stream);

}  // namespace KESP
