#include "test_files.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace mspforge::test {

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "mspforge-test-XXXXXX")
          .string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  dir_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

RunResult runMspforge(const std::vector<std::string>& args,
                      const std::string& stdinPath) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = ::fork();
  if (pid == 0) {
    int in = ::open(stdinPath.empty() ? "/dev/null" : stdinPath.c_str(),
                    O_RDONLY);
    ::dup2(in, 0);
    ::dup2(pipeFds[1], 1);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    std::vector<char*> argv;
    std::string name = "mspforge";
    argv.push_back(name.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(MSPFORGE_BINARY, argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  RunResult result;
  char chunk[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0) {
    result.stdoutText.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status)
                                      : 128 + WTERMSIG(status);
  return result;
}

MemoryConversion convertText(const std::string& mgf) {
  MemoryConversion conversion;
  conversion.result = convertBytes(mgf, conversion.msp, conversion.tally);
  return conversion;
}

long countMspRecords(const std::string& msp) {
  long count = 0;
  std::istringstream lines(msp);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("Name: ", 0) == 0) ++count;
  }
  return count;
}

}  // namespace mspforge::test
