// Filling a file list against a plain walk of the same tree, in one run: the
// wall time of each (best of several rounds, caches hot for both) and the heap
// the fill holds per entry, at its peak and after it. The walk is
// `find DIR -printf '%T@ %p\n'` on Linux; on Windows it is a walk with
// FindFirstFileExW and FindNextFileW in this program (the calls the fill
// makes, each item's full path formed and its time read), and, as a second
// reference, `cmd /c dir /s /b DIR` with its start-up.
//
//   fill_bench --work DIR [--sizes 10000,50000,100000] [--layouts nested,flat]
//              [--rounds 3] [--fractional] [--keep] [--once] [--cold]
//
// --work      an empty folder on the disk to measure (an ASCII path); the
//             trees and the carrier are made in it and removed at the end
//             (--keep keeps them)
// --sizes     numbers of files; "nested" puts 1,000 files in each folder,
//             "flat" all of them in one folder
// --fractional  also time the first fill of a tree whose times carry
//             fractions of a second (every time is rounded and written back)
// --cold      (Linux, as root) the disk's caches emptied before every timed
//             walk and fill (sync, then 3 written to /proc/sys/vm/drop_caches),
//             so that each reads the tree from the disk; the heap figures stay
//             those of warm fills
// --once      one warm-up fill and one fill per tree, no walk, no memory
//             figures: for running under a profiler
//
// Every allocation through operator new is counted (the usable size of the
// block plus the allocator's header: 8 bytes for glibc, 16 for the heap of
// 64-bit Windows), so the heap figures hold everything the fill allocates:
// names, entries, the index, the name store, directory listings, the list
// file's bytes.
#include <malloc.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/list_file.h"
#include "lists/run.h"
#include "lists/scan.h"
#include "platform/errors.h"
#include "platform/text.h"
#ifdef _WIN32
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_file_system.h"
#else
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"

extern char** environ;
#endif

// --- heap accounting ---------------------------------------------------------

namespace heap {

#ifdef _WIN32
constexpr std::size_t kChunkHeader = 16;  // the heap's header before each block
std::size_t usable_size(void* p) { return _msize(p); }
#else
constexpr std::size_t kChunkHeader = 8;  // glibc's size field before each block
std::size_t usable_size(void* p) { return malloc_usable_size(p); }
#endif
std::size_t live = 0;  // bytes in blocks not yet freed
std::size_t peak = 0;  // highest `live` since reset_peak()

void* take_nothrow(std::size_t size) noexcept {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) return nullptr;
  live += usable_size(p) + kChunkHeader;
  if (live > peak) peak = live;
  return p;
}

void* take(std::size_t size) {
  void* p = take_nothrow(size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void give(void* p) noexcept {
  if (p == nullptr) return;
  live -= usable_size(p) + kChunkHeader;
  std::free(p);
}

#ifdef _WIN32
// Windows has no aligned block that free() takes back: the block is taken
// with room to align it, and its start is kept just before the aligned
// address (an alignment asked of operator new is above 16, so there is room).
void* take_aligned(std::size_t size, std::size_t alignment) {
  char* raw = static_cast<char*>(take_nothrow(size + alignment));
  if (raw == nullptr) return nullptr;
  char* p = raw + alignment - reinterpret_cast<std::uintptr_t>(raw) % alignment;
  reinterpret_cast<void**>(p)[-1] = raw;
  return p;
}

void give_aligned(void* p) noexcept {
  if (p != nullptr) give(reinterpret_cast<void**>(p)[-1]);
}
#else
void* take_aligned(std::size_t size, std::size_t alignment) {
  void* p = nullptr;
  if (posix_memalign(&p, std::max(alignment, sizeof(void*)), size == 0 ? 1 : size) != 0) {
    return nullptr;
  }
  live += usable_size(p) + kChunkHeader;
  if (live > peak) peak = live;
  return p;
}

void give_aligned(void* p) noexcept { give(p); }
#endif

void reset_peak() { peak = live; }

}  // namespace heap

void* operator new(std::size_t size) { return heap::take(size); }
void* operator new[](std::size_t size) { return heap::take(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return heap::take_nothrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return heap::take_nothrow(size);
}
void* operator new(std::size_t size, std::align_val_t a) {
  void* p = heap::take_aligned(size, static_cast<std::size_t>(a));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size, std::align_val_t a) {
  void* p = heap::take_aligned(size, static_cast<std::size_t>(a));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept { heap::give(p); }
void operator delete[](void* p) noexcept { heap::give(p); }
void operator delete(void* p, std::size_t) noexcept { heap::give(p); }
void operator delete[](void* p, std::size_t) noexcept { heap::give(p); }
void operator delete(void* p, std::align_val_t) noexcept { heap::give_aligned(p); }
void operator delete[](void* p, std::align_val_t) noexcept { heap::give_aligned(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { heap::give_aligned(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { heap::give_aligned(p); }

namespace keldar {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

#ifdef _WIN32
using NativeFileSystem = Win32FileSystem;
using NativeClock = Win32Clock;
constexpr char kSeparator = '\\';
constexpr const char* kWalkName = "walk";
#else
using NativeFileSystem = PosixFileSystem;
using NativeClock = SystemClock;
constexpr char kSeparator = '/';
constexpr const char* kWalkName = "find";
#endif

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "fill_bench: %s\n", what.c_str());
  std::exit(1);
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// --- the surroundings of a run ------------------------------------------------

class QuietHost : public Host {
 public:
  void show_log_line(std::string_view) override {}
  void set_status(std::string_view) override {}
  void set_progress(std::string_view) override {}
  void set_title(std::string_view) override {}
  void set_running(bool) override {}
  void ask_text(std::string_view, std::string&) override {}
  void show_message(std::string_view) override {}
  Answer ask(std::string_view, std::string_view, bool, bool) override { return Answer::kCancel; }
};

// Discards every line but counts them, so that a fill that logs per file
// (names it refuses, errors) shows in the report.
class CountingLog : public Log {
 public:
  void line(std::string_view) override { ++lines; }
  bool daylight() const override { return false; }
  long lines = 0;
};

// --- the trees ------------------------------------------------------------------

// A small deterministic generator, so that every run measures the same names.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }

 private:
  std::uint64_t state_;
};

// Names as office folders hold them: a third Russian (Windows-1251 text,
// written to disk as UTF-8), the rest Latin, 20 to 60 bytes long. Each name
// carries its number, so no two differ only in case.
class Namer {
 public:
  Namer() {
    for (const char* w : {"Отчёт", "счёт_фактура", "Договор поставки", "протокол совещания",
                          "смета", "Письмо", "приказ", "акт сверки", "Бюджет", "заявление",
                          "план работ", "Служебная записка", "накладная", "Презентация"}) {
      russian_.push_back(cp1251(w));
    }
    latin_ = {"report",  "Invoice",  "budget",  "meeting notes",    "draft",  "scan",
              "photo",   "Contract", "summary", "presentation",     "backup", "letter",
              "minutes", "schedule", "IMG",     "quarterly_review", "Design", "offer"};
    extensions_ = {".docx", ".xlsx", ".pdf", ".txt", ".jpg",  ".odt",
                   ".csv",  ".doc",  ".xls", ".png", ".pptx", ".zip"};
  }

  std::string file(std::size_t number, Random& random) {
    const bool russian = random.below(3) == 0;
    const auto& words = russian ? russian_ : latin_;
    std::string name = words[random.below(words.size())];
    if (random.below(2) == 0)
      name += (random.below(2) ? " " : "_") + words[random.below(words.size())];
    char tail[48];
    std::snprintf(tail, sizeof tail, " %04zu-%02zu (%06zu)", 2015 + random.below(10),
                  1 + random.below(12), number);
    name += tail;
    name += extensions_[random.below(extensions_.size())];
    return name;
  }

  std::string folder(std::size_t number) {
    char tail[32];
    std::snprintf(tail, sizeof tail, " %03zu", number);
    return (number % 3 == 0 ? russian_[number % russian_.size()] + cp1251(" архив")
                            : latin_[number % latin_.size()] + std::string(" archive")) +
           tail;
  }

 private:
  std::vector<std::string> russian_;
  std::vector<std::string> latin_;
  std::vector<std::string> extensions_;
};

// The system's form of a path of the core (Windows-1251).
fs::path native(const std::string& cp1251_text) {
#ifdef _WIN32
  auto text = win32::widen(cp1251_text);
#else
  auto text = to_utf8(cp1251_text);
#endif
  if (!text) die("a generated name has no form on this system");
  return fs::path(*text);
}

struct Tree {
  std::string root;  // the object folder, ASCII
  long files = 0;
  long folders = 0;
  std::string layout;  // "nested" or "flat"
};

// Times between 2015 and 2024; whole even seconds (as a synchronised tree
// holds them) unless `fractional`.
FileTime file_time(Random& random, bool fractional) {
  FileTime seconds = 1420070400 + random.below(9 * 365 * 86400) / 2 * 2;
  FileTime ticks = fractional ? 1 + random.below(kTicksPerSecond - 1) : 0;
  if (fractional && random.below(2)) seconds += 1;
  return kFileTimeUnixEpoch + seconds * kTicksPerSecond + ticks;
}

#ifdef _WIN32
void set_times(HANDLE h, const fs::path& path, FileTime time) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(time);
  t.dwHighDateTime = static_cast<DWORD>(time >> 32);
  if (!::SetFileTime(h, &t, &t, &t)) die("cannot set the time of " + path.string());
  ::CloseHandle(h);
}

void make_file(const fs::path& path, FileTime time) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) die("cannot create " + path.string());
  set_times(h, path, time);
}

// Sets the times of a file or folder.
void set_time(const fs::path& path, FileTime time) {
  HANDLE h = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) die("cannot open " + path.string());
  set_times(h, path, time);
}
#else
struct timespec to_timespec(FileTime time) {
  struct timespec t;
  t.tv_sec = static_cast<time_t>((time - kFileTimeUnixEpoch) / kTicksPerSecond);
  t.tv_nsec = static_cast<long>((time - kFileTimeUnixEpoch) % kTicksPerSecond * 100);
  return t;
}

void make_file(const fs::path& path, FileTime time) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) die("cannot create " + path.string() + ": " + std::strerror(errno));
  const struct timespec times[2] = {to_timespec(time), to_timespec(time)};
  if (::futimens(fd, times) != 0) die("cannot set the time of " + path.string());
  ::close(fd);
}

// Sets the times of a file or folder.
void set_time(const fs::path& path, FileTime time) {
  const struct timespec times[2] = {to_timespec(time), to_timespec(time)};
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
    die("cannot set the time of " + path.string());
  }
}
#endif

void make_folder(const fs::path& path) {
  std::error_code ec;
  if (!fs::create_directory(path, ec)) die("cannot create " + path.string());
}

Tree make_tree(const std::string& work, long files, const std::string& layout) {
  Tree tree;
  tree.layout = layout;
  tree.files = files;
  tree.root = work + kSeparator + "tree-" + layout + "-" + std::to_string(files);
  make_folder(native(tree.root));
  Random random(0x6b656c646172ULL + static_cast<std::uint64_t>(files));
  Namer namer;
  const long per_folder = layout == "flat" ? files : 1000;
  fs::path folder;
  for (long i = 0; i < files; ++i) {
    if (i % per_folder == 0) {
      folder = native(tree.root);
      if (layout != "flat") {
        folder /= native(namer.folder(static_cast<std::size_t>(tree.folders)));
        make_folder(folder);
        ++tree.folders;
      }
    }
    make_file(folder / native(namer.file(static_cast<std::size_t>(i), random)),
              file_time(random, false));
  }
  // Folder times as the files left them are fractional: make them whole too.
  if (layout != "flat") {
    for (const auto& entry : fs::directory_iterator(native(tree.root))) {
      set_time(entry.path(), file_time(random, false));
    }
  }
  return tree;
}

// Gives every item of the tree a time with a fraction of a second.
void make_times_fractional(const Tree& tree) {
  Random random(99);
  for (const auto& entry : fs::recursive_directory_iterator(native(tree.root))) {
    set_time(entry.path(), file_time(random, true));
  }
}

// --- the plain walk -------------------------------------------------------------

#ifdef _WIN32
// Every item below `folder`, as a plain program walks them: one search per
// folder, each item's full path formed and its time read. The number of
// items; `sum` takes their times and path lengths, so that nothing is left
// unread.
long walk(const std::wstring& folder, std::uint64_t& sum) {
  WIN32_FIND_DATAW data;
  HANDLE h = ::FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (h == INVALID_HANDLE_VALUE) die("cannot search " + fs::path(folder).string());
  long count = 0;
  std::vector<std::wstring> folders;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = folder + L'\\' + data.cFileName;
    sum += path.size() + data.ftLastWriteTime.dwLowDateTime;
    ++count;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(std::move(path));
  } while (::FindNextFileW(h, &data));
  ::FindClose(h);
  for (const std::wstring& f : folders) count += walk(f, sum);
  return count;
}

// The walk of the tree (the root and every item below it); its wall time.
double time_walk(const std::string& root, long items) {
  auto start = Clock::now();
  std::uint64_t sum = 0;
  long count = 1 + walk(native(root).wstring(), sum);
  double elapsed = seconds_since(start);
  if (count != items || sum == 0) {
    die("the walk met " + std::to_string(count) + " items, not " + std::to_string(items));
  }
  return elapsed;
}

// Runs `cmd /c dir /s /b ROOT > nul`; its wall time, the start of cmd with it.
double time_dir(const std::string& root) {
  std::wstring command = L"cmd.exe /c dir /s /b \"" + native(root).wstring() + L"\" > nul";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  auto start = Clock::now();
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    die("cannot run cmd");
  }
  ::WaitForSingleObject(process.hProcess, INFINITE);
  double elapsed = seconds_since(start);
  DWORD status = 1;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  if (status != 0) die("dir failed on " + root);
  return elapsed;
}
#else
// Runs `find ROOT -printf '%T@ %p\n' > /dev/null`; its wall time.
double time_walk(const std::string& root, long) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::string format = "%T@ %p\n";
  std::vector<char*> argv = {const_cast<char*>("find"), const_cast<char*>(root.c_str()),
                             const_cast<char*>("-printf"), format.data(), nullptr};
  auto start = Clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "find", &actions, nullptr, argv.data(), environ) != 0) {
    die("cannot run find");
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    die("find failed on " + root);
  }
  double elapsed = seconds_since(start);
  posix_spawn_file_actions_destroy(&actions);
  return elapsed;
}
#endif

// --- the fill ---------------------------------------------------------------

// One object on this computer whose folder is the tree, and a carrier with
// the object's (empty) carrier folder; no table files.
class Bench {
 public:
  Bench(const std::string& work, const Tree& tree)
      : carrier_(carrier_of(work, tree)), env_(fs_, clock_, host_, log_, stop_) {
    make_folder(native(carrier_));
    ctx_.carrier.folder = carrier_ + kSeparator;
    ctx_.computer = 0;
    VolumeInfo volume;
    if (fs_.volume(ctx_.carrier.folder, volume) != err::kOk) die("cannot read the volume");
    ctx_.carrier.exact_times = volume.exact_times;
    volume_name_ = volume.fs_name;
    ObjectRecord& object = ctx_.objects.new_object();
    object.set_id(1);
    object.set_allow_nested(true);
    if (!object.set_path(0, tree.root + kSeparator + "*.*")) die("object path too long");
    if (!ctx_.objects.commit_new_object()) die("cannot add the object");
    ctx_.objects.set_next_id(2);
    list_file_ = native(carrier_ + kSeparator + list_file(1));
    make_folder(native(carrier_ + kSeparator + list_file_name(1)));
    expected_ = tree.files + tree.folders + 1;  // and the root "\"
  }

  // Removes the list file: the next fill is a first fill.
  void forget_list() {
    std::error_code ec;
    fs::remove(list_file_, ec);
    if (ec) die("cannot remove " + list_file_.string());
  }
  bool has_list_file() const { return fs::exists(list_file_); }

  // One fill_all_lists; its wall time. Checks that every item was entered.
  double fill() {
    auto start = Clock::now();
    long result = fill_all_lists(env_, ctx_, Leftovers::kRemove);
    double elapsed = seconds_since(start);
    if (result != 0) die("fill_all_lists returned " + std::to_string(result));
    long entries = static_cast<long>(ctx_.lists.list(0).entries.size());
    if (entries != expected_) {
      die("the list holds " + std::to_string(entries) + " entries, not " +
          std::to_string(expected_));
    }
    return elapsed;
  }

  double write() {
    auto start = Clock::now();
    if (!write_lists(env_, ctx_)) die("write_lists failed");
    double elapsed = seconds_since(start);
    if (!has_list_file()) die("write_lists wrote no list file");
    return elapsed;
  }

  struct Memory {
    double peak_per_entry = 0;            // heap beyond the names at the peak, per entry
    double after_per_entry = 0;           // the same once the fill returned
    double names_per_entry = 0;           // the names themselves
    double mallinfo_after_per_entry = 0;  // cross-check: malloc's own count (Linux)
  };

#ifdef _WIN32
  static constexpr bool kMallinfo = false;
  static void trim_heap() {}
  static std::size_t malloc_in_use() { return 0; }
#else
  static constexpr bool kMallinfo = true;
  static void trim_heap() { malloc_trim(0); }
  static std::size_t malloc_in_use() { return mallinfo2().uordblks + mallinfo2().hblkhd; }
#endif

  // The heap of one fill, from released lists to the filled list.
  Memory measure_memory() {
    ctx_.lists.release();
    trim_heap();
    const std::size_t base = heap::live;
    const std::size_t base_malloc = malloc_in_use();
    heap::reset_peak();
    fill();
    const std::size_t peak = heap::peak;
    const std::size_t after = heap::live;
    const std::size_t after_malloc = malloc_in_use();
    std::size_t names = 0;
    for (const ListEntry& e : ctx_.lists.list(0).entries) names += e.name_size;
    const double n = static_cast<double>(expected_);
    Memory m;
    m.names_per_entry = static_cast<double>(names) / n;
    m.peak_per_entry = (static_cast<double>(peak) - static_cast<double>(base) - names) / n;
    m.after_per_entry = (static_cast<double>(after) - static_cast<double>(base) - names) / n;
    m.mallinfo_after_per_entry =
        (static_cast<double>(after_malloc) - static_cast<double>(base_malloc) - names) / n;
    return m;
  }

  long entries() const { return expected_; }
  long log_lines() const { return log_.lines; }
  // The file-system name of the carrier's volume, as the system tells it.
  const std::string& volume_name() const { return volume_name_; }

  static std::string carrier_of(const std::string& work, const Tree& tree) {
    return work + kSeparator + "carrier-" + tree.layout + "-" + std::to_string(tree.files);
  }

 private:
  std::string carrier_;
  fs::path list_file_;
  std::string volume_name_;
  long expected_ = 0;
  NativeFileSystem fs_;
  NativeClock clock_;
  QuietHost host_;
  CountingLog log_;
  // Nothing stops a measured fill.
  class NoStop : public StopRequest {
   public:
    bool pending() const override { return false; }
    void request() override {}
  } stop_;
  Env env_;
  Workspace ctx_;
};

// --- the run ----------------------------------------------------------------

struct Options {
  std::string work;
  std::vector<long> sizes = {10000, 50000, 100000};
  std::vector<std::string> layouts = {"nested", "flat"};
  int rounds = 3;
  bool fractional = false;
  bool keep = false;
  bool once = false;
  bool cold = false;
};

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    if (comma > start) parts.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return parts;
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) die(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--work") {
      o.work = value();
    } else if (arg == "--sizes") {
      o.sizes.clear();
      for (const auto& s : split(value())) o.sizes.push_back(std::stol(s));
    } else if (arg == "--layouts") {
      o.layouts = split(value());
      for (const auto& l : o.layouts) {
        if (l != "nested" && l != "flat") die("unknown layout " + l);
      }
    } else if (arg == "--rounds") {
      o.rounds = std::max(1, std::stoi(value()));
    } else if (arg == "--fractional") {
      o.fractional = true;
    } else if (arg == "--keep") {
      o.keep = true;
    } else if (arg == "--once") {
      o.once = true;
    } else if (arg == "--cold") {
#ifdef _WIN32
      die("--cold is for Linux only");
#endif
      o.cold = true;
    } else {
      die("unknown argument " + arg);
    }
  }
  if (o.work.empty())
    die("usage: fill_bench --work EMPTY_FOLDER [--sizes N,...] "
        "[--layouts nested,flat] [--rounds 3] [--fractional] [--keep] [--once] [--cold]");
  return o;
}

struct Row {
  std::string layout;
  long files = 0;
  long entries = 0;
  double walk = 0;
  double dir = 0;  // `cmd /c dir /s /b` (Windows)
  double first = 0;
  double refill = 0;
  double write = 0;
  double fractional = 0;  // first fill of a tree with fractional times; 0 when not measured
  Bench::Memory first_memory;
  Bench::Memory refill_memory;
  long log_lines = 0;
};

// With --cold, writes out every dirty page and empties the page, inode and
// directory caches.
void cool(const Options& o) {
#ifndef _WIN32
  if (!o.cold) return;
  ::sync();
  const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
  if (fd < 0 || ::write(fd, "3", 1) != 1) die("--cold: cannot write /proc/sys/vm/drop_caches");
  ::close(fd);
#else
  (void)o;
#endif
}

double best(const std::vector<double>& times) {
  return *std::min_element(times.begin(), times.end());
}

Row measure(const Options& o, const Tree& tree) {
  Bench bench(o.work, tree);
  Row row;
  row.layout = tree.layout;
  row.files = tree.files;
  row.entries = bench.entries();
  std::printf("volume: %s\n", bench.volume_name().c_str());

  // Warm-up: both read every folder and item once, so the caches are hot
  // for both.
  bench.forget_list();
  bench.fill();
  if (o.once) {
    row.first = bench.fill();
    return row;
  }
  (void)time_walk(tree.root, row.entries);

  // Rounds of walk, first fill, write, refill, so that a drift of the
  // machine touches all of them alike.
  std::vector<double> walk, dir, first, refill, write;
  for (int r = 0; r < o.rounds; ++r) {
    cool(o);
    walk.push_back(time_walk(tree.root, row.entries));
#ifdef _WIN32
    dir.push_back(time_dir(tree.root));
#endif
    bench.forget_list();
    cool(o);
    first.push_back(bench.fill());
    write.push_back(bench.write());
    cool(o);
    refill.push_back(bench.fill());
  }
  row.walk = best(walk);
  if (!dir.empty()) row.dir = best(dir);
  row.first = best(first);
  row.refill = best(refill);
  row.write = best(write);

  bench.forget_list();
  row.first_memory = bench.measure_memory();
  bench.write();
  row.refill_memory = bench.measure_memory();

  if (o.fractional) {
    std::vector<double> fractional;
    for (int r = 0; r < o.rounds; ++r) {
      make_times_fractional(tree);
      bench.forget_list();
      fractional.push_back(bench.fill());
    }
    row.fractional = best(fractional);
  }
  row.log_lines = bench.log_lines();
  return row;
}

void print(const std::vector<Row>& rows, const Options& o) {
  const std::string walk_s = std::string(kWalkName) + " s";
  const std::string per_walk = std::string("/") + kWalkName;
  std::printf("\n%-6s %7s %8s | %8s %8s %8s | %6s %6s | %7s %7s %7s | %6s %6s %6s %6s | %5s\n",
              "layout", "files", "entries", walk_s.c_str(), "first s", "refill s", "first",
              "refill", kWalkName, "first", "refill", "first", "first", "refill", "refill",
              "names");
  std::printf("%-6s %7s %8s | %8s %8s %8s | %6s %6s | %7s %7s %7s | %6s %6s %6s %6s | %5s\n", "",
              "", "", "", "", "", per_walk.c_str(), per_walk.c_str(), "us/ent", "us/ent", "us/ent",
              "peak", "after", "peak", "after", "B/ent");
  for (const Row& r : rows) {
    const double n = static_cast<double>(r.entries);
    std::printf(
        "%-6s %7ld %8ld | %8.4f %8.4f %8.4f | %6.2f %6.2f | %7.3f %7.3f %7.3f | %6.0f %6.0f %6.0f "
        "%6.0f | %5.1f\n",
        r.layout.c_str(), r.files, r.entries, r.walk, r.first, r.refill, r.first / r.walk,
        r.refill / r.walk, r.walk / n * 1e6, r.first / n * 1e6, r.refill / n * 1e6,
        r.first_memory.peak_per_entry, r.first_memory.after_per_entry,
        r.refill_memory.peak_per_entry, r.refill_memory.after_per_entry,
        r.first_memory.names_per_entry);
  }
  std::printf(
      "\nseconds: best of %d rounds%s; heap figures: bytes per entry beyond the names "
      "(operator new, usable size + %zu-byte header)\n",
      o.rounds, o.cold ? ", caches emptied before each" : "", heap::kChunkHeader);
  std::printf("\n%-6s %7s | %8s %10s %16s %9s\n", "layout", "files", "write s", "log lines",
              Bench::kMallinfo ? "mallinfo after" : "", o.fractional ? "fract. s" : "");
  for (const Row& r : rows) {
    std::printf("%-6s %7ld | %8.4f %10ld", r.layout.c_str(), r.files, r.write, r.log_lines);
    if (Bench::kMallinfo) {
      std::printf(" %8.0f %7.0f", r.first_memory.mallinfo_after_per_entry,
                  r.refill_memory.mallinfo_after_per_entry);
    } else {
      std::printf(" %16s", "");
    }
    if (o.fractional) {
      std::printf(" %9.4f (%.2f x %s)", r.fractional, r.fractional / r.walk, kWalkName);
    }
    std::printf("\n");
  }
#ifdef _WIN32
  std::printf("\n%-6s %7s | %17s %6s %6s\n", "layout", "files", "cmd dir /s /b s", "first",
              "refill");
  std::printf("%-6s %7s | %17s %6s %6s\n", "", "", "", "/dir", "/dir");
  for (const Row& r : rows) {
    std::printf("%-6s %7ld | %17.4f %6.2f %6.2f\n", r.layout.c_str(), r.files, r.dir,
                r.first / r.dir, r.refill / r.dir);
  }
#endif
  bool over = false;
  for (const Row& r : rows) {
    if (r.first / r.walk > 2 || r.refill / r.walk > 2 || r.first_memory.peak_per_entry > 200 ||
        r.refill_memory.peak_per_entry > 200) {
      over = true;
    }
  }
  std::printf("\ntarget (fill <= 2 x %s, <= 200 B/entry at the peak): %s\n", kWalkName,
              over ? "MISSED" : "met");
}

void remove_tree(const std::string& path) {
  std::error_code ec;
  fs::remove_all(native(path), ec);
  if (ec) {
    std::fprintf(stderr, "fill_bench: cannot remove %s: %s\n", path.c_str(), ec.message().c_str());
  }
}

int run(int argc, char** argv) {
  Options o = parse(argc, argv);
  if (!fs::is_directory(native(o.work))) die(o.work + " is not a folder");
  const char* tz = std::getenv("TZ");
  std::printf("TZ=%s  rounds=%d\n", tz ? tz : "(unset)", o.rounds);
  std::vector<Row> rows;
  for (const std::string& layout : o.layouts) {
    for (long files : o.sizes) {
      auto start = Clock::now();
      Tree tree = make_tree(o.work, files, layout);
      std::printf("%s %ld files: tree made in %.1f s\n", layout.c_str(), files,
                  seconds_since(start));
      std::fflush(stdout);
      start = Clock::now();
      Row row = measure(o, tree);
      std::printf("%s %ld files: measured in %.1f s\n", layout.c_str(), files,
                  seconds_since(start));
      std::fflush(stdout);
      rows.push_back(row);
      if (!o.keep) {
        remove_tree(tree.root);
        remove_tree(Bench::carrier_of(o.work, tree));
      }
    }
  }
  if (o.once) {
    for (const Row& r : rows) {
      std::printf("%s %ld: fill %.4f s\n", r.layout.c_str(), r.files, r.first);
    }
  } else {
    print(rows, o);
  }
  return 0;
}

}  // namespace
}  // namespace keldar

int main(int argc, char** argv) { return keldar::run(argc, argv); }
