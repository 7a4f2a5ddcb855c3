#include "tools/dataupgrade/dataupgrade.h"

#include <gtest/gtest.h>
#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

#include <array>
#include <map>
#include <random>
#include <set>

#include "format/carrier_files.h"
#include "tools/tool_test_support.h"
#include "version/version.h"

namespace keldar {
namespace {

using namespace tooltest;

using Paths = std::array<std::string, 4>;
using States = std::array<int, 4>;

std::string path_field(const std::string& path) {
  std::string field = path;
  field.resize(512, '\0');
  field.replace(511, 1, "#");  // bytes after the terminator are copied too
  return field;
}

std::string old_record(int id, int nested, int unused, const Paths& paths, const States& states) {
  std::string r = le16(id) + bytes({nested, unused});
  for (const auto& p : paths) r += path_field(p);
  for (int s : states) r += le16(s);
  return r;
}

std::string new_record(int id, int nested, const Paths& paths) {
  std::string r = le16(id) + bytes({nested, 1, 1, 1, 1, 1, 1, 1, 1});
  for (const auto& p : paths) r += path_field(p);
  return r + bytes({0});
}

std::string list_entry(std::uint32_t stamp, int state, const std::string& name) {
  return le32(stamp) + le32(stamp + 2) + le32(0) + le32(0xFFFFFFFFu) +
         le16(static_cast<int>(name.size())) + bytes({state}) + name;
}

class DataUpgradeTest : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args = {}) {
    std::ostringstream o, e;
    int rc = dataupgrade::run(args, o, e);
    out = o.str();
    err = e.str();
    return rc;
  }
  std::map<std::string, std::string> files() {
    std::map<std::string, std::string> all;
    for (const auto& entry : fs::directory_iterator(folder.path()))
      all[entry.path().filename().string()] = read_file(entry.path()).value_or("<folder>");
    return all;
  }
  // Runs the tool on a table that must be refused and checks that no file changed.
  void expect_refused(const std::string& table, int code) {
    write_file(folder / "SYNCOBJ.QRV", table);
    auto before = files();
    EXPECT_EQ(run(), code);
    EXPECT_EQ(files(), before);
    EXPECT_NE(err, "");
  }

  TempFolder folder;
  ScopedCurrentPath cwd{folder.path()};
  std::string out, err;
};

TEST_F(DataUpgradeTest, EmptyTableGivesTheFiveByteFile) {
  write_file(folder / "SYNCOBJ.QRV", le16(0) + le16(7));
  EXPECT_EQ(run(), 0);
  EXPECT_EQ(files(),
            (std::map<std::string, std::string>{{"SYNCOBJ.QRV", bytes({0xE5, 0, 0, 7, 0})}}));
  EXPECT_EQ(out + err, "");
}

TEST_F(DataUpgradeTest, ConvertsTheTableAndEveryList) {
  const Paths a = {"C:\\WORK\\*.*", "", "D:\\\xC4\xE0\xED\xED\xFB\\", "/home/ann/work/*.*"};
  const Paths b = {"", "E:\\X\\", "", ""};
  const std::string list42 = list_entry(0x80000001u, 0, "\\") + list_entry(1000, 255, "SUB\\A");
  write_file(folder / "SYNCOBJ.QRV",
             le16(4) + le16(12346) + old_record(42, 1, 0xE5, a, {0x0103, 2, 0xFF00, 0xFFFF}) +
                 old_record(7, 0, 0, b, {1, 1, 1, 1}) + old_record(9, 0, 3, b, {3, 0, 0, 0}) +
                 old_record(12345, 1, 1, a, {0, 0, 0, 0}));
  write_file(folder / "00042.QRV", list42);
  write_file(folder / "00009.QRV", "");
  // A damaged list keeps its entries up to the damage (name length 260).
  write_file(folder / "12345.QRV",
             list_entry(5, 1, std::string(259, 'N')) + list_entry(6, 0, std::string(260, 'X')));
  write_file(folder / "00042.QRN", "stale");
  auto old_lists = files();

  ASSERT_EQ(run(), 0) << err;
  EXPECT_EQ(out + err, "");
  auto now = files();
  EXPECT_EQ(now["SYNCOBJ.QRV"], bytes({0xE5, 4, 0}) + le16(12346) + new_record(42, 1, a) +
                                    new_record(7, 0, b) + new_record(9, 0, b) +
                                    new_record(12345, 1, a));
  EXPECT_EQ(now["00042.QRN"], bytes({0xE5, 3, 2, 0, 0xFF}) + list42);
  EXPECT_EQ(now.count("00007.QRN"), 0u);  // no old list, no new one
  EXPECT_EQ(now["00009.QRN"], bytes({0xE5, 3, 0, 0, 0}));
  EXPECT_EQ(now["12345.QRN"], bytes({0xE5, 0, 0, 0, 0}) + list_entry(5, 1, std::string(259, 'N')));
  for (const char* old : {"00042.QRV", "00009.QRV", "12345.QRV"})
    EXPECT_EQ(now[old], old_lists[old]);
  EXPECT_EQ(now.size(), 7u);
}

TEST_F(DataUpgradeTest, OldListCutAtEveryLength) {
  const std::string first = list_entry(1, 1, "A.TXT"), second = list_entry(2, 2, "SUB\\");
  const std::string list = first + second;
  for (std::size_t n = 0; n <= list.size(); ++n) {
    SCOPED_TRACE(n);
    write_file(folder / "SYNCOBJ.QRV", le16(1) + le16(2) + old_record(1, 0, 0, {}, {1, 2, 3, 4}));
    write_file(folder / "00001.QRV", list.substr(0, n));
    ASSERT_EQ(run(), 0);
    std::string expected = bytes({0xE5, 1, 2, 3, 4});
    if (n >= first.size()) expected += first;
    if (n == list.size()) expected += second;
    EXPECT_EQ(read_file(folder / "00001.QRN"), expected);
  }
}

TEST_F(DataUpgradeTest, NegativeIdsNameTheirListsPaddedToFiveCharacters) {
  write_file(folder / "SYNCOBJ.QRV", le16(2) + le16(-32767) + old_record(-5, 0, 0, {}, {}) +
                                         old_record(-32768, 0, 0, {}, {}));
  write_file(folder / "-0005.QRV", "");
  write_file(folder / "-32768.QRV", "");
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(read_file(folder / "-0005.QRN"), bytes({0xE5, 0, 0, 0, 0}));
  EXPECT_EQ(read_file(folder / "-32768.QRN"), bytes({0xE5, 0, 0, 0, 0}));
}

TEST_F(DataUpgradeTest, RefusesTablesThatAreCurrentOrDoNotHoldTheirCount) {
  write_file(folder / "00001.QRV", list_entry(1, 0, "A"));
  const std::string record = old_record(1, 0, 0, {}, {});
  expect_refused(bytes({0xE5, 0, 0, 1, 0}), 2);
  expect_refused(bytes({0xE5, 1, 0, 2, 0}) + new_record(1, 0, {}), 2);
  expect_refused(le16(2) + le16(3) + record, 3);
  expect_refused(le16(1) + le16(3) + record + "x", 3);
  expect_refused(le16(-1) + le16(3) + record, 3);
  for (int n = 0; n < 4; ++n) expect_refused(std::string(n, '\0'), -3);
  fs::remove(folder / "SYNCOBJ.QRV");
  EXPECT_EQ(run(), -1);
  EXPECT_FALSE(fs::exists(folder / "SYNCOBJ.QRV"));
  // A converted carrier is refused the second time.
  write_file(folder / "SYNCOBJ.QRV", le16(1) + le16(2) + record);
  ASSERT_EQ(run(), 0);
  expect_refused(*read_file(folder / "SYNCOBJ.QRV"), 2);
}

TEST_F(DataUpgradeTest, TableCutAtEveryLengthOrFullOfRandomBytes) {
  const std::string table =
      le16(2) + le16(3) + old_record(1, 1, 0, {"A"}, {}) + old_record(2, 0, 0, {"B"}, {});
  for (std::size_t n = 0; n < table.size(); ++n) {
    write_file(folder / "SYNCOBJ.QRV", table.substr(0, n));
    ASSERT_EQ(run(), n < 4 ? -3 : 3) << n;
  }
  std::mt19937 random(11);
  for (int i = 0; i < 200; ++i) {
    std::string data(random() % 5000, '\0');
    for (char& c : data) c = static_cast<char>(random());
    if (i % 3 == 0)
      data = le16(static_cast<int>(data.size() / 2060)) +
             data.substr(0, data.size() / 2060 * 2060 + 2);
    write_file(folder / "SYNCOBJ.QRV", data);
    auto before = files();
    int rc = run();
    EXPECT_TRUE(rc == 0 || rc == 2 || rc == 3 || rc == -3) << rc;
    if (rc != 0) {
      EXPECT_EQ(files(), before);
    }
  }
}

TEST_F(DataUpgradeTest, FailedWritesLeaveTheTableAndNoTemporaries) {
  const std::string table = le16(1) + le16(2) + old_record(1, 0, 0, {}, {});
  write_file(folder / "SYNCOBJ.QRV", table);
  write_file(folder / "00001.QRV", list_entry(1, 0, "A"));
  fs::create_directory(folder / "00001.QRN");  // cannot be replaced by a file
  EXPECT_EQ(run(), -1);
  EXPECT_NE(err.find("00001.QRN"), std::string::npos);
  EXPECT_EQ(read_file(folder / "SYNCOBJ.QRV"), table);
  EXPECT_EQ(folder.temporaries(), 0);

  fs::remove(folder / "00001.QRN");
  fs::remove(folder / "00001.QRV");
  fs::create_directory(folder / "00001.QRV");  // exists but cannot be read
  EXPECT_EQ(run(), -1);
  EXPECT_NE(err.find("00001.QRV"), std::string::npos);
  EXPECT_EQ(read_file(folder / "SYNCOBJ.QRV"), table);
  EXPECT_FALSE(fs::exists(folder / "00001.QRN"));
  EXPECT_EQ(folder.temporaries(), 0);
}

TEST_F(DataUpgradeTest, Arguments) {
  EXPECT_EQ(run({"x"}), 4);
  EXPECT_NE(err.find("dataupgrade --help"), std::string::npos);
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_NE(out.find("dataupgrade --help"), std::string::npos);
  EXPECT_EQ(run({"--version"}), 0);
  EXPECT_EQ(out, "dataupgrade " KELDAR_VERSION "\n");
  EXPECT_EQ(run({"--version", "x"}), 4);
  EXPECT_TRUE(files().empty());
}

// Every file the tool writes is made under the reserved temporary form and
// renamed to its name, so that a crash leaves the old file and a temporary
// that keldar's runs remove. (That the temporary is flushed to the disk
// before the rename cannot be seen from here.)
TEST_F(DataUpgradeTest, NewFilesAreRenamedIntoPlaceFromReservedTemporaries) {
#ifndef __linux__
  GTEST_SKIP() << "watching the folder's creations and renames needs inotify (Linux)";
#else
  write_file(folder / "SYNCOBJ.QRV",
             le16(2) + le16(3) + old_record(1, 0, 0, {}, {}) + old_record(2, 0, 0, {}, {}));
  write_file(folder / "00001.QRV", list_entry(1, 0, "A"));
  write_file(folder / "00002.QRV", "");
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(
      ::inotify_add_watch(watch, folder.path().c_str(), IN_CREATE | IN_MOVED_FROM | IN_MOVED_TO),
      0);
  ASSERT_EQ(run(), 0) << err;

  std::set<std::string> created, moved_from, moved_to;
  alignas(inotify_event) char buffer[8192];
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
    for (char* at = buffer; at < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      const std::string name = event->len > 0 ? event->name : "";
      if (event->mask & IN_CREATE) created.insert(name);
      if (event->mask & IN_MOVED_FROM) moved_from.insert(name);
      if (event->mask & IN_MOVED_TO) moved_to.insert(name);
      at += sizeof(inotify_event) + event->len;
    }
  }
  ::close(watch);
  EXPECT_EQ(created.size(), 3u);
  for (const std::string& name : created) EXPECT_TRUE(is_temporary_name(name)) << name;
  EXPECT_EQ(moved_from, created);
  EXPECT_EQ(moved_to, (std::set<std::string>{"00001.QRN", "00002.QRN", "SYNCOBJ.QRV"}));
  EXPECT_EQ(folder.temporaries(), 0);
#endif
}

}  // namespace
}  // namespace keldar
