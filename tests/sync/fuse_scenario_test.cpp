// The three computers on real removable volumes, mounted from small images
// through FUSE: the carrier on NTFS (ntfs-3g) or on FAT (fusefat), or B's
// object folder on FAT. NTFS keeps times to 100 ns and FAT to 2 s, while
// the other folders keep nanoseconds: after a round of new files, a change
// and a deletion the folders hold the same files, and a further round with
// nothing changed copies nothing and touches no file or folder time.
// Skipped where /dev/fuse or the tools are missing.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/computers.h"
#include "fakes/fuse_volumes.h"
#include "fakes/test_support.h"

namespace keldar {
namespace {

namespace fs = std::filesystem;
using test::Computers;
using test::Mask;
using test::RunRecord;

constexpr int kA = 0, kB = 1, kC = 2;
constexpr std::int64_t kT0 = 1700000000;

struct Volume {
  const char* name;
  bool ntfs;          // else FAT
  bool carrier;       // else B's object folder
  bool cyrillic;      // fusefat makes ASCII names only
  std::int64_t step;  // the volume's time step, in nanoseconds
};
void PrintTo(const Volume& v, std::ostream* out) { *out << v.name; }

// Everything below a folder: relative path -> contents ("/" for a folder)
// and last-write time in nanoseconds.
struct Item {
  std::string data;
  std::int64_t ns = 0;
  bool operator==(const Item&) const = default;
};
using Snapshot = std::map<std::string, Item>;

std::int64_t time_ns(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  return std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
}

Snapshot snapshot(const std::string& folder) {
  Snapshot items;
  const fs::path top = Computers::native(folder);
  if (!fs::exists(top)) return items;
  items["."] = {"/", time_ns(top)};
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    const auto name = fs::relative(entry.path(), top).generic_u8string();
    Item& item = items[std::string(name.begin(), name.end())];
    item.ns = time_ns(entry.path());
    if (entry.is_directory()) {
      item.data = "/";
    } else {
      std::ostringstream data;
      data << std::ifstream(entry.path(), std::ios::binary).rdbuf();
      item.data = data.str();
    }
  }
  return items;
}

std::string render(const Snapshot& items) {
  std::string out;
  for (const auto& [name, item] : items) {
    out += "  " + name + " = " + item.data + " @" + std::to_string(item.ns) + "\n";
  }
  return out;
}

class VolumeScenarioTest : public fuse::FuseTest, public ::testing::WithParamInterface<Volume> {
 protected:
  void SetUp() override {
    FuseTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const Volume& v = GetParam();
    std::string point = path("volume");
    if (v.ntfs) {
      if (!make_image(path("ntfs.img"), 16, {fuse::find_tool("mkntfs"), "-F", "-f", "-q"}) ||
          !mount_with({fuse::find_tool("ntfs-3g"), path("ntfs.img"), point}, point)) {
        GTEST_SKIP() << "cannot make an NTFS image and mount it with ntfs-3g";
      }
    } else {
      point = mount_fat("volume");
      if (point.empty()) GTEST_SKIP() << "cannot make a FAT image and mount it with fusefat";
    }
    Computers::Options options{.disk = Computers::Disk::kNative};
    if (v.carrier) {
      options.carrier_volume = point;
    } else {
      options.folder_volumes[kB] = point;
    }
    world = std::make_unique<Computers>(options);
    world->use_system_clock();
    // Each run keeps its log in TEMP and puts it back on the carrier at the
    // end: fusefat cannot add to a file that it holds already.
    for (int c = 0; c < 3; ++c) {
      const std::string temp = path(std::string("temp-") + Computers::name(c));
      ASSERT_EQ(::mkdir(temp.c_str(), 0777), 0);
      world->simulated_system(c).set_environment("TEMP", temp);
    }
  }
  void TearDown() override {
    world.reset();
    FuseTest::TearDown();
  }

  std::string name(const char* cyrillic, const char* ascii) const {
    return GetParam().cyrillic ? cyrillic : ascii;
  }
  // Puts a file on computer `c` with a last-write time that is neither a
  // whole second nor an even one.
  void put(int c, const std::string& file, const std::string& contents, std::int64_t seconds) {
    world->put(c, file, contents, seconds);
    const timespec times[2] = {{seconds + 1, 123456789}, {seconds + 1, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, Computers::native(world->join(world->folder(c), file)).c_str(),
                          times, 0),
              0);
  }

  // Synchronize on every computer in turn; returns their logs.
  std::string round() {
    std::string logs;
    for (int c = 0; c < 3; ++c) {
      RunRecord r = world->synchronize(c);
      EXPECT_EQ(r.started, StartResult::kReady);
      EXPECT_EQ(r.finished, 0) << r.all();
      EXPECT_FALSE(r.outcome.failed) << Computers::name(c) << "\n" << r.all();
      EXPECT_TRUE(r.questions.empty()) << Computers::name(c) << "\n" << r.all();
      logs += r.all();
    }
    return logs;
  }

  // Every folder holds these files, with the same contents, and times
  // that differ by less than the coarsest volume's step.
  void expect_converged(const std::string& when, const std::map<std::string, std::string>& files) {
    const Snapshot a = snapshot(world->folder(kA));
    for (int c = 0; c < 3; ++c) {
      const Snapshot got = snapshot(world->folder(c));
      std::map<std::string, std::string> contents;
      for (const auto& [name, item] : got) {
        if (item.data != "/") contents[name] = item.data;
        if (c == kA || item.data == "/" || !a.count(name)) continue;
        EXPECT_LT(std::abs(item.ns - a.at(name).ns), GetParam().step)
            << when << ": " << name << " on " << Computers::name(c);
      }
      EXPECT_EQ(contents, files) << when << ": folder of " << Computers::name(c) << "\n"
                                 << render(got);
    }
  }

  // The carrier but its log, which every run adds to, and the time of the
  // carrier folder itself, which the log's return at the end of a run moves.
  Snapshot carrier() const {
    Snapshot items = snapshot(world->carrier());
    items.erase("KELDAR.LOG");
    items.erase(".");
    return items;
  }

  std::unique_ptr<Computers> world;
};

TEST_P(VolumeScenarioTest, RoundsConvergeThenAnIdleRoundCopiesNothingAndTouchesNoTime) {
  for (int c = 0; c < 3; ++c) world->start_only(c);
  world->write_objects(world->one_object());
  world->write_masks({Mask{"*.*"}});
  round();

  const std::string report = name("Отчёт.txt", "Report.txt");
  const std::string data = name("Папка/Данные/data.bin", "Folder/Data/data.bin");
  put(kA, report, "отчёт", kT0);
  put(kA, data, std::string("\0\1\2\xFF", 4), kT0 + 2);
  put(kA, "plain.txt", "plain", kT0 + 4);
  put(kC, name("Сводка.txt", "Summary.txt"), "from C", kT0 + 6);
  round();
  round();
  std::map<std::string, std::string> files = {{report, "отчёт"},
                                              {data, std::string("\0\1\2\xFF", 4)},
                                              {"plain.txt", "plain"},
                                              {name("Сводка.txt", "Summary.txt"), "from C"}};
  expect_converged("new files", files);

  put(kB, "plain.txt", "plain, changed on B", kT0 + 100);
  world->remove(kC, report);
  files["plain.txt"] = "plain, changed on B";
  files.erase(report);
  round();
  round();
  expect_converged("a change and a deletion", files);
  if (HasFailure()) return;

  // With nothing changed, nothing is copied or deleted and no time moves.
  std::vector<Snapshot> before;
  for (int c = 0; c < 3; ++c) before.push_back(snapshot(world->folder(c)));
  before.push_back(carrier());
  const std::string logs = round();
  for (const char* counts :
       {"на носителе \\d+, добавлено 0,", "заменено 0, удалено 0, удалено с носителя 0",
        "скопировано 0, из них добавлено 0,", "создано команд удаления 0, рассинхронизация 0"}) {
    const std::regex line(counts);
    EXPECT_EQ(
        std::distance(std::sregex_iterator(logs.begin(), logs.end(), line), std::sregex_iterator()),
        3)
        << "on every computer: " << counts << "\n"
        << logs;
  }
  for (int k = 0; k < 4; ++k) {
    const Snapshot after = k < 3 ? snapshot(world->folder(k)) : carrier();
    EXPECT_EQ(after, before[k]) << (k < 3 ? Computers::name(k) : "the carrier") << " before\n"
                                << render(before[k]) << "after\n"
                                << render(after);
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, VolumeScenarioTest,
                         ::testing::Values(Volume{"NtfsCarrier", true, true, true, 100},
                                           Volume{"FatCarrier", false, true, false, 2'000'000'000},
                                           Volume{"FatFolderOfB", false, false, false,
                                                  2'000'000'000}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace keldar
