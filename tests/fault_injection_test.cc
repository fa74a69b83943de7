// The binary on broken, hostile and huge input and on failing outputs:
// each case ends with its documented result, never a crash or a hang.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/stat.h>  // mkfifo
#endif

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

#include "test_files.h"

namespace mspforge::test {
namespace {

using namespace std::string_literals;


struct Converted {
  RunResult run;
  std::string msp;
};

Converted convertFile(const std::string& mgf) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), mgf);
  Converted c;
  c.run = runMspforge({dir.path("in.mgf"), dir.path("out.msp")});
  c.msp = readMspFile(dir.path("out.msp"));
  return c;
}

TEST(FaultInjectionTest, DamagedFiles) {
  struct Case {
    const char* what;
    std::string mgf;
    std::string tally;
    std::string msp;
  };
  const std::string crOnly = "BEGIN IONS\rNAME=Glycine\rMSLEVEL=2\r"
                             "PEPMASS=1\r5 5\rEND IONS\r";
  const Case cases[] = {
      {"cut inside a record", kOneRecord + kOneRecord.substr(0, 40),
       "Total spectra = 1\n", kOneRecordMsp},
      {"cut inside the END IONS line", kOneRecord + kOneRecord.substr(0, 62),
       "Total spectra = 1\n", kOneRecordMsp},
      {"no final line feed", kOneRecord.substr(0, kOneRecord.size() - 1),
       "Total spectra = 1\n", kOneRecordMsp},
      // A CR alone ends no line: the file is one line, outside any record.
      {"only CR line ends", crOnly, "Total spectra = 0\n", ""},
      {"Ctrl-Z in the middle", kOneRecord + "\x1A" + kOneRecord,
       "Total spectra = 1\n", kOneRecordMsp},
      {"Ctrl-Z inside a record", kOneRecord.substr(0, 50) + "\x1A" + kOneRecord,
       "Total spectra = 0\n", ""},
      {"CR LF everywhere",
       "BEGIN IONS\r\nNAME=Glycine\r\nMSLEVEL=2\r\nPEPMASS=76.0393\r\n"
       "30.0338 100\r\nEND IONS\r\n",
       "Total spectra = 1\n", kOneRecordMsp},
      {"NUL bytes",
       "BEGIN IONS\nNAME=Gly\0cine\nMSLEVEL=2\nPEPMASS=76.0393\n"
       "30.0338\0 100\nEND IONS\n"s,
       "Total spectra = 1\n",
       "Name: Gly\0cine\nPrecursorMZ: 76.0393\nSpectrum_type: MS2\n"
       "Comments:\nNum Peaks: 1\n30.0338\0 100\n\n"s},
      {"non-UTF-8 bytes",
       "BEGIN IONS\nNAME=\xff\xfe\xe9\nMSLEVEL=2\nPEPMASS=1\n5 5\nEND IONS\n",
       "Total spectra = 1\n",
       "Name: \xff\xfe\xe9\nPrecursorMZ: 1\nSpectrum_type: MS2\nComments:\n"
       "Num Peaks: 1\n5 5\n\n"},
  };
  for (const Case& c : cases) {
    Converted result = convertFile(c.mgf);
    EXPECT_EQ(result.run.exitCode, 0) << c.what;
    EXPECT_EQ(result.run.stdoutText, c.tally) << c.what;
    EXPECT_EQ(result.msp, c.msp) << c.what;
  }
}

TEST(FaultInjectionTest, RandomBinaryData) {
  std::mt19937 random(2026);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string noise;
  for (int i = 0; i < 4'000'000; ++i) noise += static_cast<char>(byte(random));
  // Binary data sprinkled with record markers, so that records do form.
  std::string mixed = noise;
  for (std::size_t at = 1000; at + 200 < mixed.size(); at += 50'000) {
    mixed.replace(at, 12, "\nBEGIN IONS\n");
    mixed.replace(at + 100, 10, "\nEND IONS\n");
  }
  for (const std::string& mgf : {noise, mixed}) {
    Converted result = convertFile(mgf);
    EXPECT_EQ(result.run.exitCode, 0);
    EXPECT_EQ(result.run.stdoutText.rfind("Total spectra = ", 0), 0u);
  }
}

// Writes text, then count copies of byte, then more, to an open file.
void writeRun(std::FILE* file, const std::string& before, std::size_t count,
              char byte, const std::string& after) {
  std::fwrite(before.data(), 1, before.size(), file);
  const std::string block(1 << 20, byte);
  for (std::size_t left = count; left > 0;) {
    std::size_t n = std::min(left, block.size());
    std::fwrite(block.data(), 1, n, file);
    left -= n;
  }
  std::fwrite(after.data(), 1, after.size(), file);
}

// Memory grows with the longest line, not with the file: a 64 MB line
// costs a small multiple of its size (the read buffer, and the copies that
// a title makes as comment and as name), never more. The files are written
// piecewise so that this process stays small: a forked child's peak memory
// counts the parent's pages up to its exec.
TEST(FaultInjectionTest, SixtyFourMegabyteLinesAreReadWhole) {
  const std::size_t size = 64u << 20;
  TempDir dir;
  std::FILE* file = std::fopen(dir.path("title.mgf").c_str(), "wb");
  writeRun(file, "BEGIN IONS\nTITLE=", size, 'T',
           "\nMSLEVEL=2\nPEPMASS=1\n5 5\nEND IONS\n");
  std::fclose(file);
  file = std::fopen(dir.path("peak.mgf").c_str(), "wb");
  writeRun(file, "BEGIN IONS\nNAME=x\nMSLEVEL=2\nPEPMASS=1\n100 ", size, '7',
           "\nEND IONS\n");
  std::fclose(file);

  for (const char* name : {"title", "peak"}) {
    const std::string input = dir.path(std::string(name) + ".mgf");
    const std::string output = dir.path(std::string(name) + ".msp");
    RunResult run = runMspforge({input, output});
    EXPECT_EQ(run.exitCode, 0) << name;
    EXPECT_EQ(run.stdoutText, "Total spectra = 1\n") << name;
#ifndef MSPFORGE_SANITIZED  // ASan keeps freed buffers in quarantine
    EXPECT_LT(run.maxRssKb, 6 * static_cast<long>(size) / 1024)
        << name << ": peak memory " << run.maxRssKb << " KiB";
#endif
    const std::string msp = readMspFile(output);
    const std::string longRun(size, name[0] == 't' ? 'T' : '7');
    const std::string expected =
        name[0] == 't'
            ? "Name: " + longRun +
                  "\nPrecursorMZ: 1\nSpectrum_type: MS2\nComments: TITLE=" +
                  longRun + "\nNum Peaks: 1\n5 5\n\n"
            : "Name: x\nPrecursorMZ: 1\nSpectrum_type: MS2\nComments:\n"
              "Num Peaks: 1\n100 " + longRun + "\n\n";
    EXPECT_TRUE(msp == expected) << name;
  }
}

#ifndef MSPFORGE_SANITIZED  // ASan needs far more address space than this
TEST(FaultInjectionTest, RecordLargerThanMemoryIsReportedCleanly) {
  if (const char* why = memoryLimitUnenforced()) GTEST_SKIP() << why;
  TempDir dir;
  std::FILE* file = std::fopen(dir.path("in.mgf").c_str(), "wb");
  writeRun(file, "BEGIN IONS\nTITLE=", 96u << 20, 'T',
           "\nMSLEVEL=2\nPEPMASS=1\n5 5\nEND IONS\n");
  std::fclose(file);
  RunOptions limited;
  limited.addressSpaceLimit = 128L << 20;
  RunResult run =
      runMspforge({dir.path("in.mgf"), dir.path("out.msp")}, limited);
  EXPECT_EQ(run.exitCode, 4);
  EXPECT_EQ(run.stdoutText, "Out of memory\n");
}
#endif

TEST(FaultInjectionTest, RecordWithAMillionHeaderLines) {
  std::string mgf = "BEGIN IONS\nNAME=Wide\nMSLEVEL=2\nPEPMASS=1\n";
  // Keys in an order that is not their sorted order, and each given twice.
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 500'000; i > 0; --i) {
      mgf += "K" + std::to_string(i) + "=" + std::to_string(pass) + "\n";
    }
  }
  mgf += "5 5\nEND IONS\n";
  Converted result = convertFile(mgf);
  EXPECT_EQ(result.run.exitCode, 0);
  EXPECT_EQ(result.run.stdoutText, "Total spectra = 1\n");
  const std::size_t comments = result.msp.find("Comments: K1=1 K10=1 K100=1");
  EXPECT_NE(comments, std::string::npos);
  EXPECT_NE(result.msp.find(" K99999=1\nNum Peaks: 1\n5 5\n\n"),
            std::string::npos);
}

#if !defined(_WIN32)  // FIFOs and /dev/stdin are POSIX's
TEST(FaultInjectionTest, OutputToAFifoAndInputFromAPipe) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord);
  ASSERT_EQ(::mkfifo(dir.path("out.fifo").c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = readFile(dir.path("out.fifo")); });
  RunResult run = runMspforge({dir.path("in.mgf"), dir.path("out.fifo")});
  reader.join();
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(received, kOneRecordMsp);

  const std::string big = [] {
    std::string text;
    for (int i = 0; i < 30000; ++i) text += kOneRecord;
    return text;
  }();
  RunOptions piped;
  piped.stdinText = &big;
  run = runMspforge({"/dev/stdin", "/dev/stdout"}, piped);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText.size(), 30000 * kOneRecordMsp.size());
  EXPECT_EQ(run.stderrText, "Total spectra = 30000\n");
}

TEST(FaultInjectionTest, ClosedPipeIsAWriteFailure) {
  TempDir dir;
  std::string mgf;
  for (int i = 0; i < 30000; ++i) mgf += kOneRecord;
  writeFile(dir.path("in.mgf"), mgf);
  RunOptions nobodyReads;
  nobodyReads.stdoutReaderGone = true;
  RunResult run = runMspforge({dir.path("in.mgf"), "/dev/stdout"}, nobodyReads);
  EXPECT_EQ(run.exitCode, 3);
}
#endif

TEST(FaultInjectionTest, TallyThatCannotBeShownIsAFailure) {
  TempDir dir;
  writeFile(dir.path("in.mgf"), kOneRecord);
  RunOptions nobodyReads;
  nobodyReads.stdoutReaderGone = true;
  // The output file is complete but the tally cannot be shown.
  RunResult run =
      runMspforge({dir.path("in.mgf"), dir.path("out.msp")}, nobodyReads);
  EXPECT_EQ(run.exitCode, 3);
  EXPECT_EQ(readMspFile(dir.path("out.msp")), kOneRecordMsp);
}

}  // namespace
}  // namespace mspforge::test
