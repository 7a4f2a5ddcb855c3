// Which log lines report a failure, so that a window can make them stand
// out. The lines themselves and the log file are never changed for it.
#pragma once

#include <string_view>

namespace keldar {

// True for a line (Windows-1251) that reports a failure: a file that was not
// copied or deleted ("ERC=", "ERD=", "EC=" and the name), a list that was
// not written ("ErrOp->", "ErrWr->" and the path), a system error line
// ("<code>: <text>", or "***: " when space ran out) and an object whose
// folder could not be examined ("Объект недоступен: " and the path).
bool is_failure_line(std::string_view line);

}  // namespace keldar
