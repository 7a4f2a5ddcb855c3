#include "app/failure_line.h"

#include "platform/text.h"

namespace keldar {

bool is_failure_line(std::string_view line) {
  static const std::string kUnreachable = cp1251("Объект недоступен: ");
  for (std::string_view start : {"ERC=", "ERD=", "EC=", "ErrOp->", "ErrWr->", "***: "}) {
    if (line.starts_with(start)) return true;
  }
  if (line.starts_with(kUnreachable)) return true;
  // A system error line: the error code, a colon and a blank, then its text.
  std::size_t digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  return digits > 0 && line.substr(digits).starts_with(": ");
}

}  // namespace keldar
