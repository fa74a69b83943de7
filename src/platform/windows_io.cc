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

}  // namespace

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

bool mappableFileSize(int fd, std::uint64_t& size) {
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

std::size_t mappingAlignment() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

// A copy-on-write view (FILE_MAP_COPY). The section handle can go at once:
// the view keeps it alive.
char* mapFile(int fd, std::uint64_t offset, std::size_t length) {
  const HANDLE section = ::CreateFileMappingW(handleOf(fd), nullptr,
                                             PAGE_WRITECOPY, 0, 0, nullptr);
  if (section == nullptr) return nullptr;
  void* view = ::MapViewOfFile(section, FILE_MAP_COPY,
                               static_cast<DWORD>(offset >> 32),
                               static_cast<DWORD>(offset & 0xFFFFFFFFu),
                               length);
  ::CloseHandle(section);
  return static_cast<char*>(view);
}

// Windows refuses to truncate a file that has a mapped view, and the input
// is opened without write sharing: no bytes can go missing under a view.
bool mappingLostBytes(const char*) { return false; }

void unmapFile(char* address, std::size_t) { ::UnmapViewOfFile(address); }

// Windows' gathered write (WriteFileGather) wants page-sized, aligned
// buffers; the pieces are written one after another instead.
bool writeGathered(int fd, const std::string_view* pieces, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (!writeAll(fd, pieces[i])) return false;
  }
  return true;
}

// Others may read the input but not write it. A directory cannot be opened
// this way (that takes FILE_FLAG_BACKUP_SEMANTICS), and a file that another
// program holds open for writing fails with a sharing violation.
int openInputFile(const char* path, FileIdentity& identity) {
  const HANDLE handle = ::CreateFileW(
      widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
      nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  identity = identityOf(handle);
  return descriptorFor(handle, _O_RDONLY);
}

// Whether the disk file behind handle, open for reading, starts with bytes
// that check refuses. The file pointer moves; it is set back to the start
// before the file is emptied.
bool refusedByItsStart(HANDLE handle, const ReplaceCheck& check) {
  if (check.refuse == nullptr || check.headBytes == 0) return false;
  std::string head(check.headBytes, '\0');
  std::size_t got = 0;
  while (got < head.size()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(got);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(head.size() - got);
    if (!::ReadFile(handle, head.data() + got, want, &n, &at) || n == 0) break;
    got += n;
  }
  head.resize(got);
  return check.refuse(head);
}

// Nobody else may read or write the output. OPEN_ALWAYS leaves an existing
// file as it is until it is known not to be the input, and not one that
// must be kept; the input's own sharing mode already refuses a second
// opening for writing, and the identity check covers a file system that
// does not enforce it. The output is opened for reading too, so that its
// start can be examined, unless only writing is allowed.
int openOutputFile(const char* path, const FileIdentity& input,
                   const ReplaceCheck& check) {
  const std::wstring wide = widen(path);
  bool readable = true;
  HANDLE handle =
      ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
    readable = false;
    handle = ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (handle == INVALID_HANDLE_VALUE) return -1;
  LARGE_INTEGER start{};
  const bool disk = ::GetFileType(handle) == FILE_TYPE_DISK;
  if (sameFile(identityOf(handle), input) ||
      (disk && ((readable && refusedByItsStart(handle, check)) ||
                !::SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) ||
                !::SetEndOfFile(handle)))) {
    ::CloseHandle(handle);
    return -1;
  }
  return descriptorFor(handle, readable ? _O_RDWR : _O_WRONLY);
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
int takeStandardOutput(const FileIdentity& input) {
  if (sameFile(identityOf(handleOf(1)), input)) return -1;
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
