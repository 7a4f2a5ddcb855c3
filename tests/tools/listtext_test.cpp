#include "tools/listtext/listtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "format/sum_file.h"
#include "platform/text.h"
#include "tools/tool_test_support.h"
#include "version/version.h"

namespace keldar {
namespace {

using namespace tooltest;

const std::string kNoTime = std::string(21, '=') + "|";

std::string entry(std::uint32_t s0, int state, const std::string& name, std::uint32_t s3 = 0) {
  return le32(s0) + le32(0) + le32(0) + le32(s3) + le16(static_cast<int>(name.size())) +
         bytes({state}) + name;
}

class ListTextTest : public ::testing::Test {
 protected:
  int run_on(const std::string& data, const std::string& file = "00001.QRN") {
    write_file(folder / file, data);
    return run_path((folder / file).string());
  }
  int run_path(const std::string& path) {
    std::ostringstream o, e;
    int rc = listtext::run({path}, o, e);
    out = o.str();
    err = e.str();
    return rc;
  }
  std::optional<std::string> dump() { return read_file(folder / "00001.QRT"); }

  ScopedTimeZone tz{"UTC0"};
  TempFolder folder;
  std::string out, err;
};

TEST_F(ListTextTest, EntryLinesShowStateTimesAndName) {
  const std::uint32_t t = 1700000000;  // 14.11.2023 22:13:20 UTC
  ASSERT_EQ(
      run_on(bytes({0xE5, 3, 3, 0, 0}) + entry(0, 0, "\\") + entry(t, 3, "SUB\\FILE.TXT", t | 1) +
             entry(t | 0x80000001u, 255, "A") + entry(t | 0x80000000u, 200, "")),
      0);
  const std::string pad(20, ' ');
  EXPECT_EQ(dump(), "V|" + pad + "3|" + pad + "3|" + pad + "0|" + pad + "0|\r\n" + " |" + kNoTime +
                        kNoTime + kNoTime + kNoTime + "\\\r\n" + "3|14.11.2023 22:13:20  |" +
                        kNoTime + kNoTime + "14.11.2023 22:13:20 d|SUB\\FILE.TXT\r\n" +
                        "X|14.11.2023 22:13:20nd|" + kNoTime + kNoTime + kNoTime + "A\r\n" +
                        "-56|14.11.2023 22:13:20n |" + kNoTime + kNoTime + kNoTime + "\r\n");
  EXPECT_EQ(out, "\\\nSUB\\FILE.TXT\nA\n\n");
}

TEST_F(ListTextTest, DaylightSavingNowAddsAnHour) {
  EXPECT_EQ(listtext::time_text(1700000000, true), "14.11.2023 23:13:20  ");
#ifdef _WIN32
  GTEST_SKIP() << "the Windows C library keeps its own dates of daylight saving time, whatever "
                  "the rule in TZ: daylight time cannot be made to be in effect now";
#endif
  ScopedTimeZone summer_all_year("AAA0BBB,0/0,J365/25");
  // Daylight time (UTC+1) is in effect now: one hour added, shown an hour ahead.
  ASSERT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0}) + entry(1700000000, 0, "X")), 0);
  EXPECT_NE(dump()->find("|15.11.2023 00:13:20  |"), std::string::npos) << *dump();
}

TEST_F(ListTextTest, PathsThatAreNotListFilesAreRefusedBeforeOpening) {
  for (const char* name : {"00001.qrn", "10001.QRN", "00001.QRNX", "00001.QRN.bak", "00001", ".QRN",
                           "0dir\\10001.QRN", "0.QRN\\1"}) {
    SCOPED_TRACE(name);
#ifdef _WIN32
    // A backslash is part of a Linux file name, but separates folders here.
    if (std::string_view(name).find('\\') != std::string_view::npos) continue;
#endif
    write_file(folder / name, bytes({0xE5, 0, 0, 0, 0}));
    EXPECT_EQ(run_path((folder / name).string()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1);
    fs::remove(folder / name);
  }
  fs::create_directory(folder / "1dir");  // where Windows looks for "1dir\00001.QRN"
  EXPECT_EQ(run_path((folder / "1dir\\00001.QRN").string()), 2);  // accepted, but missing
  EXPECT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0}), "1dir\\00001.QRN"), 0);
  EXPECT_TRUE(read_file(folder / "1dir\\00001.QRT"));
}

TEST_F(ListTextTest, BadInputsGiveTheirCodes) {
  EXPECT_EQ(run_on(bytes({0xE4, 0, 0, 0, 0})), 1);
  EXPECT_EQ(dump(), "");  // created, left empty
  EXPECT_EQ(run_path((folder / "00002.QRN").string()), 2);
  EXPECT_FALSE(fs::exists(folder / "00002.QRT"));
  fs::create_directory(folder / "00003.QRN");
  EXPECT_EQ(run_path((folder / "00003.QRN").string()), 2);
  fs::remove(folder / "00001.QRT");
  fs::create_directory(folder / "00001.QRT");
  EXPECT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0})), 3);
}

TEST_F(ListTextTest, EmptyHeaderOnlyAndCutAtEveryLength) {
  const std::string header = bytes({0xE5, 1, 0, 0, 255});
  const std::string first = entry(0, 0, "ONE.TXT"), second = entry(0, 1, "TWO");
  const std::string full = header + first + second;
  const std::string pad(20, ' ');
  const std::string lines[] = {
      "V|" + pad + "1|" + pad + "0|" + pad + "0|" + pad.substr(1) + "-1|\r\n",
      " |" + kNoTime + kNoTime + kNoTime + kNoTime + "ONE.TXT\r\n",
      "1|" + kNoTime + kNoTime + kNoTime + kNoTime + "TWO\r\n"};
  for (std::size_t n = 0; n <= full.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(run_on(full.substr(0, n)), n >= 1 && n < 5 ? 2 : 0);
    std::string expected;
    if (n >= 5) expected = lines[0];
    if (n >= header.size() + first.size()) expected += lines[1];
    if (n == full.size()) expected += lines[2];
    // A record cut in its name still echoes what was read of the name.
    std::size_t echoed = n < header.size() + 19 ? 0 : n < header.size() + first.size() + 19 ? 1 : 2;
    EXPECT_EQ(static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n')), echoed);
    EXPECT_EQ(dump(), expected);
  }
}

TEST_F(ListTextTest, OverlongNameLengthReadsTheRestAsNextRecords) {
  for (int n : {260, 261, 537, 538, 1000, 65535}) {
    SCOPED_TRACE(n);
    ASSERT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0}) + le32(0) + le32(0) + le32(0) + le32(0) + le16(n) +
                     bytes({0}) + std::string(n, 'A')),
              0);
    // 259 name bytes are taken; each following 278 'A' bytes make a record
    // with length 0x4141 (cut to 259) and state 'A' (65).
    std::string text = *dump();
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, 2u + (n - 259) / 278);
    EXPECT_NE(text.find(kNoTime + std::string(259, 'A') + "\r\n"), std::string::npos);
  }
}

TEST_F(ListTextTest, CyrillicNamesStayWindows1251InTheDumpAndAreUtf8OnTheTerminal) {
  const std::string name = bytes({0xCE, 0xF2, 0xF7, 0xB8, 0xF2, ' ', 0xB9, '1', 0x98});
  ASSERT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0}) + entry(0, 0, name)), 0);
  EXPECT_EQ(dump()->substr(dump()->size() - name.size() - 2), name + "\r\n");
  EXPECT_EQ(out, "Отчёт №1?\n");
  // As a Windows text-mode stream writes "%s": LF becomes CR LF, a NUL ends the name.
  ASSERT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0}) + entry(0, 0, "A\nB") + entry(0, 0, {"C\0D", 3})), 0);
  EXPECT_TRUE(dump()->ends_with(kNoTime + "A\r\nB\r\n |" + kNoTime + kNoTime + kNoTime + kNoTime +
                                "C\r\n"));
  EXPECT_EQ(out, "A\nB\nC\n");
}

// Hashes of the copies: the sum file beside the list names them.
constexpr ContentHash kHash1 = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
constexpr ContentHash kHash2 = {0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};
const std::string kText1 = "|00112233445566778899aabbccddeeff";
const std::string kText2 = "|deadbeef000000000000000000000001";

// The dump's line of an entry without list stamps, after the state column.
std::string line(const std::string& state, const std::string& rest) {
  return state + "|" + kNoTime + kNoTime + kNoTime + kNoTime + rest + "\r\n";
}

TEST_F(ListTextTest, SumFileAddsTheHashToEntriesOfTheSameNameAndState) {
  const std::string nul("NUL\0X", 5);
  write_file(folder / "00001.SUM", encode_sum_file({{"SAME", 10, 7, 1, kHash1},
                                                    {"OTHER STATE", 10, 7, 1, kHash1},
                                                    {"TWICE", 10, 7, 2, kHash1},
                                                    {"TWICE", 10, 7, 2, kHash2},
                                                    {"NUL", 1, 1, 1, kHash1},
                                                    {nul, 1, 1, 1, kHash2}}));
  ASSERT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0}) + entry(0, 1, "SAME") + entry(0, 2, "OTHER STATE") +
                   entry(0, 2, "TWICE") + entry(0, 1, "NO RECORD") + entry(0, 1, nul)),
            0);
  // The name that matches is the whole name the list holds; the line shows it up to a NUL.
  EXPECT_EQ(dump()->substr(dump()->find("\r\n") + 2),
            line("1", "SAME" + kText1) + line("2", "OTHER STATE") + line("2", "TWICE" + kText2) +
                line("1", "NO RECORD") + line("1", "NUL" + kText2));
  EXPECT_EQ(out, "SAME\nOTHER STATE\nTWICE\nNO RECORD\nNUL\n");
}

TEST_F(ListTextTest, SumFileThatCannotBeUsedLeavesTheDumpAsWithoutIt) {
  const std::string sums = encode_sum_file({{"A.TXT", 3, 3, 1, kHash1}});
  constexpr std::size_t kMiB64 = std::size_t{64} << 20;
  std::string garbage(3000, '\0');
  std::mt19937 random(3);
  for (char& c : garbage) c = static_cast<char>(random());
  const struct {
    const char* what;
    std::string sum_file;  // empty: a folder of that name
    bool shown;
  } cases[] = {
      {"garbage", garbage, false},
      {"another version", "KSUM\x02" + sums.substr(5), false},
      {"a folder", "", false},
      {"its first record cut", sums.substr(0, sums.size() - 1), false},
      {"its second record cut", sums + sums.substr(5, 20), true},
      {"exactly 64 MiB", sums + std::string(kMiB64 - sums.size(), '\0'), true},
      {"larger than 64 MiB", sums + std::string(kMiB64 + 1 - sums.size(), '\0'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder / "00001.SUM");
    if (c.sum_file.empty()) {
      fs::create_directory(folder / "00001.SUM");
    } else {
      write_file(folder / "00001.SUM", c.sum_file);
    }
    EXPECT_EQ(run_on(bytes({0xE5, 0, 0, 0, 0}) + entry(0, 1, "A.TXT")), 0);
    EXPECT_EQ(dump()->substr(dump()->find("\r\n") + 2),
              line("1", "A.TXT" + (c.shown ? kText1 : "")));
    EXPECT_EQ(out, "A.TXT\n");
  }
}

TEST_F(ListTextTest, RandomBytesNeverCrash) {
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::string data(random() % 3000, '\0');
    for (char& c : data) c = static_cast<char>(random());
    if (i % 2 == 0 && !data.empty()) data[0] = static_cast<char>(0xE5);
    int rc = run_on(data);
    if (data.size() >= 5 && data[0] == static_cast<char>(0xE5)) {
      EXPECT_EQ(rc, 0);
      EXPECT_TRUE(dump()->starts_with("V|") && dump()->ends_with("\r\n"));
    } else {
      EXPECT_TRUE(rc == 0 || rc == 1 || rc == 2) << rc;
    }
  }
}

TEST_F(ListTextTest, Arguments) {
  std::ostringstream o, e;
  EXPECT_EQ(listtext::run({}, o, e), 4);
  EXPECT_EQ(listtext::run({"00001.QRN", "00002.QRN"}, o, e), 4);
  EXPECT_NE(e.str().find("listtext NNNNN.QRN"), std::string::npos);
  EXPECT_EQ(listtext::run({"--help"}, o, e), 0);
  EXPECT_NE(o.str().find("listtext NNNNN.QRN"), std::string::npos);
  o.str("");
  EXPECT_EQ(listtext::run({"--version"}, o, e), 0);
  EXPECT_EQ(o.str(), "listtext " KELDAR_VERSION "\n");
  EXPECT_EQ(listtext::run({"--version", "00001.QRN"}, o, e), 4);
  // Extra slashes make the path exactly 259 and 260 characters long.
  write_file(folder / "00001.QRN", "");
  const std::string base = folder.path().string();
  std::string path = base + std::string(259 - base.size() - 9, '/') + "00001.QRN";
  EXPECT_EQ(run_path(path), 0);
  fs::remove(folder / "00001.QRT");
  EXPECT_EQ(run_path("/" + path), 4);
  EXPECT_FALSE(fs::exists(folder / "00001.QRT"));
}

}  // namespace
}  // namespace keldar
