// Running the binary and holding files, on Windows: CreateProcessW with
// pipes for the standard streams, a job object for the memory limit, and
// openings that share nothing to stand for another program's hold.
// windows.h first: the other Windows headers build on it.
#include <windows.h>
// clang-format off
#include <psapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <thread>

#include "test_files.h"

namespace mspforge::test {
namespace {

std::wstring wide(const std::string& utf8) {
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), length);
  text.resize(static_cast<std::size_t>(length - 1));
  return text;
}

// One argument quoted as CommandLineToArgvW reads it back: backslashes
// are literal unless they precede a quote.
void appendQuoted(std::wstring& line, const std::wstring& argument) {
  line += L'"';
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') backslashes = backslashes * 2 + 1;
    line.append(backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

// Reads a pipe to its end.
std::string drain(HANDLE pipe) {
  std::string text;
  char chunk[65536];
  DWORD got = 0;
  while (::ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    text.append(chunk, got);
  }
  return text;
}

void makePipe(HANDLE& readEnd, HANDLE& writeEnd, bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  // Only the child's end is inherited.
  ::SetHandleInformation(childReads ? writeEnd : readEnd,
                         HANDLE_FLAG_INHERIT, 0);
}

HANDLE openInherited(const std::string& path, DWORD access, DWORD creation) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return ::CreateFileW(wide(path).c_str(), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

OpenDescriptor::OpenDescriptor(const std::string& path, bool writeOnly)
    : fd_(::_wopen(wide(path).c_str(),
                   (writeOnly ? _O_WRONLY : _O_RDONLY) | _O_BINARY)) {}

OpenDescriptor::~OpenDescriptor() {
  if (fd_ >= 0) ::_close(fd_);
}

namespace {

bool runningUnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr &&
         ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace

const char* memoryLimitUnenforced() {
  return runningUnderWine()
             ? "Wine does not enforce a job object's memory limit"
             : nullptr;
}

namespace {

bool opens(const std::wstring& path) {
  // Wine opens a symbolic link only when some access is asked for.
  HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

}  // namespace

// Wine 8 reports success from CreateSymbolicLinkW but makes no usable
// link, so under Wine there is none to test with.
bool makeSymbolicLink(const std::string& target, const std::string& link) {
  const std::wstring wideLink = wide(link);
  return !runningUnderWine() &&
         ::CreateSymbolicLinkW(wideLink.c_str(), wide(target).c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
         opens(wideLink);
}

FileHolder::FileHolder(const std::string& path) {
  HANDLE handle = ::CreateFileW(wide(path).c_str(),
                                GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  holds_ = handle != INVALID_HANDLE_VALUE;
  handle_ = reinterpret_cast<std::intptr_t>(handle);
}

FileHolder::~FileHolder() {
  if (holds_) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

RunResult runMspforge(const std::vector<std::string>& args,
                      const RunOptions& options) {
  HANDLE outRead = nullptr, outWrite = nullptr;
  HANDLE errRead = nullptr, errWrite = nullptr;
  HANDLE inRead = nullptr, inWrite = nullptr;
  makePipe(errRead, errWrite, false);
  HANDLE childOut = nullptr;
  if (options.stdoutPath.empty()) {
    makePipe(outRead, outWrite, false);
    childOut = outWrite;
    if (options.stdoutReaderGone) {
      ::CloseHandle(outRead);
      outRead = nullptr;
    }
  } else {
    childOut = openInherited(options.stdoutPath,
                             options.stdoutAppend ? FILE_APPEND_DATA
                                                  : GENERIC_WRITE,
                             options.stdoutAppend ? OPEN_ALWAYS
                                                  : CREATE_ALWAYS);
  }
  HANDLE childIn = nullptr;
  if (options.stdinText != nullptr) {
    makePipe(inRead, inWrite, true);
    childIn = inRead;
  } else {
    childIn = openInherited(
        options.stdinPath.empty() ? "NUL" : options.stdinPath, GENERIC_READ,
        OPEN_EXISTING);
  }

  std::wstring commandLine;
  appendQuoted(commandLine, L"mspforge");
  for (const std::string& arg : args) {
    commandLine += L' ';
    appendQuoted(commandLine, wide(arg));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn;
  startup.hStdOutput = childOut;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION process{};
  // Under Wine, process creation now and then fails once while other tests
  // start theirs; a few tries tell that from a binary that cannot start.
  for (int attempt = 1;; ++attempt) {
    if (::CreateProcessW(wide(MSPFORGE_BINARY).c_str(), commandLine.data(),
                         nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                         nullptr, &startup, &process)) {
      break;
    }
    if (attempt == 3) {
      throw std::runtime_error("CreateProcessW failed, error " +
                               std::to_string(::GetLastError()));
    }
    ::Sleep(200);
  }
  HANDLE job = nullptr;
  if (options.addressSpaceLimit > 0) {
    job = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
    limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limit.ProcessMemoryLimit =
        static_cast<SIZE_T>(options.addressSpaceLimit);
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limit,
                              sizeof limit);
    ::AssignProcessToJobObject(job, process.hProcess);
  }
  ::ResumeThread(process.hThread);
  ::CloseHandle(process.hThread);
  // The child has its copies; ours would keep its pipes from ending.
  ::CloseHandle(childOut);
  ::CloseHandle(errWrite);
  if (childIn != INVALID_HANDLE_VALUE) ::CloseHandle(childIn);

  std::thread feeder;
  if (inWrite != nullptr) {
    feeder = std::thread([inWrite, text = options.stdinText] {
      std::size_t done = 0;
      while (done < text->size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(
            std::min<std::size_t>(text->size() - done, 1 << 20));
        if (!::WriteFile(inWrite, text->data() + done, want, &written,
                         nullptr)) {
          break;
        }
        done += written;
      }
      ::CloseHandle(inWrite);
    });
  }
  RunResult result;
  std::thread errors([&] { result.stderrText = drain(errRead); });
  if (outRead != nullptr) result.stdoutText = drain(outRead);
  errors.join();
  ::WaitForSingleObject(process.hProcess, INFINITE);
  if (feeder.joinable()) feeder.join();

  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  result.exitCode = static_cast<int>(code);
  PROCESS_MEMORY_COUNTERS memory{};
  if (::GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
    result.maxRssKb = static_cast<long>(memory.PeakWorkingSetSize / 1024);
  }
  ::CloseHandle(process.hProcess);
  if (job != nullptr) ::CloseHandle(job);
  if (outRead != nullptr) ::CloseHandle(outRead);
  ::CloseHandle(errRead);
  result.stdoutText = fromTextLineEnds(result.stdoutText);
  result.stderrText = fromTextLineEnds(result.stderrText);
  return result;
}

}  // namespace mspforge::test
