// Helpers every suite shares: Windows-1251 literals, moments and file times
// worked out by hand, a log that collects its lines, and a time zone set for
// the length of a test.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/environment.h"
#include "lists/run.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace keldar::test {

inline std::string u(std::string_view utf8) { return cp1251(utf8); }

// 2021-06-15 10:00:00 UTC and 2021-01-15 10:00:00 UTC, in seconds since 1970.
inline constexpr std::uint32_t kJune15 = 1623751200;
inline constexpr std::uint32_t kJan15 = 1610704800;
// The marker of a stamp taken on an exact-time volume.
inline constexpr std::uint32_t kExact = 0x80000000u;
inline constexpr FileTime kSecond = 10000000;

// A file time: `unix_seconds` plus `extra` 100-ns ticks.
inline FileTime file_time(std::int64_t unix_seconds, FileTime extra = 0) {
  return kFileTimeUnixEpoch + static_cast<FileTime>(unix_seconds) * kSecond + extra;
}

class CollectingLog : public Log {
 public:
  void line(std::string_view text) override { lines.emplace_back(text); }
  bool daylight() const override { return dst; }

  std::vector<std::string> lines;
  bool dst = false;
};

// A stop request that tests raise and clear by hand.
class StopFlag : public StopRequest {
 public:
  bool pending() const override { return stopped; }
  void request() override { stopped = true; }
  void reset() { stopped = false; }
  bool stopped = false;
};

// The carrier, tables and lists with what the run layer adds to them, for
// the tests of the list and synchronisation operations: the object runs
// are made as a run makes them, of the current object.
struct TestContext : Workspace {
  TestContext(FileSystem& fs, Clock& clock, Host& host, Log& log)
      : env(fs, clock, host, log, stop) {}

  StopFlag stop;
  Env env;
  bool force = false;
  bool rebuild = false;
  int current_object = 0;

  ObjectRun run() { return object_run(current_object, force, rebuild); }
  FileList& list() { return lists.list(current_object); }
  const ObjectRecord& object() const { return objects.record(current_object); }
  Marking marking() const { return {computer, env.log.daylight(), carrier.exact_times}; }
};

}  // namespace keldar::test
