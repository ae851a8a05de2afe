#pragma once
// Process-wide logging: one threshold, one destination, one line per statement.

#include <sstream>
#include <string>

namespace KESP {

enum LogLevel { LOG_DEBUG = 0, LOG_INFO = 1, LOG_WARN = 2, LOG_ERROR = 3, LOG_NONE = 4 };

/// Threshold: a statement of level L is written only when g_kesp_log_level <= L.
extern int g_kesp_log_level;
/// Destination: empty for the default streams, "stdout", "stderr", or a file path.
extern std::string g_kesp_log_file_name;
/// Set by programs for their own use; never printed.
extern std::string g_kesp_log_module;

/// Writes one line "<dd/mm/YYYY HH:MM:SS> [LEVEL] message". Does not test the
/// threshold; file, line and operation are accepted but not printed.
void kesp_log_write(int level, const char* file, int line, const char* operation,
                    const std::string& message);
/// Stores 0..4; anything else is reported on standard error and ignored.
void kesp_log_set_level(int level);
/// Sets the threshold from a level name (n/none, d/debug, i/info, w/warn/warning, e/error).
void kesp_log_parse_level(const std::string& text);
void kesp_log_set_file(const std::string& name);
void kesp_log_set_module(const std::string& name);
/// Applies KESP_LOG_LEVEL and KESP_LOG_FILE when they are set.
void kesp_log_init_from_env();
/// Applies the framework's configuration file, then the environment.
void kesp_log_init();
/// Executes a breakpoint trap when KESP_TRAP equals n.
void kesp_trap(unsigned n);

}  // namespace KESP

/// Logs a stream expression; nothing is formatted when the level is below the threshold.
#define KESP_LOG(level, operation, expr)                                                   \
  do {                                                                                     \
    if (::KESP::g_kesp_log_level <= (level)) {                                             \
      std::ostringstream kesp_log_stream_;                                                 \
      kesp_log_stream_ << expr;                                                            \
      ::KESP::kesp_log_write((level), __FILE__, __LINE__, (operation),                     \
                             kesp_log_stream_.str());                                      \
    }                                                                                      \
  } while (0)
