// Batch runs on real folders through the Linux platform layer and its own
// surroundings: each simulated computer has its own XDG_CONFIG_HOME, all
// share one carrier, the current directory.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/batch.h"
#include "fakes/computers.h"

namespace keldar {
namespace {

namespace fs = std::filesystem;

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_bytes(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

class BatchPosixTest : public ::testing::Test {
 protected:
  static constexpr int kAnn = 0, kBob = 1, kCid = 2;

  BatchPosixTest() { world.use_system_clock(); }
  int run(int computer, std::vector<std::string> args) {
    out_.str("");
    Options options = parse_options(args);
    TerminalHost host(out_, err_, nullptr, options.name);
    return run_batch(*world.session(computer, host), options);
  }
  // The configuration folder of a computer: its XDG_CONFIG_HOME.
  fs::path config(int computer) const {
    return fs::path(world.root()) / test::Computers::name(computer) / "config";
  }

  test::Computers world{
      {.disk = test::Computers::Disk::kNative, .real_surroundings = true, .carrier = "Носитель"}};
  const fs::path root_ = world.root();
  const fs::path carrier_ = test::Computers::native(world.carrier());
  std::ostringstream out_, err_;
};

TEST_F(BatchPosixTest, FirstAndSecondStartInAnEmptyCarrier) {
  ASSERT_EQ(run(kAnn, {"--batch", "--name", "Ann"}), 0) << err_.str();
  const std::string id_file = (config(kAnn) / "keldar/C/KELDAR.ID").string();
  std::istringstream lines(out_.str());
  std::vector<std::string> got;
  for (std::string line; std::getline(lines, line);) got.push_back(line);
  ASSERT_EQ(got.size(), 12u);
  EXPECT_EQ(got[0].rfind("Запуск <+>", 0), 0u);
  EXPECT_EQ(got[3], "Идентификация компьютера по файлу " + id_file);
  EXPECT_EQ(got[5], "Файл " + id_file + " создан");
  EXPECT_EQ(got[6], "Добавлен идентификатор компьютера: Ann");
  EXPECT_EQ(got[9], std::string(76, '#'));
  EXPECT_EQ(got[11], std::string(95, '='));

  std::string comps(80, '\0');
  comps.replace(0, 7,
                std::string("\x27\x1E\x26\x00"
                            "Ann",
                            7));
  EXPECT_EQ(read_bytes(carrier_ / "COMPS.QRV"), comps);
  EXPECT_EQ(read_bytes(carrier_ / "MASKS.QRV"), std::string(2, '\0'));
  EXPECT_EQ(read_bytes(carrier_ / "SYNCOBJ.QRV"), std::string("\xE5\x00\x00\x01\x00", 5));
  EXPECT_EQ(read_bytes(id_file), std::string("\x27\x1E\x26\x00", 4));
  std::string log = read_bytes(carrier_ / "KELDAR.LOG");
  EXPECT_NE(
      log.find(
          "\xC4\xEE\xE1\xE0\xE2\xEB\xE5\xED \xE8\xE4\xE5\xED\xF2\xE8\xF4\xE8\xEA\xE0\xF2\xEE\xF0 "
          "\xEA\xEE\xEC\xEF\xFC\xFE\xF2\xE5\xF0\xE0: Ann\r\n"),
      std::string::npos)
      << "the log file holds the lines in Windows-1251 with CR LF";

  ASSERT_EQ(run(kAnn, {"--batch"}), 0);
  EXPECT_NE(out_.str().find("\nКомпьютер идентифицирован: Ann\n"), std::string::npos);
  ASSERT_EQ(run(kBob, {"2", "--batch", "--name", "Bob"}), 0);
  EXPECT_EQ(read_bytes(config(kBob) / "keldar/E/KELDAR.ID"), std::string("\x85\x09\xF6\x52", 4));
  EXPECT_EQ(run(kCid, {"--batch"}), exit_status::kUnidentified);
}

TEST_F(BatchPosixTest, WorkingLogInTempComesBackToTheCarrier) {
  fs::create_directories(root_ / "tmp");
  setenv("TEMP", (root_ / "tmp").c_str(), 1);
  ASSERT_EQ(run(kAnn, {"--batch", "--name", "Ann"}), 0);
  ASSERT_EQ(run(kAnn, {"--batch"}), 0);
  unsetenv("TEMP");
  EXPECT_FALSE(fs::exists(root_ / "tmp/KELDAR.LOG"));
  std::string log = read_bytes(carrier_ / "KELDAR.LOG");
  const std::string end_line = std::string(95, '=') + "\r\n";
  std::size_t first = log.find(end_line);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find(end_line, first + 1), std::string::npos) << "both runs' lines are kept";
  EXPECT_EQ(log.size() - end_line.size(), log.rfind(end_line));
}

TEST_F(BatchPosixTest, CarrierPathOf258Characters) {
  fs::path deep = root_;
  while (deep.string().size() < 258 - 101) deep /= std::string(100, 'd');
  deep /= std::string(258 - deep.string().size() - 1, 'e');
  ASSERT_EQ(deep.string().size(), 258u);
  fs::create_directories(deep);
  fs::current_path(deep);
  ASSERT_EQ(run(kAnn, {"--batch", "--name", "Ann"}), 0) << err_.str();
  EXPECT_EQ(fs::file_size(deep / "COMPS.QRV"), 80u);
  EXPECT_EQ(fs::file_size(deep / "SYNCOBJ.QRV"), 5u);
  EXPECT_TRUE(fs::exists(deep / "KELDAR.LOG"));
}

TEST_F(BatchPosixTest, ReadOnlyCarrierIsReportedNotFatal) {
  // A read-only bind mount of the carrier: needs root, skipped without it.
  fs::path point = root_ / "ro";
  fs::create_directories(point);
  if (::mount(carrier_.c_str(), point.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    GTEST_SKIP() << "cannot bind-mount";
  }
  struct Unmount {
    const fs::path& p;
    ~Unmount() { ::umount2(p.c_str(), MNT_DETACH); }
  } unmount{point};
  if (::mount(nullptr, point.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
    GTEST_SKIP() << "cannot make the bind mount read-only";
  }
  fs::current_path(point);
  EXPECT_EQ(run(kAnn, {"--batch", "--name", "Ann"}), exit_status::kConfigFile);
  const std::string out = out_.str();
  EXPECT_NE(out.find("Ошибка открытия файла журнала " + (point / "KELDAR.LOG").string() +
                     ": Носитель защищен от записи.\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Ошибка создания файла COMPS.QRV: Носитель защищен от записи.\n"),
            std::string::npos);
  EXPECT_NE(out.find("Ошибка создания файла списка масок MASKS.QRV\n"), std::string::npos);
  EXPECT_NE(out.find("Ошибка создания файла объектов синхронизации SYNCOBJ.QRV\n"),
            std::string::npos);
  EXPECT_TRUE(fs::is_empty(carrier_));
}

// A KELDAR.LOG that is a link (to a shell start-up file, say) is never
// written through, neither on the carrier nor in TEMP: the run keeps no log
// file, says why, and ends with the log's status.
TEST_F(BatchPosixTest, LogThatIsALinkIsNeverWrittenThrough) {
  const fs::path outside = root_ / "profile";
  const std::string kept = "export KEPT=1\n";
  write_bytes(outside, kept);
  fs::create_directories(root_ / "tmp");
  const fs::path links[] = {carrier_ / "KELDAR.LOG", carrier_ / "KELDAR.LOG",
                            root_ / "tmp/KELDAR.LOG"};
  for (int i = 0; i < 3; ++i) {
    if (i > 0) setenv("TEMP", (root_ / "tmp").c_str(), 1);
    fs::create_symlink(outside, links[i]);
    EXPECT_EQ(run(kAnn, {"--batch", "--name", "Ann"}), exit_status::kLogFile) << i;
    EXPECT_NE(out_.str().find("Файл журнала является ссылкой, журнал в файл не записывается: " +
                              links[i].string() + "\n"),
              std::string::npos)
        << out_.str();
    EXPECT_EQ(read_bytes(outside), kept) << i;
    EXPECT_TRUE(fs::is_symlink(links[i])) << i;
    fs::remove(links[i]);
    EXPECT_FALSE(fs::exists(carrier_ / "KELDAR.LOG") || fs::exists(root_ / "tmp/KELDAR.LOG")) << i;
  }
}

// Damaged tables: reported by name, never written, no new computer on a
// damaged computer table, status 5 for a computer that is known.
TEST_F(BatchPosixTest, DamagedTablesAreKeptAndEndWithStatus5) {
  ASSERT_EQ(run(kAnn, {"--batch", "--name", "Ann"}), 0);
  ASSERT_EQ(run(kBob, {"2", "--batch", "--name", "Bob"}), 0);
  const std::string comps = read_bytes(carrier_ / "COMPS.QRV");
  // One record announced, one byte of it missing.
  const std::string objects = std::string("\xE5\x01\x00\x02\x00", 5) + std::string(2059, '\0');
  const std::string masks = std::string("\x01\x00", 2) + std::string(75, '\0');
  write_bytes(carrier_ / "COMPS.QRV", comps.substr(0, 20));  // Bob's slot looks free
  write_bytes(carrier_ / "SYNCOBJ.QRV", objects);
  write_bytes(carrier_ / "MASKS.QRV", masks);

  EXPECT_EQ(run(kCid, {"3", "--batch", "--name", "Cid"}), exit_status::kUnidentified);
  EXPECT_NE(out_.str().find("\nФайл COMPS.QRV поврежден\n"), std::string::npos) << out_.str();
  EXPECT_FALSE(fs::exists(config(kCid) / "keldar/F/KELDAR.ID"));

  EXPECT_EQ(run(kAnn, {"--sync"}), exit_status::kConfigFile);
  const std::string out = out_.str();
  for (const char* name : {"COMPS.QRV", "MASKS.QRV", "SYNCOBJ.QRV"}) {
    EXPECT_NE(out.find("\nФайл " + std::string(name) + " поврежден\n"), std::string::npos) << out;
  }
  EXPECT_NE(out.find("\nКомпьютер идентифицирован: Ann\n"), std::string::npos);

  EXPECT_EQ(read_bytes(carrier_ / "COMPS.QRV"), comps.substr(0, 20));
  EXPECT_EQ(read_bytes(carrier_ / "SYNCOBJ.QRV"), objects);
  EXPECT_EQ(read_bytes(carrier_ / "MASKS.QRV"), masks);
}

}  // namespace
}  // namespace keldar
