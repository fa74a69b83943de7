// Running the binary and holding files, on POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "test_files.h"

namespace mspforge::test {

OpenDescriptor::OpenDescriptor(const std::string& path, bool writeOnly)
    : fd_(::open(path.c_str(), writeOnly ? O_WRONLY : O_RDONLY)) {}

OpenDescriptor::~OpenDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

const char* memoryLimitUnenforced() {
#if defined(MSPFORGE_TEST_LAUNCHER)
  return "the memory limit would bind the emulator, not the program";
#else
  return nullptr;
#endif
}

bool makeSymbolicLink(const std::string& target, const std::string& link) {
  return ::symlink(target.c_str(), link.c_str()) == 0;
}

FileHolder::FileHolder(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR);
  handle_ = fd;
  holds_ = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

FileHolder::~FileHolder() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

RunResult runMspforge(const std::vector<std::string>& args,
                      const RunOptions& options) {
  int outPipe[2];
  int errPipe[2];
  int inPipe[2] = {-1, -1};
  if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (options.stdinText != nullptr && ::pipe(inPipe) != 0) {
    throw std::runtime_error("pipe failed");
  }
  if (options.stdoutReaderGone) ::close(outPipe[0]);
  pid_t pid = ::fork();
  if (pid == 0) {
    int in = inPipe[0] >= 0 ? inPipe[0]
             : ::open(options.stdinPath.empty() ? "/dev/null"
                                                : options.stdinPath.c_str(),
                      O_RDONLY);
    ::dup2(in, 0);
    if (options.stdoutPath.empty()) {
      ::dup2(outPipe[1], 1);
    } else {
      int out = ::open(options.stdoutPath.c_str(),
                       O_WRONLY | O_CREAT |
                           (options.stdoutAppend ? O_APPEND : O_TRUNC),
                       0644);
      ::dup2(out, 1);
    }
    ::dup2(errPipe[1], 2);
    // argv[0] is "mspforge", as a user types it. A cross-built binary
    // is started through its launcher, which sets argv[0] itself.
    std::vector<std::string> words;
#if defined(MSPFORGE_TEST_LAUNCHER)
    const std::string launcher = MSPFORGE_TEST_LAUNCHER;
    for (std::size_t from = 0;;) {
      const std::size_t bar = launcher.find('|', from);
      words.push_back(launcher.substr(from, bar - from));
      if (bar == std::string::npos) break;
      from = bar + 1;
    }
    words.push_back(MSPFORGE_BINARY);
#else
    words.push_back("mspforge");
#endif
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ::closefrom(3);
    if (options.addressSpaceLimit > 0) {
      struct rlimit limit;
      limit.rlim_cur = limit.rlim_max =
          static_cast<rlim_t>(options.addressSpaceLimit);
      ::setrlimit(RLIMIT_AS, &limit);
    }
#if defined(MSPFORGE_TEST_LAUNCHER)
    ::execv(argv[0], argv.data());
#else
    ::execv(MSPFORGE_BINARY, argv.data());
#endif
    ::_exit(127);
  }
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  std::thread feeder;
  if (inPipe[0] >= 0) {
    ::close(inPipe[0]);
    feeder = std::thread([fd = inPipe[1], text = options.stdinText] {
      std::size_t done = 0;
      while (done < text->size()) {
        ssize_t n = ::write(fd, text->data() + done, text->size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
      }
      ::close(fd);
    });
  }
  // Both streams are drained together, so that neither can fill its pipe
  // and stall the run (a sanitizer report on standard error can be long).
  RunResult result;
  std::vector<pollfd> open;
  if (!options.stdoutReaderGone) open.push_back({outPipe[0], POLLIN, 0});
  open.push_back({errPipe[0], POLLIN, 0});
  while (!open.empty()) {
    if (::poll(open.data(), open.size(), -1) < 0) continue;
    for (std::size_t i = open.size(); i-- > 0;) {
      if (open[i].revents == 0) continue;
      char chunk[65536];
      ssize_t n = ::read(open[i].fd, chunk, sizeof chunk);
      if (n > 0) {
        (open[i].fd == errPipe[0] ? result.stderrText : result.stdoutText)
            .append(chunk, static_cast<std::size_t>(n));
      } else {
        ::close(open[i].fd);
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  if (feeder.joinable()) feeder.join();
  result.maxRssKb = usage.ru_maxrss;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status)
                                      : 128 + WTERMSIG(status);
  return result;
}

}  // namespace mspforge::test
