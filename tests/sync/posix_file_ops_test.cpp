// The file operations on real Linux folders, where links can be made: a
// link on the carrier or in the object folder is never written through.
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "lists/scan.h"
#include "platform/posix/posix_file_system.h"
#include "sync/file_ops.h"
#include "sync_fixture.h"

namespace keldar::sync_test {
namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::chmod(path, 0755);
  ::remove(path);
  return 0;
}

class PosixFileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.set_now(kJune15);
    char pattern[] = "/tmp/keldar-fileops-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    base = pattern;
    work = base + "/work";
    carrier = base + "/carrier";
    outside = base + "/outside";
    for (const auto& folder : {work, carrier, outside}) ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ctx.carrier.folder = carrier + "/";
    ctx.computer = 0;
    ctx.carrier.exact_times = true;
  }
  void TearDown() override {
    if (!base.empty()) ::nftw(base.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
  }
  void add_object(const std::string& folder) {
    ObjectRecord& r = ctx.objects.new_object();
    r.set_id(7);
    r.set_allow_nested(true);
    ASSERT_TRUE(r.set_path(0, folder + "/*.*"));
    ASSERT_TRUE(ctx.objects.commit_new_object());
  }
  bool fill() {
    ctx.stop.reset();
    return fill_all_lists(ctx.env, ctx, Leftovers::kRemove) == 0;
  }
  std::size_t at(std::string_view name) {
    ListEntry* e = ctx.list().find(name);
    EXPECT_NE(e, nullptr) << name;
    return e == nullptr ? 0 : static_cast<std::size_t>(e - ctx.list().entries.data());
  }
  static void make_file(const std::string& path, const std::string& contents, std::int64_t mtime) {
    { std::ofstream(path, std::ios::binary) << contents; }
    struct timespec ts[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0) << path;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
  }
  static bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
  }

  PosixFileSystem fs;
  FixedClock clock;
  RecordingHost host;
  SyncLog log;
  TestContext ctx{fs, clock, host, log};
  std::string base, work, carrier, outside;

 private:
  ScopedTimeZone time_zone_{"MSK-3"};
};

TEST_F(PosixFileOpsTest, CopiesToTheCarrierButNeverThroughALinkPlacedThere) {
  add_object(work);
  ASSERT_EQ(::mkdir((work + "/sub").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((work + "/sub2").c_str(), 0755), 0);
  make_file(work + "/sub/f.txt", "real", kJan15);
  make_file(work + "/sub2/g.txt", "secret", kJan15);
  ASSERT_EQ(::mkdir((carrier + "/00007").c_str(), 0755), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (carrier + "/00007/sub2").c_str()), 0);
  ASSERT_TRUE(fill());
  ctx.stop.reset();

  ASSERT_EQ(copy_entry(ctx.env, ctx.run(), at("sub\\f.txt"), false), 0);
  EXPECT_EQ(read(carrier + "/00007/sub/f.txt"), "real");
  struct stat st {};
  ASSERT_EQ(::stat((carrier + "/00007/sub/f.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, kJan15);

  EXPECT_EQ(copy_entry(ctx.env, ctx.run(), at("sub2\\g.txt"), false), err::kAccessDenied);
  EXPECT_FALSE(exists(outside + "/g.txt"));
  EXPECT_EQ(ctx.list().find("sub2\\g.txt")->carrier_stamp, 0u);
}

TEST_F(PosixFileOpsTest, NothingIsReadThroughALinkOnTheCarrier) {
  add_object(work);
  make_file(outside + "/secret.txt", "secret", kJan15);
  ASSERT_EQ(::mkdir((carrier + "/00007").c_str(), 0755), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (carrier + "/00007/ext").c_str()), 0);
  ASSERT_TRUE(fill());
  // A list from elsewhere names a file behind the link.
  ListEntry* e = ctx.list().add("ext\\secret.txt", ctx.lists.names());
  ASSERT_NE(e, nullptr);
  e->carrier_stamp = kJan15 | kExact;
  ctx.stop.reset();

  EXPECT_EQ(copy_entry(ctx.env, ctx.run(), at("ext\\secret.txt"), true), err::kAccessDenied);
  EXPECT_FALSE(exists(work + "/ext"));
  EXPECT_EQ(ctx.list().find("ext\\secret.txt")->object_stamp, 0u);
}

TEST_F(PosixFileOpsTest, AnObjectFolderReachedThroughALinkIsUsable) {
  const std::string link = base + "/worklink";
  ASSERT_EQ(::symlink(work.c_str(), link.c_str()), 0);
  add_object(link);
  ASSERT_EQ(::mkdir((carrier + "/00007").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((carrier + "/00007/d").c_str(), 0755), 0);
  make_file(carrier + "/00007/d/n.txt", "new", kJan15);
  ASSERT_TRUE(fill());
  ctx.stop.reset();

  ASSERT_EQ(copy_entry(ctx.env, ctx.run(), at("d\\n.txt"), true), 0);
  EXPECT_EQ(read(work + "/d/n.txt"), "new");
  ASSERT_EQ(delete_entry(ctx.env, ctx.run(), at("d\\n.txt"), false), 0);
  EXPECT_FALSE(exists(work + "/d/n.txt"));
  EXPECT_EQ(ctx.list().find("d\\n.txt")->object_stamp, 0u);
}

}  // namespace
}  // namespace keldar::sync_test
