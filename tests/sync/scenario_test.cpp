// Whole runs of three simulated computers that share one carrier, on real
// folders through the Linux platform layer. Each computer has its own
// XDG_CONFIG_HOME (its identification file) and its own object folder; the
// carrier is the current directory. After every run the object folders are
// compared file by file (contents and modification times), and the carrier
// is checked to hold only what some computer still has to receive.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/session.h"
#include "app/startup.h"
#include "app/worker.h"
#include "fakes/recording_host.h"
#include "platform/errors.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/faulty_file_system.h"
#include "platform/fake/fixed_clock.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#include "platform/text.h"
#include "store/mask_table.h"
#include "store/object_table.h"

namespace keldar {
namespace {

namespace fs = std::filesystem;

// relative path ('/' separated, UTF-8) -> "contents@mtime seconds"
using Tree = std::map<std::string, std::string>;

constexpr std::int64_t kT0 = 1700000000;  // an even second: exact volumes keep it as it is

std::string entry_text(const std::string& contents, std::int64_t seconds) {
  return contents + "@" + std::to_string(seconds);
}

// Every regular file below `folder`; folders themselves are not listed.
Tree list_tree(const fs::path& folder) {
  Tree tree;
  if (!fs::exists(folder)) return tree;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_directory()) continue;
    struct stat st {};
    if (::lstat(item.path().c_str(), &st) != 0) {
      ADD_FAILURE() << "cannot stat " << item.path();
      continue;
    }
    std::ifstream in(item.path(), std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    std::string text = data.str() + "@" + std::to_string(st.st_mtim.tv_sec);
    if (st.st_mtim.tv_nsec != 0) text += "+" + std::to_string(st.st_mtim.tv_nsec) + "ns";
    tree[fs::relative(item.path(), folder).generic_string()] = text;
  }
  return tree;
}

std::string render(const Tree& tree) {
  std::string out;
  for (const auto& [name, text] : tree) out += "  " + name + " = " + text + "\n";
  return out.empty() ? "  (empty)\n" : out;
}

void put(const fs::path& file, const std::string& contents, std::int64_t seconds) {
  fs::create_directories(file.parent_path());
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << contents;
  }
  timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0) << file;
}

// One entry of a list file as stored: its state and the four list stamps.
struct StoredEntry {
  std::int8_t state = 0;
  std::uint32_t stamps[4] = {};
};

// Reads NNNNN.QRN: magic, four list states, then the entries.
std::map<std::string, StoredEntry> read_list_file(const fs::path& path) {
  std::map<std::string, StoredEntry> entries;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  const std::string bytes = data.str();
  auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  if (bytes.size() < 5) return entries;
  std::size_t at = 5;
  while (at + 19 <= bytes.size()) {
    StoredEntry e;
    for (int k = 0; k < 4; ++k) {
      const std::size_t p = at + 4 * k;
      e.stamps[k] = byte(p) | byte(p + 1) << 8 | byte(p + 2) << 16 |
                    static_cast<std::uint32_t>(byte(p + 3)) << 24;
    }
    const std::size_t n = byte(at + 16) | byte(at + 17) << 8;
    e.state = static_cast<std::int8_t>(byte(at + 18));
    if (at + 19 + n > bytes.size()) break;
    entries[bytes.substr(at + 19, n)] = e;
    at += 19 + n;
  }
  return entries;
}

// One mask of the mask table.
struct Mask {
  const char* pattern;
  bool copy = true;
  bool remove = true;
  bool ask_replace = false;
  bool ask_delete = false;
};

struct RunRecord {
  std::vector<std::string> lines;  // the log lines, UTF-8
  std::vector<RecordingHost::Question> questions;
  RunOutcome outcome;

  bool has_line(const std::string& utf8) const {
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

class ScenarioTest : public ::testing::Test {
 protected:
  static constexpr int kA = 0, kB = 1, kC = 2;

  void SetUp() override {
    saved_tz_ = saved("TZ");
    saved_xdg_ = saved("XDG_CONFIG_HOME");
    saved_temp_ = saved("TEMP");
    unsetenv("TEMP");
    setenv("TZ", "MSK-3", 1);
    tzset();
    // A memory volume where there is one: the runs flush every file they
    // write, which costs seconds on a disk.
    std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/keldar-scenario-XXXXXX"
                                                          : "/tmp/keldar-scenario-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    carrier_ = root_ / "carrier";
    fs::create_directories(carrier_);
    for (int c = 0; c < 3; ++c) fs::create_directories(work(c));
    saved_cwd_ = fs::current_path();
    fs::current_path(carrier_);
  }

  void TearDown() override {
    fs::current_path(saved_cwd_);
    restore("TZ", saved_tz_);
    tzset();
    restore("XDG_CONFIG_HOME", saved_xdg_);
    restore("TEMP", saved_temp_);
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  static std::optional<std::string> saved(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  }
  static void restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  static const char* name(int c) { return c == kA ? "A" : c == kB ? "B" : "C"; }
  fs::path work(int c) const { return root_ / name(c) / "work"; }
  fs::path object_carrier() const { return carrier_ / "00001"; }

  // Starts computer `c`, runs `body` on its session and ends the run.
  template <typename Body>
  RunRecord with_session(int c, const std::vector<Answer>& answers, Body body) {
    setenv("XDG_CONFIG_HOME", (root_ / name(c) / "config").c_str(), 1);
    PosixFileSystem files;
    PosixSystem system;
    SystemClock clock;
    RecordingHost host;
    host.answer_with(name(c));
    host.answers = answers;
    host.default_answer = Answer::kCancel;
    RunRecord record;
    {
      Session session(files, system, clock, host);
      EXPECT_EQ(start_up(session, 'C'), StartResult::kReady);
      EXPECT_EQ(session.computer, c) << "computers are started first in the order A, B, C";
      body(session, record);
      EXPECT_EQ(finish_run(session), 0);
    }
    for (const std::string& l : host.lines) record.lines.push_back(to_utf8_lossy(l));
    record.questions = host.questions;
    for (auto& q : record.questions) {
      q.text = to_utf8_lossy(q.text);
      q.caption = to_utf8_lossy(q.caption);
    }
    EXPECT_EQ(host.next_answer, answers.size()) << "every scripted answer is used";
    return record;
  }

  RunRecord start_only(int c) {
    return with_session(c, {}, [](Session&, RunRecord&) {});
  }

  // Synchronize over all objects on computer `c`.
  RunRecord synchronize(int c, const std::vector<Answer>& answers = {}) {
    RunRecord r = with_session(c, answers, [](Session& s, RunRecord& rec) {
      log_sync_banner(s);
      s.queue.set(op::kAction1, op::kAction2);
      rec.outcome = run_all_objects(s);
    });
    EXPECT_FALSE(r.outcome.failed) << name(c) << "\n" << r.all();
    EXPECT_FALSE(r.outcome.unreachable);
    return r;
  }

  // A single-object operation of the objects dialog on object 0.
  RunRecord object_operation(int c, ObjectOperation operation,
                             const std::vector<Answer>& answers = {}) {
    return with_session(c, answers, [operation](Session& s, RunRecord& rec) {
      ASSERT_TRUE(prepare_object_operation(s, 0, operation));
      rec.outcome = run_one_object(s);
    });
  }

  // Registers A, B and C in that order, then writes one object (id 1, with
  // subfolders) with a folder on each computer, and the masks.
  void set_up_tables(const std::vector<Mask>& masks = {Mask{"*.*"}}, bool c_accepts_copies = true) {
    for (int c = 0; c < 3; ++c) start_only(c);
    PosixFileSystem files;
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(1);
    r.set_allow_nested(true);
    for (int c = 0; c < 3; ++c) ASSERT_TRUE(r.set_path(c, (work(c) / "*.*").string()));
    r.set_copy_from_carrier(kC, c_accepts_copies);
    ASSERT_TRUE(objects.commit_new_object());
    objects.set_next_id(2);
    ASSERT_EQ(objects.save(files, (carrier_ / kObjectFileName).string()), 0);
    MaskTable table;
    for (const Mask& m : masks) {
      MaskRecord& rec = table.record(table.count());
      ASSERT_TRUE(rec.set_pattern(m.pattern));
      rec.set_allow_copy(m.copy);
      rec.set_allow_delete(m.remove);
      rec.set_ask_before_replacing(m.ask_replace);
      rec.set_ask_before_deleting(m.ask_delete);
      ASSERT_TRUE(table.insert_template_at(table.count()));
    }
    ASSERT_EQ(table.save(files, (carrier_ / kMaskFileName).string()), 0);
  }

  // Every object folder and the object's carrier folder hold exactly these
  // files; nothing but the tables, the log and the list file lies beside it.
  void expect_state(const std::string& when, const Tree& a, const Tree& b, const Tree& c,
                    const Tree& carrier) {
    const Tree* expected[3] = {&a, &b, &c};
    for (int k = 0; k < 3; ++k) {
      const Tree got = list_tree(work(k));
      EXPECT_EQ(got, *expected[k]) << when << ": folder of " << name(k) << " holds\n"
                                   << render(got) << "expected\n"
                                   << render(*expected[k]);
    }
    const Tree got = list_tree(object_carrier());
    EXPECT_EQ(got, carrier) << when << ": the carrier folder holds\n"
                            << render(got) << "expected\n"
                            << render(carrier);
    std::set<std::string> top;
    for (const auto& item : fs::directory_iterator(carrier_)) {
      top.insert(item.path().filename().string());
    }
    top.erase("00001");
    const std::set<std::string> known = {"COMPS.QRV", "MASKS.QRV", "SYNCOBJ.QRV", "KELDAR.LOG",
                                         "00001.QRN"};
    EXPECT_EQ(top, known) << when << ": nothing else lies in the carrier";
  }

  std::map<std::string, StoredEntry> stored_list() const {
    return read_list_file(carrier_ / "00001.QRN");
  }

  // All three computers join with empty folders, then A gets `files`, and
  // they are carried to B and C: the common starting point of most
  // scenarios. Returns the tree every folder then holds.
  Tree synchronised(const std::vector<std::pair<std::string, std::string>>& files) {
    set_up_tables();
    for (int c = 0; c < 3; ++c) synchronize(c);
    Tree tree;
    std::int64_t t = kT0;
    for (const auto& [file, contents] : files) {
      put(work(kA) / file, contents, t);
      tree[file] = entry_text(contents, t);
      t += 2;
    }
    for (int c = 0; c < 3; ++c) synchronize(c);
    expect_state("start", tree, tree, tree, {});
    return tree;
  }

  fs::path root_, carrier_, saved_cwd_;
  std::optional<std::string> saved_tz_, saved_xdg_, saved_temp_;
};

TEST_F(ScenarioTest, NewFileTravelsFromAToBAndC) {
  set_up_tables();
  for (int c = 0; c < 3; ++c) synchronize(c);
  expect_state("empty start", {}, {}, {}, {});

  put(work(kA) / "report.txt", "first report", kT0);
  put(work(kA) / "Отчёт.doc", "отчёт", kT0 + 2);
  put(work(kA) / "sub/deep/data.bin", std::string("\0\1\2\xFF", 4), kT0 + 4);
  const Tree all = {{"report.txt", entry_text("first report", kT0)},
                    {"Отчёт.doc", entry_text("отчёт", kT0 + 2)},
                    {"sub/deep/data.bin", entry_text(std::string("\0\1\2\xFF", 4), kT0 + 4)}};

  RunRecord a = synchronize(kA);
  EXPECT_TRUE(a.has_line("=+ report.txt")) << a.all();
  EXPECT_TRUE(a.has_line("=+ Отчёт.doc")) << a.all();
  EXPECT_TRUE(a.has_line("=+ sub\\deep\\data.bin")) << a.all();
  expect_state("after A", all, {}, {}, all);

  RunRecord b = synchronize(kB);
  EXPECT_TRUE(b.has_line("+=  report.txt")) << b.all();
  EXPECT_TRUE(b.questions.empty());
  expect_state("after B", all, all, {}, all);

  RunRecord c = synchronize(kC);
  EXPECT_TRUE(c.has_line("+=x report.txt")) << c.all();
  expect_state("after C", all, all, all, {});

  // A second round has nothing to do and changes nothing.
  for (int k = 0; k < 3; ++k) {
    RunRecord again = synchronize(k);
    EXPECT_TRUE(again.questions.empty());
    expect_state(std::string("idle round, ") + name(k), all, all, all, {});
  }
  for (const auto& [file, e] : stored_list()) {
    EXPECT_EQ(e.state, 0) << file;
  }
}

TEST_F(ScenarioTest, FilesPresentBeforeTheFirstRunReachEveryone) {
  set_up_tables();
  put(work(kA) / "old.txt", "from before", kT0);
  const Tree one = {{"old.txt", entry_text("from before", kT0)}};
  synchronize(kA);
  synchronize(kB);
  synchronize(kC);
  // Once all have joined, A's next run publishes what only it has.
  for (int c = 0; c < 3; ++c) synchronize(c);
  expect_state("after two rounds", one, one, one, {});
}

TEST_F(ScenarioTest, ChangeOnBReachesAAndC) {
  Tree tree = synchronised({{"a.txt", "one"}, {"b.txt", "two"}});
  put(work(kB) / "b.txt", "two, changed on B", kT0 + 100);
  Tree changed = tree;
  changed["b.txt"] = entry_text("two, changed on B", kT0 + 100);
  const Tree on_carrier = {{"b.txt", changed["b.txt"]}};

  RunRecord b = synchronize(kB);
  EXPECT_TRUE(b.has_line("=+ b.txt")) << b.all();
  expect_state("after B", tree, changed, tree, on_carrier);

  RunRecord a = synchronize(kA);
  EXPECT_TRUE(a.has_line("<=  b.txt")) << a.all();
  EXPECT_TRUE(a.questions.empty());
  expect_state("after A", changed, changed, tree, on_carrier);

  RunRecord c = synchronize(kC);
  EXPECT_TRUE(c.has_line("<=x b.txt")) << c.all();
  expect_state("after C", changed, changed, changed, {});
}

TEST_F(ScenarioTest, DeletionOnCIsCarriedAndTheCommandDropped) {
  Tree tree = synchronised({{"keep.txt", "stays"}, {"sub/gone.txt", "goes"}});
  fs::remove(work(kC) / "sub/gone.txt");
  Tree after = tree;
  after.erase("sub/gone.txt");

  RunRecord c = synchronize(kC);
  EXPECT_TRUE(c.questions.empty()) << "one of two files gone is no reason to ask";
  EXPECT_TRUE(c.has_line("=x sub\\gone.txt")) << c.all();
  expect_state("after C", tree, tree, after, {});
  EXPECT_EQ(stored_list()["sub\\gone.txt"].state, -1) << "a delete command waits";

  RunRecord a = synchronize(kA);
  EXPECT_TRUE(a.has_line("x=  sub\\gone.txt")) << a.all();
  expect_state("after A", after, tree, after, {});
  EXPECT_EQ(stored_list()["sub\\gone.txt"].state, -1) << "B still has to delete";

  RunRecord b = synchronize(kB);
  EXPECT_TRUE(b.has_line("x=x sub\\gone.txt")) << b.all();
  expect_state("after B", after, after, after, {});
  const auto list = stored_list();
  auto it = list.find("sub\\gone.txt");
  if (it != list.end()) {
    EXPECT_EQ(it->second.state, 0) << "the command is dropped";
  }

  for (int k = 0; k < 3; ++k) {
    RunRecord again = synchronize(k);
    EXPECT_TRUE(again.questions.empty());
    expect_state(std::string("idle round, ") + name(k), after, after, after, {});
  }
}

class ConflictTest : public ScenarioTest {
 protected:
  // f.txt is changed on A and on B before either runs; A runs first, then B
  // is asked and answers `answer`.
  void run_conflict(Answer answer) {
    Tree tree = synchronised({{"f.txt", "common"}});
    put(work(kA) / "f.txt", "A's version", kT0 + 100);
    put(work(kB) / "f.txt", "B's version", kT0 + 200);
    a_ = {{"f.txt", entry_text("A's version", kT0 + 100)}};
    b_ = {{"f.txt", entry_text("B's version", kT0 + 200)}};
    tree_ = tree;

    synchronize(kA);
    expect_state("after A", a_, b_, tree, a_);

    b_run_ = synchronize(kB, {answer});
    ASSERT_EQ(b_run_.questions.size(), 1u) << b_run_.all();
    const auto& q = b_run_.questions[0];
    EXPECT_EQ(q.caption, "Копирование с носителя");
    EXPECT_TRUE(q.warning);
    const std::string object = (work(kB) / "*.*").string();
    EXPECT_EQ(q.text.substr(0, q.text.find("\r\nраньше: ")),
              "Объект: " + object + "\r\nФайл: f.txt\r\nбыл изменен в объекте:")
        << q.text;
    EXPECT_NE(q.text.find("\r\nКопировать файл с носителя в объект?"), std::string::npos);
  }
  Tree tree_, a_, b_;
  RunRecord b_run_;
};

TEST_F(ConflictTest, YesTakesTheCarrierVersion) {
  run_conflict(Answer::kYes);
  expect_state("after B", a_, a_, tree_, a_);
  RunRecord c = synchronize(kC);
  EXPECT_TRUE(c.questions.empty());
  expect_state("after C", a_, a_, a_, {});
  for (int k = 0; k < 3; ++k) synchronize(k);
  expect_state("idle round", a_, a_, a_, {});
}

TEST_F(ConflictTest, NoKeepsTheOwnVersionWhichThenWins) {
  run_conflict(Answer::kNo);
  EXPECT_TRUE(b_run_.has_line("RCx f.txt")) << b_run_.all();
  // A's copy left the carrier; B's own change went out in its place.
  expect_state("after B", a_, b_, tree_, b_);
  RunRecord c = synchronize(kC);
  EXPECT_TRUE(c.questions.empty());
  expect_state("after C", a_, b_, b_, b_);
  RunRecord a = synchronize(kA);
  EXPECT_TRUE(a.questions.empty()) << "A's version is already superseded: " << a.all();
  expect_state("after A", b_, b_, b_, {});
}

TEST_F(ScenarioTest, ComputerThatDoesNotAcceptCopiesGetsNothing) {
  set_up_tables({Mask{"*.*"}}, /*c_accepts_copies=*/false);
  for (int c = 0; c < 3; ++c) synchronize(c);
  put(work(kA) / "f.txt", "from A", kT0);
  const Tree f = {{"f.txt", entry_text("from A", kT0)}};

  synchronize(kA);
  expect_state("after A", f, {}, {}, f);
  synchronize(kB);
  expect_state("after B: C does not wait for it", f, f, {}, {});
  RunRecord c = synchronize(kC);
  EXPECT_TRUE(c.has_line("Операция пропущена")) << c.all();
  expect_state("after C", f, f, {}, {});

  // What C makes still goes out.
  put(work(kC) / "g.txt", "from C", kT0 + 10);
  const std::string g = entry_text("from C", kT0 + 10);
  synchronize(kC);
  expect_state("C publishes", f, f, {{"g.txt", g}}, {{"g.txt", g}});
  synchronize(kA);
  synchronize(kB);
  const Tree both = {{"f.txt", f.at("f.txt")}, {"g.txt", g}};
  expect_state("A and B took it", both, both, {{"g.txt", g}}, {});
  for (int k = 0; k < 3; ++k) synchronize(k);
  expect_state("idle round", both, both, {{"g.txt", g}}, {});
}

TEST_F(ScenarioTest, MasksThatForbidOrAskBeforeDeleting) {
  set_up_tables({{"*.bak", /*copy=*/true, /*remove=*/false},
                 {"*.log", true, true, false, /*ask_delete=*/true},
                 {"*.*"}});
  for (int c = 0; c < 3; ++c) synchronize(c);
  put(work(kA) / "old.bak", "backup", kT0);
  put(work(kA) / "run.log", "log", kT0 + 2);
  put(work(kA) / "keep.txt", "text", kT0 + 4);
  const Tree all = {{"old.bak", entry_text("backup", kT0)},
                    {"run.log", entry_text("log", kT0 + 2)},
                    {"keep.txt", entry_text("text", kT0 + 4)}};
  for (int c = 0; c < 3; ++c) synchronize(c);
  expect_state("all have them", all, all, all, {});

  fs::remove(work(kA) / "old.bak");
  fs::remove(work(kA) / "run.log");
  Tree a = all;
  a.erase("old.bak");
  a.erase("run.log");
  RunRecord ra = synchronize(kA);
  EXPECT_TRUE(ra.questions.empty()) << ra.all();
  EXPECT_TRUE(ra.has_line("=x run.log")) << ra.all();
  EXPECT_FALSE(ra.has_line("=x old.bak")) << "a file that may not be deleted sends no command";
  expect_state("after A", a, all, all, {});

  RunRecord rb = synchronize(kB, {Answer::kYes});
  ASSERT_EQ(rb.questions.size(), 1u) << rb.all();
  EXPECT_EQ(rb.questions[0].caption, "Удаление файла");
  EXPECT_FALSE(rb.questions[0].warning);
  EXPECT_EQ(rb.questions[0].text.substr(rb.questions[0].text.rfind("\r\n")),
            "\r\nУдалить файл из объекта?");
  EXPECT_TRUE(rb.has_line("x=  run.log")) << rb.all();
  // A's deletion of a file that may not be deleted counts as A not having
  // it: B's copy goes out to bring it back.
  EXPECT_TRUE(rb.has_line("=+ old.bak")) << rb.all();
  Tree b = all;
  b.erase("run.log");
  const Tree bak = {{"old.bak", all.at("old.bak")}};
  expect_state("B agreed", a, b, all, bak);

  // C declines: the command is dropped, and C's copy, which the others now
  // lack, goes out again.
  RunRecord rc = synchronize(kC, {Answer::kNo});
  ASSERT_EQ(rc.questions.size(), 1u) << rc.all();
  EXPECT_TRUE(rc.has_line("RDx run.log")) << rc.all();
  EXPECT_TRUE(rc.has_line("=+ run.log")) << rc.all();
  expect_state("C declined", a, b, all,
               {{"old.bak", all.at("old.bak")}, {"run.log", all.at("run.log")}});

  RunRecord again = synchronize(kA);
  EXPECT_TRUE(again.questions.empty()) << again.all();
  expect_state("A got both back", all, b, all, {{"run.log", all.at("run.log")}});
  again = synchronize(kB);
  EXPECT_TRUE(again.questions.empty()) << again.all();
  expect_state("B got run.log back", all, all, all, {});
}

TEST_F(ScenarioTest, DocMaskAsksBeforeReplacing) {
  set_up_tables({{"*.tmp", false, false}, {"*.doc", true, true, true}, {"*.*"}});
  for (int c = 0; c < 3; ++c) synchronize(c);
  put(work(kA) / "plain.txt", "text", kT0);
  put(work(kA) / "letter.doc", "v1", kT0 + 2);
  put(work(kA) / "scratch.tmp", "temp", kT0 + 4);
  const std::string plain = entry_text("text", kT0), v1 = entry_text("v1", kT0 + 2);
  const Tree a0 = {
      {"plain.txt", plain}, {"letter.doc", v1}, {"scratch.tmp", entry_text("temp", kT0 + 4)}};
  const Tree rest = {{"plain.txt", plain}, {"letter.doc", v1}};

  synchronize(kA);
  expect_state("after A", a0, {}, {}, rest);
  EXPECT_TRUE(synchronize(kB).questions.empty()) << "a new file is not replacing anything";
  synchronize(kC);
  expect_state("first round", a0, rest, rest, {});

  // A changes both the .doc and the .tmp file.
  put(work(kA) / "letter.doc", "v2", kT0 + 100);
  put(work(kA) / "scratch.tmp", "temp 2", kT0 + 102);
  const std::string v2 = entry_text("v2", kT0 + 100);
  Tree a1 = a0;
  a1["letter.doc"] = v2;
  a1["scratch.tmp"] = entry_text("temp 2", kT0 + 102);
  Tree new_doc = {{"plain.txt", plain}, {"letter.doc", v2}};

  synchronize(kA);
  expect_state("A changed", a1, rest, rest, {{"letter.doc", v2}});

  RunRecord b = synchronize(kB, {Answer::kYes});
  ASSERT_EQ(b.questions.size(), 1u) << b.all();
  EXPECT_FALSE(b.questions[0].warning);
  EXPECT_EQ(b.questions[0].caption, "Копирование с носителя");
  EXPECT_NE(b.questions[0].text.find("Файл: letter.doc\r\nзаменяется с носителя:\r\nв объекте: "),
            std::string::npos)
      << b.questions[0].text;
  expect_state("B said yes", a1, new_doc, rest, {{"letter.doc", v2}});

  RunRecord c = synchronize(kC, {Answer::kNo});
  ASSERT_EQ(c.questions.size(), 1u) << c.all();
  EXPECT_TRUE(c.has_line("RCx letter.doc")) << c.all();
  expect_state("C said no", a1, new_doc, rest, {});
}

TEST_F(ScenarioTest, EtalonFromAMakesBAndCEqualToA) {
  Tree tree = synchronised({{"f.txt", "f"}, {"g.txt", "g"}});
  // C adds h and carries it; A changes g and does not synchronise.
  put(work(kC) / "h.txt", "h from C", kT0 + 200);
  const std::string h_c = entry_text("h from C", kT0 + 200);
  synchronize(kC);
  put(work(kA) / "g.txt", "g from A", kT0 + 100);
  Tree a = tree, c = tree;
  a["g.txt"] = entry_text("g from A", kT0 + 100);
  c["h.txt"] = h_c;
  expect_state("before the etalon copy", a, tree, c, {{"h.txt", h_c}});

  // A's folder is the reference: its g goes out, and h (which A lacks)
  // becomes a delete command; the carrier folder is emptied first.
  RunRecord e = object_operation(kA, ObjectOperation::kEtalon);
  EXPECT_FALSE(e.outcome.failed) << e.all();
  EXPECT_TRUE(e.has_line("Эталон => носитель: " + (work(kA) / "*.*").string())) << e.all();
  EXPECT_TRUE(e.has_line("=+ g.txt")) << e.all();
  EXPECT_TRUE(e.has_line("=x h.txt")) << e.all();
  EXPECT_FALSE(e.has_line("=+ f.txt")) << "f is in step everywhere";
  EXPECT_TRUE(e.has_line("Просмотрено файлов списка 4, добавлено на носитель 1,")) << e.all();
  EXPECT_TRUE(e.has_line("создано команд удаления 1, рассинхронизировано 2")) << e.all();
  expect_state("after the etalon copy", a, tree, c, {{"g.txt", a.at("g.txt")}});
  EXPECT_EQ(stored_list()["h.txt"].state, -1);
  EXPECT_EQ(stored_list()["g.txt"].state, 1);

  RunRecord b = synchronize(kB);
  EXPECT_TRUE(b.questions.empty()) << b.all();
  expect_state("after B", a, a, c, {{"g.txt", a.at("g.txt")}});
  RunRecord rc = synchronize(kC);
  EXPECT_TRUE(rc.questions.empty()) << rc.all();
  expect_state("after C", a, a, a, {});
  for (int k = 0; k < 3; ++k) synchronize(k);
  expect_state("idle round", a, a, a, {});
  EXPECT_EQ(stored_list().count("h.txt"), 0u) << "the command is gone";
}

TEST_F(ScenarioTest, FromCarrierIgnoresTheMissingPermission) {
  set_up_tables({Mask{"*.*"}}, /*c_accepts_copies=*/false);
  for (int c = 0; c < 3; ++c) synchronize(c);
  put(work(kA) / "f.txt", "from A", kT0);
  const Tree f = {{"f.txt", entry_text("from A", kT0)}};
  synchronize(kA);
  expect_state("after A", f, {}, {}, f);

  RunRecord c = object_operation(kC, ObjectOperation::kFromCarrier);
  EXPECT_FALSE(c.outcome.failed) << c.all();
  EXPECT_TRUE(c.has_line("+=  f.txt")) << c.all();
  expect_state("C took it from the carrier", f, {}, f, f);
  synchronize(kB);
  expect_state("after B", f, f, f, {});
}

// B's folder went wrong (a stray file, a changed one); A puts its whole
// folder on the carrier with Copy of object.
class ReplaceTest : public ScenarioTest {
 protected:
  void spoil_b_and_copy_a() {
    tree_ = synchronised({{"f.txt", "f"}, {"sub/g.txt", "g"}});
    put(work(kB) / "junk.txt", "junk", kT0 + 300);
    put(work(kB) / "sub/g.txt", "g spoiled", kT0 + 302);
    b_ = tree_;
    b_["junk.txt"] = entry_text("junk", kT0 + 300);
    b_["sub/g.txt"] = entry_text("g spoiled", kT0 + 302);

    RunRecord copy = object_operation(kA, ObjectOperation::kCopy);
    EXPECT_FALSE(copy.outcome.failed) << copy.all();
    EXPECT_TRUE(copy.has_line("Файл списка объекта 1 удален")) << copy.all();
    EXPECT_TRUE(copy.has_line("Объект => носитель: " + (work(kA) / "*.*").string())) << copy.all();
    expect_state("A's files are on the carrier", tree_, b_, tree_, tree_);
  }
  Tree tree_, b_;
};

TEST_F(ReplaceTest, CopyOfObjectPutsAllOfAOnTheCarrier) {
  spoil_b_and_copy_a();
  // An ordinary Synchronize of B finds the carrier holding versions that B
  // had before: they count as in place and leave the carrier, and B's own
  // newer files go out as usual.
  RunRecord b = synchronize(kB);
  EXPECT_TRUE(b.questions.empty()) << b.all();
  EXPECT_TRUE(b.has_line("--x f.txt")) << b.all();
  EXPECT_TRUE(b.has_line("--x sub\\g.txt")) << b.all();
  EXPECT_TRUE(b.has_line("=+ junk.txt")) << b.all();
  const Tree out = {{"junk.txt", b_.at("junk.txt")}, {"sub/g.txt", b_.at("sub/g.txt")}};
  expect_state("after B", tree_, b_, tree_, out);
}

TEST_F(ReplaceTest, ReplaceRebuildsTheFolderFromTheCarrier) {
  spoil_b_and_copy_a();
  RunRecord replace = object_operation(kB, ObjectOperation::kReplace, {Answer::kYes});
  EXPECT_FALSE(replace.outcome.failed) << replace.all();
  ASSERT_EQ(replace.questions.size(), 1u) << replace.all();
  EXPECT_EQ(replace.questions[0].text.rfind("Все файлы объекта будут удалены, вы уверены?", 0), 0u);
  EXPECT_TRUE(replace.has_line("Удаление всех файлов объекта ID=1->")) << replace.all();
  EXPECT_EQ(list_tree(work(kB)), tree_) << replace.all();
  EXPECT_EQ(list_tree(work(kA)), tree_);
  EXPECT_EQ(list_tree(work(kC)), tree_);
  for (int k = 0; k < 3; ++k) {
    RunRecord r = synchronize(k);
    EXPECT_TRUE(r.questions.empty()) << name(k) << "\n" << r.all();
  }
  expect_state("a round after the replacement", tree_, tree_, tree_, {});
}

// Replace object empties B's folder and brings back what the carrier holds,
// B's own copy that waits there for C included; what the carrier does not
// hold was removed by the operation, not by the user, and never travels as
// a delete command: the others send it back to B instead.
TEST_F(ScenarioTest, ReplaceKeepsBsOwnWaitingCopyAndDeletesNothingElsewhere) {
  Tree tree = synchronised({{"f.txt", "f"}, {"sub/g.txt", "g"}});
  put(work(kB) / "n.txt", "new on B", kT0 + 100);
  Tree all = tree;
  all["n.txt"] = entry_text("new on B", kT0 + 100);
  const Tree waiting = {{"n.txt", all.at("n.txt")}};
  synchronize(kB);
  synchronize(kA);
  expect_state("n.txt waits for C", all, all, tree, waiting);

  RunRecord replace = object_operation(kB, ObjectOperation::kReplace, {Answer::kYes});
  EXPECT_FALSE(replace.outcome.failed) << replace.all();
  EXPECT_EQ(replace.questions.size(), 1u) << "only the operation's own question";
  expect_state("B rebuilt from the carrier", all, waiting, tree, waiting);

  RunRecord b = synchronize(kB);
  EXPECT_TRUE(b.questions.empty()) << b.all();
  EXPECT_TRUE(b.has_line("создано команд удаления 0, рассинхронизация 1")) << b.all();
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < 3; ++k) synchronize(k);
  }
  expect_state("two rounds later", all, all, all, {});
}

// A file deleted here while another computer's newer copy waits on the
// carrier is a conflict for С носителя too; it is not brought back silently.
TEST_F(ScenarioTest, FromCarrierAsksAboutAFileDeletedHere) {
  Tree tree = synchronised({{"f.txt", "f"}});
  put(work(kB) / "f.txt", "newer on B", kT0 + 100);
  const Tree newer = {{"f.txt", entry_text("newer on B", kT0 + 100)}};
  synchronize(kB);
  fs::remove(work(kA) / "f.txt");

  RunRecord a = object_operation(kA, ObjectOperation::kFromCarrier, {Answer::kNo});
  ASSERT_EQ(a.questions.size(), 1u) << a.all();
  EXPECT_TRUE(a.questions[0].warning);
  EXPECT_NE(a.questions[0].text.find("был изменен в объекте:"), std::string::npos)
      << a.questions[0].text;
  EXPECT_TRUE(a.has_line("RCx f.txt")) << a.all();
  expect_state("A declined B's copy", {}, newer, tree, {});
}

// Within one program session every Synchronize works on the folders as
// they are now, whether the lists are still held from a Compare or from
// the Synchronize before.
TEST_F(ScenarioTest, EverySynchronizeOfASessionScansTheFoldersAnew) {
  Tree tree = synchronised({{"f.txt", "f"}});
  RunRecord a = with_session(kA, {}, [&](Session& s, RunRecord& rec) {
    const std::int16_t runs[][2] = {
        {op::kCompare, op::kNone}, {op::kAction1, op::kAction2}, {op::kAction1, op::kAction2}};
    for (int i = 0; i < 3; ++i) {
      put(work(kA) / ("new" + std::to_string(i) + ".txt"), "n", kT0 + 100 + 2 * i);
      s.queue.set(runs[i][0], runs[i][1]);
      rec.outcome = run_all_objects(s);
    }
  });
  for (const char* name : {"new0.txt", "new1.txt", "new2.txt"}) {
    EXPECT_TRUE(a.has_line(std::string("=+ ") + name)) << name << "\n" << a.all();
    tree[name] = entry_text("n", kT0 + 100 + 2 * (name[3] - '0'));
  }
  expect_state("after A's session", tree, {{"f.txt", tree.at("f.txt")}},
               {{"f.txt", tree.at("f.txt")}},
               {{"new0.txt", tree.at("new0.txt")},
                {"new1.txt", tree.at("new1.txt")},
                {"new2.txt", tree.at("new2.txt")}});
}

// A folder's time changes with every file added or removed in it; folders
// are never the subject of a question, neither on a computer that joins
// with a folder made later nor when two computers add files to one folder.
TEST_F(ScenarioTest, FoldersThatChangedOnTwoComputersRaiseNoQuestion) {
  set_up_tables();
  put(work(kA) / "sub/a.txt", "a", kT0);
  synchronize(kA);
  for (int c = 0; c < 3; ++c) {
    fs::last_write_time(work(c), fs::file_time_type::clock::now() + std::chrono::seconds(2 * c));
  }
  for (int c = 1; c < 3; ++c) {
    RunRecord r = synchronize(c);
    EXPECT_TRUE(r.questions.empty()) << name(c) << " joins\n" << r.all();
  }
  put(work(kA) / "sub/a2.txt", "a2", kT0 + 10);
  put(work(kB) / "sub/b2.txt", "b2", kT0 + 12);
  Tree all = {{"sub/a.txt", entry_text("a", kT0)},
              {"sub/a2.txt", entry_text("a2", kT0 + 10)},
              {"sub/b2.txt", entry_text("b2", kT0 + 12)}};
  for (int round = 0; round < 2; ++round) {
    for (int c = 0; c < 3; ++c) {
      RunRecord r = synchronize(c);
      EXPECT_TRUE(r.questions.empty()) << name(c) << " round " << round << "\n" << r.all();
    }
  }
  expect_state("two rounds later", all, all, all, {});
}

TEST_F(ScenarioTest, ClearForgetsTheListAndEmptiesTheCarrierFolder) {
  Tree tree = synchronised({{"f.txt", "f"}});
  put(work(kA) / "g.txt", "g", kT0 + 50);
  Tree a = tree;
  a["g.txt"] = entry_text("g", kT0 + 50);
  synchronize(kA);
  expect_state("g waits on the carrier", a, tree, tree, {{"g.txt", a.at("g.txt")}});

  RunRecord clear = object_operation(kA, ObjectOperation::kClear);
  EXPECT_FALSE(clear.outcome.failed) << clear.all();
  EXPECT_TRUE(clear.has_line("Файл списка объекта 1 удален")) << clear.all();
  EXPECT_FALSE(fs::exists(carrier_ / "00001.QRN"));
  EXPECT_EQ(list_tree(object_carrier()), Tree{});
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(list_tree(work(k)), k == kA ? a : tree) << "object folders are not touched";
  }
  // The computers start the list anew; g, which A alone has, goes out once
  // all of them have joined again, and the files that all share stay as
  // they are without a question.
  for (int round = 0; round < 2; ++round) {
    for (int k = 0; k < 3; ++k) {
      RunRecord r = synchronize(k);
      EXPECT_TRUE(r.questions.empty()) << name(k) << " round " << round << "\n" << r.all();
    }
  }
  expect_state("two rounds after clearing", a, a, a, {});
}

// The same three computers on the fake file system, whose n-th call fails:
// for every n over B's whole Synchronize, no object file is damaged or lost
// (each is its old or its new version), and a Synchronize without failures
// then completes the work.
class FailureInjectionTest : public ::testing::Test {
 protected:
  static constexpr int kA = 0, kB = 1, kC = 2;
  static constexpr FileTime kTick = 10000000;

  void SetUp() override {
    const char* tz = std::getenv("TZ");
    saved_tz_ = tz ? std::optional<std::string>(tz) : std::nullopt;
    setenv("TZ", "MSK-3", 1);
    tzset();
  }
  void TearDown() override {
    if (saved_tz_) {
      setenv("TZ", saved_tz_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  static const char* name(int c) { return c == kA ? "A" : c == kB ? "B" : "C"; }
  static std::string folder(int c) { return std::string("D:\\") + name(c) + "\\"; }
  static FileTime at(std::int64_t seconds) { return kFileTimeUnixEpoch + seconds * kTick; }

  struct Outcome {
    RunOutcome run;
    std::size_t questions = 0;
    std::string lines;
  };

  Outcome run(int c, bool sync) {
    FakeSystem system;
    system.set_current_directory("C:\\CARRIER");
    system.set_identification_file('C', std::string("E:\\") + name(c) + "\\KELDAR.ID");
    RecordingHost host;
    host.answer_with(name(c));
    Outcome out;
    {
      Session session(*faults_, system, clock_, host);
      if (start_up(session, 'C') == StartResult::kReady && sync) {
        log_sync_banner(session);
        session.queue.set(op::kAction1, op::kAction2);
        out.run = run_all_objects(session);
      }
      (void)finish_run(session);
    }
    out.questions = host.questions.size();
    for (const std::string& l : host.lines) out.lines += to_utf8_lossy(l) + "\n";
    return out;
  }

  // Every file below `prefix`: name -> contents@time.
  Tree tree(const std::string& prefix) const {
    Tree t;
    for (const std::string& p : files_->all_paths()) {
      if (p.size() <= prefix.size() || p.compare(0, prefix.size(), prefix) != 0) continue;
      auto data = files_->contents(p);
      if (!data) continue;
      t[p.substr(prefix.size())] = *data + "@" + std::to_string(files_->times(p).last_write);
    }
    return t;
  }

  // All in step with f1, f2 and sub\f3; then A replaces f1, deletes f2 and
  // adds new.txt and synchronises; B changes sub\f3 and has not run yet.
  void prepare() {
    files_ = std::make_unique<FakeFileSystem>();
    faults_ = std::make_unique<FaultyFileSystem>(*files_);
    files_->set_now(at(kT0 + 5000));
    files_->add_volume("C:\\");
    files_->add_volume("D:\\");
    files_->add_volume("E:\\");
    files_->make_folders("C:\\CARRIER");
    for (int c = 0; c < 3; ++c) {
      files_->make_folders(folder(c));
      files_->make_folders(std::string("E:\\") + name(c));
      run(c, false);
    }
    ObjectTable objects;
    ObjectRecord& r = objects.new_object();
    r.set_id(1);
    r.set_allow_nested(true);
    for (int c = 0; c < 3; ++c) ASSERT_TRUE(r.set_path(c, folder(c) + "*.*"));
    ASSERT_TRUE(objects.commit_new_object());
    objects.set_next_id(2);
    ASSERT_EQ(objects.save(*files_, "C:\\CARRIER\\SYNCOBJ.QRV"), 0);
    MaskTable masks;
    ASSERT_TRUE(masks.record(0).set_pattern("*.*"));
    masks.record(0).set_allow_copy(true);
    masks.record(0).set_allow_delete(true);
    ASSERT_TRUE(masks.insert_template_at(0));
    ASSERT_EQ(masks.save(*files_, "C:\\CARRIER\\MASKS.QRV"), 0);
    for (int c = 0; c < 3; ++c) run(c, true);
    files_->write(folder(kA) + "f1.txt", "one", at(kT0));
    files_->write(folder(kA) + "f2.txt", "two", at(kT0 + 2));
    files_->write(folder(kA) + "sub\\f3.txt", "three", at(kT0 + 4));
    for (int c = 0; c < 3; ++c) run(c, true);
    ASSERT_EQ(tree(folder(kB)), tree(folder(kA)));
    ASSERT_EQ(tree(folder(kC)), tree(folder(kA)));
    files_->write(folder(kA) + "f1.txt", "one, as A has it now", at(kT0 + 100));
    ASSERT_EQ(files_->delete_file(folder(kA) + "f2.txt"), 0);
    files_->write(folder(kA) + "new.txt", "new on A", at(kT0 + 102));
    run(kA, true);
    files_->write(folder(kB) + "sub\\f3.txt", "three, as B has it now", at(kT0 + 104));
  }

  // The first file of `got` (or of `old_tree` or `new_tree`, missing from
  // `got`) that neither of the two allows; empty when there is none.
  static std::string neither_old_nor_new(const Tree& got, const Tree& old_tree,
                                         const Tree& new_tree) {
    std::set<std::string> names;
    for (const Tree* t : {&got, &old_tree, &new_tree}) {
      for (const auto& [n, v] : *t) names.insert(n);
    }
    for (const std::string& n : names) {
      auto value = [&](const Tree& t) -> std::string {
        auto it = t.find(n);
        return it == t.end() ? "(absent)" : it->second;
      };
      const std::string g = value(got);
      if (g != value(old_tree) && g != value(new_tree)) {
        return n + " is " + g + ", neither " + value(old_tree) + " nor " + value(new_tree);
      }
    }
    return {};
  }

  std::unique_ptr<FakeFileSystem> files_;
  std::unique_ptr<FaultyFileSystem> faults_;
  FixedClock clock_{kT0 + 5000};
  std::optional<std::string> saved_tz_;
};

TEST_F(FailureInjectionTest, EveryFailingCallLeavesOldOrNewVersionsAndTheNextRunFinishes) {
  prepare();
  if (HasFatalFailure()) return;
  const Tree a_old = tree(folder(kA)), b_old = tree(folder(kB)), c_old = tree(folder(kC));
  const Tree carrier_old = tree("C:\\CARRIER\\00001\\");
  Outcome clean = run(kB, true);
  ASSERT_FALSE(clean.run.failed) << clean.lines;
  const Tree b_new = tree(folder(kB));
  const Tree carrier_new = tree("C:\\CARRIER\\00001\\");
  run(kC, true);
  run(kA, true);
  const Tree final_tree = tree(folder(kB));
  ASSERT_EQ(final_tree.size(), 3u);
  ASSERT_EQ(tree(folder(kA)), final_tree);
  ASSERT_EQ(tree(folder(kC)), final_tree);
  ASSERT_EQ(tree("C:\\CARRIER\\00001\\"), Tree{});

  int failing_runs = 0;
  std::vector<std::string> problems;  // one line per n that went wrong
  std::string first_logs;
  for (std::uint64_t n = 1; n < 5000; ++n) {
    prepare();
    if (HasFatalFailure()) return;
    const std::uint64_t before = faults_->calls();
    faults_->set_fail_at(n, err::kGenFailure);
    Outcome failed = run(kB, true);
    const bool hit = faults_->calls() - before >= n;
    faults_->clear_failures();
    if (!hit) break;
    ++failing_runs;
    std::string problem;
    auto note = [&problem](const std::string& text) {
      if (problem.empty()) problem = text;
    };
    std::string bad = neither_old_nor_new(tree(folder(kB)), b_old, b_new);
    if (!bad.empty()) note("B's " + bad);
    if (tree(folder(kA)) != a_old || tree(folder(kC)) != c_old) note("A or C was touched");
    bad = neither_old_nor_new(tree("C:\\CARRIER\\00001\\"), carrier_old, carrier_new);
    if (!bad.empty()) note("the carrier's " + bad);

    Outcome again = run(kB, true);
    if (again.run.failed) note("the next run failed");
    if (again.questions != 0) note("the next run asked");
    if (tree(folder(kB)) != b_new) note("B after the next run:\n" + render(tree(folder(kB))));
    run(kC, true);
    run(kA, true);
    if (tree(folder(kA)) != final_tree) note("A at the end:\n" + render(tree(folder(kA))));
    if (tree(folder(kC)) != final_tree) note("C at the end:\n" + render(tree(folder(kC))));
    if (tree("C:\\CARRIER\\00001\\") != Tree{}) note("the carrier is not emptied");
    if (!problem.empty()) {
      problems.push_back("call " + std::to_string(n) + " failing: " + problem);
      if (first_logs.empty()) first_logs = failed.lines + "---- next run ----\n" + again.lines;
    }
  }
  std::string all;
  for (const std::string& p : problems) all += p + "\n";
  EXPECT_TRUE(problems.empty()) << problems.size() << " of " << failing_runs << " runs:\n"
                                << all << "logs of the first:\n"
                                << first_logs;
  EXPECT_GT(failing_runs, 50);
}

}  // namespace
}  // namespace keldar
