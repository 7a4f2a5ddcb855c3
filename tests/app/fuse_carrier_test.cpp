// A carrier on a real removable volume that goes away during a
// Synchronize: a FAT image served by fusefat, lazily unmounted (fusermount
// -u -z) while the batch run goes on, through the Linux platform layer.
// Skipped where /dev/fuse or the tools are missing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
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

  std::string cwd_;
  std::optional<std::string> xdg_ = saved("XDG_CONFIG_HOME");
  std::optional<std::string> temp_ = saved("TEMP");
  std::ostringstream out_;
};

// The carrier's volume goes as Action 2 begins, and the run's copies would
// go to the empty mount point. The volume reports no size (fusefat serves a
// FAT32 image this small so), as carriers of this kind do.
TEST_F(FuseCarrierTest, LazyUnmountDuringASynchronizeLeavesNothingUnderTheMountPoint) {
  const std::string image = path("carrier.img");
  if (!make_image(image, 40, {find_tool("mkfs.vfat"), "-F", "32"})) {
    GTEST_SKIP() << "no mkfs.vfat";
  }
  if (find_tool("fusefat").empty()) GTEST_SKIP() << "no fusefat";
  const std::string point = path("carrier");
  ASSERT_EQ(::mkdir(point.c_str(), 0777), 0);
  pid_t server = serve_fat(image, point);
  ASSERT_GT(server, 0) << "fusefat did not mount";
  PosixFileSystem files;
  for (const char* folder : {"ann-work", "ann-work/sub", "bob-work", "temp"}) {
    ASSERT_EQ(files.create_folder(path(folder)), 0);
  }
  ASSERT_EQ(files.write_file(path("ann-work/sub/A.TXT"), "from Ann"), 0);
  setenv("TEMP", path("temp").c_str(), 1);

  ASSERT_EQ(::chdir(point.c_str()), 0);
  ASSERT_EQ(keldar("ann", {"--batch", "--name", "Ann"}), exit_status::kOk) << out_.str();
  ASSERT_EQ(keldar("bob", {"--batch", "--name", "Bob"}), exit_status::kOk) << out_.str();
  ObjectTable objects;
  ObjectRecord& object = objects.new_object();
  object.set_id(1);
  object.set_allow_nested(true);
  ASSERT_TRUE(object.set_path(0, path("ann-work/*.*")));
  ASSERT_TRUE(object.set_path(1, path("bob-work/*.*")));
  ASSERT_TRUE(objects.commit_new_object());
  objects.set_next_id(2);
  ASSERT_EQ(objects.save(files, point + "/SYNCOBJ.QRV"), 0);
  MaskTable masks;
  ASSERT_TRUE(masks.record(0).set_pattern("*.*"));
  masks.record(0).set_allow_copy(true);
  ASSERT_TRUE(masks.insert_template_at(0));
  ASSERT_EQ(masks.save(files, point + "/MASKS.QRV"), 0);
  ASSERT_EQ(keldar("bob", {"--sync"}), exit_status::kOk) << out_.str();
  std::string list;
  ASSERT_EQ(files.read_file(point + "/00001.QRN", list), 0);

  const std::string action2 = cp1251("Действие 2.");
  const std::vector<std::string> unmount = {fusermount_, "-u", "-z", point};
  EXPECT_EQ(keldar("ann", {"--sync"},
                   [&](std::string_view line) {
                     if (line.starts_with(action2)) {
                       EXPECT_TRUE(run(unmount));
                     }
                   }),
            exit_status::kFailures);
  EXPECT_NE(out_.str().find("\n21: "), std::string::npos) << out_.str();
  ASSERT_EQ(::chdir(root_.c_str()), 0);  // the last hold on the unmounted volume
  std::vector<DirItem> items;
  ASSERT_EQ(files.search(point, "*", items), 0);
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
  ASSERT_EQ(files.read_file(point + "/00001.QRN", list_now), 0);
  EXPECT_EQ(list_now, list) << "the failed run wrote no list";

  ASSERT_EQ(::chdir(point.c_str()), 0);
  EXPECT_EQ(keldar("ann", {"--sync"}), exit_status::kOk) << out_.str();
  std::string copied;
  EXPECT_EQ(files.read_file(point + "/00001/sub/A.TXT", copied), 0);
  EXPECT_EQ(copied, "from Ann");
}

}  // namespace
}  // namespace keldar
