#include "app/failure_line.h"

#include <gtest/gtest.h>

#include "fakes/test_support.h"

namespace keldar {
namespace {

using test::u;

TEST(FailureLineTest, MarksTheLinesThatReportAFailure) {
  const struct {
    const char* line;
    bool failure;
  } cases[] = {
      {"ERC=docs\\a.txt", true},
      {"ERD=a.txt", true},
      {"EC=sub\\", true},
      {"ErrOp->/media/stick/00001.QRN", true},
      {"ErrWr->/media/stick/00001.QRN", true},
      {"5: Отказано в доступе.", true},
      {"112: Недостаточно места на диске.", true},
      {"***: Мало места для копирования файла", true},
      {"Объект недоступен: /home/ann/work/*.*", true},
      // Ordinary lines, also those whose names look like a failure.
      {"    3->/media/stick/00001.QRN", false},
      {"+ ERC=.txt", false},
      {"=+ 5: notes.txt", false},
      {"x ErrOp.txt", false},
      {"Объект => носитель: /home/ann/Объект недоступен/*.*", false},
      {"Удалено объектов синхронизации: 1", false},
      {"08.12.2026 12:00:00 ===== СИНХРОНИЗАЦИЯ", false},
      {"2021", false},
      {": text", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_failure_line(u(c.line)), c.failure) << c.line;
}

}  // namespace
}  // namespace keldar
