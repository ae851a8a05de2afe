#include "process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

namespace KESP {
namespace detail {

int runArgv(const std::vector<std::string>& argv, std::string* output) {
  if (argv.empty()) return -1;
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

  int pipeFds[2] = {-1, -1};
  if (output && pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  pid_t child = fork();
  if (child < 0) {
    if (output) {
      close(pipeFds[0]);
      close(pipeFds[1]);
    }
    return -1;
  }
  if (child == 0) {
    if (output && dup2(pipeFds[1], STDOUT_FILENO) < 0) _exit(127);
    execv(args[0], args.data());
    if (errno == ENOEXEC) execv(shellArgs[0], shellArgs.data());
    _exit(127);
  }
  if (output) {
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
    if (errno != EINTR) return -1;
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
