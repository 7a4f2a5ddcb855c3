// Synchronize between two simulated computers A and B sharing one carrier,
// against cp on the same data, in one run (ratios):
//
//   1. 10,000 small files (1-4 KiB, 100 folders) new on A: A's Synchronize,
//      which puts them on the carrier, against `cp -a` of A's tree; then B's
//      Synchronize, which applies them, against `cp -a` of the carrier
//      folder to B's side. Best of several rounds, the state made anew for
//      each round.
//   2. One 1 GiB file new on A: A's Synchronize against `cp` of the file;
//      then B's Synchronize, which applies it, against `cp` of the carrier's
//      copy to B's side.
//   3. A Synchronize with nothing to do over a large tree (A and B hold the
//      same files) against filling the lists alone.
//
// Every Synchronize of parts 1 and 2 is timed twice, interleaved round by
// round, each in a world of its own: with copies verified, as the program
// is built (a copy put on the carrier is hashed and recorded in the sum
// file, a carrier copy brought to the object folder is hashed and checked),
// and with copies unverified, as the program copied before it hashed them
// (no hash, and the kernel may copy on its own). Below the rows of a
// Synchronize, "copies unverified" gives the best unverified time with its
// ratio against cp, and "verification +N %" what verifying costs: the best
// verified time against the best unverified one.
//
//   sync_bench --work DIR [--carrier DIR] [--files 10000] [--big-mib 1024]
//              [--idle-files 100000] [--rounds 3] [--parts 1,2,3]
//
// --work     an empty folder on the disk to measure; everything is made in it
//            and removed at the end.
// --carrier  an empty folder on another volume for the carrier (a removable
//            drive is never the computer's own disk); the copies that cp
//            makes to the carrier's side go there too. Default: --work.
//
// Each computer has its own XDG_CONFIG_HOME (its identification file) and
// its own object folder; the carrier is the current directory. Before every
// timed step the dirty pages of the whole system are written out (sync), so
// that no step pays for the writes of the one before; the data read is in
// the page cache for every contender alike (it was just written). "cp+sync"
// is cp followed by sync(1), for a copy that is on the disk when it ends, as
// every copy of the program is.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/session.h"
#include "app/startup.h"
#include "app/worker.h"
#include "format/carrier_files.h"
#include "lists/scan.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#include "store/mask_table.h"
#include "store/object_table.h"

namespace keldar {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "sync_bench: %s\n", what.c_str());
  std::exit(1);
}

double seconds_since(Steady::time_point start) {
  return std::chrono::duration<double>(Steady::now() - start).count();
}

// Answers the computer-name prompt with the computer's name, cancels every
// question, and counts the log lines by their first characters.
class QuietHost : public Host {
 public:
  explicit QuietHost(std::string name) : name_(std::move(name)) {}
  void show_log_line(std::string_view line) override {
    ++lines;
    const bool folder = !line.empty() && line.back() == '\\';
    if (line.substr(0, 3) == "=+ " && folder) ++folders_put;
    if (line.substr(0, 3) == "=+ " && !folder) {
      ++put_on_carrier;
      const bool plain = line.size() > 4 && (line.substr(line.size() - 4) == ".txt" ||
                                             line.substr(line.size() - 4) == ".doc" ||
                                             line.substr(line.size() - 4) == ".bin");
      if (!plain) odd.emplace_back(line);
    }
    if (line.size() >= 3 && line[0] == '+' && line[1] == '=' && !folder) ++taken_from_carrier;
    if (keep) kept.emplace_back(line);
  }
  void set_status(std::string_view) override {}
  void set_progress(std::string_view) override {}
  void set_title(std::string_view) override {}
  void set_running(bool) override {}
  void ask_text(std::string_view, std::string& answer) override { answer = name_; }
  void show_message(std::string_view text) override { messages.emplace_back(text); }
  Answer ask(std::string_view text, std::string_view, bool, bool) override {
    questions.emplace_back(text);
    return Answer::kCancel;
  }
  long lines = 0;
  long put_on_carrier = 0;  // files only
  long folders_put = 0;
  long taken_from_carrier = 0;
  bool keep = false;
  std::vector<std::string> kept;
  std::vector<std::string> odd;  // "=+ " lines that name no generated file
  std::vector<std::string> messages;
  std::vector<std::string> questions;

 private:
  std::string name_;
};

void run_shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) die("failed: " + command);
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Wall time of a shell command.
double time_shell(const std::string& command) {
  auto start = Steady::now();
  run_shell(command);
  return seconds_since(start);
}

double time_sync() {
  auto start = Steady::now();
  ::sync();
  return seconds_since(start);
}

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

constexpr std::int64_t kT0 = 1600000000;  // an even second

void write_file(const std::string& path, const std::string& data, std::int64_t seconds) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) die("cannot create " + path + ": " + std::strerror(errno));
  if (!data.empty() && ::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
    die("cannot write " + path);
  }
  const struct timespec times[2] = {{static_cast<time_t>(seconds), 0},
                                    {static_cast<time_t>(seconds), 0}};
  if (::futimens(fd, times) != 0) die("cannot set the time of " + path);
  ::close(fd);
}

// `files` files of 1-4 KiB in folders of `per_folder`, a third of the names
// Cyrillic; whole even-second times. Returns the bytes written.
std::uint64_t make_small_tree(const std::string& root, long files, long per_folder) {
  Random random(0x73796e63ULL);
  std::uint64_t bytes = 0;
  std::string folder;
  std::string data;
  for (long i = 0; i < files; ++i) {
    if (i % per_folder == 0) {
      const long f = i / per_folder;
      folder = root + "/" + (f % 3 == 0 ? "Архив " : "folder ") + std::to_string(f);
      if (::mkdir(folder.c_str(), 0755) != 0) die("cannot create " + folder);
    }
    const std::size_t size = 1024 + random.below(3 * 1024 + 1);
    data.resize(size);
    for (std::size_t k = 0; k < size; ++k) data[k] = static_cast<char>('a' + random.below(26));
    const std::string name =
        (i % 3 == 0 ? "Отчёт " : "report ") + std::to_string(i) + (i % 2 ? ".txt" : ".doc");
    write_file(folder + "/" + name, data,
               kT0 + 2 * static_cast<std::int64_t>(random.below(1000000)));
    bytes += size;
  }
  for (const auto& entry : fs::directory_iterator(root)) {
    const struct timespec times[2] = {{kT0, 0}, {kT0, 0}};
    (void)::utimensat(AT_FDCWD, entry.path().c_str(), times, 0);
  }
  return bytes;
}

// Regular files below `root` with their sizes and times; compares two trees
// file by file (contents, size, modification time). Empty when equal.
std::string compare_trees(const std::string& a, const std::string& b, long& files) {
  files = 0;
  for (const auto& item : fs::recursive_directory_iterator(a)) {
    if (!item.is_regular_file()) continue;
    ++files;
    const fs::path rel = fs::relative(item.path(), a);
    const fs::path other = fs::path(b) / rel;
    struct stat sa {
    }, sb{};
    if (::stat(item.path().c_str(), &sa) != 0) return "cannot stat " + item.path().string();
    if (::stat(other.c_str(), &sb) != 0) return "missing on the other side: " + rel.string();
    if (sa.st_size != sb.st_size) return "size differs: " + rel.string();
    if (sa.st_mtim.tv_sec != sb.st_mtim.tv_sec) return "time differs: " + rel.string();
    if (sa.st_size <= (1 << 20)) {
      auto read = [](const fs::path& p) {
        std::string s;
        int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        char buf[65536];
        ssize_t n;
        while (fd >= 0 && (n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, n);
        if (fd >= 0) ::close(fd);
        return s;
      };
      if (read(item.path()) != read(other)) return "contents differ: " + rel.string();
    } else {
      // Large files: cmp(1) does it faster than this loop would.
      if (std::system(("cmp -s " + quoted(item.path()) + " " + quoted(other)).c_str()) != 0) {
        return "contents differ: " + rel.string();
      }
    }
  }
  long other_files = 0;
  for (const auto& item : fs::recursive_directory_iterator(b)) {
    if (item.is_regular_file()) ++other_files;
  }
  if (other_files != files) {
    return "the other side holds " + std::to_string(other_files) + " files, not " +
           std::to_string(files);
  }
  return {};
}

// The folder below which the carriers lie: --carrier, or the work folder.
std::string g_carrier;
std::string carrier_work(const std::string& work) { return g_carrier.empty() ? work : g_carrier; }

long count_files(const std::string& root) {
  long n = 0;
  if (!fs::exists(root)) return 0;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (item.is_regular_file()) ++n;
  }
  return n;
}

// How a Synchronize copies files: verified, as built, or unverified.
enum class Copies { kVerified, kUnverified };

// Copies with no observer, as the program did before it verified copies:
// nothing is hashed, and the kernel may make the copy on its own.
class UnverifiedFileSystem final : public PosixFileSystem {
 public:
  using PosixFileSystem::copy_file;
  int copy_file(std::string_view from, std::string_view to, CopyObserver*) override {
    return PosixFileSystem::copy_file(from, to, nullptr);
  }
};

// Two computers A (slot 0) and B (slot 1), one object with subfolders, the
// mask "*.*", in a folder of their own below the work folder; every
// Synchronize copies as `copies` says.
class World {
 public:
  World(const std::string& root, const std::string& carrier_root, Copies copies = Copies::kVerified)
      : root_(root), carrier_root_(carrier_root), copies_(copies) {
    fs::create_directories(carrier());
    for (const char* c : {"A", "B"}) fs::create_directories(work(c));
    if (::chdir(carrier().c_str()) != 0) die("cannot enter " + carrier());
    start_only("A");
    start_only("B");
    PosixFileSystem files;
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(1);
    r.set_allow_nested(true);
    for (int c = 0; c < 2; ++c) {
      if (!r.set_path(c, work(c == 0 ? "A" : "B") + "/*.*")) die("object path too long");
    }
    if (!objects.commit_new_object()) die("cannot add the object");
    objects.set_next_id(2);
    if (objects.save(files, carrier() + "/" + kObjectFileName) != 0) die("cannot save objects");
    MaskTable table;
    MaskRecord& rec = table.record(table.count());
    if (!rec.set_pattern("*.*")) die("bad mask");
    rec.set_allow_copy(true);
    rec.set_allow_delete(true);
    if (!table.insert_template_at(table.count())) die("cannot add the mask");
    if (table.save(files, carrier() + "/" + kMaskFileName) != 0) die("cannot save masks");
  }

  std::string carrier() const { return carrier_root_ + "/carrier"; }
  std::string object_carrier() const { return carrier() + "/00001"; }
  std::string work(const std::string& c) const { return root_ + "/" + c + "/work"; }

  struct Timing {
    double run = 0;     // run_all_objects (or the fill alone)
    double finish = 0;  // finish_run: the lists written, the log closed
    double total() const { return run + finish; }
    long put = 0, taken = 0, lines = 0;
  };

  // One Synchronize (or, with `fill_only`, fill_all_lists alone) on
  // computer `c`, start-up not timed.
  Timing synchronize(const std::string& c, bool fill_only = false) {
    if (::chdir(carrier().c_str()) != 0) die("cannot enter " + carrier());
    setenv("XDG_CONFIG_HOME", (root_ + "/" + c + "/config").c_str(), 1);
    std::unique_ptr<PosixFileSystem> files;
    if (copies_ == Copies::kVerified) {
      files = std::make_unique<PosixFileSystem>();
    } else {
      files = std::make_unique<UnverifiedFileSystem>();
    }
    PosixSystem system;
    SystemClock clock;
    QuietHost host(c);
    Timing t;
    {
      Session session(*files, system, clock, host);
      if (start_up(session, 'C') != StartResult::kReady) die("start-up failed on " + c);
      if (session.computer != (c == "A" ? 0 : 1)) die("computer " + c + " has the wrong slot");
      auto start = Steady::now();
      if (fill_only) {
        session.queue.set(op::kFill);
        if (fill_all_lists(session.env, session, Leftovers::kRemove) != 0) {
          die("fill_all_lists failed on " + c);
        }
      } else {
        log_sync_banner(session);
        session.queue.set(op::kAction1, op::kAction2);
        RunOutcome outcome = run_all_objects(session);
        if (outcome.failed || outcome.unreachable || outcome.interrupted) {
          die("Synchronize failed on " + c);
        }
      }
      t.run = seconds_since(start);
      start = Steady::now();
      if (finish_run(session) != 0) die("finish_run failed on " + c);
      t.finish = seconds_since(start);
    }
    if (!host.questions.empty()) die("Synchronize on " + c + " asked: " + host.questions[0]);
    if (!host.messages.empty()) die("Synchronize on " + c + " showed: " + host.messages[0]);
    for (const std::string& l : host.odd)
      std::printf("   log line on %s: %s\n", c.c_str(), l.c_str());
    t.put = host.put_on_carrier;
    t.taken = host.taken_from_carrier;
    t.lines = host.lines;
    return t;
  }

  // After A's Synchronize: the object's sum file is on the carrier exactly
  // when the copies were verified, so the run timed what its rows say.
  void check_sums() const {
    const bool recorded = fs::exists(carrier() + "/" + sum_file(1));
    if (recorded != (copies_ == Copies::kVerified)) {
      die(recorded ? "unverified copies were recorded" : "verified copies were not recorded");
    }
  }

 private:
  void start_only(const std::string& c) {
    setenv("XDG_CONFIG_HOME", (root_ + "/" + c + "/config").c_str(), 1);
    PosixFileSystem files;
    PosixSystem system;
    SystemClock clock;
    QuietHost host(c);
    Session session(files, system, clock, host);
    if (start_up(session, 'C') != StartResult::kReady) die("start-up failed on " + c);
    if (finish_run(session) != 0) die("finish_run failed on " + c);
  }

  std::string root_;
  std::string carrier_root_;
  Copies copies_;
};

double best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

std::string list_text(const std::vector<double>& v) {
  std::string s;
  for (double x : v) {
    char b[32];
    std::snprintf(b, sizeof b, "%s%.3f", s.empty() ? "" : " ", x);
    s += b;
  }
  return s;
}

void row(const char* what, const std::vector<double>& v, double reference, const char* against) {
  std::printf("  %-44s best %8.3f s  (%s)", what, best(v), list_text(v).c_str());
  if (reference > 0) std::printf("  = %.2fx %s", best(v) / reference, against);
  std::printf("\n");
}

// The unverified row of a Synchronize and what verifying its copies costs.
void unverified_rows(const std::vector<double>& verified, const std::vector<double>& unverified,
                     double reference, const char* against) {
  row("   the same, copies unverified", unverified, reference, against);
  std::printf("  %-44s verification %+.1f %%\n", "", (best(verified) / best(unverified) - 1) * 100);
}

// The two kinds of copies in the order of round `round`: each goes first
// every other round.
std::vector<Copies> kinds_of_round(int round) {
  if (round % 2 == 0) return {Copies::kVerified, Copies::kUnverified};
  return {Copies::kUnverified, Copies::kVerified};
}

std::string round_name(const char* part, int round, Copies copies) {
  return std::string(part) + "-" + std::to_string(round) +
         (copies == Copies::kVerified ? "-verified" : "-unverified");
}

// --- part 1 ----------------------------------------------------------------

struct SmallRound {
  World::Timing a, b;
  double cp_tree = 0, cp_tree_sync = 0, cp_carrier = 0, cp_carrier_sync = 0;
};

SmallRound small_round(const std::string& work, const std::string& name, long files, Copies copies,
                       bool show_size) {
  SmallRound r;
  const std::string root = work + "/" + name;
  const std::string carrier_root = carrier_work(work) + "/" + name;
  World world(root, carrier_root, copies);
  world.synchronize("B");
  world.synchronize("A");
  const std::uint64_t bytes = make_small_tree(world.work("A"), files, 100);
  if (show_size) std::printf("   %.1f MiB of data\n", bytes / 1048576.0);
  // Warm: both contenders read the tree from the page cache.
  run_shell("find " + quoted(world.work("A")) + " -type f -exec cat {} + > /dev/null");
  ::sync();

  r.a = world.synchronize("A");
  ::sync();
  if (r.a.put != files) die("A put " + std::to_string(r.a.put) + " files on the carrier");
  if (count_files(world.object_carrier()) != files) die("the carrier lacks files after A");
  world.check_sums();

  const std::string cp_b = root + "/cp-carrier";
  r.cp_carrier = time_shell("cp -a " + quoted(world.object_carrier()) + " " + quoted(cp_b));
  r.cp_carrier_sync = r.cp_carrier + time_sync();

  r.b = world.synchronize("B");
  ::sync();
  if (r.b.taken != files) die("B took " + std::to_string(r.b.taken) + " files from the carrier");

  const std::string cp_a = carrier_root + "/cp-tree";
  r.cp_tree = time_shell("cp -a " + quoted(world.work("A")) + " " + quoted(cp_a));
  r.cp_tree_sync = r.cp_tree + time_sync();

  long compared = 0;
  std::string diff = compare_trees(world.work("A"), world.work("B"), compared);
  if (!diff.empty()) die("A and B differ after B's Synchronize: " + diff);
  if (compared != files) die("A holds " + std::to_string(compared) + " files");
  const long left = count_files(world.object_carrier());
  if (left != 0) {
    std::printf("   NOTE: %ld files left on the carrier after B (both have them)\n", left);
  }
  fs::remove_all(root);
  fs::remove_all(carrier_root);
  ::sync();
  return r;
}

void small_files(const std::string& work, long files, int rounds) {
  std::printf("\n1. %ld small files (1-4 KiB) in %ld folders, new on A\n", files,
              (files + 99) / 100);
  std::vector<double> sync_a, finish_a, sync_b, finish_b, cp_tree, cp_tree_sync, cp_carrier,
      cp_carrier_sync, sync_a_unverified, sync_b_unverified;
  for (int round = 0; round < rounds; ++round) {
    for (Copies copies : kinds_of_round(round)) {
      const bool first = round == 0 && copies == Copies::kVerified;
      SmallRound r = small_round(work, round_name("small", round, copies), files, copies, first);
      if (copies == Copies::kUnverified) {
        sync_a_unverified.push_back(r.a.total());
        sync_b_unverified.push_back(r.b.total());
        continue;
      }
      // cp is timed in both worlds alike; its rows keep one time a round.
      cp_tree.push_back(r.cp_tree);
      cp_tree_sync.push_back(r.cp_tree_sync);
      cp_carrier.push_back(r.cp_carrier);
      cp_carrier_sync.push_back(r.cp_carrier_sync);
      sync_a.push_back(r.a.total());
      finish_a.push_back(r.a.finish);
      sync_b.push_back(r.b.total());
      finish_b.push_back(r.b.finish);
    }
  }
  row("cp -a A's tree", cp_tree, 0, "");
  row("cp -a A's tree + sync", cp_tree_sync, 0, "");
  row("A: Synchronize (Action 2 puts all)", sync_a, best(cp_tree), "cp -a");
  row("   of which finish_run (lists, log)", finish_a, 0, "");
  std::printf("  %-44s %.2fx cp -a + sync\n", "", best(sync_a) / best(cp_tree_sync));
  unverified_rows(sync_a, sync_a_unverified, best(cp_tree), "cp -a");
  row("cp -a carrier folder to B's side", cp_carrier, 0, "");
  row("cp -a carrier folder + sync", cp_carrier_sync, 0, "");
  row("B: Synchronize (Action 1 applies all)", sync_b, best(cp_carrier), "cp -a");
  row("   of which finish_run (lists, log)", finish_b, 0, "");
  std::printf("  %-44s %.2fx cp -a + sync\n", "", best(sync_b) / best(cp_carrier_sync));
  unverified_rows(sync_b, sync_b_unverified, best(cp_carrier), "cp -a");
}

// --- part 2 ----------------------------------------------------------------

struct BigRound {
  World::Timing a, b;
  double cp = 0, cp_sync = 0, cp_b = 0, cp_b_sync = 0;
};

BigRound big_round(const std::string& work, const std::string& source, const std::string& name,
                   Copies copies) {
  BigRound r;
  const std::string root = work + "/" + name;
  const std::string carrier_root = carrier_work(work) + "/" + name;
  World world(root, carrier_root, copies);
  world.synchronize("B");
  world.synchronize("A");
  // The same inode each round: its pages stay cached for every contender.
  if (::link(source.c_str(), (world.work("A") + "/big.bin").c_str()) != 0) die("cannot link");
  run_shell("cat " + quoted(source) + " > /dev/null");
  ::sync();

  r.a = world.synchronize("A");
  ::sync();
  if (r.a.put != 1) die("A put " + std::to_string(r.a.put) + " files on the carrier");
  world.check_sums();

  r.cp = time_shell("cp " + quoted(source) + " " + quoted(carrier_root + "/cp-big.bin"));
  r.cp_sync = r.cp + time_sync();

  const std::string on_carrier = world.object_carrier() + "/big.bin";
  if (std::system(("cmp -s " + quoted(source) + " " + quoted(on_carrier)).c_str()) != 0) {
    die("the carrier's copy differs from the source");
  }

  r.cp_b = time_shell("cp " + quoted(on_carrier) + " " + quoted(root + "/cp-big-b.bin"));
  r.cp_b_sync = r.cp_b + time_sync();

  r.b = world.synchronize("B");
  ::sync();
  if (r.b.taken != 1) die("B took " + std::to_string(r.b.taken) + " files from the carrier");
  if (std::system(
          ("cmp -s " + quoted(source) + " " + quoted(world.work("B") + "/big.bin")).c_str()) != 0) {
    die("B's copy differs from the source");
  }
  fs::remove_all(root);
  fs::remove_all(carrier_root);
  ::sync();
  return r;
}

void big_file(const std::string& work, long mib, int rounds) {
  std::printf("\n2. one file of %ld MiB, new on A\n", mib);
  const std::string source = work + "/big.src";
  {
    int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) die("cannot create " + source);
    std::vector<char> block(1 << 20);
    Random random(7);
    for (long m = 0; m < mib; ++m) {
      for (std::size_t k = 0; k < block.size(); k += 8) {
        std::uint64_t v = random.next();
        std::memcpy(&block[k], &v, 8);
      }
      if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
        die("cannot write " + source);
      }
    }
    const struct timespec times[2] = {{kT0, 0}, {kT0, 0}};
    ::futimens(fd, times);
    ::close(fd);
  }
  ::sync();
  std::vector<double> sync_a, cp, cp_sync, sync_b, cp_b, cp_b_sync, sync_a_unverified,
      sync_b_unverified;
  for (int round = 0; round < rounds; ++round) {
    for (Copies copies : kinds_of_round(round)) {
      BigRound r = big_round(work, source, round_name("big", round, copies), copies);
      if (copies == Copies::kUnverified) {
        sync_a_unverified.push_back(r.a.total());
        sync_b_unverified.push_back(r.b.total());
        continue;
      }
      sync_a.push_back(r.a.total());
      cp.push_back(r.cp);
      cp_sync.push_back(r.cp_sync);
      sync_b.push_back(r.b.total());
      cp_b.push_back(r.cp_b);
      cp_b_sync.push_back(r.cp_b_sync);
    }
  }
  fs::remove(source);
  row("cp of the file", cp, 0, "");
  row("cp of the file + sync", cp_sync, 0, "");
  row("A: Synchronize (Action 2 of the file)", sync_a, best(cp), "cp");
  std::printf("  %-44s %.2fx cp + sync\n", "", best(sync_a) / best(cp_sync));
  unverified_rows(sync_a, sync_a_unverified, best(cp), "cp");
  row("cp of the carrier's copy to B's side", cp_b, 0, "");
  row("cp of the carrier's copy + sync", cp_b_sync, 0, "");
  row("B: Synchronize (Action 1 of the file)", sync_b, best(cp_b), "cp");
  std::printf("  %-44s %.2fx cp + sync\n", "", best(sync_b) / best(cp_b_sync));
  unverified_rows(sync_b, sync_b_unverified, best(cp_b), "cp");
}

// --- part 3 ----------------------------------------------------------------

void idle(const std::string& work, long files, int rounds) {
  std::printf("\n3. Synchronize with nothing to do over %ld files (A and B hold the same)\n",
              files);
  const std::string root = work + "/idle";
  const std::string carrier_root = carrier_work(work) + "/idle";
  World world(root, carrier_root);
  make_small_tree(world.work("A"), files, 1000);
  run_shell("cp -a " + quoted(world.work("A")) + "/. " + quoted(world.work("B")));
  ::sync();
  // Rounds until a round moves nothing.
  int settle = 0;
  for (;; ++settle) {
    World::Timing b = world.synchronize("B");
    World::Timing a = world.synchronize("A");
    std::printf("   settling round %d: B took %ld put %ld (%.1f s), A took %ld put %ld (%.1f s)\n",
                settle + 1, b.taken, b.put, b.total(), a.taken, a.put, a.total());
    if (b.taken + b.put + a.taken + a.put == 0 && settle > 0) break;
    if (settle == 4) die("the trees do not settle");
  }
  ::sync();
  std::vector<double> fill, sync_run, sync_total;
  for (int round = 0; round < rounds; ++round) {
    World::Timing f = world.synchronize("A", true);
    ::sync();
    World::Timing s = world.synchronize("A");
    ::sync();
    if (s.put + s.taken != 0) die("the idle Synchronize moved files");
    fill.push_back(f.run);
    sync_run.push_back(s.run);
    sync_total.push_back(s.total());
  }
  row("fill_all_lists alone", fill, 0, "");
  row("Synchronize: run_all_objects", sync_run, best(fill), "the fill");
  row("Synchronize: run_all_objects + finish_run", sync_total, best(fill), "the fill");
  if (count_files(world.object_carrier()) != 0) die("files left on the carrier");
  fs::remove_all(root);
  fs::remove_all(carrier_root);
}

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    if (comma > start) out.push_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

}  // namespace
}  // namespace keldar

int main(int argc, char** argv) {
  using namespace keldar;
  std::string work;
  long files = 10000, big_mib = 1024, idle_files = 100000;
  int rounds = 3;
  std::string parts = "1,2,3";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) die(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--work")
      work = value();
    else if (arg == "--carrier")
      g_carrier = value();
    else if (arg == "--files")
      files = std::stol(value());
    else if (arg == "--big-mib")
      big_mib = std::stol(value());
    else if (arg == "--idle-files")
      idle_files = std::stol(value());
    else if (arg == "--rounds")
      rounds = std::stoi(value());
    else if (arg == "--parts")
      parts = value();
    else
      die("unknown option " + arg);
  }
  if (work.empty()) die("--work DIR is required");
  work = std::filesystem::absolute(work).string();
  if (!std::filesystem::is_directory(work)) die(work + " is not a folder");
  if (!g_carrier.empty()) {
    g_carrier = std::filesystem::absolute(g_carrier).string();
    if (!std::filesystem::is_directory(g_carrier)) die(g_carrier + " is not a folder");
  }
  unsetenv("TEMP");
  const std::string saved_cwd = std::filesystem::current_path().string();
  for (const std::string& p : split(parts)) {
    if (p == "1")
      small_files(work, files, rounds);
    else if (p == "2")
      big_file(work, big_mib, rounds);
    else if (p == "3")
      idle(work, idle_files, rounds);
    else
      die("unknown part " + p);
    std::fflush(stdout);
  }
  if (::chdir(saved_cwd.c_str()) != 0) return 1;
  return 0;
}
