#include "kesp/log.h"

#include <sys/time.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "kesp/util.h"

namespace KESP {

int g_kesp_log_level = LOG_WARN;
std::string g_kesp_log_file_name;
std::string g_kesp_log_module;

namespace {

const char* const kLevelNames[] = {"DEBUG", "INFO", "WARN", "ERROR"};

std::string timestamp() {
  struct timeval now;
  struct timezone zone;
  if (gettimeofday(&now, &zone) != 0) return std::string();
  time_t local = now.tv_sec - 60 * static_cast<time_t>(zone.tz_minuteswest);
  struct tm broken;
  if (!gmtime_r(&local, &broken)) return std::string();
  char buffer[20];
  if (strftime(buffer, sizeof buffer, "%d/%m/%Y %H:%M:%S", &broken) == 0) return std::string();
  return buffer;
}

}  // namespace

void kesp_log_write(int level, const char* /*file*/, int /*line*/, const char* /*operation*/,
                    const std::string& message) {
  std::string stamp = timestamp();
  FILE* stream = nullptr;
  bool ownStream = false;
  const std::string& destination = g_kesp_log_file_name;
  if (!destination.empty()) {
    if (destination == "stdout") {
      stream = stdout;
    } else if (destination == "stderr") {
      stream = stderr;
    } else {
      stream = std::fopen(destination.c_str(), "a");
      if (stream) {
        ownStream = true;
      } else {
        std::fprintf(stderr, "Couldn't open log file %s\n", destination.c_str());
      }
    }
  }
  if (!stream) stream = level > LOG_INFO ? stderr : stdout;
  const char* name = (level >= LOG_DEBUG && level <= LOG_ERROR) ? kLevelNames[level] : "unknown";
  std::fprintf(stream, "%s [%s] %s\n", stamp.c_str(), name, message.c_str());
  if (ownStream)
    std::fclose(stream);
  else
    std::fflush(stream);
}

void kesp_log_set_level(int level) {
  if (level < LOG_DEBUG || level > LOG_NONE) {
    std::fprintf(stderr, "Invalid log level - %d\n", level);
    return;
  }
  g_kesp_log_level = level;
}

void kesp_log_parse_level(const std::string& text) {
  struct Name {
    const char* text;
    int level;
  };
  static const Name kNames[] = {
      {"n", LOG_NONE},  {"none", LOG_NONE},    {"d", LOG_DEBUG}, {"debug", LOG_DEBUG},
      {"i", LOG_INFO},  {"info", LOG_INFO},    {"w", LOG_WARN},  {"warning", LOG_WARN},
      {"warn", LOG_WARN}, {"e", LOG_ERROR},    {"error", LOG_ERROR},
  };
  std::string lowered = to_lower(text);
  for (const Name& name : kNames) {
    if (lowered == name.text) {
      g_kesp_log_level = name.level;
      return;
    }
  }
  std::fprintf(stderr, "Invalid log level - %s\n", text.c_str());
}

void kesp_log_set_file(const std::string& name) { g_kesp_log_file_name = name; }

void kesp_log_set_module(const std::string& name) { g_kesp_log_module = name; }

void kesp_log_init_from_env() {
  if (const char* level = std::getenv("KESP_LOG_LEVEL")) kesp_log_parse_level(level);
  if (const char* file = std::getenv("KESP_LOG_FILE")) kesp_log_set_file(file);
}

void kesp_trap(unsigned n) {
  const char* trap = std::getenv("KESP_TRAP");
  if (!trap || std::atoi(trap) != static_cast<int>(n)) return;
#if defined(__x86_64__) || defined(__i386__)
  // A real breakpoint instruction, so a debugger stops at this very place.
  __asm__ volatile("int3");
#else
  std::raise(SIGTRAP);
#endif
}

}  // namespace KESP
