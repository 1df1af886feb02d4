// Runs one command and prints its wall time, peak memory and exit status, for bench/compare-peers.
//
// Usage: run_measured [--stdout FILE] [--timeout SECONDS] [NAME=VALUE...] PROGRAM [ARG...]
// Prints "SECONDS PEAK_KB STATUS CPU_SECONDS" on stdout (the command's own output goes to FILE or nowhere); STATUS is
// 124 when the command ran out of time and 127 when it could not be started. A shell, `timeout` and GNU time around
// each command cost about 4 ms a run here, which is most of what the lightest peer takes for a short source; this clock
// starts at the fork and stops at the reaping, and takes the peak from the kernel's record of the child (as GNU time
// does).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t timedOut = 0;

void onAlarm(int) { timedOut = 1; }

double secondsSince(const timespec& start) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return double(now.tv_sec - start.tv_sec) + double(now.tv_nsec - start.tv_nsec) / 1e9;
}

int usage(FILE* to, int code) {
  std::fputs("usage: run_measured [--stdout FILE] [--timeout SECONDS] [NAME=VALUE...] PROGRAM [ARG...]\n", to);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--help") return usage(stdout, 0);
  const char* outPath = nullptr;
  unsigned timeoutSeconds = 0;
  int next = 1;
  for (; next + 1 < argc; next += 2) {
    const std::string_view option = argv[next];
    if (option == "--stdout") outPath = argv[next + 1];
    else if (option == "--timeout") timeoutSeconds = unsigned(std::strtoul(argv[next + 1], nullptr, 10));
    else break;
  }
  int firstVariable = next;
  while (next < argc && std::strchr(argv[next], '=') != nullptr) ++next;
  if (next >= argc) return usage(stderr, 2);

  struct sigaction alarmAction {};
  alarmAction.sa_handler = onAlarm;  // no SA_RESTART: the alarm must interrupt wait4
  sigaction(SIGALRM, &alarmAction, nullptr);

  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("run_measured: fork");
    return 1;
  }
  if (child == 0) {
    for (int i = firstVariable; i < next; ++i) putenv(argv[i]);
    // Only this program's own line goes to its stdout.
    const int fd = outPath != nullptr ? open(outPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)
                                      : open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(127);
    execvp(argv[next], argv + next);
    _exit(127);
  }
  if (timeoutSeconds > 0) alarm(timeoutSeconds);

  int status = 0;
  rusage resources{};
  while (wait4(child, &status, 0, &resources) < 0) {
    if (errno != EINTR) {
      std::perror("run_measured: wait4");
      return 1;
    }
    if (timedOut) kill(child, SIGKILL);
  }
  const double seconds = secondsSince(start);
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (timedOut) code = 124;
  const auto cpu = [](const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; };
  std::printf("%.4f %ld %d %.4f\n", seconds, resources.ru_maxrss, code,
              cpu(resources.ru_utime) + cpu(resources.ru_stime));
  return 0;
}
