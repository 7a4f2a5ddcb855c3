// What the file-list tests share: a context on the fake file system with a
// carrier on C: and object folders on D:, a log that collects its lines, a
// host that can stop the run at a chosen progress report, and helpers that
// build list files byte by byte.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/recording_host.h"
#include "fakes/test_support.h"
#include "lists/run.h"
#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/fake/fixed_clock.h"
#include "platform/text.h"

namespace keldar::lists_test {

using namespace keldar::test;
using TestLog = CollectingLog;
inline constexpr FileTime kTick = 1;

// Stops the run (makes the stop request) at the n-th nonempty
// progress report, as the stop button would between two steps.
class StoppingHost : public RecordingHost {
 public:
  void set_progress(std::string_view text) override {
    RecordingHost::set_progress(text);
    if (queue != nullptr && !text.empty() && stop_at > 0 && --stop_at == 0) queue->request();
  }
  StopRequest* queue = nullptr;
  int stop_at = 0;
};

// One record of a list file.
struct Record {
  std::array<std::uint32_t, 4> stamps{};
  std::string name;
  std::uint8_t state = 0;
};

inline void put_le(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string record_bytes(const Record& r, std::size_t length_field) {
  std::string out;
  for (auto s : r.stamps) put_le(out, s, 4);
  put_le(out, length_field, 2);
  out += static_cast<char>(r.state);
  out += r.name;
  return out;
}

inline std::string record_bytes(const Record& r) { return record_bytes(r, r.name.size()); }

inline std::string header_bytes(std::array<std::uint8_t, 4> states) {
  std::string out("\xE5", 1);
  for (auto s : states) out += static_cast<char>(s);
  return out;
}

inline std::string list_bytes(std::array<std::uint8_t, 4> states,
                              const std::vector<Record>& records) {
  std::string out = header_bytes(states);
  for (const auto& r : records) out += record_bytes(r);
  return out;
}

class ListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.set_now(kJune15);
    fs.add_volume("C:\\");
    fs.add_volume("D:\\");
    fs.make_folders("C:\\CARRIER");
    ctx.carrier.folder = "C:\\CARRIER\\";
    ctx.computer = 0;
    ctx.carrier.exact_times = true;
    ctx.stop.reset();
    host.queue = &ctx.stop;
  }

  // Adds an object with `path` on this computer; returns its index.
  int add_object(std::int16_t id, std::string_view path, bool nested = true) {
    ObjectRecord& r = ctx.objects.new_object();
    r.set_id(id);
    r.set_allow_nested(nested);
    EXPECT_TRUE(r.set_path(ctx.computer, path));
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

  // The names of a list's entries, in list order.
  static std::vector<std::string> names(const FileList& list) {
    std::vector<std::string> out;
    for (const auto& e : list.entries) out.emplace_back(e.name());
    return out;
  }

  FakeFileSystem fs;
  FaultyFileSystem faults{fs};  // what the code under test sees
  FixedClock clock;
  StoppingHost host;
  TestLog log;
  TestContext ctx{faults, clock, host, log};

 private:
  ScopedTimeZone time_zone_{"MSK-3"};
};

}  // namespace keldar::lists_test
