// A carrier or an object folder on a real removable volume that fills up
// or goes away during a batch Synchronize of two computers, through the
// Linux platform layer: small FAT images served by fusefat. A failed run
// leaves no partial file and ends with failures; once the fault is gone,
// the next runs finish the work. Skipped where /dev/fuse or the tools are
// missing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/batch.h"
#include "app/hooked_host.h"
#include "fakes/fuse_volumes.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#include "platform/text.h"
#include "store/mask_table.h"
#include "store/object_table.h"

namespace keldar {
namespace {

using namespace fuse;

std::optional<std::string> saved(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::optional<std::string>(v) : std::nullopt;
}
void restore(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

// Every file below a folder: relative name ('/' between names) -> contents;
// none when the folder is missing.
using Files = std::map<std::string, std::string>;

Files files(const std::string& folder) {
  Files found;
  PosixFileSystem fs;
  std::vector<DirItem> items;
  if (::access(folder.c_str(), F_OK) != 0) return found;
  if (fs.search(folder, "*", items) != 0) return {{"<unreadable>", folder}};
  for (const DirItem& item : items) {
    const std::string name = to_utf8_lossy(item.name);
    if (item.kind == ItemKind::kFolder) {
      for (const auto& [inner, data] : files(folder + "/" + item.name)) {
        found[name + "/" + inner] = data;
      }
    } else {
      found[name] = slurp(folder + "/" + item.name);
    }
  }
  return found;
}

// Names of temporary copies anywhere below `folder`.
std::vector<std::string> temporaries(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& [name, data] : files(folder)) {
    const std::size_t base = name.rfind('/') + 1;
    if (name.compare(base, 4, "~kld") == 0 || name.compare(base, 4, "~KLD") == 0) {
      found.push_back(name);
    }
  }
  return found;
}

class FuseCarrierTest : public FuseTest {
 protected:
  void SetUp() override {
    FuseTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
  }
  void TearDown() override {
    if (!cwd_.empty()) {
      EXPECT_EQ(::chdir(cwd_.c_str()), 0);
    }
    restore("XDG_CONFIG_HOME", xdg_);
    restore("TEMP", temp_);
    FuseTest::TearDown();
  }

  // A batch run of computer `name` in the current directory.
  int keldar(const std::string& name, const std::vector<std::string>& args,
             std::function<void(std::string_view)> hook = {}) {
    setenv("XDG_CONFIG_HOME", path(name).c_str(), 1);
    Options options = parse_options(args);
    PosixFileSystem files;
    PosixSystem system;
    SystemClock clock;
    out_.str("");
    HookedHost host(out_, out_, options.name, std::move(hook));
    Session session(files, system, clock, host);
    return run_batch(session, options);
  }
  bool logged(std::string_view line) const {
    return out_.str().find("\n" + std::string(line) + "\n") != std::string::npos;
  }

  // Ann and Bob join on the carrier `carrier`, the current directory from
  // then on, with one object: the folders `ann` and `bob` (made here) and
  // their subfolders, every file copied. Bob synchronises once.
  void join(const std::string& carrier, const std::string& ann, const std::string& bob) {
    PosixFileSystem fs;
    for (const std::string& folder : {ann, bob, path("temp")}) {
      ASSERT_EQ(fs.create_folder(folder), 0) << folder;
    }
    setenv("TEMP", path("temp").c_str(), 1);
    ASSERT_EQ(::chdir(carrier.c_str()), 0);
    ASSERT_EQ(keldar("ann", {"--batch", "--name", "Ann"}), exit_status::kOk) << out_.str();
    ASSERT_EQ(keldar("bob", {"--batch", "--name", "Bob"}), exit_status::kOk) << out_.str();
    ObjectTable objects;
    ObjectRecord& object = objects.new_object();
    object.set_id(1);
    object.set_allow_nested(true);
    ASSERT_TRUE(object.set_path(0, ann + "/*.*"));
    ASSERT_TRUE(object.set_path(1, bob + "/*.*"));
    ASSERT_TRUE(objects.commit_new_object());
    objects.set_next_id(2);
    ASSERT_EQ(objects.save(fs, carrier + "/SYNCOBJ.QRV"), 0);
    MaskTable masks;
    ASSERT_TRUE(masks.record(0).set_pattern("*.*"));
    masks.record(0).set_allow_copy(true);
    ASSERT_TRUE(masks.insert_template_at(0));
    ASSERT_EQ(masks.save(fs, carrier + "/MASKS.QRV"), 0);
    ASSERT_EQ(keldar("bob", {"--sync"}), exit_status::kOk) << out_.str();
  }

  // Both synchronise in turn and end in step: Bob's folder is Ann's, and
  // nothing waits on the carrier.
  void expect_converged(const std::string& carrier, const std::string& ann,
                        const std::string& bob) {
    EXPECT_EQ(keldar("ann", {"--sync"}), exit_status::kOk) << out_.str();
    EXPECT_EQ(keldar("bob", {"--sync"}), exit_status::kOk) << out_.str();
    EXPECT_EQ(files(bob), files(ann));
    EXPECT_EQ(files(carrier + "/00001"), Files{});
    EXPECT_EQ(temporaries(carrier), std::vector<std::string>{});
  }

  std::string cwd_;
  std::optional<std::string> xdg_ = saved("XDG_CONFIG_HOME");
  std::optional<std::string> temp_ = saved("TEMP");
  std::ostringstream out_;
};

// A small volume, most of it taken by a file of its own, holds the carrier
// (it fills as Ann's Action 2 copies) or Bob's folder (it fills as Bob's
// Action 1 copies). The copy that does not fit is refused whole.
class FullVolumeTest : public FuseCarrierTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FullVolumeTest, CopyThatDoesNotFitLeavesNothingAndRunsOnceThereIsRoom) {
  const bool carrier_full = GetParam();
  const std::string small = mount_fat("small", 4);
  if (small.empty()) GTEST_SKIP() << "cannot make a FAT image and mount it with fusefat";
  const std::string carrier = carrier_full ? small : path("carrier");
  const std::string ann = path("ann-work");
  const std::string bob = carrier_full ? path("bob-work") : small + "/bob-work";
  if (!carrier_full) {
    ASSERT_EQ(::mkdir(carrier.c_str(), 0777), 0);
  }
  join(carrier, ann, bob);
  if (HasFatalFailure()) return;

  PosixFileSystem fs;
  ASSERT_EQ(fs.write_file(small + "/filler.bin", std::string(3'000'000, 'f')), 0);
  ASSERT_EQ(fs.create_folder(ann + "/sub"), 0);
  ASSERT_EQ(fs.write_file(ann + "/a.txt", "small one"), 0);
  ASSERT_EQ(fs.write_file(ann + "/sub/big.bin", std::string(1'500'000, 'b')), 0);
  ASSERT_EQ(fs.write_file(ann + "/z.txt", "another small one"), 0);

  const std::string full = carrier_full ? carrier + "/00001" : bob;
  EXPECT_EQ(keldar("ann", {"--sync"}), carrier_full ? exit_status::kFailures : exit_status::kOk)
      << out_.str();
  if (!carrier_full) {
    EXPECT_EQ(keldar("bob", {"--sync"}), exit_status::kFailures) << out_.str();
  }
  EXPECT_TRUE(logged("***: Мало места для копирования файла")) << out_.str();
  const Files left = files(full);
  EXPECT_EQ(left.count("sub/big.bin"), 0u) << "the copy that did not fit";
  EXPECT_EQ(left.count("a.txt"), 1u) << "what fits is copied";
  EXPECT_EQ(temporaries(small), std::vector<std::string>{});
  if (carrier_full) {
    // The copies that fit are recorded with the stamps the FAT carrier keeps.
    EXPECT_EQ(keldar("bob", {"--verify"}), exit_status::kOk) << out_.str();
    EXPECT_NE(
        out_.str().find("Проверено копий на носителе 2, повреждено 0, без контрольной суммы 0"),
        std::string::npos)
        << out_.str();
  }

  ASSERT_EQ(fs.delete_file(small + "/filler.bin"), 0);
  expect_converged(carrier, ann, bob);
}

INSTANTIATE_TEST_SUITE_P(Volumes, FullVolumeTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Carrier" : "FolderOfBob"; });

// The carrier goes as Ann's Action 2 begins: lazily unmounted, the run's
// copies would go to the empty mount point; its server killed, the volume
// answers nothing. The volume reports no size (fusefat serves a FAT32 image
// this small so), as carriers of this kind do.
class PulledCarrierTest : public FuseCarrierTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PulledCarrierTest, CarrierPulledDuringASynchronizeLeavesNothingAndComesBack) {
  const bool kill_server = GetParam();
  const std::string image = path("carrier.img");
  if (!make_image(image, 40, {find_tool("mkfs.vfat"), "-F", "32"})) {
    GTEST_SKIP() << "no mkfs.vfat";
  }
  if (find_tool("fusefat").empty()) GTEST_SKIP() << "no fusefat";
  const std::string point = path("carrier");
  ASSERT_EQ(::mkdir(point.c_str(), 0777), 0);
  pid_t server = serve_fat(image, point);
  ASSERT_GT(server, 0) << "fusefat did not mount";
  const std::string ann = path("ann-work"), bob = path("bob-work");
  join(point, ann, bob);
  if (HasFatalFailure()) return;
  PosixFileSystem fs;
  ASSERT_EQ(fs.create_folder(ann + "/sub"), 0);
  ASSERT_EQ(fs.write_file(ann + "/sub/A.TXT", "from Ann"), 0);
  std::string list;
  ASSERT_EQ(fs.read_file(point + "/00001.QRN", list), 0);

  const std::string action2 = cp1251("Действие 2.");
  const int status = keldar("ann", {"--sync"}, [&](std::string_view line) {
    if (!line.starts_with(action2)) return;
    if (kill_server) {
      ::kill(server, SIGKILL);
    } else {
      EXPECT_TRUE(run({fusermount_, "-u", "-z", point}));
    }
  });
  // While the kernel still holds the dead volume's attributes, the carrier
  // seems in place at the end, and the log's return fails too.
  EXPECT_TRUE(status == exit_status::kFailures || (kill_server && status == exit_status::kLogFile))
      << status << "\n"
      << out_.str();
  EXPECT_TRUE(logged("21: Устройство не готово.")) << out_.str();
  ASSERT_EQ(::chdir(root_.c_str()), 0);  // the last hold on the volume
  if (kill_server) {
    EXPECT_TRUE(run({fusermount_, "-u", "-z", point}));
  }
  std::vector<DirItem> items;
  ASSERT_EQ(fs.search(point, "*", items), 0);
  for (const DirItem& item : items) ADD_FAILURE() << "under the mount point: " << item.name;

  // Its last user gone, the server ends; the carrier comes back.
  pid_t ended = 0;
  for (int i = 0; i < 500 && (ended = ::waitpid(server, nullptr, WNOHANG)) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(ended, server) << "fusefat is still serving";
  daemons_.clear();
  mounts_.clear();
  ASSERT_GT(serve_fat(image, point), 0);
  std::string list_now;
  ASSERT_EQ(fs.read_file(point + "/00001.QRN", list_now), 0);
  EXPECT_EQ(list_now, list) << "the failed run wrote no list";
  EXPECT_EQ(files(point + "/00001"), Files{});
  EXPECT_EQ(temporaries(point), std::vector<std::string>{});

  ASSERT_EQ(::chdir(point.c_str()), 0);
  expect_converged(point, ann, bob);
}

INSTANTIATE_TEST_SUITE_P(Ways, PulledCarrierTest, ::testing::Bool(), [](const auto& info) {
  return info.param ? "ServerKilled" : "LazyUnmount";
});

}  // namespace
}  // namespace keldar
