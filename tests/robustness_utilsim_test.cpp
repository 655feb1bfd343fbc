// The simulator against hostile input: very long lines, deep nesting, huge numbers, invalid
// UTF-8, NUL bytes, endless error lines, an empty file, a missing file, a directory. Each
// must end with the documented exit status and a clear message (naming the file and line,
// printable, of bounded length), never with a crash or a sanitizer report.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;

// Concatenation by appending (operator+ on a literal and a long string trips a false
// -Wrestrict warning of GCC 12).
template <class... Parts>
std::string concat(const Parts&... parts) {
  std::string s;
  (s.append(parts), ...);
  return s;
}
std::string repeated(std::size_t n, char c) { return std::string(n, c); }

struct RunResult {
  bool exited = false;  // false: ended by a signal
  int status = -1;
  std::string out, err;
};

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tern-hostile-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string file(const std::string& name, const std::string& content) const {
    const auto path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  static std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Runs "utilsim replay <arg>", with standard input from stdinFile when given.
  RunResult replay(const std::string& arg, const std::string& stdinFile = "/dev/null") const {
    const auto out = dir_ / "stdout", err = dir_ / "stderr";
    const std::string cmd =
        concat(std::string("'"), std::string(UTILSIM_PATH), "' replay '", arg, "' < '", stdinFile,
               "' > '", out.string(), "' 2> '", err.string(), "'");
    const int raw = std::system(cmd.c_str());
    RunResult r;
    r.exited = raw != -1 && WIFEXITED(raw);
    r.status = r.exited ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
  }

  // A clean refusal: exit status 2, the expected message, and standard error made of short
  // printable lines with no sanitizer report.
  static void expectRefused(const RunResult& r, const std::string& message) {
    ASSERT_TRUE(r.exited) << "utilsim was killed by a signal:\n" << r.err.substr(0, 2000);
    EXPECT_EQ(r.status, 2) << r.err.substr(0, 2000);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err.substr(0, 2000);
    expectCleanStderr(r);
  }
  static void expectCleanStderr(const RunResult& r) {
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err.substr(0, 4000);
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err.substr(0, 4000);
    std::istringstream lines(r.err);
    std::string line;
    while (std::getline(lines, line)) {
      EXPECT_LE(line.size(), 400u) << line.substr(0, 200);
      for (unsigned char c : line)
        ASSERT_TRUE(c >= 0x20 && c <= 0x7e) << "unprintable in: " << line;
    }
  }

  fs::path dir_;
};

TEST_F(HostileInput, LinesLongerThanTheLimitAreRefusedFromAFileAndFromStandardInput) {
  const auto path = file("long.jsonl", concat("{\"table\": \"", repeated(3 << 20, 'x'), "\"}\n"));
  expectRefused(replay(path), path + ":1: line is longer than 1048576 bytes");
  expectRefused(replay("-", path), "<stdin>:1: line is longer than 1048576 bytes");
  // A long line without any line end, and one just within the limit, which is plain bad JSON.
  expectRefused(replay(file("noeol.jsonl", std::string(2 << 20, '['))), ":1: line is longer");
  expectRefused(replay(file("within.jsonl", concat(repeated((1 << 20) - 1, ' '), "x\n"))),
                ":1:1048576: not valid JSON");
}

TEST_F(HostileInput, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  const std::string arrays =
      concat("{\"table\": \"mtuProfile\", \"key\": 1, \"value\": ", repeated(200000, '['),
             repeated(200000, ']'), "}\n");
  expectRefused(replay(file("arrays.jsonl", arrays)), ":1: nesting deeper than 8 levels");
  std::string objects;
  for (int i = 0; i < 100000; ++i) objects += "{\"a\":";
  objects.append("1").append(repeated(100000, '}')).append("\n");
  expectRefused(replay(file("objects.jsonl", objects)), ":1: nesting deeper than 8 levels");
  // Unclosed nesting to the end of the file.
  expectRefused(replay(file("open.jsonl", std::string(100000, '{'))), ":1: ");
}

TEST_F(HostileInput, HugeNumbersAreInputErrorsNamingTheirLine) {
  const auto path = file(
      "numbers.jsonl",
      concat(
          "{\"table\": \"mtuProfile\", \"key\": 1, \"value\": {\"mtuBytes\": ", repeated(5000, '9'),
          "}}\n", "{\"table\": \"mtuProfile\", \"fapId\": 1e999999, \"key\": 1}\n",
          "{\"table\": \"mtuProfile\", \"key\": -", repeated(400, '9'), "}\n",
          "{\"table\": \"routingState\", \"key\": {\"id\": 4294967296}}\n"
          "{\"table\": \"mtuProfile\", \"fapId\": 256, \"key\": 1}\n"
          "{\"table\": \"mtuProfile\", \"key\": 1, \"value\": {\"mtuBytes\": 65536}}\n"));
  const auto r = replay(path);
  expectRefused(r, path + ":1: not valid JSON: number overflow");
  EXPECT_NE(r.err.find(path + ":2: not valid JSON: number overflow"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(path + ":3: "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(path + ":4: key.id: 4294967296 is out of range (0 to 4294967295)"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(path + ":5: fapId: 256 is out of range (0 to 255)"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(path + ":6: value.mtuBytes: 65536 is out of range"), std::string::npos)
      << r.err;
}

TEST_F(HostileInput, InvalidUtf8AndNulBytesAreQuotedPrintably) {
  const auto path = file(
      "utf8.jsonl",
      concat(std::string("{\"table\": \"mtu\xff\xfeProfile\", \"key\": 1}\n"
                         "{\"table\": \"mtuProfile\", \"key\": 1, \"value\": {\"\xc3\x28\": 1}}\n"
                         "\xed\xa0\x80\n"),
             std::string("{\"table\": \"mtuProfile\",\0 \"key\": 1}\n", 36)));
  const auto r = replay(path);
  // Syntax errors name the column too: the byte where the parser stopped.
  expectRefused(r, path + ":1:15: not valid JSON");
  EXPECT_NE(r.err.find("\\xff"), std::string::npos) << r.err;
  for (const char* line :
       {":2:47: not valid JSON", ":3:1: not valid JSON", ":4:24: not valid JSON"})
    EXPECT_NE(r.err.find(path + line), std::string::npos) << line << "\n" << r.err;
}

TEST_F(HostileInput, ErrorsStopAfterTheLimitWithASummary) {
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines.append("{}\n");
  const auto path = file("many.jsonl", lines);
  const auto r = replay(path);
  expectRefused(r, path + ":1: missing field 'table'");
  EXPECT_NE(r.err.find(path + ":1000: too many errors; the rest of the input was not checked"),
            std::string::npos);
  EXPECT_EQ(r.err.find(path + ":1001:"), std::string::npos);
  EXPECT_NE(r.err.find("utilsim: 1000 input errors (checking stopped at line 1000); nothing "
                       "was replayed"),
            std::string::npos)
      << r.err;
}

TEST_F(HostileInput, AnEmptyFileIsAValidEmptyRun) {
  for (const std::string content : {"", "\n\n", "# only a comment\r\n   \n"}) {
    const auto r = replay(file("empty.jsonl", content));
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Hardware check: consistent"), std::string::npos) << r.out;
    expectCleanStderr(r);
  }
}

TEST_F(HostileInput, AMissingFileOrADirectoryIsRefused) {
  const auto missing = (dir_ / "no-such-file.jsonl").string();
  expectRefused(replay(missing), missing);
  expectRefused(replay(dir_.string()), dir_.string());
}

// Values the software entry can hold but a table refuses reach the plug-in and come back as
// Util errors (exit status 1), with the hardware check still consistent apart from the row
// the MTU profile 16 leaves behind.
TEST_F(HostileInput, ValuesTheTablesRefuseAreUtilErrorsNotCrashes) {
  const auto path =
      file("refused.jsonl",
           "{\"table\": \"routingState\", \"fapId\": 129, \"key\": {\"id\": 5}}\n"
           "{\"table\": \"routingState\", \"key\": {\"id\": 6}, \"value\": {\"routingProfileMap\": "
           "16}}\n"
           "{\"table\": \"routingState\", \"key\": {\"id\": 272, \"type\": 1}}\n"
           "{\"table\": \"mtuProfile\", \"key\": 17, \"value\": {\"mtuBytes\": 1500}}\n"
           "{\"table\": \"mtuProfile\", \"key\": 1, \"value\": {\"mtuBytes\": 16384}}\n"
           "{\"table\": \"trapForwardAction\", \"fapId\": 255, \"key\": 1}\n");
  const auto r = replay(path);
  ASSERT_TRUE(r.exited) << r.err;
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("SchanAccel::FapId::value < SchanAccel::FapId::min"), std::string::npos);
  EXPECT_NE(r.out.find("U4::value < 0 or > 0x0f not allowed"), std::string::npos);
  EXPECT_NE(r.out.find("U14::value < 0 or > 0x3fff not allowed"), std::string::npos);
  EXPECT_NE(r.out.find("Hardware check: consistent"), std::string::npos) << r.out;
  expectCleanStderr(r);
}
}  // namespace
