// Crash soak: three computers share one carrier, each the real program run
// as a process in the carrier folder (`--sync --answer yes --name ...`):
// the first two the Linux keldar, each with its own XDG_CONFIG_HOME, the
// third keldar.exe of the Windows build under Wine when there is one
// (KELDAR_WINDOWS_BUILD, WINEPREFIX: fakes/wine.h), else the Linux keldar
// too, and a line says why. Two objects of a few hundred files of mixed
// sizes, Cyrillic names and subfolders change on every computer each round;
// one Synchronize of the round is killed with SIGKILL at a moment drawn from
// the measured length of that computer's undisturbed runs. Under Wine the
// process started is the Windows program itself (Wine's loader replaces
// itself with it), so SIGKILL ends it; wineserver, a process of its own,
// stays for the next run.
//
// After every kill:
// - every file of the killed computer's object folders is exactly the
//   version it held before the run or the one the others made since, and
//   every copy on the carrier is a version that was written (damaged);
// - SYNCOBJ.QRV, MASKS.QRV, COMPS.QRV and the lists load whole (damaged);
// - no keldar.exe of the Wine prefix still runs (damaged);
// - after the killed computer's next run no temporary file is left in the
//   object folders, the carrier folders or the carrier (damaged);
// then undisturbed runs bring every object folder to the latest versions:
// a file whose latest version is nowhere is lost, folders that still differ
// after three passes did not converge.
//
//   keldar_soak [--kills N] [--minutes M] [--seed S] [--files F] [--dir D]
//               [--keldar PATH] [--linux-only]
//
// --minutes ends the soak after the round that passes M minutes, with the
// kills made so far. --linux-only leaves the Windows computer out; a
// KELDAR_WINDOWS_BUILD without keldar.exe or prefix ends the soak (status 2).
//
// Prints "N kills, D damaged, L lost, C not converged"; exits 1 on any.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fakes/wine.h"
#include "format/computer_file.h"
#include "format/list_file.h"
#include "format/mask_file.h"
#include "format/object_file.h"
#include "platform/text.h"

extern char** environ;

namespace keldar {
namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

constexpr int kComputers = 3;
constexpr int kObjects = 2;
constexpr const char* kNames[kComputers] = {"Первый", "Второй", "Третий"};
constexpr const char* kObjectFolders[kObjects] = {"Документы", "Фото и сметы"};
constexpr const char* kSubfolders[] = {
    "",       "Договоры",        "Договоры/2024",     "Фото",   "Фото/Лето на даче",
    "Сметы",  "Сметы/Ёлка",      "Сметы/Ёлка/старое", "Письма", "Письма/входящие",
    "Отчёты", "Отчёты/квартал 3"};
constexpr const char* kStems[] = {"отчёт",      "Смета",  "письмо", "фото",
                                  "Акт сверки", "данные", "План",   "журнал"};
constexpr const char* kExtensions[] = {".txt", ".doc", ".bin", ".jpg", ".xls", ""};

fs::path utf8_path(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string utf8_name(const fs::path& path) {
  const std::u8string name = path.generic_u8string();
  return std::string(name.begin(), name.end());
}

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

std::uint64_t digest(std::string_view data) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a, then the size
  for (unsigned char ch : data) h = (h ^ ch) * 1099511628211ull;
  return h ^ (data.size() * 0x9E3779B97F4A7C15ull);
}

// `size` bytes that differ for every key.
std::string contents(std::uint64_t key, std::size_t size) {
  std::string out(size, '\0');
  std::uint64_t x = key * 0x9E3779B97F4A7C15ull + 1;
  for (std::size_t i = 0; i < size; i += 8) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    std::memcpy(out.data() + i, &x, std::min<std::size_t>(8, size - i));
  }
  return out;
}

bool is_temporary(const std::string& name) {  // ~kld<digits>-<digits>.tmp
  const auto digits = [&](std::size_t from, std::size_t to) {
    return to > from && std::all_of(name.begin() + from, name.begin() + to,
                                    [](char ch) { return ch >= '0' && ch <= '9'; });
  };
  if (name.size() < 10 || name.rfind("~kld", 0) != 0 || !name.ends_with(".tmp")) return false;
  const std::size_t dash = name.find('-', 4);
  return dash != std::string::npos && digits(4, dash) && digits(dash + 1, name.size() - 4);
}

// Files below a folder: relative name -> digest; temporary files apart.
struct Tree {
  std::map<std::string, std::uint64_t> files;
  std::vector<std::string> temporaries;
};
Tree scan(const fs::path& top) {
  Tree tree;
  if (!fs::exists(top)) return tree;
  for (const auto& item : fs::recursive_directory_iterator(top)) {
    if (!item.is_regular_file()) continue;
    const std::string name = utf8_name(fs::relative(item.path(), top));
    if (is_temporary(utf8_name(item.path().filename()))) {
      tree.temporaries.push_back(name);
    } else {
      tree.files[name] = digest(read_bytes(item.path()));
    }
  }
  return tree;
}

// What is wrong with the carrier's tables and lists; empty when all load whole.
std::vector<std::string> table_faults(const fs::path& carrier) {
  std::vector<std::string> faults;
  const auto table = [&](const char* name, TableStatus status, std::size_t count,
                         std::size_t expected) {
    if (status != TableStatus::kOk || count != expected) {
      faults.push_back(std::string(name) + " does not load (status " +
                       std::to_string(static_cast<int>(status)) + ", " + std::to_string(count) +
                       " records)");
    }
  };
  const ObjectFile objects = decode_object_file(read_bytes(carrier / "SYNCOBJ.QRV"));
  table("SYNCOBJ.QRV", objects.status, objects.records.size(), kObjects);
  const MaskFile masks = decode_mask_file(read_bytes(carrier / "MASKS.QRV"));
  table("MASKS.QRV", masks.status, masks.records.size(), 1);
  const ComputerFile computers = decode_computer_file(read_bytes(carrier / "COMPS.QRV"));
  if (!computers.whole) faults.push_back("COMPS.QRV is not 80 bytes");
  for (int id = 1; id <= kObjects; ++id) {
    char name[16];
    std::snprintf(name, sizeof name, "%05d.QRN", id);
    const std::string bytes = read_bytes(carrier / name);
    const ListHeader header = decode_list_header(bytes);
    if (!header.magic || header.states_read != kComputerSlots) {
      faults.push_back(std::string(name) + ": header cut or missing");
      continue;
    }
    std::size_t used = kListHeaderSize;
    ListRecords records(std::string_view(bytes).substr(kListHeaderSize));
    ListRecord r;
    ListStep step;
    while ((step = records.next(r)) == ListStep::kRecord) used += kListRecordSize + r.name.size();
    if (used != bytes.size()) {
      faults.push_back(std::string(name) + ": records cut at byte " + std::to_string(used) +
                       " of " + std::to_string(bytes.size()));
    }
  }
  return faults;
}

struct Options {
  int kills = 20;
  std::uint64_t seed = 0;
  double minutes = 0;  // no limit
  int files = 200;     // per object at the start
  fs::path dir;
  std::string keldar = KELDAR_LINUX_PROGRAM;
  test::WindowsBuild windows;  // runs the third computer when `missing` is empty
};

class Soak {
 public:
  explicit Soak(const Options& options)
      : options_(options),
        rng_(options.seed),
        root_(options.dir),
        windows_(options.windows.missing.empty() ? kComputers - 1 : -1) {}

  int run() {
    if (windows_ < 0) {
      std::printf("the Windows computer is left out (%s): three Linux computers\n",
                  options_.windows.missing.c_str());
    } else {
      std::printf("%s is keldar.exe under Wine: %s, prefix %s\n", kNames[windows_],
                  options_.windows.exe.c_str(), options_.windows.prefix.c_str());
    }
    setup();
    std::printf("seed %llu, %d files per object, in %s\n",
                static_cast<unsigned long long>(options_.seed), options_.files, root_.c_str());
    const auto start = std::chrono::steady_clock::now();
    const auto in_time = [&] {
      return options_.minutes <= 0 ||
             Seconds(std::chrono::steady_clock::now() - start).count() < 60 * options_.minutes;
    };
    int round = 0;
    while (kills_ < options_.kills && in_time()) {
      const int kills_before = kills_;
      change_everywhere(++round);
      // One computer's Synchronize is killed, from the third round on (the
      // first two measure the undisturbed runs).
      std::vector<int> order = {0, 1, 2};
      std::shuffle(order.begin(), order.end(), rng_);
      const int victim = round > 2 ? order[rng_() % kComputers] : -1;
      for (int position = 0; position < kComputers; ++position) {
        const int c = order[position];
        const double moment =
            c == victim ? std::uniform_real_distribution<double>(0, length_[c])(rng_) : -1;
        std::map<std::string, std::uint64_t> before[kObjects];
        for (int o = 0; o < kObjects && c == victim; ++o) before[o] = scan(folder(c, o)).files;
        const double took = sync(c, moment);
        if (took >= 0) {  // undisturbed, or it ended before the moment
          length_[c] = length_[c] == 0 ? took : 0.8 * length_[c] + 0.2 * took;
        }
        if (took != kKilled) continue;
        ++kills_;
        ++kills_of_[c];
        after_kill(c, before);
        sync(c);
        expect_no_temporaries(c);
      }
      converge(round);
      if (kills_ != kills_before && (kills_ % 10 == 0 || failed())) {
        std::printf(
            "round %d: %d kills, %d damaged, %d lost, %d not converged (runs %.3f %.3f "
            "%.3f s)\n",
            round, kills_, damaged_, lost_, not_converged_, length_[0], length_[1], length_[2]);
        std::fflush(stdout);
      }
    }
    std::printf(
        "%d of the kills left temporary files, each removed by the next run or counted "
        "as damaged\n",
        left_temporaries_);
    std::printf("%d rounds; kills by computer: %s %d, %s %d, %s %d%s\n", round, kNames[0],
                kills_of_[0], kNames[1], kills_of_[1], kNames[2], kills_of_[2],
                windows_ < 0 ? "" : " (keldar.exe)");
    std::printf("%d kills, %d damaged, %d lost, %d not converged\n", kills_, damaged_, lost_,
                not_converged_);
    return failed() ? 1 : 0;
  }

 private:
  bool failed() const { return damaged_ + lost_ + not_converged_ > 0; }
  fs::path carrier() const { return root_ / utf8_path("Носитель"); }
  fs::path home(int c) const { return root_ / ("computer" + std::to_string(c + 1)); }
  fs::path folder(int c, int o) const { return home(c) / utf8_path(kObjectFolders[o]); }
  fs::path carried(int o) const { return carrier() / ("0000" + std::to_string(o + 1)); }

  void fault(const std::string& text) {
    ++damaged_;
    std::printf("  damaged: %s\n", text.c_str());
  }

  // The carrier with its tables, each computer joined, and the first files.
  void setup() {
    if (windows_ >= 0) {
      test::forget_windows_computers(options_.windows.prefix);
      start_wineserver();
    }
    fs::create_directories(carrier());
    for (int c = 0; c < kComputers; ++c) {
      for (int o = 0; o < kObjects; ++o) fs::create_directories(folder(c, o));
      fs::create_directories(home(c) / "config");
      if (sync(c) < 0) std::exit(2);
    }
    // The object table names each computer's folders in its slot.
    const ComputerFile computers = decode_computer_file(read_bytes(carrier() / "COMPS.QRV"));
    std::vector<ObjectRecord> objects;
    for (int o = 0; o < kObjects; ++o) {
      ObjectRecord r = ObjectRecord::new_object();
      r.set_id(static_cast<std::int16_t>(o + 1));
      r.set_allow_nested(true);
      for (int slot = 0; slot < kComputerSlots; ++slot) {
        for (int c = 0; c < kComputers; ++c) {
          if (computers.records[slot].name() != cp1251(kNames[c])) continue;
          const fs::path path = folder(c, o) / "*.*";
          if (!r.set_path(slot, cp1251(c == windows_ ? test::windows_path(path) : path.string()))) {
            std::exit(2);
          }
        }
      }
      objects.push_back(r);
    }
    MaskRecord any;
    if (!any.set_pattern("*.*")) std::exit(2);
    any.set_allow_copy(true);
    any.set_allow_delete(true);
    std::ofstream(carrier() / "SYNCOBJ.QRV", std::ios::binary)
        << encode_object_file(kObjects + 1, objects);
    std::ofstream(carrier() / "MASKS.QRV", std::ios::binary)
        << encode_mask_file(std::vector<MaskRecord>{any});
    // The first two computers fill one object each.
    for (int o = 0; o < kObjects; ++o) {
      for (int i = 0; i < options_.files; ++i) write(o, o, new_name());
    }
    converge(0);
  }

  std::string new_name() {
    const std::string sub = kSubfolders[rng_() % std::size(kSubfolders)];
    return (sub.empty() ? "" : sub + "/") + kStems[rng_() % std::size(kStems)] + " " +
           std::to_string(++names_) + kExtensions[rng_() % std::size(kExtensions)];
  }

  // Mixed sizes: mostly small, some of a few hundred KiB, a few of MiBs.
  std::size_t new_size() {
    const unsigned pick = rng_() % 100;
    if (pick < 50) return rng_() % 2048;
    if (pick < 85) return 2048 + rng_() % 30000;
    if (pick < 98) return 32768 + rng_() % 300000;
    return (1 << 20) + rng_() % (2 << 20);
  }

  // Writes a new version of `name` into computer c's folder of object o,
  // with a time after every earlier one (even seconds, in the past).
  void write(int c, int o, const std::string& name) {
    const std::string data = contents(rng_(), new_size());
    const fs::path file = folder(c, o) / utf8_path(name);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << data;
    clock_ += 2;
    const timespec times[2] = {{clock_, 0}, {clock_, 0}};
    ::utimensat(AT_FDCWD, file.c_str(), times, 0);
    latest_[o][name] = digest(data);
    written_[o][name].insert(digest(data));
  }

  // Each computer changes, adds and deletes files of its own share of each
  // object, so that no two computers change one file in a round.
  void change_everywhere(int round) {
    for (int o = 0; o < kObjects; ++o) {
      std::vector<std::string> names;
      for (const auto& [name, d] : latest_[o]) names.push_back(name);
      std::shuffle(names.begin(), names.end(), rng_);
      for (int c = 0; c < kComputers; ++c) {
        std::vector<std::string> share;
        for (std::size_t i = c; i < names.size(); i += kComputers) share.push_back(names[i]);
        const std::size_t changed = std::min<std::size_t>(share.size(), 3 + round % 3);
        for (std::size_t i = 0; i < changed; ++i) write(c, o, share[i]);
        if (share.size() > changed) {
          fs::remove(folder(c, o) / utf8_path(share[changed]));
          latest_[o].erase(share[changed]);
        }
        for (int i = 0; i < 2; ++i) write(c, o, new_name());
      }
    }
  }

  // Runs computer c's Synchronize; with `kill_after` seconds, kills it with
  // SIGKILL then if it still runs. Returns its length in seconds, kKilled,
  // or kFailed when it ended with a status other than 0 (printed).
  static constexpr double kKilled = -1, kFailed = -2;
  double sync(int c, double kill_after = -1) {
    const fs::path out = root_ / ("output" + std::to_string(c + 1) + ".txt");
    const std::string config = "XDG_CONFIG_HOME=" + (home(c) / "config").string();
    std::vector<std::string> env = {config, "TZ=UTC0", "LC_ALL=C.UTF-8"};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string var = *e;
      const std::string name = var.substr(0, var.find('='));
      if (name != "TEMP" && name != "XDG_CONFIG_HOME" && name != "TZ" && name != "LC_ALL" &&
          name != "WINEDEBUG" && name != "WINEPREFIX") {
        env.push_back(var);
      }
    }
    // The Windows computer keeps its identification file in the prefix
    // (first argument 1: %LOCALAPPDATA%\keldar\D).
    std::vector<std::string> args = {options_.keldar};
    if (c == windows_) {
      args = {test::kWine, options_.windows.exe.string(), "1"};
      env.push_back("WINEDEBUG=-all");
      env.push_back("WINEPREFIX=" + options_.windows.prefix.string());
    }
    for (const char* a : {"--sync", "--answer", "yes", "--name", kNames[c]}) args.push_back(a);
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    for (std::string& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    int status = 0;
    bool killed = false;
    auto start = std::chrono::steady_clock::now();
    // Wine itself may fail to start keldar.exe (status 1 and not a line of
    // output: the program prints its start line first); it is run again
    // once, with a line saying so.
    for (int attempt = 0; attempt < 2; ++attempt) {
      start = std::chrono::steady_clock::now();
      const pid_t pid = ::fork();
      if (pid == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = ::open("/dev/null", O_RDONLY);
        if (fd < 0 || null < 0 || ::chdir(carrier().c_str()) != 0) ::_exit(127);
        ::dup2(null, 0), ::dup2(fd, 1), ::dup2(fd, 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
      }
      while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (kill_after >= 0 &&
            Seconds(std::chrono::steady_clock::now() - start).count() >= kill_after) {
          ::kill(pid, SIGKILL);
          ::waitpid(pid, &status, 0);
          killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
          break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      if (c != windows_ || killed || !WIFEXITED(status) || WEXITSTATUS(status) != 1 ||
          !read_bytes(out).empty()) {
        break;
      }
      std::printf("  %s: Wine ended with status 1 before keldar.exe printed anything; again\n",
                  kNames[c]);
    }
    const double took = Seconds(std::chrono::steady_clock::now() - start).count();
    if (killed) return kKilled;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ++run_failures_;
      std::printf("  %s's Synchronize ended with status %d:\n%s\n", kNames[c],
                  WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_bytes(out).c_str());
      return kFailed;
    }
    return took;
  }

  // The killed computer's files are their old or their new version; the
  // carrier holds written versions only; the tables and lists load.
  void after_kill(int c, const std::map<std::string, std::uint64_t> (&before)[kObjects]) {
    for (int o = 0; o < kObjects; ++o) {
      for (const auto& [name, d] : scan(folder(c, o)).files) {
        const auto old = before[o].find(name);
        const auto now = latest_[o].find(name);
        if ((old == before[o].end() || old->second != d) &&
            (now == latest_[o].end() || now->second != d)) {
          fault(std::string(kNames[c]) + ": " + kObjectFolders[o] + "/" + name +
                " is neither its old nor its new version");
        }
      }
      for (const auto& [name, d] : scan(carried(o)).files) {
        if (!written_[o][name].contains(d)) {
          fault("carrier: " + utf8_name(carried(o).filename()) + "/" + name +
                " is no version that was written");
        }
      }
    }
    for (const std::string& text : table_faults(carrier())) fault(text);
    if (c == windows_) {
      for (const std::string& pid : windows_programs()) {
        fault("keldar.exe still runs after the kill (process " + pid + ")");
      }
    }
    for (const fs::path& top : {carrier(), folder(c, 0), folder(c, 1)}) {
      if (!scan(top).temporaries.empty()) {
        ++left_temporaries_;  // for the next run to remove
        break;
      }
    }
  }

  // No temporary file in computer c's object folders, the carrier folders
  // or the carrier.
  void expect_no_temporaries(int c) {
    for (const fs::path& top : {carrier(), folder(c, 0), folder(c, 1)}) {
      for (const std::string& name : scan(top).temporaries) {
        fault("temporary file left after the next run: " + utf8_name(top / utf8_path(name)));
      }
    }
  }

  // Undisturbed passes over the three computers until every object folder
  // holds the latest version of every file and nothing else (at most
  // three passes).
  void converge(int round) {
    std::vector<std::string> differences;
    for (int pass = 0; pass < 3; ++pass) {
      for (int c = 0; c < kComputers; ++c) sync(c);
      differences.clear();
      for (int o = 0; o < kObjects; ++o) {
        for (int c = 0; c < kComputers; ++c) {
          const Tree tree = scan(folder(c, o));
          for (const auto& [name, d] : latest_[o]) {
            const auto got = tree.files.find(name);
            if (got == tree.files.end() || got->second != d) {
              differences.push_back(std::string(kNames[c]) + ": " + kObjectFolders[o] + "/" + name +
                                    (got == tree.files.end() ? " missing" : " outdated"));
            }
          }
          for (const auto& [name, d] : tree.files) {
            if (!latest_[o].contains(name)) {
              differences.push_back(std::string(kNames[c]) + ": " + kObjectFolders[o] + "/" + name +
                                    " should be deleted");
            }
          }
          for (const std::string& name : tree.temporaries) {
            differences.push_back(std::string(kNames[c]) + ": temporary " + name);
          }
        }
      }
      if (differences.empty() && run_failures_ == 0) return;
    }
    // A latest version that no computer holds is lost.
    for (int o = 0; o < kObjects; ++o) {
      for (const auto& [name, d] : latest_[o]) {
        bool somewhere = false;
        for (int c = 0; c < kComputers; ++c) {
          somewhere = somewhere || scan_file(folder(c, o) / utf8_path(name)) == d;
        }
        if (!somewhere) {
          ++lost_;
          std::printf("  lost: %s/%s\n", kObjectFolders[o], name.c_str());
        }
      }
    }
    ++not_converged_;
    run_failures_ = 0;
    std::printf("  round %d did not converge:\n", round);
    for (const std::string& d : differences) std::printf("    %s\n", d.c_str());
  }

  // Wine's server for the prefix, staying a minute after its last client
  // (so between runs and after a kill), apart from this process's output;
  // one that already runs stays as it is.
  void start_wineserver() {
    const std::string prefix = "WINEPREFIX=" + options_.windows.prefix.string();
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
      ::setsid();
      char* argv[] = {const_cast<char*>(test::kWineServer), const_cast<char*>("-p60"), nullptr};
      char* envp[] = {const_cast<char*>(prefix.c_str()), nullptr};
      ::execve(argv[0], argv, envp);
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
  }

  // The processes (ids) that run keldar.exe in the soak's Wine prefix.
  std::vector<std::string> windows_programs() const {
    const std::string prefix = "WINEPREFIX=" + options_.windows.prefix.string();
    std::vector<std::string> found;
    for (const auto& item : fs::directory_iterator("/proc")) {
      const std::string pid = item.path().filename().string();
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      const std::string command = read_bytes(item.path() / "cmdline");
      const std::string environment = '\0' + read_bytes(item.path() / "environ");
      if (command.find("keldar.exe") != std::string::npos &&
          environment.find('\0' + prefix + '\0') != std::string::npos) {
        found.push_back(pid);
      }
    }
    return found;
  }

  static std::uint64_t scan_file(const fs::path& file) {
    return fs::exists(file) ? digest(read_bytes(file)) : 0;
  }

  Options options_;
  std::mt19937_64 rng_;
  fs::path root_;
  int windows_;  // the computer that runs keldar.exe, or -1
  std::map<std::string, std::uint64_t> latest_[kObjects];             // name -> digest
  std::map<std::string, std::set<std::uint64_t>> written_[kObjects];  // every version
  std::int64_t clock_ = 1'600'000'000;
  int names_ = 0;
  double length_[kComputers] = {};  // undisturbed runs in a round, by computer
  int kills_ = 0, damaged_ = 0, lost_ = 0, not_converged_ = 0, run_failures_ = 0;
  int left_temporaries_ = 0;
  int kills_of_[kComputers] = {};
};

int run_soak(int argc, char** argv) {
  Options options;
  options.seed = static_cast<std::uint64_t>(std::time(nullptr));
  bool keep = false, linux_only = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--kills" && has_value) {
      options.kills = std::atoi(argv[++i]);
    } else if (arg == "--minutes" && has_value) {
      options.minutes = std::atof(argv[++i]);
    } else if (arg == "--seed" && has_value) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--files" && has_value) {
      options.files = std::atoi(argv[++i]);
    } else if (arg == "--dir" && has_value) {
      options.dir = fs::absolute(argv[++i]);
      keep = true;
    } else if (arg == "--keldar" && has_value) {
      options.keldar = argv[++i];
    } else if (arg == "--linux-only") {
      linux_only = true;
    } else {
      std::fprintf(stderr,
                   "usage: keldar_soak [--kills N] [--minutes M] [--seed S] [--files F] "
                   "[--dir D] [--keldar PATH] [--linux-only]\n");
      return 2;
    }
  }
  if (linux_only) {
    options.windows = {};
    options.windows.missing = "--linux-only";
  } else {
    options.windows = test::windows_build();
    // A build named but not there is a mistake, not a machine without Wine.
    if (options.windows.named && fs::exists(test::kWine) && !options.windows.missing.empty()) {
      std::fprintf(stderr, "%s\n", options.windows.missing.c_str());
      return 2;
    }
  }
  if (options.dir.empty()) {
    options.dir = test::new_folder_on_root_volume("keldar-soak");
    if (options.dir.empty()) return 2;
  } else {
    fs::create_directories(options.dir);
    if (!fs::is_empty(options.dir)) {
      std::fprintf(stderr, "%s is not empty\n", options.dir.c_str());
      return 2;
    }
  }
  if (options.windows.missing.empty() && !test::on_root_volume(options.dir)) {
    options.windows.missing =
        options.dir.string() + " is not on the root file system, the only volume Wine describes";
  }
  const int status = Soak(options).run();
  if (!keep && status == 0) fs::remove_all(options.dir);
  return status;
}

}  // namespace
}  // namespace keldar

int main(int argc, char** argv) { return keldar::run_soak(argc, argv); }
