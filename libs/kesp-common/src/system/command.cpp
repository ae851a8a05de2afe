#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "files/file_write.h"
#include "kesp/log.h"
#include "kesp/sysroot.h"
#include "kesp/util.h"
#include "files/names.h"
#include "files/program_rule.h"
#include "files/root_path.h"

namespace KESP {

namespace {

bool isShellIdentifier(const std::string& name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    bool digit = c >= '0' && c <= '9';
    if (!letter && !(digit && i > 0)) return false;
  }
  return true;
}

bool isPlainWord(const std::string& text) {
  for (unsigned char c : text) {
    bool alnum = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!alnum && std::string("_./:,+=@%-").find(static_cast<char>(c)) == std::string::npos)
      return false;
  }
  return true;
}

std::string scriptText(const std::string& command, const std::string& directory,
                       const std::map<std::string, std::string>& environment) {
  std::string text;
  for (const auto& entry : environment)
    text += "export " + entry.first + "=" + (entry.second.empty() ? "" : shell_quote(entry.second)) + "\n";
  if (!directory.empty()) text += "cd " + shell_quote(directory) + "\n";
  text += command + "\n";
  return text;
}

}  // namespace

std::string shell_quote(const std::string& text) {
  if (!text.empty() && isPlainWord(text)) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int execute(const std::string& command, std::string& output) {
  output.clear();
  if (!detail::programMayRun("execute", command)) return -1;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    KESP_LOG(LOG_ERROR, "execute", "Failed to execute " << command);
    return -1;
  }
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  return pclose(pipe);
}

int execute_no_wait(const std::string& command) {
  if (!detail::programMayRun("execute_no_wait", command)) return -1;
  pid_t shell = fork();
  if (shell < 0) {
    KESP_LOG(LOG_ERROR, "execute_no_wait", "Failed to execute " << command);
    return -1;
  }
  if (shell == 0) {
    // Output goes nowhere rather than into a pipe: a pipe closed unread kills
    // a command that prints, and one read to its end waits for every process
    // the command leaves behind ("sleep 3 &") as long as it holds the pipe.
    int devNull = open("/dev/null", O_WRONLY);
    if (devNull < 0 || dup2(devNull, STDOUT_FILENO) < 0) _exit(127);
    if (devNull != STDOUT_FILENO) close(devNull);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // Only the shell is waited for, not what it started in the background.
  while (waitpid(shell, nullptr, 0) < 0 && errno == EINTR) {
  }
  return 0;
}

int system_env(const std::string& command, const std::string& directory,
               const std::map<std::string, std::string>& environment) {
  if (!detail::programMayRun("system_env", command)) return -1;
  for (const auto& entry : environment) {
    if (!isShellIdentifier(entry.first)) {
      KESP_LOG(LOG_ERROR, "system_env",
               "Invalid environment variable name " << detail::printable(entry.first));
      return -1;
    }
    // The shell drops NUL bytes from a script: the command would see another value.
    if (entry.second.find('\0') != std::string::npos) {
      KESP_LOG(LOG_ERROR, "system_env", "NUL byte in the value of " << entry.first);
      return -1;
    }
  }
  if (directory.find('\0') != std::string::npos) {
    KESP_LOG(LOG_ERROR, "system_env", "NUL byte in the directory " << detail::printable(directory));
    return -1;
  }
  // Made inside the root, whatever its /tmp is a link to; the shell then runs
  // it by a path with no link left in it.
  std::string temporaryDirectory;
  int fd = -1;
  std::string path;
  if (detail::pathInRoot(sysPath("/tmp"), temporaryDirectory)) {
    temporaryDirectory = sysPath(temporaryDirectory == "/" ? "" : temporaryDirectory);
    const int directoryFd = detail::openInRoot(temporaryDirectory, O_RDONLY | O_DIRECTORY);
    std::string name;
    if (directoryFd >= 0) {
      fd = detail::createHiddenTemporary(directoryFd, "KESP", name);
      close(directoryFd);
    }
    path = temporaryDirectory + "/" + name;
  }
  if (fd < 0) {
    KESP_LOG(LOG_ERROR, "system_env", "Failed to create temp file");
    return -1;
  }
  FILE* script = fdopen(fd, "w");
  if (!script) {
    close(fd);
    detail::removeInRoot(path);
    KESP_LOG(LOG_ERROR, "system_env", "Failed to create temp file" << path);
    return -1;
  }
  std::string text = scriptText(command, directory, environment);
  bool written = std::fwrite(text.data(), 1, text.size(), script) == text.size();
  written = std::fflush(script) == 0 && written;
  written = fchmod(fd, 0700) == 0 && written;
  written = std::fclose(script) == 0 && written;
  if (!written) {
    // A truncated script must never run.
    detail::removeInRoot(path);
    KESP_LOG(LOG_ERROR, "system_env", "Failed to create temp file");
    return -1;
  }
  int status = std::system(path.c_str());
  detail::removeInRoot(path);
  return status;
}

int run_program(const char* const argv[]) {
  if (!detail::programMayRun("run_program", argv[0] ? argv[0] : "")) return -1;
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    execv(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return 0;
}

}  // namespace KESP
