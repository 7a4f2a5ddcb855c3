#include "store/object_table.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/text.h"

namespace keldar {
namespace {

const std::string kPath = "C:\\CARRIER\\SYNCOBJ.QRV";

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

class ObjectTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.add_volume("C:\\");
    fs.make_folders("C:\\CARRIER");
  }
  std::int16_t load_bytes(const std::string& data) {
    fs.write(kPath, data);
    return table.load(fs, kPath);
  }
  void expect_empty() {
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.next_id(), 1);
    EXPECT_EQ(table.encode(), bytes({0xE5, 0, 0, 1, 0}));
  }
  FakeFileSystem fs;
  ObjectTable table;
};

TEST_F(ObjectTableTest, MissingFileIsCreatedEmptyWithTemplate) {
  EXPECT_EQ(table.load(fs, kPath), load_result::kCreated);
  EXPECT_EQ(fs.contents(kPath), bytes({0xE5, 0x00, 0x00, 0x01, 0x00}));
  expect_empty();
  const ObjectRecord& t = table.record(0);
  EXPECT_EQ(t.id(), 0);
  EXPECT_FALSE(t.allow_nested());
  for (int k = 0; k < kComputerSlots; ++k) {
    EXPECT_TRUE(t.copy_from_carrier(k));
    EXPECT_TRUE(t.copy_to_carrier(k));
    EXPECT_EQ(t.path(k), "");
  }
}

TEST_F(ObjectTableTest, FileThatCannotBeCreatedGivesMinusTwo) {
  EXPECT_EQ(table.load(fs, "C:\\NOFOLDER\\SYNCOBJ.QRV"), load_result::kCannotCreate);
  expect_empty();
}

TEST_F(ObjectTableTest, DamagedHeadersGiveTheirCodes) {
  EXPECT_EQ(load_bytes(""), load_result::kVersionError);
  EXPECT_EQ(load_bytes(bytes({0xE4, 0, 0, 1, 0})), load_result::kVersionError);
  EXPECT_EQ(load_bytes(bytes({0xE5})), load_result::kReadError);
  EXPECT_EQ(load_bytes(bytes({0xE5, 0})), load_result::kReadError);
  EXPECT_EQ(load_bytes(bytes({0xE5, 0, 0, 1})), load_result::kReadError);
  EXPECT_EQ(load_bytes(bytes({0xE5, 0xFF, 0xFF, 1, 0})), load_result::kReadError);  // count -1
  expect_empty();
  EXPECT_EQ(load_bytes(bytes({0xE5, 0, 0, 7, 0})), 0);
  EXPECT_EQ(table.next_id(), 7);
}

TEST_F(ObjectTableTest, DamagedFileIsNotOverwrittenByLoad) {
  fs.write(kPath, "garbage");
  EXPECT_EQ(table.load(fs, kPath), load_result::kVersionError);
  EXPECT_EQ(fs.contents(kPath), "garbage");
}

TEST_F(ObjectTableTest, UnreadableFileIsAReadErrorAndIsKept) {
  fs.write(kPath, bytes({0xE5, 0, 0, 1, 0}));
  FaultyFileSystem faults(fs);
  faults.fail_path("SYNCOBJ", err::kAccessDenied);
  EXPECT_EQ(table.load(faults, kPath), load_result::kReadError);
  EXPECT_EQ(fs.contents(kPath), bytes({0xE5, 0, 0, 1, 0}));
}

ObjectTable two_objects() {
  ObjectTable t;
  for (int i = 0; i < 2; ++i) {
    ObjectRecord& r = t.new_object();
    r.set_id(static_cast<std::int16_t>(i + 3));
    r.set_allow_nested(i == 1);
    r.set_copy_to_carrier(2, false);
    EXPECT_TRUE(r.set_path(i, cp1251("/home/ann/Документы/*.*")));
    r.bytes[2059] = 0x5A;  // reserved byte: kept as held
    EXPECT_TRUE(t.commit_new_object());
  }
  t.set_next_id(40);
  return t;
}

TEST_F(ObjectTableTest, SaveAndLoadKeepEveryByte) {
  ObjectTable saved = two_objects();
  ASSERT_EQ(saved.save(fs, kPath), err::kOk);
  std::string file = *fs.contents(kPath);
  ASSERT_EQ(file.size(), 5u + 2 * 2060u);
  EXPECT_EQ(file.substr(0, 5), bytes({0xE5, 2, 0, 40, 0}));
  // Record 1: id 4 at offset 0, nested at 2, permissions at 3..10, path 1 at 11 + 512.
  const std::string r1 = file.substr(5 + 2060, 2060);
  EXPECT_EQ(r1.substr(0, 11), bytes({4, 0, 1, 1, 1, 1, 1, 1, 1, 0, 1}));
  EXPECT_EQ(r1.substr(11 + 512, 4), "/hom");
  EXPECT_EQ(static_cast<unsigned char>(r1[2059]), 0x5A);

  EXPECT_EQ(table.load(fs, kPath), 2);
  EXPECT_EQ(table.count(), 2);
  EXPECT_EQ(table.next_id(), 40);
  EXPECT_EQ(table.record(1).path(1), cp1251("/home/ann/Документы/*.*"));
  EXPECT_EQ(table.record(2).id(), 0) << "the template follows the records";
  EXPECT_EQ(table.encode(), file);
}

// A file of any length but the one its count gives is not taken in part: the
// table stays empty and this run never writes over the file, whatever is
// changed in memory.
TEST_F(ObjectTableTest, FileWhoseSizeDoesNotFitItsCountIsKeptAsFound) {
  ASSERT_EQ(two_objects().save(fs, kPath), err::kOk);
  const std::string file = *fs.contents(kPath);
  for (std::size_t len = 0; len <= file.size() + 1; ++len) {
    const std::string data = len <= file.size() ? file.substr(0, len) : file + '\0';
    const std::int16_t expected = len == file.size() ? 2
                                  : len == 0         ? load_result::kVersionError
                                  : len < 5          ? load_result::kReadError
                                                     : load_result::kDamaged;
    ASSERT_EQ(load_bytes(data), expected) << "length " << len;
    if (expected >= 0) {
      EXPECT_FALSE(table.damaged());
      EXPECT_EQ(table.save(fs, kPath), err::kOk);
      continue;
    }
    expect_empty();
    ASSERT_TRUE(table.damaged()) << "length " << len;
    ASSERT_TRUE(table.commit_new_object());
    table.set_next_id(9);
    ASSERT_NE(table.save(fs, kPath), err::kOk) << "length " << len;
    ASSERT_EQ(fs.contents(kPath), data) << "length " << len;
  }
}

TEST_F(ObjectTableTest, RandomFilesLoadConsistently) {
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::string data(random() % 6000, '\0');
    for (char& c : data) c = static_cast<char>(random());
    if (i % 2 == 0 && !data.empty()) data[0] = static_cast<char>(0xE5);
    std::int16_t r = load_bytes(data);
    ASSERT_GE(r, load_result::kDamaged);
    ASSERT_EQ(table.count(), std::max<std::int16_t>(r, 0));
    ASSERT_LE(5u + table.count() * 2060u, std::max<std::size_t>(data.size(), 5));
  }
}

TEST_F(ObjectTableTest, FailedSaveLeavesTheOldFile) {
  ASSERT_EQ(two_objects().save(fs, kPath), err::kOk);
  const std::string before = *fs.contents(kPath);
  ObjectTable other;
  FaultyFileSystem faults(fs);
  faults.set_fail_at(1, err::kDiskFull);
  EXPECT_EQ(other.save(faults, kPath), err::kDiskFull);
  EXPECT_EQ(fs.contents(kPath), before);
  fs.set_capacity("C:\\", 8192);
  EXPECT_NE(two_objects().save(fs, "C:\\CARRIER\\OTHER.QRV"), err::kOk);
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\OTHER.QRV"));
}

TEST(ObjectLoadMessageTest, TextsOfEachResult) {
  EXPECT_EQ(object_load_message(-4), cp1251("Ошибка версии списка объектов SYNCOBJ.QRV"));
  EXPECT_EQ(object_load_message(-3), cp1251("Ошибка чтения из файла SYNCOBJ.QRV"));
  EXPECT_EQ(object_load_message(-2),
            cp1251("Ошибка создания файла объектов синхронизации SYNCOBJ.QRV"));
  EXPECT_EQ(object_load_message(-1), cp1251("Файл объектов синхронизации SYNCOBJ.QRV создан"));
  EXPECT_EQ(object_load_message(-5), cp1251("Файл SYNCOBJ.QRV поврежден"));
  EXPECT_EQ(object_load_message(0),
            cp1251("Загружено из файла SYNCOBJ.QRV объектов синхронизации:  0"));
  EXPECT_EQ(object_load_message(12),
            cp1251("Загружено из файла SYNCOBJ.QRV объектов синхронизации:  12"));
}

}  // namespace
}  // namespace keldar
