// The lists on a real Linux folder: Windows-1251 names from UTF-8 file
// names, nested folders, links that are never followed, the two-second
// rounding written back to the disk, and removal of a carrier folder.
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "lists/list_file.h"
#include "lists/removal.h"
#include "lists/scan.h"
#include "lists_fixture.h"
#include "platform/posix/posix_file_system.h"

namespace keldar::lists_test {
namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::chmod(path, 0755);
  ::remove(path);
  return 0;
}

class PosixListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.set_now(kJune15);

    char pattern[] = "/tmp/keldar-lists-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    base = pattern;
    work = base + "/work";
    carrier = base + "/carrier";
    outside = base + "/outside";
    for (const auto& folder : {work, carrier, outside}) ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    make_file(outside + "/keep.txt", "outside");

    ctx.carrier.folder = carrier + "/";
    ctx.computer = 0;
    ctx.carrier.exact_times = true;
    ctx.stop.reset();
    ObjectRecord& r = ctx.objects.new_object();
    r.set_id(7);
    r.set_allow_nested(true);
    ASSERT_TRUE(r.set_path(0, work + "/*.*"));
    ASSERT_TRUE(ctx.objects.commit_new_object());
  }
  void TearDown() override {
    if (!base.empty()) ::nftw(base.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }

  static void make_file(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary);
    out << contents;
  }
  static void make_folder(const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0); }
  static void set_mtime(const std::string& path, std::int64_t seconds, long nanoseconds) {
    struct timespec ts[2] = {{static_cast<time_t>(seconds), nanoseconds},
                             {static_cast<time_t>(seconds), nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << path;
  }
  static struct timespec mtime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mtim;
  }
  static bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }
  std::set<std::string> name_set() {
    std::set<std::string> out;
    for (const auto& e : ctx.lists.list(0).entries) out.emplace(e.name());
    return out;
  }

  PosixFileSystem fs;
  FixedClock clock;
  StoppingHost host;
  TestLog log;
  TestContext ctx{fs, clock, host, log};
  std::string base, work, carrier, outside;

 private:
  ScopedTimeZone time_zone_{"MSK-3"};
};

TEST_F(PosixListsTest, ATreeOfCyrillicNamesIsListedAndWrittenInWindows1251) {
  VolumeInfo volume;
  ASSERT_EQ(fs.volume(work, volume), err::kOk);
  if (!volume.exact_times) GTEST_SKIP() << "/tmp keeps two-second times here";

  make_file(work + "/Отчёт.txt", "lower");
  make_file(work + "/ОТЧЁТ.TXT", "upper");
  make_folder(work + "/Папка");
  make_folder(work + "/Папка/Вложенная");
  make_file(work + "/Папка/Вложенная/файл.doc", "deep");
  make_file(work + "/Папка/readme", "r");
  ASSERT_EQ(::symlink(outside.c_str(), (work + "/ссылка").c_str()), 0);
  ASSERT_EQ(::symlink(".", (work + "/Папка/петля").c_str()), 0);
  make_file(work + "/~kld42-1.tmp", "left over");
  make_file(work + "/a:b.txt", "no Windows name");
  make_file(work + "/bad\xFFname", "not UTF-8");
  make_folder(carrier + "/00007");
  make_file(carrier + "/00007/Отчёт.txt", "on the carrier");

  set_mtime(work + "/Отчёт.txt", kJune15 + 1, 500000000);  // 10:00:01.5
  set_mtime(work + "/ОТЧЁТ.TXT", kJune15 + 1, 0);          // 10:00:01.0
  set_mtime(work + "/Папка/Вложенная/файл.doc", kJune15 + 2, 0);
  set_mtime(work + "/Папка/readme", kJune15 + 3, 999999999);
  set_mtime(carrier + "/00007/Отчёт.txt", kJune15 + 5, 500000000);
  set_mtime(work + "/Папка/Вложенная", kJune15 + 8, 0);
  set_mtime(work + "/Папка", kJune15 + 10, 0);
  set_mtime(work, kJune15 + 12, 0);

  ASSERT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  const std::string w = work + "/";
  std::vector<std::string> expected_lines = {
      u("Ссылка не обрабатывается: ") + w + u("ссылка"),
      u("Ссылка не обрабатывается: ") + w + u("Папка/петля"),
      u("Удален временный файл ") + w + "~kld42-1.tmp",
      u("Имя не может быть перенесено, не обрабатывается: ") + w + "a:b.txt",
      u("Имя не может быть перенесено, не обрабатывается: ") + w + "bad?name",
  };
  std::vector<std::string> item_lines(log.lines.begin() + 1, log.lines.end() - 2);
  std::sort(item_lines.begin(), item_lines.end());
  std::sort(expected_lines.begin(), expected_lines.end());
  EXPECT_EQ(item_lines, expected_lines) << "in the order the folder lists them";
  EXPECT_EQ(log.lines.front(), u("Заполнение локальных списков файлов..."));
  EXPECT_EQ(log.lines[log.lines.size() - 2], "+7        ->" + work + "/*.*");

  EXPECT_EQ(name_set(),
            (std::set<std::string>{"\\", u("Отчёт.txt"), u("ОТЧЁТ.TXT"), u("Папка\\"),
                                   u("Папка\\Вложенная\\"), u("Папка\\Вложенная\\файл.doc"),
                                   u("Папка\\readme")}));
  FileList& list = ctx.lists.list(0);
  EXPECT_TRUE(list.exact_object);
  EXPECT_EQ(list.find(u("Отчёт.txt"))->object_stamp, (kJune15 + 2) | kExact);
  EXPECT_EQ(list.find(u("Отчёт.txt"))->carrier_stamp, (kJune15 + 6) | kExact);
  EXPECT_EQ(list.find(u("ОТЧЁТ.TXT"))->object_stamp, kJune15 | kExact);
  EXPECT_EQ(list.find(u("ОТЧЁТ.TXT"))->carrier_stamp, 0u);
  EXPECT_EQ(list.find(u("Папка\\readme"))->object_stamp, (kJune15 + 4) | kExact);
  EXPECT_EQ(list.find(u("Папка\\Вложенная\\"))->object_stamp, (kJune15 + 8) | kExact);
  EXPECT_EQ(list.find("\\")->object_stamp, (kJune15 + 12) | kExact);

  // The rounded times are on the disk now; whole two seconds are left alone.
  struct Expect {
    std::string path;
    std::int64_t seconds;
  };
  for (const Expect& e :
       {Expect{work + "/Отчёт.txt", kJune15 + 2}, Expect{work + "/ОТЧЁТ.TXT", kJune15},
        Expect{work + "/Папка/Вложенная/файл.doc", kJune15 + 2},
        Expect{work + "/Папка/readme", kJune15 + 4},
        Expect{carrier + "/00007/Отчёт.txt", kJune15 + 6}}) {
    SCOPED_TRACE(e.path);
    EXPECT_EQ(mtime(e.path).tv_sec, e.seconds);
    EXPECT_EQ(mtime(e.path).tv_nsec, 0);
  }
  EXPECT_FALSE(exists(work + "/~kld42-1.tmp"));
  EXPECT_TRUE(exists(work + "/a:b.txt"));
  EXPECT_TRUE(exists(outside + "/keep.txt"));

  log.lines.clear();
  ASSERT_TRUE(write_lists(ctx.env, ctx));
  EXPECT_EQ(log.lines, std::vector<std::string>{"    7->" + carrier + "/00007.QRN"});
  std::string data;
  ASSERT_EQ(fs.read_file(carrier + "/00007.QRN", data), err::kOk);
  EXPECT_EQ(data.substr(0, 5), std::string("\xE5\x01\x00\x00\x00", 5));
  const std::string deep =
      "\xCF\xE0\xEF\xEA\xE0\\\xC2\xEB\xEE\xE6\xE5\xED\xED\xE0\xFF\\\xF4\xE0\xE9\xEB.doc";
  ASSERT_EQ(deep, u("Папка\\Вложенная\\файл.doc"));
  EXPECT_NE(data.find(std::string("\x18\x00\x00", 3) + deep), std::string::npos)
      << "length 24, state 0, the name with backslashes";
  bool opened = false;
  EXPECT_EQ(load_list_file(ctx.env, ctx.object_run(0), opened), 7);
  EXPECT_TRUE(opened);
  EXPECT_EQ(name_set().count(deep), 1u);
}

TEST_F(PosixListsTest, AMissingObjectFolderIsOnTheVolumeOfItsParent) {
  ASSERT_EQ(::rmdir(work.c_str()), 0);
  VolumeInfo parent;
  ASSERT_EQ(fs.volume(base, parent), err::kOk);
  ASSERT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines,
            (std::vector<std::string>{u("Заполнение локальных списков файлов..."),
                                      "+1        ->" + work + "/*.*", std::string(76, '-')}));
  FileList& list = ctx.lists.list(0);
  EXPECT_TRUE(list.object_present);
  EXPECT_EQ(list.exact_object, parent.exact_times);
  EXPECT_EQ(list.find("\\")->object_stamp,
            (parent.serial & ~1u & ~kExact) | (parent.exact_times ? kExact : 0u))
      << "the root stamp of a missing folder is the volume's serial number";
}

TEST_F(PosixListsTest, ALinkInPlaceOfTheCarrierFolderIsNeverFollowed) {
  ASSERT_EQ(::symlink(outside.c_str(), (carrier + "/00007").c_str()), 0);
  ASSERT_EQ(fill_all_lists(ctx.env, ctx, Leftovers::kRemove), 0);
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           u("Заполнение локальных списков файлов..."),
                           u("На носителе вместо папки объекта не папка, не обрабатывается: ") +
                               carrier + "/00007",
                           "+1        ->" + work + "/*.*", std::string(76, '-')}));
  EXPECT_EQ(name_set(), std::set<std::string>{"\\"});
  EXPECT_EQ(ctx.lists.list(0).find("\\")->carrier_stamp, 0u);
}

TEST_F(PosixListsTest, DeletingTheObjectsListRemovesItsCarrierFolderButNoLinkTarget) {
  const std::string folder = carrier + "/00007";
  make_file(carrier + "/00007.QRN", "list");
  make_folder(folder);
  make_folder(folder + "/Папка");
  make_folder(folder + "/Папка/Пустая");
  make_folder(folder + "/Папка/Пустая/Совсем");
  make_file(folder + "/Папка/файл.txt", "f");
  make_file(folder + "/только чтение.txt", "r");
  ASSERT_EQ(::chmod((folder + "/только чтение.txt").c_str(), 0444), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (folder + "/link").c_str()), 0);
  ASSERT_EQ(::symlink((outside + "/keep.txt").c_str(), (folder + "/Папка/file link").c_str()), 0);
  ASSERT_TRUE(ctx.lists.create(1));

  delete_object_list(ctx.env, ctx, ctx.current_object);
  EXPECT_FALSE(exists(folder));
  EXPECT_FALSE(exists(carrier + "/00007.QRN"));
  EXPECT_TRUE(exists(outside + "/keep.txt"));
  EXPECT_FALSE(ctx.lists.held());

  // A link in place of the carrier folder: the link goes, its target stays.
  ASSERT_EQ(::symlink(outside.c_str(), folder.c_str()), 0);
  delete_object_list(ctx.env, ctx, ctx.current_object);
  EXPECT_FALSE(exists(folder));
  EXPECT_TRUE(exists(outside + "/keep.txt"));
}

}  // namespace
}  // namespace keldar::lists_test
