#include "system/process.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "files/program_rule.h"

namespace KESP {
namespace detail {

namespace {

/// The inherited environment with settings in place of variables of their names.
std::vector<char*> environmentWith(const std::vector<std::string>& settings) {
  std::vector<char*> entries;
  for (char** entry = environ; *entry; ++entry) {
    bool replaced = false;
    for (const std::string& setting : settings) {
      const size_t nameEnd = setting.find('=');
      if (nameEnd != std::string::npos && std::strncmp(*entry, setting.c_str(), nameEnd + 1) == 0)
        replaced = true;
    }
    if (!replaced) entries.push_back(*entry);
  }
  for (const std::string& setting : settings) entries.push_back(const_cast<char*>(setting.c_str()));
  entries.push_back(nullptr);
  return entries;
}

/// Sends all of text to fd, retrying short writes; stops quietly when the
/// reader has gone (MSG_NOSIGNAL: no SIGPIPE for the caller's process).
void sendAll(int fd, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

int runArgv(const std::vector<std::string>& argv, std::string* output,
            const std::vector<std::string>& settings, const std::string* input, bool withErrors) {
  if (argv.empty() || !programMayRun("runArgv", argv[0])) return -1;
  // An argument ends at its first NUL byte: the program would get a shorter
  // text than the caller's, so such a text is not passed on at all.
  for (const std::string& arg : argv) {
    if (arg.find('\0') != std::string::npos) {
      errno = EINVAL;
      return -1;
    }
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // A script without a "#!" line is no executable to the kernel (ENOEXEC);
  // like execvp, such a file is then run by /bin/sh, the file as the shell's
  // script and the arguments after it. Built before fork, so the child
  // allocates nothing.
  std::vector<char*> shellArgs = {const_cast<char*>("/bin/sh")};
  shellArgs.insert(shellArgs.end(), args.begin(), args.end());
  std::vector<char*> environment = environmentWith(settings);

  const bool toFile = output && withErrors;
  const int fileFd = toFile ? memfd_create("kesp-program-output", MFD_CLOEXEC) : -1;
  if (toFile && fileFd < 0) return -1;
  int pipeFds[2] = {-1, -1};
  if (output && !toFile && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  // A socket rather than a pipe carries the input: only a send can refuse
  // SIGPIPE for one call, and the library must not change the process's
  // signal dispositions.
  int inputFds[2] = {-1, -1};
  if (input && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputFds) != 0) {
    for (int fd : {pipeFds[0], pipeFds[1], fileFd})
      if (fd >= 0) close(fd);
    return -1;
  }
  pid_t child = fork();
  if (child < 0) {
    for (int fd : {pipeFds[0], pipeFds[1], inputFds[0], inputFds[1], fileFd})
      if (fd >= 0) close(fd);
    return -1;
  }
  if (child == 0) {
    if (toFile && (dup2(fileFd, STDOUT_FILENO) < 0 || dup2(fileFd, STDERR_FILENO) < 0)) _exit(127);
    if (output && !toFile && dup2(pipeFds[1], STDOUT_FILENO) < 0) _exit(127);
    if (input && dup2(inputFds[1], STDIN_FILENO) < 0) _exit(127);
    execve(args[0], args.data(), environment.data());
    if (errno == ENOEXEC) execve(shellArgs[0], shellArgs.data(), environment.data());
    _exit(127);
  }
  if (input) {
    // Small texts (a few lines): they fit the socket's buffer before the
    // program's output is read, so the order cannot block.
    close(inputFds[1]);
    sendAll(inputFds[0], *input);
    close(inputFds[0]);
  }
  if (output && !toFile) {
    close(pipeFds[1]);
    output->clear();
    char buffer[4096];
    for (;;) {
      ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      output->append(buffer, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      if (toFile) close(fileFd);
      return -1;
    }
  }
  if (toFile) {
    output->clear();
    char buffer[4096];
    for (off_t offset = 0;;) {
      const ssize_t n = pread(fileFd, buffer, sizeof buffer, offset);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      output->append(buffer, static_cast<size_t>(n));
      offset += n;
    }
    close(fileFd);
  }
  return status;
}

std::vector<std::string> splitBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

}  // namespace detail
}  // namespace KESP
