// The inputs the command reads and the files it writes, end to end:
// standard input and output as "-", gzip and UTF-16 input, and batches of
// files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/batch.h"
#include "test_files.h"

#if defined(MSPFORGE_TEST_GZIP)
#include <zlib.h>
#endif

namespace mspforge::test {
namespace {

const std::string kCorpus = std::string(MSPFORGE_TEST_DATA) + "/corpus/";

// "-" is standard input as the input and standard output as the output,
// on every platform.
TEST(CliOptionsTest, DashIsStandardInputAndOutput) {
  TempDir dir;
  const std::string mgf = kOneRecord + kOneRecord;
  writeFile(dir.path("in.mgf"), mgf);
  RunOptions piped;
  piped.stdinText = &mgf;
  RunResult run = runMspforge({"-", dir.path("out.msp")}, piped);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, "Total spectra = 2\n");
  EXPECT_EQ(readMspFile(dir.path("out.msp")), kOneRecordMsp + kOneRecordMsp);

  run = runMspforge({dir.path("in.mgf"), "-"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.stdoutText, kOneRecordMsp + kOneRecordMsp);
  EXPECT_EQ(run.stderrText, "Total spectra = 2\n");

  run = runMspforge({"-", "-"}, piped);
  EXPECT_EQ(run.stdoutText, kOneRecordMsp + kOneRecordMsp);
  EXPECT_EQ(run.stderrText, "Total spectra = 2\n");

  RunOptions fromFile;
  fromFile.stdinPath = dir.path("in.mgf");
  run = runMspforge({"-", dir.path("out2.msp")}, fromFile);
  EXPECT_EQ(run.stdoutText, "Total spectra = 2\n");
  EXPECT_EQ(readMspFile(dir.path("out2.msp")), kOneRecordMsp + kOneRecordMsp);
}

#if defined(MSPFORGE_TEST_GZIP)
// gzip members of bytes, cut into `members` pieces.
std::string gzipped(const std::string& bytes, int members = 1) {
  std::string out;
  const std::size_t piece = bytes.size() / static_cast<std::size_t>(members) + 1;
  for (std::size_t at = 0; at < bytes.size() || out.empty(); at += piece) {
    const std::string part = bytes.substr(at, piece);
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string member(
        deflateBound(&stream, static_cast<uLong>(part.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
    stream.avail_in = static_cast<uInt>(part.size());
    stream.next_out = reinterpret_cast<Bytef*>(member.data());
    stream.avail_out = static_cast<uInt>(member.size());
    deflate(&stream, Z_FINISH);
    member.resize(stream.total_out);
    deflateEnd(&stream);
    out += member;
    if (bytes.empty()) break;
  }
  return out;
}

std::string utf16(const std::string& ascii, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char c : ascii) {
    out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return out;
}

// Compressed and UTF-16 input converts to the bytes of the plain file,
// from a file and from a pipe; damage is a read error that says so.
TEST(CliOptionsTest, GzipAndUtf16InputConvertAsThePlainFile) {
  TempDir dir;
  for (const char* file :
       {"gnps-library-pesticides.mgf", "crlf-with-comment-lines.mgf",
        "mzmine-library-export.mgf", "gnps-library-embl-mcf.mgf"}) {
    const std::string mgf = readFile(kCorpus + file);
    RunResult plain = runMspforge({kCorpus + file, dir.path("plain.msp")});
    const std::string expected = readFile(dir.path("plain.msp"));
    // UTF-16 made by widening each byte is the same text only for ASCII.
    const bool ascii = std::all_of(mgf.begin(), mgf.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x80;
    });
    struct Form {
      const char* what;
      std::string bytes;
    };
    const Form forms[] = {
        {"gzip", gzipped(mgf)},
        {"gzip, 3 members", gzipped(mgf, 3)},
        {"gzip and zero padding", gzipped(mgf) + std::string(512, '\0')},
        {"UTF-16 LE", utf16(mgf, false)},
        {"UTF-16 BE", utf16(mgf, true)},
        {"UTF-16 in gzip", gzipped(utf16(mgf, false))},
    };
    for (const Form& form : forms) {
      if (!ascii && std::string_view(form.what).find("UTF-16") !=
                        std::string_view::npos) {
        continue;
      }
      writeFile(dir.path("in.mgf.gz"), form.bytes);
      RunResult run = runMspforge({dir.path("in.mgf.gz"), dir.path("out.msp")});
      EXPECT_EQ(run.stdoutText, plain.stdoutText) << file << ", " << form.what;
      EXPECT_TRUE(readFile(dir.path("out.msp")) == expected)
          << file << ", " << form.what;
      RunOptions piped;
      piped.stdinText = &form.bytes;
      run = runMspforge({"-", dir.path("out.msp")}, piped);
      EXPECT_EQ(run.stdoutText, plain.stdoutText) << file << ", piped "
                                                  << form.what;
      EXPECT_TRUE(readFile(dir.path("out.msp")) == expected)
          << file << ", piped " << form.what;
    }
  }
  const std::string good = gzipped(readFile(kCorpus + "gnps-library-pesticides.mgf"));
  std::string corrupt = good;
  for (std::size_t i = 100; i < 140; ++i) corrupt[i] = static_cast<char>(~corrupt[i]);
  struct Damage {
    const char* what;
    std::string bytes;
    std::string reason;
  };
  const Damage damages[] = {
      {"truncated", good.substr(0, good.size() / 2),
       "the gzip data ends early (a truncated file?)"},
      {"corrupt", corrupt, "the gzip data is corrupt ("},
      {"garbage after", good + "trailing",
       "the gzip data is followed by bytes that are not gzip"},
  };
  for (const Damage& d : damages) {
    writeFile(dir.path("bad.gz"), d.bytes);
    RunResult run = runMspforge({dir.path("bad.gz"), dir.path("out.msp")});
    EXPECT_EQ(run.exitCode, 3) << d.what;
    EXPECT_EQ(run.stdoutText, "Cannot read file\n") << d.what;
    EXPECT_EQ(run.stderrText.rfind("mspforge: cannot read '" +
                                   dir.path("bad.gz") + "': " + d.reason, 0),
              0u)
        << d.what << ": " << run.stderrText;
  }
}
#endif

// Many files at once: the bytes of separate runs, the lines in the order
// given, the worst exit code, and no output for a clash of names.
TEST(CliOptionsTest, BatchConvertsEachFileAsASeparateRunWould) {
  TempDir dir;
  std::vector<std::string> args = {"-j", "2", "--output-dir", dir.path("out")};
  std::vector<std::string> files;
  for (const char* file :
       {"annotated-peaks-insilico-fiora.mgf", "crlf-with-comment-lines.mgf",
        "empty-peak-list.mgf", "fbmn-feature-export-openms.mgf",
        "gnps-library-embl-mcf.mgf", "gnps-library-pesticides.mgf",
        "gnps-matchms-cleaned.mgf", "mascot-global-params-charge-column.mgf",
        "matchms-export-dicrotophos.mgf", "mzmine-library-export.mgf",
        "pepmass-intensity-and-charge.mgf",
        "proteomics-tmt-msconvert-style.mgf"}) {
    files.push_back(file);
    args.push_back(kCorpus + file);
  }
  // The options go to each conversion, the OpenMS layout's unique names
  // file by file.
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{},
        std::vector<std::string>{"--for", "openms", "--default", "MSLEVEL=2"}}) {
    std::vector<std::string> withOptions = options;
    withOptions.insert(withOptions.end(), args.begin(), args.end());
    RunResult batch = runMspforge(withOptions);
    EXPECT_EQ(batch.exitCode, 0);
    std::string expectedLines;
    for (const std::string& file : files) {
      std::vector<std::string> one = options;
      one.insert(one.end(), {kCorpus + file, dir.path("single.msp")});
      RunResult single = runMspforge(one);
      expectedLines += kCorpus + file + ": " + single.stdoutText;
      const std::string name = file.substr(0, file.size() - 4) + ".msp";
      EXPECT_TRUE(readFile(dir.path("out/" + name)) ==
                  readFile(dir.path("single.msp")))
          << file;
    }
    EXPECT_EQ(batch.stdoutText, expectedLines);
  }
  RunResult batch;

  // A missing input fails alone, and sets the exit code.
  writeFile(dir.path("b.mgf.gz"), "");
  batch = runMspforge({"--output-dir", dir.path("out"), dir.path("nothing.mgf"),
                       dir.path("b.mgf.gz")});
  EXPECT_EQ(batch.exitCode, 2);
  EXPECT_EQ(batch.stdoutText, dir.path("nothing.mgf") + ": Cannot open file\n" +
                                  dir.path("b.mgf.gz") + ": Total spectra = 0\n");
  EXPECT_TRUE(fileExists(dir.path("out/b.msp")));

  // Two inputs for one output: a usage error, nothing written.
  makeDirectory(dir.path("x"));
  writeFile(dir.path("x/b.mgf"), kOneRecord);
  batch = runMspforge({"--output-dir", dir.path("clash"), dir.path("b.mgf.gz"),
                       dir.path("x/b.mgf")});
  EXPECT_EQ(batch.exitCode, 1);
  EXPECT_FALSE(fileExists(dir.path("clash")));
  EXPECT_EQ(outputNameFor("data/A.MGF.GZ"), "A.msp");
  EXPECT_EQ(outputNameFor("c.txt"), "c.txt.msp");
}

}  // namespace
}  // namespace mspforge::test
