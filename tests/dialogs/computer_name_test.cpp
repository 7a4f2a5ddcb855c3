#include "dialogs/computer_name.h"

#include <gtest/gtest.h>

#include "dialogs/counters.h"
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

TEST(CountersTest, OnlyNonZeroCountersAreLoggedDeletedFirst) {
  test::CollectingLog log;
  log_object_counters(log, {.added = 1, .changed = 0, .deleted = 1});
  log_mask_counters(log, {.added = 0, .changed = 12, .deleted = 0});
  log_object_counters(log, {});
  EXPECT_EQ(log.lines, (std::vector<std::string>{u("Удалено объектов синхронизации: 1"),
                                                 u("Добавлено объектов синхронизации: 1"),
                                                 u("Изменено масок файлов: 12")}));
}

}  // namespace
}  // namespace keldar
