#pragma once
// Shared by the fuzz targets: text split into lines the way TextFile::load
// splits a file, a check that stops the run so that libFuzzer keeps the input,
// and a silent log (refusals are expected by the thousand).

#include <cstdio>
#include <cstdlib>
#include <list>
#include <string>

#include "kesp/log.h"
#include "files/text_lines.h"

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

/// The lines TextFile::load makes of a file's text.
inline std::list<std::string> linesOf(const std::string& text) { return KESP::detail::splitLines(text); }

/// The file content that TextFile::save would write for the lines.
inline std::string textOf(const std::list<std::string>& lines) { return KESP::detail::joinLines(lines); }

inline void silenceLog() { KESP::kesp_log_set_level(KESP::LOG_NONE); }

}  // namespace kesp_fuzz
