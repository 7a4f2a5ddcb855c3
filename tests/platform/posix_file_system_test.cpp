// What only the Linux layer does, on real temporary folders under /tmp (and,
// where the test may mount, on small tmpfs and read-only bind mounts that
// fail for real: a full disk, a write-protected volume): names that cannot
// be carried, case twins on disk, permission bits, a second volume, mounts.
// What it shares with every file system is held by the contract suite.
#include "platform/posix/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/posix/posix_paths.h"
#include "platform/posix/posix_volume.h"
#include "platform/text.h"

namespace keldar {
namespace {

using posix::match_pattern;

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

class TempFolder {
 public:
  explicit TempFolder(const char* base = "/tmp") {
    std::string pattern = std::string(base) + "/keldar-posix-XXXXXX";
    std::vector<char> text(pattern.begin(), pattern.end());
    text.push_back('\0');
    if (::mkdtemp(text.data()) != nullptr) path_ = text.data();
  }
  ~TempFolder() {
    if (!path_.empty()) ::nftw(path_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A mount made for one test and undone at its end. Needs root; tests that
// need one skip without it.
class TestMount {
 public:
  ~TestMount() {
    if (mounted_) ::umount2(point_.c_str(), MNT_DETACH);
  }
  bool tmpfs(const std::string& point, const char* options) {
    point_ = point;
    mounted_ = ::mount("tmpfs", point.c_str(), "tmpfs", 0, options) == 0;
    return mounted_;
  }
  bool read_only_view(const std::string& source, const std::string& point) {
    point_ = point;
    if (::mount(source.c_str(), point.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
    mounted_ = true;
    return ::mount(nullptr, point.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string point_;
  bool mounted_ = false;
};

void put(const std::string& native, const std::string& data) {
  int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << native;
  ASSERT_EQ(::write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
  ::close(fd);
}

std::string get(const std::string& native) {
  std::string data;
  int fd = ::open(native.c_str(), O_RDONLY);
  if (fd < 0) return "<missing>";
  char buffer[65536];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) data.append(buffer, n);
  ::close(fd);
  return data;
}

std::vector<std::string> names_in(const std::string& native) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(native.c_str());
  if (!dir) return names;
  while (const dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool has_temporaries(const std::string& native) {
  for (const auto& name : names_in(native)) {
    if (is_temporary_name(name)) return true;
  }
  return false;
}

void set_mtime(const std::string& native, time_t seconds, long nanoseconds) {
  struct timespec ts[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, native.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0);
}

mode_t mode_of(const std::string& native) {
  struct stat st;
  return ::lstat(native.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

FileTime file_time(std::int64_t seconds, std::int64_t hundreds) {
  return static_cast<FileTime>(static_cast<std::int64_t>(kFileTimeUnixEpoch) +
                               seconds * 10'000'000 + hundreds);
}

std::string pseudo_random(std::size_t size) {
  std::string data(size, '\0');
  std::uint32_t x = 12345;
  for (char& c : data) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 24);
  }
  return data;
}

class PosixFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(tmp_.path().empty()); }
  // Native (UTF-8) path of a name under the test folder.
  std::string n(const std::string& relative) const { return tmp_.path() + "/" + relative; }
  // The same as the core gives it: Windows-1251.
  std::string p(const std::string& relative_utf8) const { return cp1251(n(relative_utf8)); }

  TempFolder tmp_;
  PosixFileSystem fs_;
};

TEST(PosixPatternTest, FollowsTheWindowsRules) {
  EXPECT_TRUE(match_pattern("*", "README"));
  EXPECT_TRUE(match_pattern("*.*", "README"));
  EXPECT_TRUE(match_pattern("*.*", "a.b.c"));
  EXPECT_TRUE(match_pattern("*.txt", "NOTES.TXT"));
  EXPECT_FALSE(match_pattern("*.txt", "notes.txt.bak"));
  EXPECT_TRUE(match_pattern("report.*", "Report"));
  EXPECT_TRUE(match_pattern("report.*", "REPORT.doc"));
  EXPECT_FALSE(match_pattern("report.*", "reports"));
  EXPECT_TRUE(match_pattern("a?c", "ABC"));
  EXPECT_FALSE(match_pattern("a?c", "ac"));
  EXPECT_FALSE(match_pattern("a?c", "abbc"));
  EXPECT_TRUE(match_pattern("*a*b", "xxaxxbxb"));
  EXPECT_FALSE(match_pattern("*a*b", "xxaxxbxc"));
  EXPECT_TRUE(match_pattern("Exact.Name", "exact.name"));
  // Only ASCII letters are folded: Cyrillic case differs.
  EXPECT_TRUE(match_pattern(cp1251("отчёт*"), cp1251("отчёт.txt")));
  EXPECT_FALSE(match_pattern(cp1251("отчёт*"), cp1251("ОТЧЁТ.txt")));
}

TEST(PosixTimeTest, ConvertsBothWaysAroundTheUnixEpoch) {
  struct timespec ts = {1600000000, 123456789};
  FileTime t = posix::to_file_time(ts);
  EXPECT_EQ(t, file_time(1600000000, 1234567));
  struct timespec back;
  ASSERT_TRUE(posix::from_file_time(t, back));
  EXPECT_EQ(back.tv_sec, 1600000000);
  EXPECT_EQ(back.tv_nsec, 123456700);
  // Before 1970 the seconds are negative and the fraction stays positive.
  ASSERT_TRUE(posix::from_file_time(file_time(-1, 5), back));
  EXPECT_EQ(back.tv_sec, -1);
  EXPECT_EQ(back.tv_nsec, 500);
  EXPECT_EQ(posix::to_file_time(back), file_time(-1, 5));
  EXPECT_FALSE(posix::from_file_time(~FileTime{0}, back));
}

TEST_F(PosixFileSystemTest, SearchReportsEveryKindWithoutFollowingLinks) {
  put(n("data.bin"), std::string(1000, 'x'));
  set_mtime(n("data.bin"), 1600000000, 123456789);
  ASSERT_EQ(::mkdir(n("Sub").c_str(), 0777), 0);
  ASSERT_EQ(::symlink(".", n("loop").c_str()), 0);  // a cycle
  ASSERT_EQ(::symlink("nowhere", n("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(n("pipe").c_str(), 0600), 0);

  std::vector<DirItem> items(3);  // stale content is dropped
  ASSERT_EQ(fs_.search(p(""), "*.*", items), 0);
  std::map<std::string, DirItem> by_name;
  for (const auto& item : items) by_name[item.name] = item;
  ASSERT_EQ(by_name.size(), 5u);
  EXPECT_EQ(by_name.count("."), 0u);
  EXPECT_EQ(by_name["data.bin"].kind, ItemKind::kFile);
  EXPECT_EQ(by_name["data.bin"].size, 1000u);
  EXPECT_EQ(by_name["data.bin"].last_write, file_time(1600000000, 1234567));
  EXPECT_TRUE(by_name["data.bin"].carriable);
  EXPECT_EQ(by_name["Sub"].kind, ItemKind::kFolder);
  EXPECT_EQ(by_name["loop"].kind, ItemKind::kLink);
  EXPECT_EQ(by_name["dangling"].kind, ItemKind::kLink);
  EXPECT_EQ(by_name["pipe"].kind, ItemKind::kOther);

  // A folder given with its separator (or a backslash).
  ASSERT_EQ(fs_.search(tmp_.path() + "/", "DATA.*", items), 0);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, "data.bin");
  ASSERT_EQ(fs_.search(tmp_.path() + "\\", "data.bin", items), 0);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, "data.bin");

  // A configured folder may pass through a link; the link inside is still a link.
  ASSERT_EQ(fs_.search(p("loop"), "lo?p", items), 0);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].kind, ItemKind::kLink);

  EXPECT_EQ(fs_.search(p(""), "*.zip", items), 0);
  EXPECT_TRUE(items.empty());
  EXPECT_EQ(fs_.search(p("missing"), "*.*", items), err::kPathNotFound);
  EXPECT_EQ(fs_.search(p("missing/deeper"), "*.*", items), err::kPathNotFound);
  EXPECT_EQ(fs_.search(p("data.bin"), "*.*", items), err::kDirectory);
}

// "name:size:time" of an item ("name\\" for a folder).
std::string item_line(const std::string& name, bool folder, std::uint64_t size, FileTime time) {
  return name + (folder ? "\\" : "") + ":" + std::to_string(size) + ":" + std::to_string(time);
}

// Big folders are listed a batch of items at a time with their status
// asked ahead on a second thread: every item still comes once, in the
// folder's own order, with its own kind, size and time, while the visitor
// lists the folders inside meanwhile; an item removed before its turn is
// left out, and a visitor that stops ends the listing there.
TEST_F(PosixFileSystemTest, BigFoldersAreListedAsIfItemByItem) {
  constexpr int kFiles = 2500;  // more than two batches
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i);
    put(n(name), std::string(static_cast<std::size_t>(i % 7), 'x'));
    set_mtime(n(name), 1600000000 + i, 0);
  }
  for (const char* sub : {"s1", "s2"}) {
    ASSERT_EQ(::mkdir(n(sub).c_str(), 0777), 0);
    for (int i = 0; i < 100; ++i) put(n(std::string(sub) + "/g" + std::to_string(i)), "g");
  }
  // What a walk of readdir and lstat gives, folder by folder in the
  // listing's order.
  std::function<void(const std::string&, std::vector<std::string>&)> walk =
      [&](const std::string& folder, std::vector<std::string>& out) {
        DIR* dir = ::opendir(folder.c_str());
        ASSERT_NE(dir, nullptr);
        while (const dirent* entry = ::readdir(dir)) {
          const std::string name = entry->d_name;
          if (name == "." || name == "..") continue;
          struct stat st;
          ASSERT_EQ(::lstat((folder + "/" + name).c_str(), &st), 0);
          out.push_back(item_line(name, S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_size),
                                  posix::to_file_time(st.st_mtim)));
          if (S_ISDIR(st.st_mode)) walk(folder + "/" + name, out);
        }
        ::closedir(dir);
      };
  std::vector<std::string> expected;
  walk(tmp_.path(), expected);

  struct Walk final : ItemVisitor {
    bool visit(const DirItem& item) override {
      const bool folder = item.kind == ItemKind::kFolder;
      seen.push_back(item_line(item.name, folder, item.size, item.last_write));
      if (remove_at == static_cast<long>(seen.size())) ::unlink(removed.c_str());
      if (stop_at == static_cast<long>(seen.size())) return false;
      if (folder) {
        EXPECT_EQ(fs->list_folder(root + "/" + item.name, "*", *this), 0);
      }
      return true;
    }
    Walk(PosixFileSystem& fs, const std::string& root) : fs(&fs), root(root) {}
    PosixFileSystem* fs;
    std::string root;
    std::vector<std::string> seen;
    long remove_at = -1;
    std::string removed;
    long stop_at = -1;
  };
  Walk all(fs_, tmp_.path());
  EXPECT_EQ(fs_.list_folder(p(""), "*", all), 0);
  EXPECT_EQ(all.seen, expected);

  // The last file of the folder, in its third batch, removed when the
  // tenth item is visited.
  auto last = std::find_if(expected.rbegin(), expected.rend(),
                           [](const std::string& l) { return l[0] == 'f'; });
  Walk removing(fs_, tmp_.path());
  removing.remove_at = 10;
  removing.removed = n(last->substr(0, last->find(':')));
  EXPECT_EQ(fs_.list_folder(p(""), "*", removing), 0);
  std::vector<std::string> left = expected;
  left.erase(left.begin() + (std::next(last).base() - expected.begin()));
  EXPECT_EQ(removing.seen, left);

  Walk stopping(fs_, tmp_.path());
  stopping.stop_at = 1100;
  EXPECT_EQ(fs_.list_folder(p(""), "*", stopping), 0);
  EXPECT_EQ(stopping.seen.size(), 1100u);
}

TEST_F(PosixFileSystemTest, NamesThatCannotBeCarriedAreMarked) {
  put(n("bad\xFF.txt"), "1");
  put(n("back\\slash.txt"), "2");
  put(n("中文.txt"), "3");  // outside Windows-1251
  put(n("Отчёт.txt"), "Cyrillic");

  std::vector<DirItem> items;
  ASSERT_EQ(fs_.search(p(""), "*.txt", items), 0);
  std::map<std::string, bool> carriable;
  for (const auto& item : items) carriable[item.name] = item.carriable;
  EXPECT_EQ(carriable, (std::map<std::string, bool>{{"bad?.txt", false},
                                                    {"back?slash.txt", false},
                                                    {"??.txt", false},
                                                    {cp1251("Отчёт.txt"), true}}));
  // The same through the patterns that match every name.
  for (const char* every : {"*", "*.*"}) {
    ASSERT_EQ(fs_.search(p(""), every, items), 0);
    carriable.clear();
    for (const auto& item : items) carriable[item.name] = item.carriable;
    EXPECT_EQ(carriable, (std::map<std::string, bool>{{"bad?.txt", false},
                                                      {"back?slash.txt", false},
                                                      {"??.txt", false},
                                                      {cp1251("Отчёт.txt"), true}}))
        << every;
  }

  // A Windows-1251 name reaches the UTF-8 file and back.
  ASSERT_EQ(fs_.copy_file(p("Отчёт.txt"), p("Копия отчёта.txt")), 0);
  EXPECT_EQ(get(n("Копия отчёта.txt")), "Cyrillic");
  std::string data;
  ASSERT_EQ(fs_.read_file(p("Копия отчёта.txt"), data), 0);
  EXPECT_EQ(data, "Cyrillic");
  // Byte 0x98 has no character; a NUL cannot be in a Linux path.
  EXPECT_EQ(fs_.read_file(p("") + "/a\x98", data), err::kInvalidName);
  EXPECT_EQ(fs_.read_file(p("") + std::string("/a\0b", 4), data), err::kInvalidName);
  EXPECT_EQ(fs_.read_file("", data), err::kPathNotFound);
}

TEST_F(PosixFileSystemTest, ExistingComponentsMatchWhateverTheirCase) {
  ASSERT_EQ(::mkdir(n("Docs").c_str(), 0777), 0);
  put(n("Docs/Report.TXT"), "v1");
  put(n("source.txt"), "v3");

  std::string data;
  ASSERT_EQ(fs_.read_file(p("") + "\\docs\\report.txt", data), 0);
  EXPECT_EQ(data, "v1");
  ASSERT_EQ(fs_.write_file(p("DOCS/REPORT.txt"), "v2"), 0);
  ASSERT_EQ(fs_.copy_file(p("SOURCE.TXT"), p("docs/report.TXT")), 0);
  EXPECT_EQ(names_in(n("Docs")), std::vector<std::string>{"Report.TXT"});
  EXPECT_EQ(get(n("Docs/Report.TXT")), "v3");

  // A missing component is made in the spelling given.
  ASSERT_EQ(fs_.create_folder(p("docs/New")), 0);
  EXPECT_EQ(fs_.create_folder(p("DOCS/new")), err::kAlreadyExists);
  ASSERT_EQ(fs_.copy_file(p("source.txt"), p("docs\\NEW\\Fresh.Txt")), 0);
  EXPECT_EQ(names_in(n("Docs")), (std::vector<std::string>{"New", "Report.TXT"}));
  EXPECT_EQ(names_in(n("Docs/New")), std::vector<std::string>{"Fresh.Txt"});
  ItemKind kind;
  ASSERT_EQ(fs_.item_kind(p("DOCS/NEW/FRESH.TXT"), kind), 0);
  EXPECT_EQ(kind, ItemKind::kFile);
  EXPECT_EQ(fs_.item_kind(p("docs/missing/fresh.txt"), kind), err::kPathNotFound);
  DirItem item;
  ASSERT_EQ(fs_.item_info(p("DOCS/NEW/FRESH.TXT"), item), 0);
  EXPECT_EQ(item.kind, ItemKind::kFile);
  EXPECT_EQ(item.size, 2u);
  EXPECT_EQ(fs_.item_info(p("docs/new/missing.txt"), item), err::kFileNotFound);
  EXPECT_EQ(fs_.item_info(p("docs/missing/fresh.txt"), item), err::kPathNotFound);

  // Times too, on the file of the other spelling, and never on a new one.
  FileTimes times;
  times.last_write = file_time(1600000000, 0);
  ASSERT_EQ(fs_.set_times(p("DOCS/new/FRESH.txt"), times), 0);
  EXPECT_EQ(names_in(n("Docs/New")), std::vector<std::string>{"Fresh.Txt"});
  FileTimes got;
  ASSERT_EQ(fs_.get_times(p("Docs/New/Fresh.Txt"), got), 0);
  EXPECT_EQ(got.last_write, file_time(1600000000, 0));
  EXPECT_EQ(fs_.set_times(p("docs/new/missing.txt"), times), err::kFileNotFound);
}

TEST_F(PosixFileSystemTest, TwoSpellingsOfOneNameResolveToTheFirstListed) {
  ASSERT_EQ(::mkdir(n("d").c_str(), 0777), 0);
  put(n("d/dup.txt"), "lower");
  put(n("d/DUP.TXT"), "upper");
  std::vector<DirItem> items;
  ASSERT_EQ(fs_.search(p("d"), "*.*", items), 0);
  ASSERT_EQ(items.size(), 2u);
  std::string first = get(n("d/" + items[0].name));

  std::string data;
  ASSERT_EQ(fs_.read_file(p("d/Dup.txt"), data), 0);
  EXPECT_EQ(data, first);
  ASSERT_EQ(fs_.read_file(p("d/DUP.TXT"), data), 0);  // the exact spelling comes first
  EXPECT_EQ(data, "upper");
  ASSERT_EQ(fs_.write_file(p("d/dUp.TxT"), "new"), 0);
  EXPECT_EQ(get(n("d/" + items[0].name)), "new");
  EXPECT_EQ(names_in(n("d")).size(), 2u);
}

TEST_F(PosixFileSystemTest, CaseLookupSeesChangesMadeByOthers) {
  ASSERT_EQ(::mkdir(n("many").c_str(), 0777), 0);
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(fs_.write_file(p("many/f" + std::to_string(i) + ".txt"), "x"), 0);
  }
  // Another program adds a file after this process listed the folder. The
  // pause puts it past the folder time's clock tick, which older kernels
  // keep coarse.
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  put(n("many/Later.TXT"), "theirs");
  std::string data;
  ASSERT_EQ(fs_.read_file(p("many/later.txt"), data), 0);
  EXPECT_EQ(data, "theirs");
  // Removed through this process: the next write makes the spelling given.
  ASSERT_EQ(fs_.delete_file(p("many/LATER.txt")), 0);
  ASSERT_EQ(fs_.write_file(p("many/later.txt"), "mine"), 0);
  EXPECT_EQ(get(n("many/later.txt")), "mine");
  EXPECT_EQ(get(n("many/Later.TXT")), "<missing>");
  // Another program renames under the same folder.
  std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_EQ(::rename(n("many/f7.txt").c_str(), n("many/Seven.txt").c_str()), 0);
  ASSERT_EQ(fs_.read_file(p("many/SEVEN.TXT"), data), 0);
  EXPECT_EQ(names_in(n("many")).size(), 51u);
}

TEST_F(PosixFileSystemTest, LinksAndSpecialFilesAreNeverFollowedOrRead) {
  ASSERT_EQ(::mkdir(n("real").c_str(), 0777), 0);
  put(n("real/inside.txt"), "target");
  set_mtime(n("real/inside.txt"), 1000000000, 0);
  ASSERT_EQ(::symlink("real", n("alias").c_str()), 0);
  ASSERT_EQ(::symlink("real/inside.txt", n("file_link").c_str()), 0);
  ASSERT_EQ(::mkfifo(n("pipe").c_str(), 0600), 0);

  ItemKind kind;
  ASSERT_EQ(fs_.item_kind(p("alias"), kind), 0);
  EXPECT_EQ(kind, ItemKind::kLink);
  ASSERT_EQ(fs_.item_kind(p("ALIAS"), kind), 0);  // found by case, still not followed
  EXPECT_EQ(kind, ItemKind::kLink);
  ASSERT_EQ(fs_.item_kind(p("alias/inside.txt"), kind), 0);  // a link inside a path resolves
  EXPECT_EQ(kind, ItemKind::kFile);
  ASSERT_EQ(fs_.item_kind(p("pipe"), kind), 0);
  EXPECT_EQ(kind, ItemKind::kOther);

  EXPECT_EQ(fs_.copy_file(p("file_link"), p("copy.txt")), err::kAccessDenied);
  EXPECT_EQ(fs_.copy_file(p("pipe"), p("copy.txt")), err::kAccessDenied);  // must not block
  std::string data;
  EXPECT_EQ(fs_.read_file(p("pipe"), data), err::kAccessDenied);
  EXPECT_EQ(get(n("copy.txt")), "<missing>");

  FileTimes times;
  times.last_write = file_time(1200000000, 0);
  ASSERT_EQ(fs_.set_times(p("file_link"), times), 0);
  ASSERT_EQ(fs_.get_times(p("real/inside.txt"), times), 0);
  EXPECT_EQ(times.last_write, file_time(1000000000, 0));

  ASSERT_EQ(fs_.delete_file(p("alias")), 0);
  EXPECT_EQ(get(n("real/inside.txt")), "target");
  EXPECT_EQ(fs_.remove_folder(p("file_link")), err::kDirectory);
}

TEST_F(PosixFileSystemTest, CopyKeepsContentsTimeAndPermissions) {
  std::string contents = pseudo_random(3 * 1024 * 1024 + 17);
  put(n("big.bin"), contents);
  set_mtime(n("big.bin"), 1500000000, 987654321);
  ASSERT_EQ(::chmod(n("big.bin").c_str(), 0640), 0);
  put(n("old.bin"), "old");
  ASSERT_EQ(::chmod(n("old.bin").c_str(), 0444), 0);
  ASSERT_EQ(fs_.set_normal_attributes(p("old.bin")), 0);
  EXPECT_EQ(mode_of(n("old.bin")), 0644u);

  ASSERT_EQ(fs_.copy_file(p("big.bin"), p("old.bin")), 0);
  EXPECT_TRUE(get(n("old.bin")) == contents);
  EXPECT_EQ(mode_of(n("old.bin")), 0640u);
  FileTimes times;
  ASSERT_EQ(fs_.get_times(p("old.bin"), times), 0);
  EXPECT_EQ(times.last_write, file_time(1500000000, 9876543));
  EXPECT_FALSE(has_temporaries(tmp_.path()));

  put(n("empty"), "");
  ASSERT_EQ(fs_.copy_file(p("empty"), p("empty copy")), 0);
  EXPECT_EQ(get(n("empty copy")), "");

  // The copies are written out together; a folder removed since does not
  // keep its volume from being flushed.
  ASSERT_EQ(::mkdir(n("gone").c_str(), 0777), 0);
  ASSERT_EQ(fs_.copy_file(p("empty"), p("gone/copy")), 0);
  ASSERT_EQ(::unlink(n("gone/copy").c_str()), 0);
  ASSERT_EQ(::rmdir(n("gone").c_str()), 0);
  EXPECT_EQ(fs_.flush(), 0);
  EXPECT_EQ(fs_.flush(), 0);
  EXPECT_TRUE(get(n("old.bin")) == contents);

  // Copies wait for flush() open, a few of them or many; none stays open
  // after it.
  auto open_descriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto before = open_descriptors();
  for (int count : {3, 100}) {
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(fs_.copy_file(p("old.bin"), p("many " + std::to_string(i))), 0);
    }
    EXPECT_EQ(fs_.flush(), 0) << count;
    EXPECT_EQ(open_descriptors(), before) << count;
  }
}

// A copy is kept open for the flush with what closing it would report
// asked first; without a descriptor to spare for that, it is closed before
// it takes the destination's place, and the flush waits for its volume.
TEST_F(PosixFileSystemTest, ACopyWithoutASpareDescriptorIsClosedBeforeTheRename) {
  put(n("src"), "new");
  put(n("dst"), "old");
  struct rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old_limit), 0);
  struct rlimit low = old_limit;
  low.rlim_cur = std::min<rlim_t>(old_limit.rlim_cur, 256);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> fillers;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(fd);
  // Room for the source and the temporary only.
  for (int i = 0; i < 2 && !fillers.empty(); ++i) {
    ::close(fillers.back());
    fillers.pop_back();
  }
  const int copied = fs_.copy_file(p("src"), p("dst"));
  for (int fd : fillers) ::close(fd);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old_limit), 0);
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(fs_.flush(), 0);
  EXPECT_EQ(get(n("dst")), "new");
  EXPECT_FALSE(has_temporaries(tmp_.path()));
}

TEST_F(PosixFileSystemTest, FailedCopyLeavesTheDestinationAsItWas) {
  put(n("source.txt"), std::string(200 * 1024, 's'));
  put(n("keep.txt"), "precious");
  ASSERT_EQ(::mkdir(n("Sub").c_str(), 0777), 0);

  EXPECT_EQ(fs_.copy_file(p("missing.txt"), p("keep.txt")), err::kFileNotFound);
  EXPECT_EQ(fs_.copy_file(p("nofolder/x.txt"), p("keep.txt")), err::kPathNotFound);
  EXPECT_EQ(fs_.copy_file(p("Sub"), p("keep.txt")), err::kAccessDenied);
  EXPECT_EQ(get(n("keep.txt")), "precious");
  EXPECT_EQ(fs_.copy_file(p("source.txt"), p("nofolder/x.txt")), err::kPathNotFound);
  EXPECT_EQ(get(n("nofolder")), "<missing>");
  EXPECT_EQ(fs_.copy_file(p("source.txt"), p("Sub")), err::kAccessDenied);
  EXPECT_TRUE(names_in(n("Sub")).empty());
  EXPECT_FALSE(has_temporaries(tmp_.path()));

  // A destination volume that fills up during the copy.
  ASSERT_EQ(::mkdir(n("small").c_str(), 0777), 0);
  TestMount small;
  if (!small.tmpfs(n("small"), "size=64k")) GTEST_SKIP() << "cannot mount tmpfs";
  put(n("small/keep.txt"), "precious");
  EXPECT_EQ(fs_.copy_file(p("source.txt"), p("small/KEEP.TXT")), err::kDiskFull);
  EXPECT_EQ(get(n("small/keep.txt")), "precious");
  EXPECT_EQ(names_in(n("small")), std::vector<std::string>{"keep.txt"});
}

TEST_F(PosixFileSystemTest, WriteFileReplacesWholeOrNotAtAll) {
  ASSERT_EQ(fs_.write_file(p("cfg.dat"), "first"), 0);
  ASSERT_EQ(::chmod(n("cfg.dat").c_str(), 0600), 0);
  ASSERT_EQ(fs_.write_file(p("CFG.DAT"), "second"), 0);
  EXPECT_EQ(get(n("cfg.dat")), "second");
  EXPECT_EQ(mode_of(n("cfg.dat")), 0600u);
  EXPECT_EQ(fs_.write_file(p("cfg.dat/inner"), "x"), err::kPathNotFound);
  EXPECT_EQ(fs_.write_file(p("nofolder/cfg.dat"), "x"), err::kPathNotFound);
  std::string data;
  EXPECT_EQ(fs_.read_file(p("nothing.dat"), data), err::kFileNotFound);
  EXPECT_EQ(fs_.read_file(p("nofolder/nothing.dat"), data), err::kPathNotFound);

  ASSERT_EQ(::mkdir(n("small").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(n("ro").c_str(), 0777), 0);
  TestMount small, read_only;
  if (!small.tmpfs(n("small"), "size=64k")) GTEST_SKIP() << "cannot mount tmpfs";
  ASSERT_EQ(fs_.write_file(p("small/list.qrn"), "old"), 0);
  EXPECT_EQ(fs_.write_file(p("small/list.qrn"), std::string(256 * 1024, 'n')), err::kDiskFull);
  EXPECT_EQ(get(n("small/list.qrn")), "old");
  EXPECT_EQ(names_in(n("small")), std::vector<std::string>{"list.qrn"});

  ASSERT_TRUE(read_only.read_only_view(n("small"), n("ro")));
  EXPECT_EQ(fs_.write_file(p("ro/list.qrn"), "new"), err::kWriteProtect);
  EXPECT_EQ(get(n("ro/list.qrn")), "old");
  EXPECT_EQ(names_in(n("small")), std::vector<std::string>{"list.qrn"});
}

TEST_F(PosixFileSystemTest, AppendFileBuffersAndReportsTheFirstErrorAtClose) {
  std::unique_ptr<AppendFile> file;
  ASSERT_EQ(fs_.open_append(p("log.txt"), false, file), 0);
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    std::string line = "line " + std::to_string(i) + "\r\n";
    ASSERT_EQ(file->append(line), 0);
    expected += line;
  }
  ASSERT_EQ(file->close(), 0);
  EXPECT_EQ(get(n("log.txt")), expected);

  ASSERT_EQ(fs_.open_append(p("LOG.TXT"), false, file), 0);
  ASSERT_EQ(file->append("more"), 0);
  ASSERT_EQ(file->close(), 0);
  EXPECT_EQ(get(n("log.txt")), expected + "more");
  ASSERT_EQ(fs_.open_append(p("log.txt"), true, file), 0);
  ASSERT_EQ(file->append("fresh"), 0);
  file.reset();  // closing on destruction also writes
  EXPECT_EQ(get(n("log.txt")), "fresh");
  EXPECT_EQ(fs_.open_append(p("nofolder/log.txt"), false, file), err::kPathNotFound);

  ASSERT_EQ(::mkdir(n("small").c_str(), 0777), 0);
  TestMount small;
  if (!small.tmpfs(n("small"), "size=64k")) GTEST_SKIP() << "cannot mount tmpfs";
  ASSERT_EQ(fs_.open_append(p("small/log.txt"), false, file), 0);
  int first_error = 0;
  for (int i = 0; i < 64 && first_error == 0; ++i)
    first_error = file->append(std::string(4096, 'a'));
  EXPECT_EQ(file->close(), err::kDiskFull);
}

// A link in place of an appended or moved file (the log) is refused or
// replaced, never written through.
TEST_F(PosixFileSystemTest, AppendAndMoveNeverWriteThroughALink) {
  put(n("target.txt"), "keep");
  ASSERT_EQ(::symlink(n("target.txt").c_str(), n("log").c_str()), 0);
  std::unique_ptr<AppendFile> file;
  EXPECT_EQ(fs_.open_append(p("log"), false, file), err::kAccessDenied);
  EXPECT_EQ(fs_.open_append(p("LOG"), true, file), err::kAccessDenied);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(get(n("target.txt")), "keep");

  auto is_link = [](const std::string& native) {
    struct stat st;
    return ::lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  };
  put(n("run.log"), "lines");
  ASSERT_EQ(fs_.move_file(p("run.log"), p("log")), 0);
  EXPECT_FALSE(is_link(n("log")));
  EXPECT_EQ(get(n("log")), "lines");
  EXPECT_EQ(get(n("target.txt")), "keep");

  struct stat here, shm;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(tmp_.path().c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev) {
    GTEST_SKIP() << "no second volume at /dev/shm";
  }
  TempFolder other("/dev/shm");
  ASSERT_FALSE(other.path().empty());
  put(other.path() + "/run.log", "more lines");
  ASSERT_EQ(::unlink(n("log").c_str()), 0);
  ASSERT_EQ(::symlink(n("target.txt").c_str(), n("log").c_str()), 0);
  ASSERT_EQ(fs_.move_file(other.path() + "/run.log", p("log")), 0);
  EXPECT_FALSE(is_link(n("log")));
  EXPECT_EQ(get(n("log")), "more lines");
  EXPECT_EQ(get(n("target.txt")), "keep");
}

TEST_F(PosixFileSystemTest, MoveFileWithinAndAcrossVolumes) {
  put(n("a.txt"), "moved");
  put(n("b.txt"), "replaced");
  ASSERT_EQ(fs_.move_file(p("A.TXT"), p("B.txt")), 0);
  EXPECT_EQ(names_in(tmp_.path()), std::vector<std::string>{"b.txt"});
  EXPECT_EQ(get(n("b.txt")), "moved");
  EXPECT_EQ(fs_.move_file(p("a.txt"), p("b.txt")), err::kFileNotFound);
  EXPECT_EQ(fs_.move_file(p("b.txt"), p("nofolder/b.txt")), err::kPathNotFound);
  EXPECT_EQ(get(n("b.txt")), "moved");

  struct stat here, shm;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(tmp_.path().c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev) {
    GTEST_SKIP() << "no second volume at /dev/shm";
  }
  TempFolder other("/dev/shm");
  ASSERT_FALSE(other.path().empty());
  set_mtime(n("b.txt"), 1400000000, 555555500);
  put(other.path() + "/b.txt", "old");
  ASSERT_EQ(fs_.move_file(p("b.txt"), other.path() + "/B.TXT"), 0);
  EXPECT_EQ(get(other.path() + "/b.txt"), "moved");
  EXPECT_EQ(names_in(other.path()), std::vector<std::string>{"b.txt"});
  EXPECT_EQ(get(n("b.txt")), "<missing>");
  FileTimes times;
  ASSERT_EQ(fs_.get_times(other.path() + "/b.txt", times), 0);
  EXPECT_EQ(times.last_write, file_time(1400000000, 5555555));
}

TEST_F(PosixFileSystemTest, VolumesAndFreeSpace) {
  VolumeInfo info;
  ASSERT_EQ(fs_.volume(p(""), info), 0);
  EXPECT_TRUE(info.exact_times);
  EXPECT_EQ(info.fs_name, "NTFS");
  EXPECT_EQ(fs_.volume(p("missing"), info), err::kPathNotFound);
  EXPECT_EQ(fs_.volume(p("missing/deeper"), info), err::kPathNotFound);

  ASSERT_EQ(::mkdir(n("small").c_str(), 0777), 0);
  TestMount small;
  if (!small.tmpfs(n("small"), "size=1m")) GTEST_SKIP() << "cannot mount tmpfs";
  VolumeInfo small_info;
  ASSERT_EQ(fs_.volume(p("small"), small_info), 0);
  EXPECT_TRUE(small_info.exact_times);
  EXPECT_NE(small_info.serial, info.serial);
  FreeSpace space;
  ASSERT_EQ(fs_.free_space(p("small"), space), 0);
  EXPECT_EQ(space.bytes_per_sector, 512u);
  struct statvfs vfs;
  ASSERT_EQ(::statvfs(n("small").c_str(), &vfs), 0);
  EXPECT_EQ(space.sectors_per_cluster * space.bytes_per_sector, vfs.f_frsize);
  EXPECT_EQ(space.free_clusters * vfs.f_frsize, 1024u * 1024u);
  EXPECT_EQ(space.total_clusters * vfs.f_frsize, 1024u * 1024u);
  put(n("small/fill"), std::string(256 * 1024, 'f'));
  ASSERT_EQ(fs_.free_space(p("small"), space), 0);
  EXPECT_EQ(space.free_clusters * vfs.f_frsize, 768u * 1024u);
  EXPECT_EQ(fs_.free_space(p("missing"), space), err::kPathNotFound);
}

TEST_F(PosixFileSystemTest, FolderIdentityTellsFoldersApartWithoutFollowingLinks) {
  ASSERT_EQ(::mkdir(n("Folder").c_str(), 0777), 0);
  put(n("file"), "x");
  ASSERT_EQ(::symlink(n("Folder").c_str(), n("link").c_str()), 0);
  FolderIdentity id, other;
  ASSERT_EQ(fs_.folder_identity(p("Folder"), id), 0);
  ASSERT_EQ(fs_.folder_identity(p("FOLDER/"), other), 0);
  EXPECT_EQ(other, id);
  ASSERT_EQ(fs_.folder_identity(p(""), other), 0);
  EXPECT_NE(other, id);
  EXPECT_EQ(fs_.folder_identity(p("file"), other), err::kDirectory);
  EXPECT_EQ(fs_.folder_identity(p("link/"), other), err::kDirectory);
  EXPECT_EQ(fs_.folder_identity(p("missing"), other), err::kFileNotFound);
  EXPECT_EQ(fs_.folder_identity(p("missing/deeper"), other), err::kPathNotFound);

  TestMount over;
  if (!over.tmpfs(n("Folder"), "size=64k")) GTEST_SKIP() << "cannot mount tmpfs";
  ASSERT_EQ(fs_.folder_identity(p("Folder"), other), 0);
  EXPECT_NE(other, id) << "a volume mounted over the folder";
}

TEST(PosixMountTableTest, ParsesEntriesAndFindsTheMountOfAPath) {
  const char* table =
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "45 27 0:40 / /mnt/usb\\040stick rw,nosuid shared:5 - fuse.fusefat fusefat rw\n"
      "47 27 7:0 / /mnt/win rw,relatime - fuseblk /dev/loop0 rw,blksize=4096\n"
      "48 27 0:41 / /mnt/win rw,relatime - tmpfs tmpfs rw\n"
      "broken line\n";
  auto mounts = posix::parse_mountinfo(table);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[1].mount_point, "/mnt/usb stick");
  EXPECT_EQ(mounts[1].fs_type, "fuse.fusefat");
  EXPECT_EQ(mounts[2].source, "/dev/loop0");
  EXPECT_EQ(mounts[2].major, 7u);

  EXPECT_EQ(posix::find_mount(mounts, 9, 9, "/mnt/usb stick/a/b")->fs_type, "fuse.fusefat");
  EXPECT_EQ(posix::find_mount(mounts, 9, 9, "/mnt/usb sticky")->fs_type, "ext4");
  EXPECT_EQ(posix::find_mount(mounts, 9, 9, "/mnt/win/x")->fs_type, "tmpfs");  // on top
  EXPECT_EQ(posix::find_mount(mounts, 7, 0, "/elsewhere/x")->fs_type, "fuseblk");
}

TEST(PosixMountTableTest, TellsVolumeKindsByTypeSectorAndUdev) {
  using posix::TimeKind;
  EXPECT_EQ(posix::time_kind_of_type("vfat"), TimeKind::kFatLike);
  EXPECT_EQ(posix::time_kind_of_type("exfat"), TimeKind::kFatLike);
  EXPECT_EQ(posix::time_kind_of_type("fuse.fusefat"), TimeKind::kFatLike);
  EXPECT_EQ(posix::time_kind_of_type("fuse.exfat"), TimeKind::kFatLike);
  EXPECT_EQ(posix::time_kind_of_type("fuseblk.ntfs-3g"), TimeKind::kExact);
  EXPECT_EQ(posix::time_kind_of_type("fuse.sshfs"), TimeKind::kExact);
  EXPECT_EQ(posix::time_kind_of_type("ext4"), TimeKind::kExact);
  EXPECT_EQ(posix::time_kind_of_type("fuseblk"), TimeKind::kUnknown);

  std::string sector(512, '\0');
  EXPECT_EQ(posix::time_kind_of_boot_sector(sector), TimeKind::kUnknown);
  EXPECT_EQ(posix::time_kind_of_boot_sector("short"), TimeKind::kUnknown);
  std::string ntfs = sector;
  ntfs.replace(0, 11, "\xEB\x52\x90NTFS    ");
  EXPECT_EQ(posix::time_kind_of_boot_sector(ntfs), TimeKind::kExact);
  std::string exfat = sector;
  exfat.replace(0, 11,
                "\xEB\x76\x90"
                "EXFAT   ");
  EXPECT_EQ(posix::time_kind_of_boot_sector(exfat), TimeKind::kFatLike);
  std::string fat32 = sector;
  fat32.replace(0, 3, "\xEB\x58\x90");
  fat32[11] = 0x00;
  fat32[12] = 0x02;  // 512 bytes per sector
  fat32.replace(82, 8, "FAT32   ");
  EXPECT_EQ(posix::time_kind_of_boot_sector(fat32), TimeKind::kFatLike);
  fat32[0] = 0;  // no jump: not a boot sector
  EXPECT_EQ(posix::time_kind_of_boot_sector(fat32), TimeKind::kUnknown);

  EXPECT_EQ(posix::time_kind_of_udev_record("S:disk/by-uuid/x\nE:ID_FS_TYPE=exfat\n"),
            TimeKind::kFatLike);
  EXPECT_EQ(posix::time_kind_of_udev_record("E:ID_FS_TYPE=ntfs\n"), TimeKind::kExact);
  EXPECT_EQ(posix::time_kind_of_udev_record("E:ID_FS_USAGE=filesystem\n"), TimeKind::kUnknown);
}

}  // namespace
}  // namespace keldar
