// The platform layer on Windows: files are opened with CreateFileW and
// sharing modes, told apart by volume serial number and file index, and
// read and written with ReadFile and WriteFile on the handle behind each C
// runtime descriptor, so that the runtime's text mode never touches the
// bytes (the MSP writer makes its own CR LF line ends).
// windows.h first: the other Windows headers build on it.
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/platform_io.h"

namespace mspforge::platform {
namespace {

// Large transfers go in pieces that a DWORD can count.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// Command-line arguments arrive as UTF-8 (see commandLineArguments); the
// file system takes UTF-16.
std::wstring widen(const char* utf8) {
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

std::string narrow(const wchar_t* wide) {
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), length, nullptr,
                        nullptr);
  utf8.resize(static_cast<std::size_t>(length - 1));
  return utf8;
}

FileIdentity identityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE ||
      !::GetFileInformationByHandle(handle, &info)) {
    return FileIdentity{};
  }
  return {info.dwVolumeSerialNumber,
          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
          true};
}

// Hands the handle to the C runtime; closes it when that fails.
int descriptorFor(HANDLE handle, int flags) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   flags | _O_BINARY);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

bool isDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Why CreateFileW on path failed: a directory, a file another program
// holds, or the system's own reason.
int refusedOpen(const std::wstring& path, OpenError* error) {
  const DWORD code = ::GetLastError();
  if (error != nullptr) {
    if (isDirectory(path)) {
      *error = {OpenRefusal::IsDirectory, 0};
    } else if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) {
      *error = {OpenRefusal::Locked, 0};
    } else {
      *error = {OpenRefusal::System, static_cast<int>(code)};
    }
  }
  return -1;
}

int refuse(HANDLE handle, OpenError* error, OpenRefusal refusal, int code = 0) {
  ::CloseHandle(handle);
  if (error != nullptr) *error = {refusal, code};
  return -1;
}

}  // namespace

int lastError() { return static_cast<int>(::GetLastError()); }

// Windows' own words, as UTF-8, without the full stop and line end that
// FormatMessage puts after them.
std::string errorText(int code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text),
      0, nullptr);
  if (length == 0 || text == nullptr) {
    return "error " + std::to_string(static_cast<unsigned long>(code));
  }
  std::string reason = narrow(text);
  ::LocalFree(text);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' ||
          reason.back() == ' ' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

bool isOutOfMemory(int code) {
  return code == ERROR_NOT_ENOUGH_MEMORY || code == ERROR_OUTOFMEMORY ||
         code == ERROR_COMMITMENT_LIMIT;
}

bool isTerminal(int fd) {
  DWORD mode = 0;
  return ::GetConsoleMode(handleOf(fd), &mode) != 0;
}

// No dialog box for a missing floppy or a crash: a command-line tool fails
// with its exit code.
void prepareProcess() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
}

std::ptrdiff_t readSome(int fd, char* into, std::size_t capacity) {
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min(capacity, kLargestTransfer));
  if (::ReadFile(handleOf(fd), into, want, &got, nullptr)) {
    return static_cast<std::ptrdiff_t>(got);
  }
  // A pipe whose writer has gone has simply ended.
  const DWORD error = ::GetLastError();
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
  return -1;
}

// ReadFile at an offset moves a synchronous handle's file pointer; it is
// put back where it stood.
std::ptrdiff_t readAt(int fd, std::uint64_t offset, char* into,
                      std::size_t capacity) {
  const HANDLE handle = handleOf(fd);
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) return -1;
  std::size_t got = 0;
  bool failed = false;
  while (got < capacity) {
    OVERLAPPED at{};
    const std::uint64_t where = offset + got;
    at.Offset = static_cast<DWORD>(where & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    DWORD n = 0;
    const DWORD want =
        static_cast<DWORD>(std::min(capacity - got, kLargestTransfer));
    if (!::ReadFile(handle, into + got, want, &n, &at)) {
      failed = ::GetLastError() != ERROR_HANDLE_EOF;
      break;
    }
    if (n == 0) break;
    got += n;
  }
  ::SetFilePointerEx(handle, position, nullptr, FILE_BEGIN);
  if (failed && got == 0) return -1;
  return static_cast<std::ptrdiff_t>(got);
}

bool writeAll(int fd, std::string_view bytes) {
  const HANDLE handle = handleOf(fd);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD want =
        static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
    if (!::WriteFile(handle, bytes.data(), want, &written, nullptr) ||
        written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

bool makeDirectory(const char* path) {
  const std::wstring wide = widen(path);
  if (::CreateDirectoryW(wide.c_str(), nullptr)) return true;
  if (::GetLastError() == ERROR_ALREADY_EXISTS) {
    if (isDirectory(wide)) return true;
    ::SetLastError(ERROR_DIRECTORY);
  }
  return false;
}

bool regularFileSize(const char* path, std::uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard,
                              &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return true;
}

bool regularFileSizeOf(int fd, std::uint64_t& size) {
  const HANDLE handle = handleOf(fd);
  LARGE_INTEGER bytes;
  if (::GetFileType(handle) != FILE_TYPE_DISK ||
      !::GetFileSizeEx(handle, &bytes)) {
    return false;
  }
  size = static_cast<std::uint64_t>(bytes.QuadPart);
  return true;
}

std::uint64_t filePosition(int fd) {
  const long long position = ::_lseeki64(fd, 0, SEEK_CUR);
  return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}


// Others may read the input but not write it. A directory cannot be opened
// this way (that takes FILE_FLAG_BACKUP_SEMANTICS), and a file that another
// program holds open for writing fails with a sharing violation.
int openInputFile(const char* path, FileIdentity& identity,
                  OpenError* error) {
  const std::wstring wide = widen(path);
  const HANDLE handle = ::CreateFileW(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return refusedOpen(wide, error);
  identity = identityOf(handle);
  const int fd = descriptorFor(handle, _O_RDONLY);
  if (fd < 0 && error != nullptr) *error = {OpenRefusal::System, lastError()};
  return fd;
}

// A handle of its own on standard input, so that closing it leaves
// standard input open.
int openStandardInput(FileIdentity& identity, OpenError* error) {
  HANDLE own = nullptr;
  const HANDLE process = ::GetCurrentProcess();
  if (!::DuplicateHandle(process, ::GetStdHandle(STD_INPUT_HANDLE), process,
                         &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    if (error != nullptr) *error = {OpenRefusal::System, lastError()};
    return -1;
  }
  identity = identityOf(own);
  const int fd = descriptorFor(own, _O_RDONLY);
  if (fd < 0 && error != nullptr) *error = {OpenRefusal::System, lastError()};
  return fd;
}

// Whether the disk file behind fd, open for reading, starts with bytes
// that check refuses.
static bool refusedByItsStart(int fd, const ReplaceCheck& check) {
  if (check.refuse == nullptr || check.headBytes == 0) return false;
  std::string head(check.headBytes, '\0');
  const std::ptrdiff_t got = readAt(fd, 0, head.data(), head.size());
  head.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return check.refuse(head);
}

// Nobody else may read or write the output. OPEN_ALWAYS leaves an existing
// file as it is until it is known not to be the input, and not one that
// must be kept; the input's own sharing mode already refuses a second
// opening for writing, and the identity check covers a file system that
// does not enforce it. The output is opened for reading too, so that its
// start can be examined, unless only writing is allowed.
int openOutputFile(const char* path, const FileIdentity& input,
                   const ReplaceCheck& check, OpenError* error) {
  const std::wstring wide = widen(path);
  if (isDirectory(wide)) {
    if (error != nullptr) *error = {OpenRefusal::IsDirectory, 0};
    return -1;
  }
  bool readable = true;
  HANDLE handle =
      ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    readable = false;
    handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) return refusedOpen(wide, error);
  if (sameFile(identityOf(handle), input)) {
    return refuse(handle, error, OpenRefusal::SameAsInput);
  }
  const int fd = descriptorFor(handle, readable ? _O_RDWR : _O_WRONLY);
  if (fd < 0) {
    if (error != nullptr) *error = {OpenRefusal::System, lastError()};
    return -1;
  }
  if (::GetFileType(handle) == FILE_TYPE_DISK) {
    if (readable && refusedByItsStart(fd, check)) {
      ::_close(fd);
      if (error != nullptr) *error = {OpenRefusal::KeptByCheck, 0};
      return -1;
    }
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle)) {
      const int code = lastError();
      ::_close(fd);
      if (error != nullptr) *error = {OpenRefusal::System, code};
      return -1;
    }
  }
  return fd;
}

bool closeFile(int fd) { return ::_close(fd) == 0; }

// Standard output has an identity only when it is a file on disk: only
// then can a path name it.
bool namesStandardOutput(const char* path) {
  const FileIdentity standardOutput =
      identityOf(::GetStdHandle(STD_OUTPUT_HANDLE));
  if (!standardOutput.known) return false;
  const HANDLE handle = ::CreateFileW(
      widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE |
      FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
      nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool same = sameFile(identityOf(handle), standardOutput);
  ::CloseHandle(handle);
  return same;
}

// The handle was opened by whoever started us, with the sharing they
// chose; it cannot be restricted now.
int takeStandardOutput(const FileIdentity& input, OpenError* error) {
  if (sameFile(identityOf(handleOf(1)), input)) {
    if (error != nullptr) *error = {OpenRefusal::SameAsInput, 0};
    return -1;
  }
  return 1;
}

void releaseStandardOutput() {}

std::vector<std::string> commandLineArguments(int argc, char* argv[]) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace mspforge::platform
