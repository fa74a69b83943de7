#include "test_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/platform_io.h"

namespace mspforge::test {

namespace {

std::filesystem::path fsPath(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

TempDir::TempDir() {
  static std::mt19937_64 random(std::random_device{}());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / ("mspforge-test-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      dir_ = utf8Of(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(fsPath(dir_), ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(fsPath(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(fsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(fsPath(path), ignored);
}

void makeDirectory(const std::string& path) {
  std::filesystem::create_directory(fsPath(path));
}

bool makeHardLink(const std::string& target, const std::string& link) {
  std::error_code error;
  std::filesystem::create_hard_link(fsPath(target), fsPath(link), error);
  return !error;
}

std::string fromTextLineEnds(const std::string& text) {
  if (!platform::kCrLfLineEnds) return text;
  std::string lf;
  lf.reserve(text.size());
  for (char c : text) {
    if (c == '\n') {
      if (lf.empty() || lf.back() != '\r') {
        lf += "<LF without CR>";
        continue;
      }
      lf.back() = '\n';
      continue;
    }
    lf += c;
  }
  return lf;
}

MemoryConversion convertText(const std::string& mgf,
                             const ConversionOptions& options) {
  MemoryConversion conversion;
  conversion.result =
      convertBytes(mgf, conversion.msp, conversion.tally, options);
  return conversion;
}

long countLinesStartingWith(const std::string& text, const std::string& start) {
  long count = 0;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind(start, 0) == 0) ++count;
  }
  return count;
}

}  // namespace mspforge::test
