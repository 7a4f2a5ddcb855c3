// The list file NNNNN.QRN (and the earlier release's NNNNN.QRV, its records
// alone), the names of the carrier's files and the list-name rule.
#include "format/list_file.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "format/carrier_files.h"
#include "format_test_support.h"

namespace keldar {
namespace {

using namespace format_test;

std::string record(std::uint32_t s0, int state, const std::string& name, int length) {
  return le32(s0) + le32(0) + le32(7) + le32(0xFFFFFFFFu) + le16(length) + bytes({state}) + name;
}
std::string record(std::uint32_t s0, int state, const std::string& name) {
  return record(s0, state, name, static_cast<int>(name.size()));
}

// Every step a reader takes over `records`, as text: the name of each record
// read, then how it ended ("end", "short:<what there is of the name>",
// "long").
std::vector<std::string> steps(std::string_view records, LongNames rule) {
  std::vector<std::string> out;
  ListRecords reader(records, rule);
  ListRecord r;
  for (;;) {
    switch (reader.next(r)) {
      case ListStep::kRecord:
        out.emplace_back(r.name);
        continue;
      case ListStep::kEnd:
        out.emplace_back("end");
        return out;
      case ListStep::kShortName:
        out.push_back("short:" + std::string(r.name));
        return out;
      case ListStep::kLongName:
        out.emplace_back("long");
        return out;
    }
  }
}

TEST(ListFileTest, RecordsAreEncodedByteForByte) {
  std::string file;
  append_list_header(file, {1, 2, 3, 255});
  append_list_record(file, {{0x11223344, 0, 0, 0x55667788}, 5, "SUB\\A.TXT"});
  append_list_record(file, {{}, 0, std::string(300, 'L')});
  EXPECT_EQ(
      file,
      bytes({0xE5, 1, 2, 3, 255}) +
          bytes({0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0x88, 0x77, 0x66, 0x55, 9, 0, 5}) +
          "SUB\\A.TXT" + std::string(16, '\0') + bytes({0x03, 0x01, 0}) + std::string(259, 'L'))
      << "a longer name is cut to 259 bytes";
}

TEST(ListFileTest, TheHeaderCutAtEveryLength) {
  const std::string header = bytes({0xE5, 1, 2, 3, 4});
  for (std::size_t len = 0; len <= header.size(); ++len) {
    SCOPED_TRACE(len);
    const ListHeader h = decode_list_header(header.substr(0, len) + (len == 5 ? "rest" : ""));
    EXPECT_EQ(h.magic, len > 0);
    EXPECT_EQ(h.states_read, len > 0 ? len - 1 : 0);
    ListStates expected{};
    for (std::size_t k = 0; k + 1 < len; ++k) expected[k] = static_cast<std::uint8_t>(k + 1);
    EXPECT_EQ(h.states, expected);
  }
  const ListHeader foreign = decode_list_header(bytes({0xE4, 1, 2, 3, 4}));
  EXPECT_FALSE(foreign.magic);
  EXPECT_EQ(foreign.states_read, 0u);
  EXPECT_EQ(foreign.states, ListStates{});
}

TEST(ListFileTest, ReadersStopAtTheFirstDamagedRecordOrCutLongNames) {
  const std::string a = record(1, 0, "A"), bc = record(2, 255, "BC");
  struct Case {
    const char* what;
    std::string records;
    std::vector<std::string> strict;  // LongNames::kEndTheList
    std::vector<std::string> cut;     // LongNames::kCutTo259
  };
  // A length of 260 over 278 bytes: the cut reader takes 259 name bytes and
  // reads the other 19 as a record with length 0x4E4E (cut to 259 too)
  // whose name is missing.
  const std::string overlong = record(3, 0, std::string(278, 'N'), 260);
  const Case cases[] = {
      {"nothing", "", {"end"}, {"end"}},
      {"two records", a + bc, {"A", "BC", "end"}, {"A", "BC", "end"}},
      {"an empty name", record(0, 0, "") + a, {"", "A", "end"}, {"", "A", "end"}},
      {"cut in the fixed part", a + bc.substr(0, 18), {"A", "end"}, {"A", "end"}},
      {"cut in the name", a + bc.substr(0, 20), {"A", "short:B"}, {"A", "short:B"}},
      {"a name of 259",
       record(4, 0, std::string(259, 'M')) + a,
       {std::string(259, 'M'), "A", "end"},
       {std::string(259, 'M'), "A", "end"}},
      {"a name length of 260", a + overlong, {"A", "long"}, {"A", std::string(259, 'N'), "short:"}},
      {"a name length of 65535", record(5, 0, "", 65535) + a, {"long"}, {"short:" + a}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(steps(c.records, LongNames::kEndTheList), c.strict) << c.what;
    EXPECT_EQ(steps(c.records, LongNames::kCutTo259), c.cut) << c.what;
  }

  ListRecords reader(bc);
  ListRecord r;
  ASSERT_EQ(reader.next(r), ListStep::kRecord);
  EXPECT_EQ(r.stamps, (std::array<std::uint32_t, 4>{2, 0, 7, 0xFFFFFFFFu}));
  EXPECT_EQ(r.state, 255);
}

TEST(ListFileTest, RecordsCutAtEveryLengthKeepTheWholeOnesBeforeTheCut) {
  const std::vector<std::string> names = {"\\", "SUB\\", "SUB\\FILE.TXT"};
  std::string all;
  std::vector<std::size_t> ends;
  for (const auto& n : names) ends.push_back((all += record(9, 1, n)).size());
  for (std::size_t len = 0; len <= all.size(); ++len) {
    SCOPED_TRACE(len);
    std::vector<std::string> expected;
    std::size_t start = 0;
    for (std::size_t i = 0; i < names.size() && ends[i] <= len; ++i) {
      expected.push_back(names[i]);
      start = ends[i];
    }
    // Past the fixed part of the next record, the reader finds its name short.
    const std::size_t rest = len - start;
    expected.push_back(rest < kListRecordSize ? "end"
                                              : "short:" + all.substr(start + 19, rest - 19));
    EXPECT_EQ(steps(std::string_view(all).substr(0, len), LongNames::kEndTheList), expected);
  }
}

TEST(ListFileTest, WhatIsEncodedReadsBackTheSame) {
  std::mt19937 random(5);
  for (int round = 0; round < 50; ++round) {
    std::vector<std::string> names;
    std::vector<ListRecord> records;
    for (int i = random() % 20; i > 0; --i) names.push_back(std::string(random() % 260, 'a' + i));
    std::string file;
    ListStates states{};
    for (auto& s : states) s = static_cast<std::uint8_t>(random());
    append_list_header(file, states);
    for (const auto& name : names) {
      ListRecord r{{}, static_cast<std::uint8_t>(random()), name};
      for (auto& s : r.stamps) s = static_cast<std::uint32_t>(random());
      records.push_back(r);
      append_list_record(file, r);
    }
    const ListHeader header = decode_list_header(file);
    EXPECT_EQ(header.states, states);
    ListRecords reader(std::string_view(file).substr(kListHeaderSize));
    ListRecord r;
    for (const ListRecord& expected : records) {
      ASSERT_EQ(reader.next(r), ListStep::kRecord);
      EXPECT_EQ(r.stamps, expected.stamps);
      EXPECT_EQ(r.state, expected.state);
      EXPECT_EQ(r.name, expected.name);
    }
    EXPECT_EQ(reader.next(r), ListStep::kEnd);
  }
}

TEST(CarrierFileNamesTest, ListFilesAreTheIdInFiveCharacters) {
  const std::pair<std::int16_t, const char*> cases[] = {
      {7, "00007"}, {12, "00012"},    {471, "00471"}, {12345, "12345"},
      {0, "00000"}, {32767, "32767"}, {-5, "-0005"},  {-32768, "-32768"},
  };
  for (const auto& [id, name] : cases) EXPECT_EQ(list_file_name(id), name);
  EXPECT_EQ(list_file(42), "00042.QRN");
  EXPECT_EQ(old_list_file(42), "00042.QRV");
}

TEST(CarrierFileNamesTest, TheReservedTemporaryFormIsMadeAndRecognised) {
  EXPECT_EQ(temporary_name(4021, 7), "~kld4021-7.tmp");
  EXPECT_EQ(temporary_name(0, 18446744073709551615u), "~kld0-18446744073709551615.tmp");
  for (std::uint64_t n : {0ull, 1ull, 99ull, 4294967295ull}) {
    EXPECT_TRUE(is_temporary_name(temporary_name(n, n + 1))) << n;
  }
  for (const char* name : {"~kld1-2.tmp", "~kld0012-00.tmp"}) EXPECT_TRUE(is_temporary_name(name));
  for (const char* name :
       {"~kld.tmp", "~kld1.tmp", "~kld-1.tmp", "~kld1-.tmp", "~kld1--2.tmp", "~kld1-2a.tmp",
        "~kld1-2.tmp.bak", "x~kld1-2.tmp", "~KLD1-2.TMP", "~kld1-2.TMP", "~kldnotes.tmp",
        "~kld0123456789abcdef.tmp", "~kld 1-2.tmp", "~kld1-2"}) {
    EXPECT_FALSE(is_temporary_name(name)) << name;
  }
}

TEST(SafeNameTest, NamesThatCouldLeaveTheObjectFolderAreUnsafe) {
  using namespace std::literals;
  for (std::string_view name :
       {"\\"sv, "A"sv, "SUB\\"sv, "SUB\\DEEP\\F.TXT"sv, "..A"sv, "A.."sv, ".HIDDEN"sv, "A B.TXT"sv,
        "~kld1.tmp"sv, "\xCF\xE0\xEF\xEA\xE0\\\xCE\xF2\xF7\xB8\xF2.doc"sv}) {
    EXPECT_TRUE(is_safe_relative_name(name)) << name;
  }
  // Components that are empty or lead out, drives and roots, characters no
  // file name may hold.
  for (auto names :
       {std::vector{""sv, ".."sv, "..\\"sv, "..\\EVIL.TXT"sv, "SUB\\..\\..\\EVIL"sv, ".\\A"sv,
                    "A\\.\\B"sv, "SUB\\.."sv, "A\\\\B"sv, "../X"sv},
        std::vector{"C:EVIL"sv, "C:\\WINDOWS\\X"sv, "\\ROOTED"sv, "\\\\SERVER\\SHARE\\X"sv},
        std::vector{"A\0B"sv, "A<B"sv, "A>B"sv, "A:B"sv, "A\"B"sv, "A/B"sv, "A|B"sv, "A?B"sv,
                    "*.*"sv, "A\x01"sv, "A\x1F"sv}}) {
    for (std::string_view name : names) EXPECT_FALSE(is_safe_relative_name(name)) << name;
  }
}

}  // namespace
}  // namespace keldar
