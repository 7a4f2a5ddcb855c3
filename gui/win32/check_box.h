// The two-state check boxes of the edit dialogs: checked stands for true.
#pragma once

#include <windows.h>

namespace keldar {

inline void set_check(HWND box, bool checked) {
  SendMessageW(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

inline bool checked(HWND box) { return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

}  // namespace keldar
