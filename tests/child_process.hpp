// Runs a piece of a test in a forked child, so that it starts from the
// process-wide state left by the parent (resource store, flags, message
// level) and can change it, exit or time out without touching the parent.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace tvtest {

struct ChildResult {
  int status = -1;   // exit status, or -1 when the child did not exit
  std::string text;  // what the body returned
};

// The child runs `body` and sends back the text it returns; the parent
// waits for it. Output of the child's own streams is flushed before it
// ends.
inline ChildResult in_child(const std::function<std::string()> &body) {
  ChildResult res;
  int fds[2];
  if (::pipe(fds) != 0) return res;
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) return res;
  if (pid == 0) {
    ::close(fds[0]);
    std::string out = body();
    std::fflush(nullptr);
    std::size_t done = 0;
    while (done < out.size()) {
      ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) res.text.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int st = 0;
  ::waitpid(pid, &st, 0);
  res.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return res;
}

}  // namespace tvtest
