#include "store/mask_table.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "platform/text.h"

namespace keldar {
namespace {

const std::string kPath = "C:\\MASKS.QRV";

class MaskTableTest : public ::testing::Test {
 protected:
  void SetUp() override { fs.add_volume("C:\\"); }
  std::int16_t load_bytes(const std::string& data) {
    fs.write(kPath, data);
    return table.load(fs, kPath);
  }
  FakeFileSystem fs;
  MaskTable table;
};

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

void add(MaskTable& t, const MaskRecord& r, int position) {
  t.record(t.count()) = r;
  ASSERT_TRUE(t.insert_template_at(position));
}

TEST_F(MaskTableTest, MissingFileIsCreatedAsTwoZeroBytes) {
  EXPECT_EQ(table.load(fs, kPath), load_result::kCreated);
  EXPECT_EQ(fs.contents(kPath), std::string(2, '\0'));
  EXPECT_EQ(table.count(), 0);
  EXPECT_EQ(table.load(fs, "C:\\NOFOLDER\\MASKS.QRV"), load_result::kCannotCreate);
}

TEST_F(MaskTableTest, ShortAndDamagedHeaders) {
  EXPECT_EQ(load_bytes(""), load_result::kReadError);
  EXPECT_EQ(load_bytes(std::string(1, '\0')), load_result::kReadError);
  EXPECT_EQ(load_bytes("\xFF\xFF"), load_result::kReadError);  // negative count
  EXPECT_EQ(table.count(), 0);
  EXPECT_EQ(load_bytes(std::string(2, '\0')), 0);
}

TEST_F(MaskTableTest, RecordLayoutAndRoundTrip) {
  add(table, mask("*.doc", true, false, true, false), 0);
  add(table, mask("*.*", false, true, false, true), 1);
  ASSERT_EQ(table.save(fs, kPath), err::kOk);
  std::string file = *fs.contents(kPath);
  ASSERT_EQ(file.size(), 2u + 2 * 76u);
  EXPECT_EQ(file.substr(0, 2), std::string("\x02\x00", 2));
  std::string first = file.substr(2, 76);
  EXPECT_EQ(first.substr(0, 6), std::string("*.doc\0", 6));
  EXPECT_EQ(first.substr(64, 12),
            std::string("\x01\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00", 12));
  EXPECT_EQ(file.substr(2 + 76 + 64, 12),
            std::string("\x00\x00\x01\x00\x00\x00\x00\x00\x01\x00\x00\x00", 12));

  EXPECT_EQ(table.load(fs, kPath), 2);
  EXPECT_EQ(table.record(0).pattern(), "*.doc");
  EXPECT_TRUE(table.record(0).ask_before_replacing());
  EXPECT_FALSE(table.record(0).allow_delete());
  EXPECT_TRUE(table.record(1).ask_before_deleting());
  EXPECT_EQ(table.record(2).pattern(), "") << "template";
}

TEST_F(MaskTableTest, PatternOf64CharactersHasNoTerminator) {
  std::string longest = cp1251("Отчет_") + std::string(58, 'x');
  ASSERT_EQ(longest.size(), 64u);
  add(table, mask(longest, true, true, false, false), 0);
  ASSERT_EQ(table.save(fs, kPath), err::kOk);
  std::string file = *fs.contents(kPath);
  EXPECT_EQ(file.substr(2, 64), longest);
  EXPECT_EQ(file[2 + 64], '\x01') << "the next byte is allow copy, not a terminator";
  ASSERT_EQ(table.load(fs, kPath), 1);
  EXPECT_EQ(table.record(0).pattern(), longest);
  MaskRecord r;
  EXPECT_FALSE(r.set_pattern(longest + "y"));
}

TEST_F(MaskTableTest, InsertPositionsKeepOrder) {
  add(table, mask("b", true, true, false, false), 0);
  add(table, mask("a", true, true, false, false), 0);
  add(table, mask("c", true, true, false, false), 2);
  add(table, mask("ab", true, true, false, false), 1);
  ASSERT_EQ(table.count(), 4);
  std::string order;
  for (int i = 0; i < table.count(); ++i) order += table.record(i).pattern() + ",";
  EXPECT_EQ(order, "a,ab,b,c,");
  EXPECT_FALSE(table.insert_template_at(6));
}

// As for the object table: only the length its count gives is a table.
TEST_F(MaskTableTest, FileWhoseSizeDoesNotFitItsCountIsKeptAsFound) {
  add(table, mask("*.txt", true, true, true, true), 0);
  add(table, mask("*.*", true, false, false, false), 1);
  ASSERT_EQ(table.save(fs, kPath), err::kOk);
  const std::string file = *fs.contents(kPath);
  for (std::size_t len = 0; len <= file.size() + 1; ++len) {
    const std::string data = len <= file.size() ? file.substr(0, len) : file + '\0';
    const std::int16_t expected = len == file.size() ? 2
                                  : len < 2          ? load_result::kReadError
                                                     : load_result::kDamaged;
    ASSERT_EQ(load_bytes(data), expected) << "length " << len;
    if (expected >= 0) {
      EXPECT_FALSE(table.damaged());
      EXPECT_EQ(table.save(fs, kPath), err::kOk);
      continue;
    }
    ASSERT_EQ(table.count(), 0);
    ASSERT_TRUE(table.damaged()) << "length " << len;
    add(table, mask("*.*", true, true, false, false), 0);
    ASSERT_NE(table.save(fs, kPath), err::kOk) << "length " << len;
    ASSERT_EQ(fs.contents(kPath), data) << "length " << len;
  }
}

TEST_F(MaskTableTest, RandomFilesLoadConsistently) {
  std::mt19937 random(11);
  for (int i = 0; i < 300; ++i) {
    std::string data(random() % 400, '\0');
    for (char& c : data) c = static_cast<char>(random());
    std::int16_t r = load_bytes(data);
    ASSERT_GE(r, load_result::kDamaged);
    ASSERT_EQ(table.count(), std::max<std::int16_t>(r, 0));
    for (int k = 0; k < table.count(); ++k) ASSERT_LE(table.record(k).pattern().size(), 64u);
  }
}

TEST(MaskLoadMessageTest, TextsOfEachResult) {
  EXPECT_EQ(mask_load_message(-3), cp1251("Ошибка чтения из файла MASKS.QRV"));
  EXPECT_EQ(mask_load_message(-2), cp1251("Ошибка создания файла списка масок MASKS.QRV"));
  EXPECT_EQ(mask_load_message(-1), cp1251("Файл списка масок MASKS.QRV создан"));
  EXPECT_EQ(mask_load_message(-5), cp1251("Файл MASKS.QRV поврежден"));
  EXPECT_EQ(mask_load_message(3), cp1251("Загружено из файла MASKS.QRV масок имен файлов:  3"));
}

}  // namespace
}  // namespace keldar
