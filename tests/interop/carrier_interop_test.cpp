// One carrier shared by a Linux computer and two Windows computers, each the
// real program run as a process in the carrier folder: keldar built here,
// and keldar.exe of the Windows build under Wine. Round after round, files
// are made, changed, deleted and fought over on all three; after every
// round each object folder holds the expected files with their times.
//
// The same rounds run at the same time in a twin world whose three
// computers are all the Linux program, and after every run the list file
// on both carriers must be the same bytes, the carrier folders the same
// files: the stamps, states and names that the Windows program writes are
// those the Linux program writes. The test sets every file's time; folders
// get one fixed time before every run, in both worlds, since their times
// otherwise tell when a copy was made.
//
// Needs the Windows build: KELDAR_WINDOWS_BUILD names its folder (with
// programs/keldar.exe), WINEPREFIX the Wine prefix (by default the build
// folder's wineprefix/); scripts/test.sh sets both. The worlds lie on the
// root file system's volume, the one Wine can describe (fakes/wine.h); the
// Windows computers keep their identification files in the prefix (first
// argument 1 and 2).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/wine.h"
#include "format/list_file.h"
#include "platform/posix/posix_file_system.h"
#include "platform/text.h"
#include "store/mask_table.h"
#include "store/object_table.h"

namespace keldar {
namespace {

namespace fs = std::filesystem;

// Files below a folder: relative path ('/' between names) -> "contents@seconds".
using Tree = std::map<std::string, std::string>;

constexpr std::int64_t kT0 = 1700000000;                // even seconds throughout
constexpr std::int64_t kFolderTime = kT0 - 10'000'000;  // every folder's, before each run
// A zone without daylight time, not the machine's: the start line's time
// shows that Wine took it too.
constexpr const char* kZone = "MSK-3";
constexpr std::int64_t kZoneOffset = 3 * 3600;

std::string entry(const std::string& contents, std::int64_t seconds) {
  return contents + "@" + std::to_string(seconds);
}

std::string render(const Tree& tree) {
  std::string out;
  for (const auto& [name, text] : tree) out += "  " + name + " = " + text + "\n";
  return out.empty() ? "  (empty)\n" : out;
}

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

// A list file as text, one line per entry: state, the four stamps, name.
std::string render_list(const std::string& bytes) {
  const ListHeader header = decode_list_header(bytes);
  if (!header.magic || bytes.size() < kListHeaderSize) return "  (no list)\n";
  std::string out;
  ListRecords records(std::string_view(bytes).substr(kListHeaderSize));
  for (ListRecord r; records.next(r) == ListStep::kRecord;) {
    char line[80];
    std::snprintf(line, sizeof line, "  %3u %08X %08X %08X %08X ", r.state, r.stamps[0],
                  r.stamps[1], r.stamps[2], r.stamps[3]);
    out += line + to_utf8_lossy(r.name) + "\n";
  }
  return out;
}

std::string shell_word(const std::string& text) {
  std::string out = "'";
  for (char ch : text) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return out + "'";
}

fs::path utf8_path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

void set_time(const fs::path& path, std::int64_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Three computers and their carrier below `root`: the Linux program on
// computer 0, and on 1 and 2 the Windows program where `windows` says so.
class World {
 public:
  static constexpr const char* kNames[3] = {"Линукс", "Окна-1", "Окна-2"};
  static constexpr const char* kFolders[3] = {"L", "W1", "W2"};
  static constexpr const char* kDriveArguments[3] = {"", "1", "2"};

  World(const fs::path& root, bool windows, std::string keldar_exe)
      : root_(root), windows_{false, windows, windows}, keldar_exe_(std::move(keldar_exe)) {
    fs::create_directories(carrier());
    for (int c = 0; c < 3; ++c) {
      fs::create_directories(folder(c));
      fs::create_directories(root_ / kFolders[c] / "config");
    }
  }

  fs::path carrier() const { return root_ / utf8_path("Носитель"); }
  fs::path folder(int c) const { return root_ / kFolders[c] / utf8_path("Папка"); }
  fs::path object_carrier() const { return carrier() / "00001"; }
  fs::path list_file() const { return carrier() / "00001.QRN"; }

  // The object's path on computer `c` as its program takes it (UTF-8): a
  // Linux path, or on Windows the same folder through drive Z:.
  std::string object_path(int c) const {
    const fs::path path = folder(c) / "*.*";
    return windows_[c] ? test::windows_path(path) : path.string();
  }

  // The object table (one object, subfolders included; slot n is the n-th
  // computer of `joined`) and the masks.
  void write_tables(const std::array<int, 3>& joined, const std::vector<MaskRecord>& masks) {
    PosixFileSystem disk;
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(1);
    r.set_allow_nested(true);
    for (int n = 0; n < 3; ++n) ASSERT_TRUE(r.set_path(n, cp1251(object_path(joined[n]))));
    ASSERT_TRUE(objects.commit_new_object());
    objects.set_next_id(2);
    ASSERT_EQ(objects.save(disk, cp1251((carrier() / "SYNCOBJ.QRV").string())), 0);
    MaskTable table;
    for (const MaskRecord& m : masks) {
      table.record(table.count()) = m;
      ASSERT_TRUE(table.insert_template_at(table.count()));
    }
    ASSERT_EQ(table.save(disk, cp1251((carrier() / "MASKS.QRV").string())), 0);
  }

  // Runs computer `c`'s program in the carrier folder with `options`;
  // returns its exit status and keeps what it printed.
  int run(int c, const std::string& options) {
    const fs::path out = root_ / "output.txt";
    std::string command =
        "cd " + shell_word(carrier().string()) + " && env -u TEMP TZ=" + kZone + " LC_ALL=C.UTF-8 ";
    if (windows_[c]) {
      command += std::string("WINEDEBUG=-all ") + test::kWine + " " + shell_word(keldar_exe_);
    } else {
      command += "XDG_CONFIG_HOME=" + shell_word((root_ / kFolders[c] / "config").string()) + " " +
                 KELDAR_LINUX_PROGRAM;
    }
    command += std::string(" ") + kDriveArguments[c] + " " + options + " --name " +
               shell_word(kNames[c]) + " </dev/null >" + shell_word(out.string()) + " 2>&1";
    const int status = std::system(command.c_str());
    output_ = read_bytes(out);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& output() const { return output_; }
  bool printed(const std::string& line) const {
    return ("\n" + output_).find("\n" + line + "\n") != std::string::npos;
  }

  void put(int c, const std::string& relative, const std::string& contents, std::int64_t seconds) {
    const fs::path file = folder(c) / utf8_path(relative);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
    set_time(file, seconds);
  }
  void remove(int c, const std::string& relative) {
    fs::remove_all(folder(c) / utf8_path(relative));
  }

  // Every folder of the objects and of the object's carrier folder gets
  // kFolderTime.
  void fix_folder_times() {
    std::vector<fs::path> tops = {folder(0), folder(1), folder(2), object_carrier()};
    for (const fs::path& top : tops) {
      if (!fs::exists(top)) continue;
      set_time(top, kFolderTime);
      for (const auto& item : fs::recursive_directory_iterator(top)) {
        if (item.is_directory()) set_time(item.path(), kFolderTime);
      }
    }
  }

  static Tree tree(const fs::path& top) {
    Tree tree;
    if (!fs::exists(top)) return tree;
    for (const auto& item : fs::recursive_directory_iterator(top)) {
      if (item.is_directory()) continue;
      struct stat st {};
      ::lstat(item.path().c_str(), &st);
      const std::u8string name = fs::relative(item.path(), top).generic_u8string();
      std::string time = std::to_string(st.st_mtim.tv_sec);
      if (st.st_mtim.tv_nsec != 0) time += "+" + std::to_string(st.st_mtim.tv_nsec) + "ns";
      tree[std::string(name.begin(), name.end())] = read_bytes(item.path()) + "@" + time;
    }
    return tree;
  }

 private:
  fs::path root_;
  std::array<bool, 3> windows_;
  std::string keldar_exe_;
  std::string output_;
};

// The parameter: whether a Windows computer makes the carrier (and the list)
// which the Linux one then joins, or the other way round.
class CarrierInteropTest : public ::testing::TestWithParam<bool> {
 protected:
  static constexpr int kL = 0, kW1 = 1, kW2 = 2;

  void SetUp() override {
    const test::WindowsBuild build = test::windows_build();
    if (!build.named) {
      GTEST_SKIP() << "the Windows build is needed: build it with scripts/build-windows.sh, then "
                      "run this suite with KELDAR_WINDOWS_BUILD=<its folder, e.g. build-win> and "
                      "WINEPREFIX=<a Wine prefix, by default its wineprefix/> (scripts/test.sh "
                      "does all of it)";
    }
    ASSERT_EQ(build.missing, "");
    ::setenv("WINEPREFIX", build.prefix.c_str(), 1);
    root_ = test::new_folder_on_root_volume("keldar-interop");
    ASSERT_FALSE(root_.empty());
    ASSERT_TRUE(test::on_root_volume(root_)) << "neither the temporary folder nor the current one "
                                                "is on the root file system, whose volume Wine "
                                                "can describe";
    test::forget_windows_computers(build.prefix);
    mixed_ = std::make_unique<World>(root_ / "mixed", true, build.exe.string());
    twin_ = std::make_unique<World>(root_ / "twin", false, "");
  }
  void TearDown() override {
    if (!root_.empty()) fs::remove_all(root_);
  }

  void put(int c, const std::string& relative, const std::string& contents, std::int64_t seconds) {
    for (World* w : {mixed_.get(), twin_.get()}) w->put(c, relative, contents, seconds);
  }
  void remove(int c, const std::string& relative) {
    for (World* w : {mixed_.get(), twin_.get()}) w->remove(c, relative);
  }

  // Synchronize on computer `c` in both worlds (questions answered with
  // `answer`); then the list files must be the same bytes and the carrier
  // folders hold the same files. Returns the mixed world's output.
  std::string sync(int c, const std::string& answer = "") {
    const std::string options = answer.empty() ? "--sync" : "--sync --answer " + answer;
    const std::string who =
        std::string(World::kNames[c]) + " (run " + std::to_string(++runs_) + ")";
    for (World* w : {mixed_.get(), twin_.get()}) {
      w->fix_folder_times();
      EXPECT_EQ(w->run(c, options), 0)
          << who << (w == twin_.get() ? " in the twin world" : "") << ":\n"
          << w->output();
    }
    const std::string mixed = read_bytes(mixed_->list_file());
    const std::string twin = read_bytes(twin_->list_file());
    EXPECT_EQ(mixed, twin) << "the list after " << who << ", with Windows computers:\n"
                           << render_list(mixed) << "with Linux computers only:\n"
                           << render_list(twin);
    auto sums = [](const World& w) { return read_bytes(w.list_file().replace_extension(".SUM")); };
    EXPECT_TRUE(sums(*mixed_) == sums(*twin_)) << "the sum file after " << who;
    const Tree carried = World::tree(mixed_->object_carrier());
    EXPECT_EQ(carried, World::tree(twin_->object_carrier()))
        << "the carrier folder after " << who << ":\n"
        << render(carried);
    return mixed_->output();
  }

  // After a round: every object folder holds `expected[c]` in both worlds.
  void expect_folders(const std::string& when, const std::array<Tree, 3>& expected) {
    for (World* w : {mixed_.get(), twin_.get()}) {
      for (int c = 0; c < 3; ++c) {
        const Tree got = World::tree(w->folder(c));
        EXPECT_EQ(got, expected[c]) << when << ": folder of " << World::kNames[c]
                                    << (w == twin_.get() ? " in the twin world" : "") << " holds\n"
                                    << render(got) << "expected\n"
                                    << render(expected[c]);
      }
    }
  }

  fs::path root_;
  std::unique_ptr<World> mixed_, twin_;
  int runs_ = 0;
};

// The local time at the end of the start line, "Запуск ... dd.mm.yyyy hh:mm:ss",
// as seconds since 1970 read as if it were UTC; -1 when there is none.
std::int64_t start_time(const std::string& output) {
  const std::size_t start = output.find("Запуск ");
  if (start == std::string::npos) return -1;
  const std::string line = output.substr(start, output.find('\n', start) - start);
  const std::size_t at = line.find_last_of("0123456789");
  if (at == std::string::npos || at < 18) return -1;
  std::tm tm{};
  if (std::sscanf(line.c_str() + at - 18, "%2d.%2d.%4d %2d:%2d:%2d", &tm.tm_mday, &tm.tm_mon,
                  &tm.tm_year, &tm.tm_hour, &tm.tm_min, &tm.tm_sec) != 6) {
    return -1;
  }
  tm.tm_mon -= 1;
  tm.tm_year -= 1900;
  return ::timegm(&tm);
}

TEST_P(CarrierInteropTest, OneCarrierServesLinuxAndWindowsComputersAlike) {
  // The first computer makes the carrier, then the tables are put on it and
  // the others join; the first one's next run joins the object last.
  const std::array<int, 3> order = GetParam() ? std::array{kW1, kW2, kL} : std::array{kL, kW1, kW2};
  const std::int64_t before = std::time(nullptr);
  std::vector<std::string> starts = {sync(order[0])};
  MaskRecord tmp, any;
  ASSERT_TRUE(tmp.set_pattern("*.tmp"));
  tmp.set_allow_copy(false);
  tmp.set_allow_delete(false);
  ASSERT_TRUE(any.set_pattern("*.*"));
  any.set_allow_copy(true);
  any.set_allow_delete(true);
  for (World* w : {mixed_.get(), twin_.get()}) w->write_tables(order, {tmp, any});
  for (int c : {order[1], order[2]}) starts.push_back(sync(c));
  sync(order[0]);
  for (const std::string& out : starts) {
    EXPECT_NE(out.find("Добавлен идентификатор компьютера: "), std::string::npos)
        << "each computer has its own identity:\n"
        << out;
    // Each program took the zone of its surroundings.
    const std::int64_t local = start_time(out);
    EXPECT_GE(local, before + kZoneOffset - 2) << out;
    EXPECT_LE(local, std::time(nullptr) + kZoneOffset + 2) << out;
  }
  expect_folders("all joined", {});

  // New files on the Linux computer and on a Windows one, Cyrillic names,
  // subfolders; the .tmp file stays where it is.
  put(kL, "report.txt", "first report", kT0);
  put(kL, "Отчёт.doc", "отчёт", kT0 + 2);
  put(kL, "Папка/вложенная/данные.bin", std::string("\0\1\2\xFF", 4), kT0 + 4);
  put(kL, "scratch.tmp", "scratch", kT0 + 6);
  put(kW2, "Заметки/список.txt", "заметки", kT0 + 8);
  Tree all = {{"report.txt", entry("first report", kT0)},
              {"Отчёт.doc", entry("отчёт", kT0 + 2)},
              {"Папка/вложенная/данные.bin", entry(std::string("\0\1\2\xFF", 4), kT0 + 4)},
              {"Заметки/список.txt", entry("заметки", kT0 + 8)}};
  for (int c : {kL, kW1, kW2, kL, kW1}) sync(c);
  Tree l = all;
  l["scratch.tmp"] = entry("scratch", kT0 + 6);
  expect_folders("new files", {l, all, all});
  EXPECT_EQ(World::tree(mixed_->object_carrier()), Tree{});

  // Changed on one Windows computer, deleted on the other; a deleted .tmp
  // file is nobody's business.
  put(kW1, "report.txt", "second report", kT0 + 100);
  remove(kW2, "Папка/вложенная/данные.bin");
  remove(kL, "scratch.tmp");
  all["report.txt"] = entry("second report", kT0 + 100);
  all.erase("Папка/вложенная/данные.bin");
  for (int c : {kW1, kW2, kL, kW1}) sync(c);
  expect_folders("changed and deleted", {all, all, all});

  // A conflict answered yes: the Windows computer takes the Linux one's
  // version from the carrier.
  put(kL, "Отчёт.doc", "отчёт, Линукс", kT0 + 200);
  put(kW2, "Отчёт.doc", "отчёт, Окна-2", kT0 + 300);
  sync(kL);
  sync(kW2, "yes");
  EXPECT_TRUE(mixed_->printed("!!! [Копирование с носителя]")) << mixed_->output();
  EXPECT_TRUE(mixed_->printed("-> Да")) << mixed_->output();
  sync(kW1);
  all["Отчёт.doc"] = entry("отчёт, Линукс", kT0 + 200);
  expect_folders("conflict answered yes", {all, all, all});

  // A conflict answered no: the Linux computer keeps its own version, which
  // then reaches the others.
  put(kW1, "report.txt", "third report, Окна-1", kT0 + 400);
  put(kL, "report.txt", "third report, Линукс", kT0 + 500);
  sync(kW1);
  sync(kL, "no");
  EXPECT_TRUE(mixed_->printed("RCx report.txt")) << mixed_->output();
  for (int c : {kW2, kW1}) sync(c);
  all["report.txt"] = entry("third report, Линукс", kT0 + 500);
  expect_folders("conflict answered no", {all, all, all});
  EXPECT_EQ(World::tree(mixed_->object_carrier()), Tree{});

  // An idle round changes nothing, and every stamp in the list was taken
  // on an exact-time volume.
  for (int c : {kL, kW1, kW2}) sync(c);
  expect_folders("idle round", {all, all, all});
  const std::string list = read_bytes(mixed_->list_file());
  ASSERT_GT(list.size(), kListHeaderSize);
  ListRecords records(std::string_view(list).substr(kListHeaderSize));
  for (ListRecord r; records.next(r) == ListStep::kRecord;) {
    for (std::uint32_t stamp : r.stamps) {
      EXPECT_TRUE(stamp == 0 || (stamp & 0x80000000u) != 0) << to_utf8_lossy(r.name);
    }
  }

  // A copy put by the Linux program and damaged on the carrier (one byte,
  // its size and time kept) is refused by the Windows one as by Linux.
  put(kL, "report.txt", "fourth report", kT0 + 600);
  sync(kL);
  for (World* w : {mixed_.get(), twin_.get()}) {
    const fs::path copy = w->object_carrier() / "report.txt";
    {
      std::fstream file(copy, std::ios::in | std::ios::out | std::ios::binary);
      file.put('F');
    }
    set_time(copy, kT0 + 600);
    w->fix_folder_times();
    EXPECT_EQ(w->run(kW1, "--sync"), 8) << w->output();
    EXPECT_NE(w->output().find("ERC=report.txt\n***: Копия на носителе повреждена"),
              std::string::npos)
        << w->output();
    EXPECT_EQ(World::tree(w->folder(kW1))["report.txt"], all["report.txt"]);
  }
}

INSTANTIATE_TEST_SUITE_P(Carriers, CarrierInteropTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "MadeOnWindows" : "MadeOnLinux";
});

}  // namespace
}  // namespace keldar
