// The list model (find or add, marking, the name store) and the list file
// NNNNN.QRN: loading whole, cut and damaged files, and writing them back.
#include "lists/list_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lists/file_list.h"
#include "lists/stamps.h"
#include "lists_fixture.h"
#include "platform/text.h"

namespace keldar::lists_test {
namespace {

// --- marking and find or add ------------------------------------------------

class FindOrAddTest : public ::testing::Test {
 protected:
  ListEntry* put(std::string_view name, std::uint32_t object, std::uint32_t carrier = 0) {
    return list.find_or_add(name, object, carrier, marking, names);
  }
  FileList list;
  NameStore names;
  Marking marking{0, false, false};
};

TEST_F(FindOrAddTest, StampsAreMarkedForTheirVolumeAndTheDaylightFlag) {
  // Odd seconds lose their lowest bit; a stamp that comes in with markers has
  // them cleared first.
  EXPECT_EQ(put("A", kJune15 + 1)->object_stamp, kJune15);
  EXPECT_EQ(put("B", kJune15 | kExact | 1)->object_stamp, kJune15);

  marking.daylight = true;
  EXPECT_EQ(put("C", kJune15)->object_stamp, kJune15 | 1);

  list.exact_object = true;
  EXPECT_EQ(put("D", kJune15)->object_stamp, 3771231249u) << "(t - 3600) | bit 31 | bit 0";
  marking.daylight = false;
  EXPECT_EQ(put("E", kJune15 + 1)->object_stamp, 3771234848u) << "t | bit 31";

  // The carrier stamp follows the carrier's volume, not the object's.
  list.exact_object = false;
  marking.exact_time_carrier = true;
  ListEntry* f = put("F", kJune15 + 1, kJune15 + 1);
  EXPECT_EQ(f->object_stamp, kJune15);
  EXPECT_EQ(f->carrier_stamp, kJune15 | kExact);
  marking.daylight = true;
  ListEntry* g = put("G", 0, kJune15);
  EXPECT_EQ(g->carrier_stamp, (kJune15 - 3600) | kExact | 1);
  EXPECT_EQ(g->object_stamp, 0u);

  EXPECT_EQ(mark_stamp(0, true, true), 0u) << "0 stays 'no value'";
}

TEST_F(FindOrAddTest, ThisComputersListStampFollowsOnlyWhileItsListStateIsZero) {
  marking.computer = 2;
  ListEntry* a = put("A.TXT", kJune15);
  EXPECT_EQ(a->list_stamps, (std::array<std::uint32_t, 4>{0, 0, kJune15, 0}));
  EXPECT_FALSE(list.dirty) << "adding alone does not make the list dirty";

  // Found again while the state is 0: object and list stamp move, dirty.
  a = put("A.TXT", kJune15 + 10);
  EXPECT_EQ(a->object_stamp, kJune15 + 10);
  EXPECT_EQ(a->list_stamps[2], kJune15 + 10);
  EXPECT_TRUE(list.dirty);

  // Once scanned here (state 1) the list stamp is what was synchronised.
  list.dirty = false;
  list.states[2] = 1;
  a = put("A.TXT", kJune15 + 20);
  EXPECT_EQ(a->object_stamp, kJune15 + 20);
  EXPECT_EQ(a->list_stamps[2], kJune15 + 10);
  EXPECT_FALSE(list.dirty);
  ListEntry* b = put("B.TXT", kJune15);
  EXPECT_EQ(b->list_stamps, (std::array<std::uint32_t, 4>{}));

  // Another computer's state does not count.
  list.states[2] = 0;
  list.states[0] = 3;
  EXPECT_EQ(put("C.TXT", kJune15)->list_stamps[2], kJune15);
}

TEST_F(FindOrAddTest, AZeroStampLeavesItsFieldAsItIs) {
  put("A", kJune15, kJune15 + 4);
  list.dirty = false;
  ListEntry* a = put("A", 0, 0);
  EXPECT_EQ(a->object_stamp, kJune15);
  EXPECT_EQ(a->carrier_stamp, kJune15 + 4);
  EXPECT_EQ(a->list_stamps[0], kJune15);
  EXPECT_FALSE(list.dirty) << "a zero object stamp changes nothing, so nothing to save";
  a = put("A", 0, kJune15 + 8);
  EXPECT_EQ(a->object_stamp, kJune15);
  EXPECT_EQ(a->carrier_stamp, kJune15 + 8);
}

TEST_F(FindOrAddTest, ADaylightMarkerAloneDoesNotMakeAFileLookChanged) {
  list.states[0] = 2;
  ListEntry* a = put("A.TXT", 0);
  a->list_stamps[0] = kJune15;  // synchronised in winter
  marking.daylight = true;      // scanned again in summer: kJune15 | 1
  EXPECT_EQ(put("A.TXT", kJune15)->object_stamp, kJune15);

  a->list_stamps[0] = kJune15 | 1;  // and the other way round
  marking.daylight = false;
  EXPECT_EQ(put("A.TXT", kJune15)->object_stamp, kJune15 | 1);

  // Anything more than the marker is a real change.
  a->list_stamps[0] = kJune15 + 2;
  marking.daylight = true;
  EXPECT_EQ(put("A.TXT", kJune15)->object_stamp, kJune15 | 1);
  a->list_stamps[0] = 0;
  EXPECT_EQ(put("A.TXT", kJune15)->object_stamp, kJune15 | 1);

  // Exact-time volumes keep what they found.
  list.exact_object = true;
  marking.daylight = false;
  a->list_stamps[0] = kJune15 | kExact | 1;
  EXPECT_EQ(put("A.TXT", kJune15)->object_stamp, kJune15 | kExact);
  EXPECT_EQ(a->list_stamps[0], kJune15 | kExact | 1) << "state 2: list stamp untouched";

  // With state 0 the kept value becomes the list stamp too.
  list.exact_object = false;
  list.states[0] = 0;
  a->list_stamps[0] = kJune15;
  marking.daylight = true;
  put("A.TXT", kJune15);
  EXPECT_EQ(a->object_stamp, kJune15);
  EXPECT_EQ(a->list_stamps[0], kJune15);
}

TEST_F(FindOrAddTest, NamesEqualButForAsciiCaseAreOneEntry) {
  long position = -1;
  list.find_or_add("Sub\\File.txt", kJune15, 0, marking, names, &position);
  EXPECT_EQ(position, 0);
  ListEntry* e = list.find_or_add("SUB\\FILE.TXT", kJune15 + 2, 0, marking, names, &position);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(e->name(), "Sub\\File.txt") << "the first spelling stays";
  EXPECT_EQ(e->object_stamp, kJune15 + 2);

  // Cyrillic letters, and the other bytes that only the wildcard match pairs
  // up, are never folded.
  const std::vector<std::string> distinct = {u("а.txt"), u("А.txt"), u("ё"), u("Ё"), "@",  "`",
                                             "[",        "{",        "_",    "\x7F", "\\", "|"};
  for (const auto& name : distinct) {
    list.find_or_add(name, kJune15, 0, marking, names, &position);
  }
  EXPECT_EQ(list.entries.size(), 1 + distinct.size());
  EXPECT_EQ(position, static_cast<long>(distinct.size())) << "a new entry is at the old count";
  for (const auto& name : distinct) EXPECT_EQ(list.find(name)->name(), name);
  EXPECT_EQ(list.find("sub\\file.TXT"), &list.entries[0]);
  EXPECT_EQ(list.find("Sub\\File.tx"), nullptr);
  EXPECT_EQ(list.find("Sub\\File.txt "), nullptr);
}

// Names met in the list's order, out of it, in another case, and new ones
// among them: each finds its own entry.
TEST_F(FindOrAddTest, EachNameFindsItsOwnEntryInAnyOrder) {
  for (const char* name : {"A", "B", "C", "D"}) put(name, kJune15);
  const std::vector<std::pair<std::string, long>> steps = {{"a", 0}, {"b", 1}, {"D", 3}, {"c", 2},
                                                           {"E", 4}, {"d", 3}, {"e", 4}, {"A", 0},
                                                           {"F", 5}, {"B", 1}, {"b", 1}, {"C", 2}};
  for (const auto& [name, expected] : steps) {
    long position = -1;
    ASSERT_NE(list.find_or_add(name, kJune15, 0, marking, names, &position), nullptr);
    EXPECT_EQ(position, expected) << name;
  }
  EXPECT_EQ(list.entries.size(), 6u);
}

TEST_F(FindOrAddTest, TheFirstOfEqualNamesIsFoundAfterTheListGrows) {
  // add() does not look: two entries may share a name; the first one wins,
  // also after the entry array and its index grew many times.
  list.add("DUP.TXT", names)->object_stamp = 1;
  list.add("dup.txt", names)->object_stamp = 2;
  for (int i = 0; i < 5000; ++i) {
    ASSERT_NE(put("F" + std::to_string(i), kJune15 + 2 * i), nullptr);
  }
  EXPECT_EQ(list.find("Dup.Txt")->object_stamp, 1u);
  long position = -1;
  for (const char* twin : {"Dup.Txt", "DUP.TXT", "dup.txt"}) {
    list.find_or_add(twin, 0, 0, marking, names, &position);
    EXPECT_EQ(position, 0) << twin << ": also right after the first";
  }
  EXPECT_EQ(list.entries.size(), 5002u);
  for (int i = 0; i < 5000; i += 499) {
    const ListEntry* e = list.find("f" + std::to_string(i));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name(), "F" + std::to_string(i));
    EXPECT_EQ(e->object_stamp, kJune15 + 2 * i);
    EXPECT_EQ(e - list.entries.data(), i + 2) << "entries keep the order of adding";
  }
  EXPECT_EQ(list.entries[0].name(), "DUP.TXT");
  EXPECT_EQ(list.entries[1].name(), "dup.txt");

  list.shrink_to_fit();
  EXPECT_EQ(list.find("F4999")->object_stamp, kJune15 + 2 * 4999);

  list.reset();
  EXPECT_TRUE(list.entries.empty());
  EXPECT_EQ(list.find("F1"), nullptr);
  EXPECT_EQ(put("F1", kJune15)->name(), "F1");
}

TEST_F(FindOrAddTest, NamesThatDoNotFitAreRefused) {
  EXPECT_NE(list.add(std::string(0xFFFF, 'N'), names), nullptr);
  EXPECT_EQ(list.add(std::string(0x10000, 'N'), names), nullptr);
  EXPECT_EQ(list.entries.size(), 1u);
}

// The index's hash and equality fold ASCII letters only, eight bytes at a
// time: every byte value against its neighbours, at every place of a word.
TEST(FoldedNameTest, OnlyAsciiLettersAreFoldedAtEveryPlace) {
  for (std::size_t length = 1; length <= 17; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (int c = 0; c < 256; ++c) {
        std::string a(length, 'k');
        a[at] = static_cast<char>(c);
        for (int d : {c, c ^ 0x20, c + 1, c - 1}) {
          std::string b = a;
          b[at] = static_cast<char>(d);
          const bool expected = equal_ignoring_ascii_case(a, b);
          ASSERT_EQ(equal_folded(a, b), expected) << length << " " << at << " " << c << " " << d;
          if (expected) {
            ASSERT_EQ(folded_hash(a), folded_hash(b)) << c << " " << d;
          }
        }
      }
    }
  }
  EXPECT_TRUE(equal_folded("", ""));
  EXPECT_FALSE(equal_folded("A", std::string_view("A\0", 2)));
  EXPECT_NE(folded_hash("A"), folded_hash(std::string_view("A\0", 2)));
}

TEST(NameStoreTest, NamesArePackedIntoBlocksAndStayWhereTheyAre) {
  NameStore store;
  EXPECT_EQ(store.blocks(), 0u);
  const char* a = NameStore::at(store.store("ABC"));
  const char* b = NameStore::at(store.store("DE"));
  EXPECT_EQ(store.blocks(), 1u);
  EXPECT_EQ(b - a, 4) << "each name with its terminating NUL, one after the other";
  EXPECT_STREQ(a, "ABC");
  EXPECT_STREQ(b, "DE");

  // A name that does not fit in the rest of the block starts a new one.
  const std::uint32_t big = store.store(std::string(65530, 'x'));
  ASSERT_NE(big, 0u);
  EXPECT_EQ(store.blocks(), 2u);
  EXPECT_EQ(NameStore::at(big)[65530], '\0');
  EXPECT_STREQ(a, "ABC") << "earlier names are not moved";

  const std::uint32_t whole = store.store(std::string(65535, 'y'));
  ASSERT_NE(whole, 0u);
  EXPECT_EQ(store.blocks(), 3u);
  EXPECT_EQ(NameStore::at(whole)[65534], 'y');
  EXPECT_EQ(store.store(std::string(65536, 'z')), 0u) << "no room for the NUL";

  // Two stores at once keep their names apart; a store moved keeps its names.
  NameStore other;
  const std::uint32_t c = other.store("FGH");
  EXPECT_STREQ(NameStore::at(c), "FGH");
  EXPECT_STREQ(a, "ABC");
  NameStore moved(std::move(other));
  EXPECT_STREQ(NameStore::at(c), "FGH");
  EXPECT_EQ(moved.blocks(), 1u);
  EXPECT_EQ(other.blocks(), 0u);  // NOLINT(bugprone-use-after-move): emptied by the move

  store.clear();
  EXPECT_EQ(store.blocks(), 0u);
  // The numbers of released blocks are given out again.
  EXPECT_STREQ(NameStore::at(store.store("IJ")), "IJ");
  EXPECT_STREQ(NameStore::at(c), "FGH");
}

TEST(ListTableTest, CreateAndRelease) {
  ListTable table;
  EXPECT_FALSE(table.held());
  ASSERT_TRUE(table.create(3));
  EXPECT_TRUE(table.held());
  EXPECT_FALSE(table.complete()) << "a new table holds no files yet";
  EXPECT_EQ(table.size(), 3u);
  Marking m;
  table.list(2).find_or_add("A", kJune15, 0, m, table.names());
  EXPECT_EQ(table.names().blocks(), 1u);
  table.set_complete(true);
  table.release();
  EXPECT_FALSE(table.held());
  EXPECT_FALSE(table.complete());
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.names().blocks(), 0u);
  EXPECT_THROW(table.list(0), std::out_of_range);
}

// --- the file's bytes -------------------------------------------------------

TEST(EncodeListTest, HeaderThenEveryEntryWithAStamp) {
  FileList list;
  NameStore names;
  list.states = {1, 2, 3, 0};
  auto add = [&](std::string_view name, std::array<std::uint32_t, 4> stamps, std::uint8_t state,
                 std::uint32_t object = 0, std::uint32_t carrier = 0) {
    ListEntry* e = list.add(name, names);
    e->list_stamps = stamps;
    e->state = state;
    e->object_stamp = object;
    e->carrier_stamp = carrier;
  };
  add("\\", {0x11223344, 0, 0, 0x55667788}, 0);
  add("GONE.TXT", {}, 0);                     // all six stamps 0: left out
  add("ONLYHERE.TXT", {}, 3, kJune15);        // a stamp in memory only: kept
  add("ONCARRIER.TXT", {}, 255, 0, kJune15);  // likewise
  add(u("ПАПКА\\файл.doc"), {1, 2, 3, 4}, 5);
  const std::string long_name = std::string(200, 'L') + std::string(100, 'T');
  add(long_name, {9, 0, 0, 0}, 0);

  std::string expected("\xE5\x01\x02\x03\x00", 5);
  expected += std::string("\x44\x33\x22\x11\0\0\0\0\0\0\0\0\x88\x77\x66\x55\x01\x00\x00\\", 20);
  expected += std::string(16, '\0') + std::string("\x0C\x00\x03", 3) + "ONLYHERE.TXT";
  expected += std::string(16, '\0') + std::string("\x0D\x00\xFF", 3) + "ONCARRIER.TXT";
  expected += std::string("\1\0\0\0\2\0\0\0\3\0\0\0\4\0\0\0\x0E\x00\x05", 19) +
              "\xCF\xC0\xCF\xCA\xC0\\\xF4\xE0\xE9\xEB.doc";
  expected +=
      std::string("\x09\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\x03\x01\x00", 19) + long_name.substr(0, 259);
  EXPECT_EQ(encode_list(list), expected);

  FileList empty;
  EXPECT_EQ(encode_list(empty), std::string("\xE5\0\0\0\0", 5));
}

// --- loading ----------------------------------------------------------------

class ListFileTest : public ListsTest {
 protected:
  void SetUp() override {
    ListsTest::SetUp();
    add_object(7, "D:\\WORK\\*.*");
    add_object(8, "D:\\OTHER\\*.*");
    ASSERT_TRUE(ctx.lists.create(2));
  }
  long load(int object = 0) {
    bool opened = false;
    long n = load_list_file(ctx.env, ctx.object_run(object), opened);
    opened_ = opened;
    return n;
  }
  FileList& list0() { return ctx.lists.list(0); }

  const std::string path7 = "C:\\CARRIER\\00007.QRN";
  const std::string path8 = "C:\\CARRIER\\00008.QRN";
  bool opened_ = false;

  const std::vector<Record> three = {
      {{kJune15, 0, 0, 0}, "\\", 0},
      {{kJune15, kJune15 + 2, 0, 0}, "A.TXT", 2},
      {{0, 0, 0, kJan15}, u("ПАПКА\\Отчёт.doc"), 255},
  };
};

TEST_F(ListFileTest, MissingEmptyOrForeignFilesGiveAnEmptyList) {
  // What was held before is gone in every case.
  list0().states = {3, 3, 3, 3};
  list0().dirty = list0().object_present = list0().exact_object = true;
  list0().add("OLD", ctx.lists.names());

  EXPECT_EQ(load(), 0);
  EXPECT_FALSE(opened_);
  EXPECT_TRUE(list0().entries.empty());
  EXPECT_EQ(list0().states, (std::array<std::uint8_t, 4>{}));
  EXPECT_FALSE(list0().dirty || list0().object_present || list0().exact_object);
  EXPECT_EQ(list0().find("OLD"), nullptr);

  fs.write(path7, "");
  EXPECT_EQ(load(), 0);
  EXPECT_TRUE(opened_);

  fs.write(path7, std::string("\xE4\x01\x02\x03\x04", 5) + record_bytes(three[1]));
  EXPECT_EQ(load(), 0);
  EXPECT_TRUE(opened_);
  EXPECT_EQ(list0().states, (std::array<std::uint8_t, 4>{})) << "wrong magic: states not read";

  fs.write(path7, header_bytes({1, 2, 3, 4}));
  EXPECT_EQ(load(), 0);
  EXPECT_EQ(list0().states, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(ListFileTest, RecordsAreLoadedInFileOrder) {
  fs.write(path7, list_bytes({2, 0, 1, 0}, three));
  EXPECT_EQ(load(), 3);
  EXPECT_TRUE(opened_);
  ASSERT_EQ(names(list0()), (std::vector<std::string>{"\\", "A.TXT", u("ПАПКА\\Отчёт.doc")}));
  for (std::size_t i = 0; i < 3; ++i) {
    const ListEntry& e = list0().entries[i];
    EXPECT_EQ(e.list_stamps, three[i].stamps) << i;
    EXPECT_EQ(e.state, three[i].state) << i;
    EXPECT_EQ(e.object_stamp, 0u);
    EXPECT_EQ(e.carrier_stamp, 0u);
    EXPECT_FALSE(e.unsafe);
  }
  EXPECT_EQ(list0().states, (std::array<std::uint8_t, 4>{2, 0, 1, 0}));
  EXPECT_FALSE(list0().dirty);
  EXPECT_FALSE(list0().object_present);
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(ctx.lists.list(1).entries.size(), 0u) << "the other object's list is not touched";
}

TEST_F(ListFileTest, AFileCutAnywhereKeepsTheWholeRecordsBeforeTheCut) {
  const std::string whole = list_bytes({2, 1, 3, 4}, three);
  const std::size_t ends[] = {5, 5 + 20, 5 + 20 + 24, whole.size()};  // after each record
  for (std::size_t length = 0; length <= whole.size(); ++length) {
    SCOPED_TRACE(length);
    fs.write(path7, whole.substr(0, length));
    long n = load();
    ASSERT_GE(n, 0);
    std::size_t expected = 0;
    while (expected < 3 && ends[expected + 1] <= length) ++expected;
    EXPECT_EQ(n, static_cast<long>(expected));
    ASSERT_EQ(list0().entries.size(), expected);
    for (std::size_t i = 0; i < expected; ++i) {
      EXPECT_EQ(list0().entries[i].name(), three[i].name);
      EXPECT_EQ(list0().entries[i].list_stamps, three[i].stamps);
    }
    std::array<std::uint8_t, 4> states{};
    const std::array<std::uint8_t, 4> full{2, 1, 3, 4};
    for (std::size_t k = 0; k < 4 && length >= 2 + k; ++k) states[k] = full[k];
    EXPECT_EQ(list0().states, states);
    EXPECT_FALSE(list0().dirty) << "state 2 here: nothing to save";
  }
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(ListFileTest, ANameOf260BytesOrMoreEndsTheLoad) {
  Record longest{{1, 0, 0, 0}, std::string(259, 'N'), 0};
  Record after{{2, 0, 0, 0}, "AFTER", 0};
  fs.write(path7, list_bytes({1, 0, 0, 0}, {three[1], longest, after}));
  EXPECT_EQ(load(), 3);
  EXPECT_EQ(list0().entries[1].name(), longest.name);

  for (std::size_t length : {std::size_t{260}, std::size_t{4096}, std::size_t{65535}}) {
    SCOPED_TRACE(length);
    Record bad{{3, 0, 0, 0}, std::string(length, 'B'), 0};
    fs.write(path7, list_bytes({1, 0, 0, 0}, {three[1], bad, after}));
    EXPECT_EQ(load(), 1);
    EXPECT_EQ(names(list0()), std::vector<std::string>{"A.TXT"});
  }
  // A length field that promises more than the file holds.
  fs.write(path7, list_bytes({1, 0, 0, 0}, {three[1]}) + record_bytes(after, 200));
  EXPECT_EQ(load(), 1);
}

TEST_F(ListFileTest, RandomBytesNeverBreakTheLoaderAndRoundTrip) {
  std::mt19937 random(20210615);
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::string data("\xE5", 1);
    std::size_t length = random() % 600;
    for (std::size_t i = 0; i < length; ++i) data += static_cast<char>(random() & 0xFF);
    if (round % 2 == 0) {
      // Mostly well-formed records with random contents, to get past the
      // first length field.
      data = header_bytes({static_cast<std::uint8_t>(random() % 4), 0, 0, 0});
      int records = static_cast<int>(random() % 12);
      for (int r = 0; r < records; ++r) {
        Record rec;
        for (auto& s : rec.stamps) s = random() % 3 == 0 ? 0 : static_cast<std::uint32_t>(random());
        rec.state = static_cast<std::uint8_t>(random());
        std::size_t n = random() % 8;
        for (std::size_t i = 0; i < n; ++i)
          rec.name += static_cast<char>("aAbB\\.:\0\xC0\xE0"[random() % 10]);
        data += record_bytes(rec);
      }
      data.resize(data.size() - random() % 4);
    }
    fs.write(path7, data);
    long n = load();
    ASSERT_GE(n, 0);
    ASSERT_EQ(static_cast<std::size_t>(n), list0().entries.size());
    for (const auto& e : list0().entries) ASSERT_LE(e.name().size(), kMaxListName);

    // What was loaded is written back the same way after a second load.
    const std::string once = encode_list(list0());
    fs.write(path7, once);
    ASSERT_GE(load(), 0);
    EXPECT_EQ(encode_list(list0()), once);
  }
}

TEST_F(ListFileTest, ANameTwiceInTheFileEndsAsOneEntryWithTheLaterValues) {
  fs.write(path7, list_bytes({1, 0, 0, 0}, {{{1, 2, 3, 4}, "Dup.Txt", 1},
                                            {{5, 0, 0, 0}, "OTHER", 0},
                                            {{6, 7, 0, 0}, "DUP.TXT", 255}}));
  EXPECT_EQ(load(), 2);
  ASSERT_EQ(names(list0()), (std::vector<std::string>{"Dup.Txt", "OTHER"}));
  EXPECT_EQ(list0().entries[0].list_stamps, (std::array<std::uint32_t, 4>{6, 7, 0, 0}));
  EXPECT_EQ(list0().entries[0].state, 255);
}

TEST_F(ListFileTest, TheRootsOwnListStampIsClearedUntilThisComputerScanned) {
  const std::vector<Record> records = {{{11, 12, 13, 14}, "\\", 0}, {{21, 22, 23, 24}, "A", 0}};
  fs.write(path7, list_bytes({0, 2, 0, 0}, records));
  EXPECT_EQ(load(), 2);
  EXPECT_EQ(list0().entries[0].list_stamps, (std::array<std::uint32_t, 4>{0, 12, 13, 14}));
  EXPECT_EQ(list0().entries[1].list_stamps, (std::array<std::uint32_t, 4>{21, 22, 23, 24}));
  EXPECT_TRUE(list0().dirty);

  ctx.computer = 1;  // state 2 there: kept
  EXPECT_EQ(load(), 2);
  EXPECT_EQ(list0().entries[0].list_stamps, (std::array<std::uint32_t, 4>{11, 12, 13, 14}));
  EXPECT_FALSE(list0().dirty);

  ctx.computer = 3;  // state 0 there, and only this computer's slot is cleared
  EXPECT_EQ(load(), 2);
  EXPECT_EQ(list0().entries[0].list_stamps, (std::array<std::uint32_t, 4>{11, 12, 13, 0}));
  EXPECT_TRUE(list0().dirty);
}

TEST_F(ListFileTest, UnsafeNamesAreKeptMarkedLoggedAndWrittenBackAsTheyWere) {
  const std::vector<Record> records = {
      {{1, 0, 0, 0}, "\\", 0},
      {{2, 0, 0, 0}, "..\\EVIL.TXT", 2},
      {{3, 0, 0, 0}, "C:\\WINDOWS\\WIN.INI", 2},
      {{4, 0, 0, 0}, "\\ROOTED", 0},
      {{5, 0, 0, 0}, std::string("NUL\0NAME\x01", 9), 0},
      {{6, 0, 0, 0}, "SUB\\A|B", 0},
      {{7, 0, 0, 0}, "SUB\\FINE.TXT", 1},
      {{8, 0, 0, 0}, "", 0},
  };
  const std::string bytes = list_bytes({1, 0, 0, 0}, records);
  fs.write(path7, bytes);
  EXPECT_EQ(load(), 8);
  std::vector<bool> unsafe;
  for (const auto& e : list0().entries) unsafe.push_back(e.unsafe);
  EXPECT_EQ(unsafe, (std::vector<bool>{false, true, true, true, true, true, false, true}));
  const std::string head = u("Недопустимое имя в списке 00007.QRN, не обрабатывается: ");
  EXPECT_EQ(log.lines, (std::vector<std::string>{head + "..\\EVIL.TXT",
                                                 head + "C:\\WINDOWS\\WIN.INI", head + "\\ROOTED",
                                                 head + "NUL?NAME?", head + "SUB\\A|B", head}));
  EXPECT_EQ(encode_list(list0()), bytes);

  // A second record of the same unsafe name is not logged again.
  log.lines.clear();
  fs.write(path7, list_bytes({1, 0, 0, 0}, {records[1], records[6], records[1]}));
  EXPECT_EQ(load(), 2);
  EXPECT_EQ(log.lines, std::vector<std::string>{head + "..\\EVIL.TXT"});
}

TEST_F(ListFileTest, AStopRequestEndsTheLoad) {
  fs.write(path7, list_bytes({2, 0, 0, 0}, three));
  ctx.stop.request();
  EXPECT_EQ(load(), 0);
  EXPECT_TRUE(opened_);
  EXPECT_EQ(list0().states[0], 2);

  // Stopped after the first record (the progress report of its position).
  ctx.stop.reset();
  host.stop_at = 1;
  EXPECT_EQ(load(), 1);
  EXPECT_EQ(names(list0()), std::vector<std::string>{"\\"});
}

// --- writing ----------------------------------------------------------------

class WriteListsTest : public ListFileTest {
 protected:
  void SetUp() override {
    ListFileTest::SetUp();
    ctx.lists.set_complete(true);
  }
  void fill_list(int object, int files) {
    FileList& list = ctx.lists.list(object);
    for (int i = 0; i < files; ++i) {
      list.find_or_add("F" + std::to_string(i), kJune15 + 2 * i, 0, ctx.marking(),
                       ctx.lists.names());
    }
    list.dirty = true;
  }
};

TEST_F(WriteListsTest, DirtyListsAreWrittenInTableOrderWithTheirCount) {
  fill_list(0, 3);
  fill_list(1, 12);
  ctx.lists.list(1).find_or_add("ZERO", 0, 0, ctx.marking(), ctx.lists.names());
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines, (std::vector<std::string>{"    3->C:\\CARRIER\\00007.QRN",
                                                 "   12->C:\\CARRIER\\00008.QRN"}));
  EXPECT_EQ(fs.contents(path7), encode_list(ctx.lists.list(0)));
  std::vector<Record> expected;
  for (int i = 0; i < 3; ++i)
    expected.push_back({{kJune15 + 2 * i, 0, 0, 0}, "F" + std::to_string(i), 0});
  EXPECT_EQ(fs.contents(path7), list_bytes({0, 0, 0, 0}, expected));
  EXPECT_FALSE(ctx.lists.list(0).dirty);
  EXPECT_FALSE(ctx.lists.list(1).dirty);

  // Nothing dirty, nothing written.
  log.lines.clear();
  fs.write(path7, "kept");
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(fs.contents(path7), "kept");

  // An entry without any stamp is gone after a write and a reload.
  EXPECT_EQ(fs.contents(path8)->size(), 5u + 12 * 19 + 10 * 2 + 2 * 3);
  ASSERT_EQ(load(1), 12);
  EXPECT_EQ(ctx.lists.list(1).find("ZERO"), nullptr);
}

TEST_F(WriteListsTest, TheRootLosesThisComputersStampOnAFreshListAndMayVanish) {
  // Root known only by this computer, which never scanned the list: after a
  // load its stamps are all 0, and writing drops it.
  fs.write(path7, list_bytes({0, 0, 0, 0}, {{{kJune15, 0, 0, 0}, "\\", 0}, three[1]}));
  ASSERT_EQ(load(), 2);
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines, std::vector<std::string>{"    1->C:\\CARRIER\\00007.QRN"});
  EXPECT_EQ(fs.contents(path7), list_bytes({0, 0, 0, 0}, {three[1]}));
}

TEST_F(WriteListsTest, NamesLongerThan259BytesAreWrittenCut) {
  FileList& list = ctx.lists.list(0);
  const std::string name = std::string(259, 'A') + "BCDEF";
  list.find_or_add(name, kJune15, 0, ctx.marking(), ctx.lists.names());
  list.dirty = true;
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(fs.contents(path7),
            list_bytes({0, 0, 0, 0}, {{{kJune15, 0, 0, 0}, std::string(259, 'A'), 0}}));
  ASSERT_EQ(load(), 1);
  EXPECT_EQ(list.entries[0].name(), std::string(259, 'A'));
}

TEST_F(WriteListsTest, AFailedWriteIsLoggedAndKeepsTheOldFileAndTheDirtyFlag) {
  const std::string old = list_bytes({1, 0, 0, 0}, three);
  fs.write(path7, old);
  fill_list(0, 2);
  fill_list(1, 1);

  struct Case {
    int code;
    std::string result;
    std::string text;
  };
  for (const Case& c :
       {Case{err::kAccessDenied, "ErrOp", u("5: Отказано в доступе.")},
        Case{err::kWriteProtect, "ErrOp", u("19: Носитель защищен от записи.")},
        Case{err::kDiskFull, "ErrWr", u("112: Недостаточно места на диске.")},
        Case{err::kIoDevice, "ErrWr",
             u("1117: Запрос не был выполнен из-за ошибки ввода/вывода на устройстве.")}}) {
    SCOPED_TRACE(c.code);
    log.lines.clear();
    faults.clear_failures();
    faults.fail_path("00007.QRN", c.code);
    ctx.lists.list(1).dirty = true;
    EXPECT_FALSE(write_lists(ctx.env, ctx));
    EXPECT_EQ(log.lines, (std::vector<std::string>{c.result + "->C:\\CARRIER\\00007.QRN", c.text,
                                                   "    1->C:\\CARRIER\\00008.QRN"}))
        << "the next list is written all the same";
    EXPECT_EQ(fs.contents(path7), old);
    EXPECT_TRUE(ctx.lists.list(0).dirty);
    EXPECT_FALSE(ctx.lists.list(1).dirty);
  }

  // A carrier that is really full.
  faults.clear_failures();
  log.lines.clear();
  fs.set_capacity("C:\\", 0);
  EXPECT_FALSE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines, (std::vector<std::string>{"ErrWr->C:\\CARRIER\\00007.QRN",
                                                 u("112: Недостаточно места на диске.")}));
  EXPECT_EQ(fs.contents(path7), old);

  // The next write tries again.
  fs.set_capacity("C:\\", 1ULL << 30);
  log.lines.clear();
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines, std::vector<std::string>{"    2->C:\\CARRIER\\00007.QRN"});
  EXPECT_EQ(fs.contents(path7), encode_list(ctx.lists.list(0)));
  EXPECT_FALSE(ctx.lists.list(0).dirty);
}

// The sum file beside a list keeps the records of the copies still on the
// carrier as recorded: a record of another state, of a copy gone, or of a
// name the list no longer holds is dropped, and with no record left the
// file goes. A sum file that cannot be written is reported and the list is
// written all the same.
TEST_F(WriteListsTest, TheSumFileKeepsTheRecordsOfTheCopiesStillOnTheCarrier) {
  const std::string sums7 = "C:\\CARRIER\\00007.SUM";
  fill_list(0, 4);
  FileList& list = ctx.lists.list(0);
  auto record = [](std::string name, std::uint32_t stamp, std::uint8_t state) {
    return SumRecord{name, 10, stamp, state, content_hash(name.data(), name.size())};
  };
  for (int i = 0; i < 4; ++i) {
    ListEntry& e = list.entries[i];
    e.carrier_stamp = i == 2 ? 0 : kJune15 + 2 * i;
    e.state = 1;
    if (i == 3) continue;
    list.sums[e.name().data()] = record(std::string(e.name()), kJune15 + 2 * i, i == 1 ? 2 : 1);
  }
  list.sums["GONE"] = record("GONE", kJune15, 1);
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(fs.contents(sums7), encode_sum_file({record("F0", kJune15, 1)}));
  EXPECT_EQ(log.lines, std::vector<std::string>{"    4->C:\\CARRIER\\00007.QRN"});

  // Read back with the list.
  ASSERT_EQ(load(0), 4);
  ASSERT_EQ(list.sums.size(), 1u);
  EXPECT_EQ(list.sums.at("F0").hash, record("F0", 0, 0).hash);

  log.lines.clear();
  faults.fail_path("00007.SUM", err::kIoDevice);
  list.entries[0].carrier_stamp = kJune15;
  list.dirty = true;
  EXPECT_FALSE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{
                "ErrWr->C:\\CARRIER\\00007.SUM",
                u("1117: Запрос не был выполнен из-за ошибки ввода/вывода на устройстве."),
                "    4->C:\\CARRIER\\00007.QRN"}));
  EXPECT_FALSE(list.dirty);

  faults.clear_failures();
  list.entries[0].carrier_stamp = 0;
  list.dirty = true;
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_FALSE(fs.contents(sums7)) << "no record left, no sum file";

  // A sum file longer than the records of the list's entries could be is
  // not read, and no more records than entries are taken from one of many
  // short names.
  fs.write(sums7, encode_sum_file({record("F0", kJune15, 1)}) + std::string(1 << 20, 'x'));
  ASSERT_EQ(load(0), 4);
  EXPECT_TRUE(list.sums.empty());
  std::vector<SumRecord> many;
  for (int i = 0; i < 40; ++i) many.push_back(record("N" + std::to_string(i), kJune15, 1));
  fs.write(sums7, encode_sum_file(many));
  ASSERT_EQ(load(0), 4);
  EXPECT_EQ(list.sums.size(), 5u);
}

// A list names copies; when the disks cannot write the copies out, no list
// is written to say they are there.
TEST_F(WriteListsTest, CopiesThatCannotReachTheDiskKeepEveryListUnwritten) {
  const std::string old = list_bytes({1, 0, 0, 0}, three);
  fs.write(path7, old);
  fs.write("C:\\SRC.TXT", "data");
  fill_list(0, 2);
  fill_list(1, 1);
  ASSERT_EQ(faults.copy_file("C:\\SRC.TXT", "C:\\COPY.TXT"), 0);
  ASSERT_EQ(faults.unflushed(), 1u);

  faults.set_fail_at(1, err::kIoDevice);  // the flush
  EXPECT_FALSE(write_lists(ctx.env, ctx));
  const std::string text =
      u("1117: Запрос не был выполнен из-за ошибки ввода/вывода на устройстве.");
  EXPECT_EQ(log.lines, (std::vector<std::string>{"ErrWr->C:\\CARRIER\\00007.QRN", text,
                                                 "ErrWr->C:\\CARRIER\\00008.QRN", text}));
  EXPECT_EQ(fs.contents(path7), old);
  EXPECT_FALSE(fs.exists("C:\\CARRIER\\00008.QRN"));
  EXPECT_TRUE(ctx.lists.list(0).dirty);
  EXPECT_TRUE(ctx.lists.list(1).dirty);

  // Once the copies are out, the lists follow.
  log.lines.clear();
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(faults.unflushed(), 0u);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"    2->C:\\CARRIER\\00007.QRN",
                                                 "    1->C:\\CARRIER\\00008.QRN"}));
}

TEST_F(WriteListsTest, IncompleteOrReleasedListsAreNeverWritten) {
  fs.write(path7, "old");
  fill_list(0, 2);
  ctx.lists.set_complete(false);
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(fs.contents(path7), "old");
  EXPECT_TRUE(ctx.lists.list(0).dirty);

  ctx.lists.release();
  EXPECT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(fs.contents(path7), "old");
}

}  // namespace
}  // namespace keldar::lists_test
