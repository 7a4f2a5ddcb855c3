// The content hash of carrier copies and the sum file NNNNN.SUM.
#include "format/sum_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/carrier_files.h"
#include "format/content_hash.h"
#include "format_test_support.h"

namespace keldar {
namespace {

using namespace format_test;

// XXH3-128 as xxHash's own tests give it, and the same bytes fed in pieces
// of every size from 1 to 300 (crossing its internal blocks) giving the
// hash of the whole.
TEST(ContentHashTest, KnownValuesAndPiecesGiveTheWhole) {
  EXPECT_EQ(hash_text(content_hash("", 0)), "99aa06d3014798d86001c324468d497f");
  ContentHasher hasher;
  EXPECT_EQ(hash_text(hasher.digest()), "99aa06d3014798d86001c324468d497f");

  std::string data(300000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + 7);
  const ContentHash whole = content_hash(data.data(), data.size());
  for (std::size_t piece : {1, 7, 64, 240, 300, 4096, 65536}) {
    hasher.reset();
    for (std::size_t at = 0; at < data.size(); at += piece) {
      hasher.update(data.data() + at, std::min(piece, data.size() - at));
    }
    EXPECT_EQ(hasher.digest(), whole) << piece;
  }
  data[150000] ^= 1;
  EXPECT_NE(content_hash(data.data(), data.size()), whole) << "one bit changed";
}

std::string record_bytes(std::uint64_t size, std::uint32_t stamp, int state, int hash_byte,
                         const std::string& name, int length) {
  return le32(static_cast<std::uint32_t>(size)) + le32(static_cast<std::uint32_t>(size >> 32)) +
         le32(stamp) + bytes({state}) + std::string(16, static_cast<char>(hash_byte)) +
         le16(length) + name;
}

SumRecord record(const std::string& name, std::uint64_t size, std::uint32_t stamp, int state,
                 int hash_byte) {
  SumRecord r;
  r.name = name;
  r.size = size;
  r.carrier_stamp = stamp;
  r.state = static_cast<std::uint8_t>(state);
  r.hash.fill(static_cast<std::uint8_t>(hash_byte));
  return r;
}

TEST(SumFileTest, RecordsAreWrittenFieldByFieldAndReadBack) {
  EXPECT_EQ(sum_file(7), "00007.SUM");
  const std::vector<SumRecord> records = {
      record("A.TXT", 5, 0x80001234u, 1, 0xAB),
      record("\xCF\xC0\xCF\xCA\xC0\\\xF4.doc", 0x123456789AULL, 0x11223344u, 5, 0x01),
      record(std::string(259, 'N'), 0, 0, 255, 0xFF),
  };
  const std::string file = encode_sum_file({records[0], record("", 1, 1, 1, 1), records[1],
                                            record(std::string(260, 'L'), 1, 1, 1, 1), records[2]});
  EXPECT_EQ(file, std::string("KSUM\x01", 5) + record_bytes(5, 0x80001234u, 1, 0xAB, "A.TXT", 5) +
                      record_bytes(0x123456789AULL, 0x11223344u, 5, 0x01,
                                   "\xCF\xC0\xCF\xCA\xC0\\\xF4.doc", 11) +
                      record_bytes(0, 0, 255, 0xFF, std::string(259, 'N'), 259))
      << "an empty name and one of 260 bytes are left out";
  const std::vector<SumRecord> read = decode_sum_file(file);
  ASSERT_EQ(read.size(), records.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].name, records[i].name);
    EXPECT_EQ(read[i].size, records[i].size);
    EXPECT_EQ(read[i].carrier_stamp, records[i].carrier_stamp);
    EXPECT_EQ(read[i].state, records[i].state);
    EXPECT_EQ(read[i].hash, records[i].hash);
  }
}

// What a damaged, foreign or cut file gives: the whole records before the
// damage, never more.
TEST(SumFileTest, DamageEndsTheReadingAfterTheWholeRecords) {
  const std::string one = record_bytes(1, 2, 3, 4, "ONE", 3);
  const std::string two = record_bytes(5, 6, 7, 8, "TWO", 3);
  const std::string header("KSUM\x01", 5);
  const struct {
    std::string file;
    std::size_t records;
  } cases[] = {
      {"", 0},
      {header, 0},
      {std::string("KSUM\x02", 5) + one, 0},  // another version
      {std::string("ksum\x01", 5) + one, 0},
      {header + one + two, 2},
      {header + one + two.substr(0, two.size() - 1), 1},          // the last name cut
      {header + one + two.substr(0, kSumRecordSize - 1), 1},      // the last record cut
      {header + one + record_bytes(5, 6, 7, 8, "", 0) + two, 1},  // a name length of 0
      {header + one + record_bytes(5, 6, 7, 8, std::string(260, 'L'), 260), 1},
  };
  for (const auto& c : cases) {
    const std::vector<SumRecord> read = decode_sum_file(c.file);
    EXPECT_EQ(read.size(), c.records) << c.file.size() << " bytes";
    if (!read.empty()) {
      EXPECT_EQ(read[0].name, "ONE");
    }
  }
}

}  // namespace
}  // namespace keldar
