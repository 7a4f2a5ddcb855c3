// Several computers that share one carrier, as the scenario, batch, worker
// and window suites simulate them: on the fake file system, or on folders of
// the real disk through the native layer (Linux or Windows). Each computer has its own
// identification file and its own object folder; every session sees the
// disk through the fault-injecting wrapper (faults()), which lets all
// calls through until a test sets a fault.
//
// Layout. On the fake: the carrier C:\<carrier>, object folders D:\A, D:\B
// ..., identification files E:\A\KELDAR.ID ... On the real disk, below a new
// folder of /dev/shm (or the temporary folder): <carrier>, A/work, B/work
// ..., and either
// A/KELDAR.ID ... (simulated surroundings) or, with the Linux layer's own
// surroundings (Linux only), A/config as computer A's XDG_CONFIG_HOME while
// its session is made, and the carrier as the current directory throughout.
//
// Trees are taken past the layer under test: from the fake's own helpers,
// or through std::filesystem on the real disk. Free of GoogleTest, so that
// suites on other test frameworks can use it too; misuse throws.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/session.h"
#include "app/startup.h"
#include "app/worker.h"
#include "fakes/environment.h"
#include "fakes/recording_host.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/fake/fixed_clock.h"
#include "platform/text.h"
#ifdef _WIN32
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_system.h"
#else
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#endif
#include "store/mask_table.h"
#include "store/object_table.h"

namespace keldar::test {

// The platform layer of the system the tests run on.
#ifdef _WIN32
using NativeFileSystem = Win32FileSystem;
using NativeSystem = Win32System;
using NativeClock = Win32Clock;
#else
using NativeFileSystem = PosixFileSystem;
using NativeSystem = PosixSystem;
using NativeClock = SystemClock;
#endif

// Files below a folder: relative path ('/' between names, UTF-8) ->
// "contents@seconds", with "+<n>ns" added when the last-write time is not
// a whole second.
using Tree = std::map<std::string, std::string>;

inline std::string entry_text(std::string_view contents, std::int64_t seconds) {
  return std::string(contents) + "@" + std::to_string(seconds);
}

inline std::string render(const Tree& tree) {
  std::string out;
  for (const auto& [name, text] : tree) out += "  " + name + " = " + text + "\n";
  return out.empty() ? "  (empty)\n" : out;
}

// One mask of the mask table.
struct Mask {
  const char* pattern;
  bool copy = true;
  bool remove = true;
  bool ask_replace = false;
  bool ask_delete = false;
};

// What one session of a computer did: the log lines and questions (UTF-8),
// how its start-up and its end went, and what its body ran.
struct RunRecord {
  StartResult started = StartResult::kReady;
  int computer = -1;  // the slot the session identified itself with
  int finished = 0;   // finish_run's result
  std::size_t answers_used = 0;
  RunOutcome outcome;
  std::vector<std::string> lines;
  std::vector<RecordingHost::Question> questions;

  bool has_line(std::string_view utf8) const {
    for (const std::string& l : lines) {
      if (l == utf8) return true;
    }
    return false;
  }
  std::string all() const {
    std::string out;
    for (const std::string& l : lines) out += l + "\n";
    return out;
  }
};

class Computers {
 public:
  enum class Disk { kFake, kNative };
  // Whether the native layer's own surroundings can be had (Linux).
#ifdef _WIN32
  static constexpr bool kOwnSurroundings = false;
#else
  static constexpr bool kOwnSurroundings = true;
#endif
  struct Options {
    Disk disk = Disk::kFake;
    int computers = 3;
    // The Linux layer's own surroundings (XDG_CONFIG_HOME, the current
    // directory) instead of simulated ones; only on the real disk.
    bool real_surroundings = false;
    std::string carrier = "CARRIER";  // the carrier folder's name, UTF-8
    // Only on the real disk: folders (UTF-8) on volumes mounted already that
    // hold the carrier folder, and the object folders of the computers
    // named, instead of the root.
    std::string carrier_volume{};
    std::map<int, std::string> folder_volumes{};
  };

  // The clock of every session and the fake's now until set_now: the
  // fakes' own default, 2021-01-01 00:00:00 UTC.
  static constexpr std::int64_t kNow = FixedClock::kDefaultNow;

  explicit Computers(Options options) : options_(std::move(options)) {
    if (options_.real_surroundings && options_.disk != Disk::kNative) {
      throw std::invalid_argument("real surroundings need the real disk");
    }
    if ((!options_.carrier_volume.empty() || !options_.folder_volumes.empty()) &&
        options_.disk != Disk::kNative) {
      throw std::invalid_argument("other volumes need the real disk");
    }
#ifdef _WIN32
    if (options_.real_surroundings) throw std::invalid_argument("real surroundings are Linux's");
#endif
    if (options_.disk == Disk::kFake) {
      fake_ = std::make_unique<FakeFileSystem>();
      fake_->add_volume("C:\\");
      fake_->add_volume("D:\\");
      fake_->add_volume("E:\\");
      carrier_ = "C:\\" + cp1251(options_.carrier);
      fake_->make_folders(carrier_);
      for (int c = 0; c < options_.computers; ++c) {
        fake_->make_folders(folder(c));
        fake_->make_folders(std::string("E:\\") + name(c));
      }
    } else {
      native_ = std::make_unique<NativeFileSystem>();
      root_ = new_root();
      const std::string& volume = options_.carrier_volume;
      carrier_ = cp1251((volume.empty() ? root_ : volume) + "/" + options_.carrier);
      std::filesystem::create_directories(native(carrier_));
      for (int c = 0; c < options_.computers; ++c) {
        std::filesystem::create_directories(native(folder(c)));
        if (!options_.real_surroundings) {
          std::filesystem::create_directories(native(id_file(c)).parent_path());
        }
      }
    }
    faults_ = std::make_unique<FaultyFileSystem>(disk());
    for (int c = 0; c < options_.computers; ++c) {
      auto& system = simulated_.emplace_back(std::make_unique<FakeSystem>());
      system->set_current_directory(carrier_);
      system->set_identification_file('C', id_file(c));
    }
    if (options_.real_surroundings) {
      saved_cwd_ = std::filesystem::current_path();
      for (const char* name : {"XDG_CONFIG_HOME", "TEMP"}) {
        if (const char* v = std::getenv(name)) saved_env_[name] = v;
      }
      unset_env("TEMP");
      std::filesystem::current_path(native(carrier_));
    }
    set_now(kNow);
  }

  ~Computers() {
    if (options_.real_surroundings) {
      std::error_code ignored;
      std::filesystem::current_path(saved_cwd_, ignored);
      for (const char* name : {"XDG_CONFIG_HOME", "TEMP"}) {
        auto it = saved_env_.find(name);
        if (it != saved_env_.end()) {
          set_env(name, it->second);
        } else {
          unset_env(name);
        }
      }
    }
    if (!root_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(std::u8string(root_.begin(), root_.end()), ignored);
    }
  }
  Computers(const Computers&) = delete;
  Computers& operator=(const Computers&) = delete;

  static const char* name(int c) {
    static const char* const names[] = {"A", "B", "C", "D", "E"};
    return names[c];
  }
  // The folder that holds everything on the real disk (UTF-8).
  const std::string& root() const { return root_; }
  int count() const { return options_.computers; }

  // The disk itself, past every fault: for setting up and checking.
  FileSystem& disk() { return fake_ ? static_cast<FileSystem&>(*fake_) : *native_; }
  // What sessions see.
  FaultyFileSystem& faults() { return *faults_; }
  FakeFileSystem& fake() {
    if (!fake_) throw std::logic_error("not on the fake");
    return *fake_;
  }

  // Paths as the file system takes them (Windows-1251), without a final
  // separator.
  const std::string& carrier() const { return carrier_; }
  std::string folder(int c) const {
    if (fake_) return std::string("D:\\") + name(c);
    const auto volume = options_.folder_volumes.find(c);
    return join(cp1251(volume == options_.folder_volumes.end() ? root_ : volume->second),
                std::string(name(c)) + "/work");
  }
  std::string id_file(int c) const {
    if (fake_) return std::string("E:\\") + name(c) + "\\KELDAR.ID";
    if (options_.real_surroundings) return root_ + "/" + name(c) + "/config/keldar/C/KELDAR.ID";
    return join(cp1251(root_), std::string(name(c)) + "/KELDAR.ID");
  }
  // The carrier folder of object `id`.
  std::string object_carrier(int id = 1) const {
    char number[8];
    std::snprintf(number, sizeof number, "%05d", id);
    return join(carrier_, number);
  }
  // `relative` (UTF-8, either separator) below `folder`.
  std::string join(std::string_view folder, std::string_view relative) const {
    std::string path(folder);
    path += kSeparator;
    path += cp1251(relative);
    for (char& ch : path) {
      if (ch == '/' || ch == '\\') ch = fake_ ? '\\' : kSeparator;
    }
    return path;
  }
  // A path of the interface (Windows-1251) as the standard library takes it.
  static std::filesystem::path native(std::string_view path) {
    const std::string utf8 = to_utf8_lossy(path);
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
  }

  // The surroundings of computer `c`; on the Linux layer's own, its
  // XDG_CONFIG_HOME is set.
  System& system(int c) {
    if (!options_.real_surroundings) return *simulated_.at(c);
    set_env("XDG_CONFIG_HOME", root_ + "/" + name(c) + "/config");
    return native_system_;
  }
  FakeSystem& simulated_system(int c) { return *simulated_.at(c); }

  // The clock of every session: fixed at kNow unless set_now or
  // use_system_clock says otherwise. On the fake, set_now also sets the
  // time that files written get.
  void set_now(std::int64_t seconds) {
    fixed_clock_.set_now(seconds);
    if (fake_) fake_->set_now(kFileTimeUnixEpoch + static_cast<FileTime>(seconds) * 10000000ULL);
  }
  void use_system_clock() { clock_ = &system_clock_; }
  Clock& clock() { return *clock_; }

  // A session of computer `c` on faults(), not started.
  std::unique_ptr<Session> session(int c, Host& host) {
    return std::make_unique<Session>(*faults_, system(c), *clock_, host);
  }

  // Starts computer `c` (named by its letter when new), runs `body` on its
  // session, and ends the run; the questions are answered from `answers`,
  // then with Cancel.
  template <typename Body>
  RunRecord run(int c, const std::vector<Answer>& answers, Body body) {
    RecordingHost host;
    host.answer_with(name(c));
    host.answers = answers;
    host.default_answer = Answer::kCancel;
    RunRecord record;
    {
      auto session = this->session(c, host);
      record.started = start_up(*session, 'C');
      record.computer = session->computer;
      if (record.started == StartResult::kReady) body(*session, record);
      record.finished = finish_run(*session);
    }
    for (const std::string& l : host.lines) record.lines.push_back(to_utf8_lossy(l));
    record.questions = host.questions;
    for (auto& q : record.questions) {
      q.text = to_utf8_lossy(q.text);
      q.caption = to_utf8_lossy(q.caption);
    }
    record.answers_used = host.next_answer;
    return record;
  }
  RunRecord start_only(int c) {
    return run(c, {}, [](Session&, RunRecord&) {});
  }
  // Synchronize over all objects.
  RunRecord synchronize(int c, const std::vector<Answer>& answers = {}) {
    return run(c, answers, [](Session& s, RunRecord& r) {
      log_sync_banner(s);
      s.queue.set(op::kAction1, op::kAction2);
      r.outcome = run_all_objects(s);
    });
  }

  // The object table with one object `id` whose folder on every computer
  // is folder(c)\*.*, nested folders included.
  ObjectTable one_object(std::int16_t id = 1) const {
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(id);
    r.set_allow_nested(true);
    for (int c = 0; c < count(); ++c) {
      if (!r.set_path(c, join(folder(c), "*.*"))) throw std::logic_error("path too long");
    }
    if (!objects.commit_new_object()) throw std::logic_error("object refused");
    objects.set_next_id(static_cast<std::int16_t>(id + 1));
    return objects;
  }
  // Writes the tables onto the carrier.
  void write_objects(const ObjectTable& objects) {
    if (objects.save(disk(), join(carrier_, "SYNCOBJ.QRV")) != 0) {
      throw std::runtime_error("objects not written");
    }
  }
  void write_masks(const std::vector<Mask>& masks) {
    MaskTable table;
    for (const Mask& m : masks) {
      MaskRecord& rec = table.record(table.count());
      if (!rec.set_pattern(m.pattern)) throw std::logic_error("pattern refused");
      rec.set_allow_copy(m.copy);
      rec.set_allow_delete(m.remove);
      rec.set_ask_before_replacing(m.ask_replace);
      rec.set_ask_before_deleting(m.ask_delete);
      if (!table.insert_template_at(table.count())) throw std::logic_error("mask refused");
    }
    if (table.save(disk(), join(carrier_, "MASKS.QRV")) != 0) {
      throw std::runtime_error("masks not written");
    }
  }

  // Puts a file below computer `c`'s folder, folders made on the way, with
  // its last-write time. On the real disk the folders that were there keep
  // their times, as on the fake: otherwise a folder's entry would change
  // or not depending on where the clock falls. A test that changes a
  // folder sets its time (set_time).
  void put(int c, std::string_view relative, std::string_view contents, std::int64_t seconds) {
    const std::string path = join(folder(c), relative);
    const FileTime time = kFileTimeUnixEpoch + static_cast<FileTime>(seconds) * 10000000ULL;
    if (fake_) {
      fake_->write(path, contents, time);
      return;
    }
    const std::filesystem::path file = native(path);
    keeping_folder_time(file, [&] {
      std::filesystem::create_directories(file.parent_path());
      std::ofstream(file, std::ios::binary | std::ios::trunc) << contents;
    });
    if (!set_last_write(file, static_cast<FileTime>(seconds) * 10000000ULL)) {
      throw std::runtime_error("no time for " + to_utf8_lossy(path));
    }
  }
  // Gives a file or folder on the real disk the last-write time `seconds`.
  void set_time(const std::string& path, std::int64_t seconds) {
    if (!set_last_write(native(path), static_cast<FileTime>(seconds) * 10000000ULL)) {
      throw std::runtime_error("no time for " + to_utf8_lossy(path));
    }
  }
  // Removes a file or folder below computer `c`'s folder; on the real disk
  // the folder that held it keeps its times, as put() keeps them.
  void remove(int c, std::string_view relative) {
    const std::string path = join(folder(c), relative);
    if (fake_) {
      fake_->remove_tree(path);
    } else {
      const std::filesystem::path item = native(path);
      keeping_folder_time(item, [&] { std::filesystem::remove_all(item); });
    }
  }

  // Every file below `path` (no folders).
  Tree tree(const std::string& path) const {
    Tree tree;
    if (fake_) {
      const std::string prefix = path + "\\";
      for (const std::string& p : fake_->all_paths()) {
        if (!p.starts_with(prefix)) continue;
        auto data = fake_->contents(p);
        if (!data) continue;
        std::string relative = to_utf8_lossy(p.substr(prefix.size()));
        for (char& ch : relative) {
          if (ch == '\\') ch = '/';
        }
        tree[relative] = *data + "@" + time_text(fake_->times(p).last_write - kFileTimeUnixEpoch);
      }
      return tree;
    }
    const std::filesystem::path top = native(path);
    if (!std::filesystem::exists(top)) return tree;
    for (const auto& item : std::filesystem::recursive_directory_iterator(top)) {
      if (item.is_directory()) continue;
      const std::optional<FileTime> since_1970 = last_write(item.path());
      if (!since_1970) continue;
      std::ifstream in(item.path(), std::ios::binary);
      std::ostringstream data;
      data << in.rdbuf();
      tree[utf8(std::filesystem::relative(item.path(), top).generic_u8string())] =
          data.str() + "@" + time_text(*since_1970);
    }
    return tree;
  }
  Tree tree(int c) const { return tree(folder(c)); }
  // The names directly in the carrier folder, but object folders.
  std::vector<std::string> carrier_names() const {
    std::vector<std::string> names;
    if (fake_) {
      const std::string prefix = carrier_ + "\\";
      for (const std::string& p : fake_->all_paths()) {
        if (p.starts_with(prefix) && p.find('\\', prefix.size()) == std::string::npos) {
          names.push_back(to_utf8_lossy(p.substr(prefix.size())));
        }
      }
    } else {
      for (const auto& item : std::filesystem::directory_iterator(native(carrier_))) {
        names.push_back(utf8(item.path().filename().u8string()));
      }
    }
    std::erase_if(names, [](const std::string& n) {
      return n.size() == 5 && n.find_first_not_of("0123456789") == std::string::npos;
    });
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
#ifdef _WIN32
  static constexpr char kSeparator = '\\';
#else
  static constexpr char kSeparator = '/';
#endif

  static std::string utf8(const std::u8string& text) {
    return std::string(text.begin(), text.end());
  }

  // A new empty folder for everything on the real disk (UTF-8): on a memory
  // volume where there is one.
  static std::string new_root() {
#ifndef _WIN32
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/keldar-computers-XXXXXX"
                                                          : "/tmp/keldar-computers-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) return pattern;
#else
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::filesystem::path candidate =
          std::filesystem::temp_directory_path() / ("keldar-computers-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) return utf8(candidate.u8string());
    }
#endif
    throw std::runtime_error("no temporary folder");
  }

  // Runs `change` on `item`; the deepest folder above it that exists
  // before keeps its last-write time.
  template <typename Change>
  static void keeping_folder_time(const std::filesystem::path& item, Change change) {
    std::filesystem::path folder = item.parent_path();
    while (!std::filesystem::exists(folder) && folder.has_relative_path()) {
      folder = folder.parent_path();
    }
    const std::optional<FileTime> time = last_write(folder);
    change();
    if (time && !set_last_write(folder, *time)) {
      throw std::runtime_error("no time for " + utf8(folder.u8string()));
    }
  }

  // The last-write time of a file on the real disk, in 100-ns units since
  // 1970, read and set past the layer under test.
  static std::optional<FileTime> last_write(const std::filesystem::path& file) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    const FileTime since_1601 = (static_cast<FileTime>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                data.ftLastWriteTime.dwLowDateTime;
    return since_1601 - kFileTimeUnixEpoch;
#else
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) return std::nullopt;
    return static_cast<FileTime>(st.st_mtim.tv_sec) * 10000000ULL +
           static_cast<FileTime>(st.st_mtim.tv_nsec) / 100;
#endif
  }
  static bool set_last_write(const std::filesystem::path& file, FileTime since_1970) {
#ifdef _WIN32
    HANDLE h = ::CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const FileTime since_1601 = since_1970 + kFileTimeUnixEpoch;
    FILETIME time{static_cast<DWORD>(since_1601), static_cast<DWORD>(since_1601 >> 32)};
    const bool ok = ::SetFileTime(h, nullptr, &time, &time) != 0;
    ::CloseHandle(h);
    return ok;
#else
    const auto seconds = static_cast<time_t>(since_1970 / 10000000ULL);
    const auto nanoseconds = static_cast<long>(since_1970 % 10000000ULL * 100);
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    return ::utimensat(AT_FDCWD, file.c_str(), times, 0) == 0;
#endif
  }

  // 100-ns units since 1970 as "seconds" or "seconds+<n>ns".
  static std::string time_text(FileTime since_1970) {
    std::string text = std::to_string(since_1970 / 10000000ULL);
    if (since_1970 % 10000000ULL != 0)
      text += "+" + std::to_string(since_1970 % 10000000ULL * 100) + "ns";
    return text;
  }

  Options options_;
  std::string root_;
  std::string carrier_;
  std::unique_ptr<FakeFileSystem> fake_;
  std::unique_ptr<NativeFileSystem> native_;
  std::unique_ptr<FaultyFileSystem> faults_;
  std::vector<std::unique_ptr<FakeSystem>> simulated_;
  NativeSystem native_system_;
  FixedClock fixed_clock_;
  NativeClock system_clock_;
  Clock* clock_ = &fixed_clock_;
  std::filesystem::path saved_cwd_;
  std::map<std::string, std::string> saved_env_;
};

inline std::ostream& operator<<(std::ostream& out, Computers::Disk disk) {
  return out << (disk == Computers::Disk::kFake ? "the fake" : "the native layer");
}

}  // namespace keldar::test
