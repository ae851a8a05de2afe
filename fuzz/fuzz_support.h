#pragma once
// Shared by the fuzz targets: text split into lines the way TextFile::load
// splits a file, a check that stops the run so that libFuzzer keeps the input,
// and a silent log (refusals are expected by the thousand).

#include <cstdio>
#include <cstdlib>
#include <list>
#include <string>

#include "kesp/log.h"

/// Aborts with the failed condition: libFuzzer reports a crash and saves the input.
#define KESP_FUZZ_CHECK(condition)                                                       \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "property violated: %s (%s:%d)\n", #condition, __FILE__, \
                   __LINE__);                                                            \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace kesp_fuzz {

/// Lines without their line ends; a last line without a newline is kept.
inline std::list<std::string> linesOf(const std::string& text) {
  std::list<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) {
      lines.emplace_back(text, start, std::string::npos);
      break;
    }
    lines.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return lines;
}

/// The file content that TextFile::save would write for the lines.
inline std::string textOf(const std::list<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + '\n';
  return text;
}

inline void silenceLog() { KESP::kesp_log_set_level(KESP::LOG_NONE); }

}  // namespace kesp_fuzz
