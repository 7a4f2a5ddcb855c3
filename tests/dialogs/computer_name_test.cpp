#include "dialogs/computer_name.h"

#include <gtest/gtest.h>

#include "fakes/test_support.h"

namespace keldar {
namespace {

using test::u;

TEST(ComputerNameTest, OkHandsBackTheWholeTextAndCancelLeavesTheAnswer) {
  std::string answer;
  {
    ComputerNameDialog dialog(u("Новый компьютер для синхронизации, введите имя:"), answer);
    EXPECT_EQ(dialog.prompt(), u("Новый компьютер для синхронизации, введите имя:"));
    EXPECT_EQ(dialog.initial_text(), "");
    // Closed without OK: nothing is touched.
  }
  EXPECT_EQ(answer, "");

  std::string error;
  ComputerNameDialog empty("", answer);
  EXPECT_TRUE(empty.accept(std::string(), error));
  EXPECT_EQ(answer, "");

  const std::string long_name = u("Бухгалтерия-второй-этаж");
  ComputerNameDialog dialog("", answer);
  EXPECT_TRUE(dialog.accept(long_name, error));
  EXPECT_EQ(answer, long_name);  // the cut to 15 is the caller's

  ComputerNameDialog refused("", answer);
  EXPECT_FALSE(refused.accept(std::nullopt, error));
  EXPECT_EQ(error, u("Имя содержит знаки, которых нет в кодировке Windows-1251"));
  EXPECT_EQ(answer, long_name);
}

}  // namespace
}  // namespace keldar
