// The table files SYNCOBJ.QRV, MASKS.QRV, COMPS.QRV and the earlier
// release's SYNCOBJ.QRV: record layouts, byte-exact encodings, round trips
// and what a file cut at every length decodes to.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "format/computer_file.h"
#include "format/earlier_release.h"
#include "format/mask_file.h"
#include "format/object_file.h"
#include "format_test_support.h"

namespace keldar {
namespace {

using namespace format_test;

ObjectRecord object(std::int16_t id, bool nested, const std::string& path) {
  ObjectRecord r = ObjectRecord::new_object();
  r.set_id(id);
  r.set_allow_nested(nested);
  r.set_copy_to_carrier(2, false);
  EXPECT_TRUE(r.set_path(1, path));
  r.bytes[2059] = 0x5A;  // reserved: kept as held
  return r;
}

MaskRecord mask(const std::string& pattern, bool copy, bool remove, bool ask_replace,
                bool ask_delete) {
  MaskRecord r;
  EXPECT_TRUE(r.set_pattern(pattern));
  r.set_allow_copy(copy);
  r.set_allow_delete(remove);
  r.set_ask_before_replacing(ask_replace);
  r.set_ask_before_deleting(ask_delete);
  return r;
}

template <typename Record>
std::string raw(const Record& r) {
  return std::string(reinterpret_cast<const char*>(r.bytes.data()), Record::kSize);
}

TEST(TableFileTest, RecordsAndFilesByteForByte) {
  const ObjectRecord o = object(4, true, "/hom");
  const MaskRecord m = mask("*.doc", true, false, true, false);
  ComputerRecord c;
  c.set(0x01020304u, "ABCDEFGHIJKLMNOPQRST");  // 20 characters: 15 kept
  std::array<ComputerRecord, kComputerSlots> computers{};
  computers[1] = c;

  struct Case {
    const char* what;
    std::string encoded;
    std::string expected;
  };
  const Case cases[] = {
      {"object record: id, nested, permissions", raw(o).substr(0, 11),
       bytes({4, 0, 1, 1, 1, 1, 1, 1, 1, 0, 1})},
      {"object record: path 1 at 11 + 512", raw(o).substr(11 + 512, 5), std::string("/hom\0", 5)},
      {"object record: reserved byte", raw(o).substr(2059), "\x5A"},
      {"empty object table", encode_object_file(1, {}), bytes({0xE5, 0, 0, 1, 0})},
      {"object table", encode_object_file(40, std::vector{o, o}),
       bytes({0xE5, 2, 0, 40, 0}) + raw(o) + raw(o)},
      {"mask record", raw(m),
       std::string("*.doc") + std::string(59, '\0') + bytes({1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0})},
      {"mask flags the other way", raw(mask("", false, true, false, true)).substr(64),
       bytes({0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0})},
      {"empty mask table", encode_mask_file({}), le16(0)},
      {"mask table", encode_mask_file(std::vector{m}), le16(1) + raw(m)},
      {"computer record", raw(c), le32(0x01020304u) + std::string("ABCDEFGHIJKLMNO\0", 16)},
      {"computer table", encode_computer_file(computers),
       std::string(20, '\0') + raw(c) + std::string(40, '\0')},
  };
  for (const Case& test : cases) EXPECT_EQ(test.encoded, test.expected) << test.what;
  EXPECT_EQ(c.name(), "ABCDEFGHIJKLMNO");
  EXPECT_EQ(m.pattern(), "*.doc");
}

TEST(TableFileTest, WhatIsEncodedDecodesToTheSameRecords) {
  const std::vector<ObjectRecord> objects = {object(3, false, "C:\\A\\*.*"), object(-7, true, "")};
  ObjectFile o = decode_object_file(encode_object_file(12345, objects));
  ASSERT_EQ(o.status, TableStatus::kOk);
  EXPECT_EQ(o.next_id, 12345);
  EXPECT_EQ(o.count, 2);
  ASSERT_EQ(o.records.size(), 2u);
  for (std::size_t i = 0; i < objects.size(); ++i) EXPECT_EQ(o.records[i].bytes, objects[i].bytes);

  const std::vector<MaskRecord> masks = {mask("*.*", true, true, false, false),
                                         mask(std::string(64, 'x'), false, false, true, true)};
  MaskFile m = decode_mask_file(encode_mask_file(masks));
  ASSERT_EQ(m.status, TableStatus::kOk);
  ASSERT_EQ(m.records.size(), 2u);
  for (std::size_t i = 0; i < masks.size(); ++i) EXPECT_EQ(m.records[i].bytes, masks[i].bytes);
  EXPECT_EQ(m.records[1].pattern(), std::string(64, 'x'));
  EXPECT_TRUE(m.records[1].ask_before_deleting());
}

// A table file is the header and exactly its count of records: cut
// anywhere, or with a byte more, it is not taken.
TEST(TableFileTest, FilesCutAtEveryLengthOrLongerAreNotTaken) {
  struct Format {
    const char* name;
    std::string whole;
    std::size_t header;
    std::size_t count_at;
    bool magic;  // an empty file is not a table at all
    std::function<TableStatus(std::string_view)> decode;
  };
  OldObjectRecord old;
  old.bytes[0] = 9;
  const Format formats[] = {
      {"SYNCOBJ.QRV",
       encode_object_file(5, std::vector{object(1, true, "P"), object(2, false, "")}), 5, 1, true,
       [](std::string_view d) { return decode_object_file(d).status; }},
      {"MASKS.QRV", encode_mask_file(std::vector{mask("*.a", true, true, false, false)}), 2, 0,
       false, [](std::string_view d) { return decode_mask_file(d).status; }},
      {"old SYNCOBJ.QRV", le16(2) + le16(3) + raw(old) + raw(old), 4, 0, false,
       [](std::string_view d) { return decode_old_object_file(d).status; }},
  };
  for (const Format& f : formats) {
    SCOPED_TRACE(f.name);
    for (std::size_t len = 0; len <= f.whole.size() + 1; ++len) {
      const std::string data = len <= f.whole.size() ? f.whole.substr(0, len) : f.whole + '\0';
      const TableStatus expected = len == f.whole.size() ? TableStatus::kOk
                                   : len == 0 && f.magic ? TableStatus::kNotATable
                                   : len < f.header      ? TableStatus::kShortHeader
                                                         : TableStatus::kSizeMismatch;
      ASSERT_EQ(f.decode(data), expected) << "length " << len;
    }
    std::string negative = f.whole;
    negative.replace(f.count_at, 2, "\xFF\xFF");
    EXPECT_EQ(f.decode(negative), TableStatus::kNegativeCount);
  }
  EXPECT_EQ(decode_object_file(bytes({0xE4, 0, 0, 1, 0})).status, TableStatus::kNotATable);
  EXPECT_EQ(decode_object_file(bytes({0xE5, 0, 0, 1, 0})).status, TableStatus::kOk);
  EXPECT_EQ(decode_mask_file(le16(0)).status, TableStatus::kOk);
}

TEST(TableFileTest, TextFieldsKeepTheirLimits) {
  ObjectRecord r = ObjectRecord::new_object();
  const std::string longest(511, 'a');
  EXPECT_TRUE(r.set_path(3, longest));
  EXPECT_EQ(r.path(3), longest);
  EXPECT_EQ(r.bytes[11 + 3 * 512 + 511], 0) << "terminator kept";
  EXPECT_EQ(r.bytes[2059], 0) << "reserved byte untouched";
  EXPECT_FALSE(r.set_path(3, std::string(512, 'b')));
  EXPECT_FALSE(r.set_path(3, std::string("a\0b", 3)));
  EXPECT_EQ(r.path(3), longest);
  // A damaged record without a terminator still reads at most 511 bytes.
  for (int i = 0; i < 512; ++i) r.bytes[11 + 512 + i] = 'x';
  EXPECT_EQ(r.path(1), std::string(511, 'x'));

  MaskRecord m;
  EXPECT_TRUE(m.set_pattern(std::string(64, 'p')));
  EXPECT_EQ(m.bytes[64], 0) << "a 64-byte pattern has no terminator; the next field follows";
  EXPECT_FALSE(m.set_pattern(std::string(65, 'p')));
  EXPECT_FALSE(m.set_pattern(std::string("a\0b", 3)));
  EXPECT_EQ(m.pattern(), std::string(64, 'p'));

  ComputerRecord c;
  c.set(7, std::string("AB\0CD", 5));
  EXPECT_EQ(c.name(), "AB");
  for (int i = 4; i < 20; ++i) c.bytes[i] = 'Z';  // no terminator anywhere
  EXPECT_EQ(c.name(), std::string(15, 'Z'));
}

TEST(TableFileTest, ComputerFilesOfOtherSizesFillWhatTheyHold) {
  std::array<ComputerRecord, kComputerSlots> records{};
  records[0].set(5, "first");
  records[1].set(0x01020304u, "ABCDEFGHIJ");
  const std::string file = encode_computer_file(records);
  ASSERT_EQ(file.size(), 80u);
  EXPECT_TRUE(decode_computer_file(file).whole);
  EXPECT_FALSE(decode_computer_file(file + '\0').whole) << "longer than four records";
  EXPECT_EQ(decode_computer_file(file + "XYZ").records[1].name(), "ABCDEFGHIJ");

  const ComputerFile cut = decode_computer_file(file.substr(0, 30));  // slot 1 cut in its name
  EXPECT_FALSE(cut.whole);
  EXPECT_EQ(cut.records[0].name(), "first");
  EXPECT_EQ(cut.records[1].id(), 0x01020304u);
  EXPECT_EQ(cut.records[1].name(), "ABCDEF");
  EXPECT_EQ(cut.records[2].id(), 0u);
  EXPECT_EQ(decode_computer_file("").records[0].id(), 0u);
}

TEST(EarlierReleaseTest, OldRecordsBecomeCurrentOnesFieldByField) {
  OldObjectRecord old;
  const std::string fields = le16(42) + bytes({7, 0xE5});
  std::copy(fields.begin(), fields.end(), old.bytes.begin());
  for (int k = 0; k < kComputerSlots; ++k) {
    for (int i = 0; i < 512; ++i) old.bytes[4 + 512 * k + i] = static_cast<std::uint8_t>(k + i);
  }
  const std::string states = le16(0x0103) + le16(2) + le16(0xFF00) + le16(0xFFFF);
  std::copy(states.begin(), states.end(), old.bytes.begin() + 2052);
  EXPECT_EQ(old.id(), 42);
  EXPECT_EQ(old.list_state(2), 0xFF00);

  const ObjectRecord now = old.converted();
  const std::string r = raw(now);
  EXPECT_EQ(r.substr(0, 11), le16(42) + bytes({7, 1, 1, 1, 1, 1, 1, 1, 1}))
      << "the nested byte as it was, every permission set";
  EXPECT_EQ(r.substr(11, 2048), raw(old).substr(4, 2048)) << "paths byte for byte";
  EXPECT_EQ(r[2059], '\0');

  OldObjectFile file = decode_old_object_file(le16(1) + le16(-32767) + raw(old));
  ASSERT_EQ(file.status, TableStatus::kOk);
  EXPECT_EQ(file.next_id, -32767);
  EXPECT_EQ(file.records[0].bytes, old.bytes);
  // The list's header takes the low bytes of the list states.
  EXPECT_EQ(convert_old_list(old, ""), bytes({0xE5, 3, 2, 0, 0xFF}));
}

}  // namespace
}  // namespace keldar
