// What the synchronisation tests share: a context on the fake file system
// with the carrier folder C:\CARRIER\ and object folders on D: (exact
// times) or F: (two-second times), TZ MSK-3, a
// fixed clock, a log that collects its lines, a recording host, and helpers
// to add objects and masks, fill the lists and find entries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/recording_host.h"
#include "fakes/test_support.h"
#include "lists/run.h"
#include "lists/scan.h"
#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/fake/fixed_clock.h"
#include "platform/text.h"

namespace keldar::sync_test {

using namespace keldar::test;
using SyncLog = CollectingLog;

// The fake file system, with a free-space query and a flush that can be
// made to fail, and a record of the copies, deletions and flushes made.
class SyncFileSystem : public FakeFileSystem {
 public:
  int free_space(std::string_view path, FreeSpace& space) override {
    ++free_space_queries;
    if (free_space_code != 0) return free_space_code;
    return FakeFileSystem::free_space(path, space);
  }
  using FakeFileSystem::copy_file;
  int copy_file(std::string_view from, std::string_view to, CopyObserver* observer) override {
    int code = FakeFileSystem::copy_file(from, to, observer);
    if (code == 0) ops.push_back("copy " + std::string(to));
    if (after_copy) after_copy();
    return code;
  }
  int delete_file(std::string_view path) override {
    int code = FakeFileSystem::delete_file(path);
    if (code == 0) ops.push_back("delete " + std::string(path));
    return code;
  }
  int flush() override {
    ops.push_back("flush");
    if (flush_code != 0) return flush_code;
    return FakeFileSystem::flush();
  }
  int free_space_code = 0;
  int free_space_queries = 0;
  int flush_code = 0;
  std::vector<std::string> ops;
  std::function<void()> after_copy;
};

inline constexpr std::string_view kCarrier = "C:\\CARRIER\\";
inline constexpr std::string_view kObjectFolder = "D:\\WORK\\";

class SyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.set_now(kJune15);
    fs.add_volume("C:\\");
    fs.add_volume("D:\\");
    fs.add_volume("F:\\", false);  // a two-second (FAT-like) volume
    fs.make_folders("C:\\CARRIER");
    fs.make_folders("D:\\WORK");
    ctx.carrier.folder = std::string(kCarrier);
    ctx.computer = 0;
    ctx.carrier.exact_times = true;
  }

  // Adds an object with `path` (on this computer unless `computer` is
  // given); returns its index.
  int add_object(std::int16_t id = 1, std::string_view path = "D:\\WORK\\*.*", bool nested = true,
                 int computer = -1) {
    ObjectRecord& r = ctx.objects.new_object();
    r.set_id(id);
    r.set_allow_nested(nested);
    EXPECT_TRUE(r.set_path(computer < 0 ? ctx.computer : computer, path));
    EXPECT_TRUE(ctx.objects.commit_new_object());
    return ctx.objects.count() - 1;
  }

  void add_mask(std::string_view pattern, bool copy = true, bool remove = true) {
    MaskRecord& m = ctx.masks.record(ctx.masks.count());
    ASSERT_TRUE(m.set_pattern(pattern));
    m.set_allow_copy(copy);
    m.set_allow_delete(remove);
    ASSERT_TRUE(ctx.masks.insert_template_at(ctx.masks.count()));
  }

  // Fills every object's list as a run does; true on success.
  bool fill() {
    ctx.stop.reset();
    return fill_all_lists(ctx.env, ctx, Leftovers::kRemove) == 0;
  }

  // The index of the current object's entry named `name` (ASCII case
  // ignored), or -1.
  long entry_index(std::string_view name) {
    FileList& list = ctx.list();
    ListEntry* e = list.find(name);
    if (e == nullptr) return -1;
    return static_cast<long>(e - list.entries.data());
  }
  ListEntry& entry(std::string_view name) {
    long i = entry_index(name);
    EXPECT_GE(i, 0) << name;
    return ctx.list().entries.at(static_cast<std::size_t>(i < 0 ? 0 : i));
  }

  // The carrier folder of object id 1 and the object folder, joined with a
  // relative name.
  static std::string carrier(std::string_view name = "") {
    return std::string(kCarrier) + "00001\\" + std::string(name);
  }
  static std::string object(std::string_view name = "") {
    return std::string(kObjectFolder) + std::string(name);
  }

  SyncFileSystem fs;
  FaultyFileSystem faults{fs};  // what the code under test sees
  FixedClock clock;
  RecordingHost host;
  SyncLog log;
  TestContext ctx{faults, clock, host, log};

 private:
  ScopedTimeZone time_zone_{"MSK-3"};
};

}  // namespace keldar::sync_test
