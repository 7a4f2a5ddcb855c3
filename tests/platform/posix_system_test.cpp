#include "platform/posix/posix_system.h"

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace keldar {
namespace {

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

bool is_folder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Runs each test in a fresh folder with its own HOME and XDG_CONFIG_HOME,
// and puts the environment and the current directory back afterwards.
class PosixSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/keldar-system-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "KELDAR_TEST_VALUE"}) {
      const char* value = std::getenv(name);
      saved_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    }
  }
  void TearDown() override {
    ASSERT_EQ(::chdir(cwd_.c_str()), 0);
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
    ::nftw(root_.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
  }

  std::string root_;
  std::string cwd_;
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  PosixSystem system_;
};

TEST_F(PosixSystemTest, IdentificationFilesLiveInPerDriveConfigurationFolders) {
  ::setenv("XDG_CONFIG_HOME", (root_ + "/config/").c_str(), 1);
  EXPECT_EQ(system_.identification_file('D'), root_ + "/config/keldar/D/KELDAR.ID");
  EXPECT_TRUE(is_folder(root_ + "/config/keldar/D"));

  ::setenv("HOME", (root_ + "/home").c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(system_.identification_file('C'), root_ + "/home/.config/keldar/C/KELDAR.ID");
  EXPECT_TRUE(is_folder(root_ + "/home/.config/keldar/C"));
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not valid: ignored
  EXPECT_EQ(system_.identification_file('F'), root_ + "/home/.config/keldar/F/KELDAR.ID");

  // A home in Cyrillic comes back as Windows-1251.
  ::setenv("HOME", (root_ + "/Домашняя").c_str(), 1);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(system_.identification_file('E'),
            root_ + cp1251("/Домашняя/.config/keldar/E/KELDAR.ID"));
  EXPECT_TRUE(is_folder(root_ + "/Домашняя/.config/keldar/E"));
}

TEST_F(PosixSystemTest, CurrentDirectoryIsGivenOnlyWhenItCanBeCarried) {
  const std::string cyrillic = root_ + "/Папка";
  ASSERT_EQ(::mkdir(cyrillic.c_str(), 0777), 0);
  ASSERT_EQ(::chdir(cyrillic.c_str()), 0);
  EXPECT_EQ(system_.current_directory(), cp1251(cyrillic));

  const std::string chinese = root_ + "/中文";
  ASSERT_EQ(::mkdir(chinese.c_str(), 0777), 0);
  ASSERT_EQ(::chdir(chinese.c_str()), 0);
  EXPECT_EQ(system_.current_directory(), std::nullopt);

  ASSERT_EQ(::chdir("/"), 0);
  EXPECT_EQ(system_.current_directory(), "/");
}

TEST_F(PosixSystemTest, EnvironmentValuesComeAsWindows1251) {
  ::setenv("KELDAR_TEST_VALUE", "Привет", 1);
  EXPECT_EQ(system_.environment("KELDAR_TEST_VALUE"), cp1251("Привет"));
  ::setenv("KELDAR_TEST_VALUE", "", 1);
  EXPECT_EQ(system_.environment("KELDAR_TEST_VALUE"), "");
  ::setenv("KELDAR_TEST_VALUE", "中", 1);
  EXPECT_EQ(system_.environment("KELDAR_TEST_VALUE"), std::nullopt);
  ::unsetenv("KELDAR_TEST_VALUE");
  EXPECT_EQ(system_.environment("KELDAR_TEST_VALUE"), std::nullopt);
}

// One process at a time holds a carrier; a mark let go, or a mark on
// another folder, stands in no one's way.
TEST_F(PosixSystemTest, OneProcessAtATimeHoldsACarrier) {
  const std::string other = root_ + "/other";
  ASSERT_EQ(::mkdir(other.c_str(), 0700), 0);
  PosixSystem second;
  EXPECT_TRUE(system_.hold_carrier(root_ + "/"));
  EXPECT_FALSE(second.hold_carrier(root_ + "/"));
  EXPECT_TRUE(second.hold_carrier(other));
  system_.release_carrier();
  EXPECT_TRUE(second.hold_carrier(root_));
  EXPECT_TRUE(system_.hold_carrier(root_ + "/missing")) << "cannot tell: not refused";
}

}  // namespace
}  // namespace keldar
