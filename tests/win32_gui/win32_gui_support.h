// Helpers of the window's tests: the message loop pumped until something
// has happened, buttons pressed through messages, and a dialog's layout
// checked against its table of controls in dialog units.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace keldar::test {

// Dispatches one waiting message of the thread as the program's loop does;
// false when none was waiting.
inline bool dispatch_one() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  HWND active = GetActiveWindow();
  if (active == nullptr || !IsDialogMessageW(active, &msg)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

// Dispatches the thread's messages until `done` holds or `timeout_ms` has
// passed; whether `done` held.
inline bool pump_until(const std::function<bool()>& done, int timeout_ms = 20000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!dispatch_one()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

// Dispatches what is waiting now, and what that posts in turn.
inline void pump() {
  for (int quiet = 0; quiet < 3;) {
    if (dispatch_one()) {
      quiet = 0;
    } else {
      ++quiet;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
}

// Presses button `id` of `dialog` as a click does: the dialog gets its
// BN_CLICKED.
inline void click(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// The window's text.
inline std::wstring text_of(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

// The visible top-level window of this thread for which `match` holds,
// or nullptr.
inline HWND shown_window(const std::function<bool(HWND)>& match) {
  struct Search {
    const std::function<bool(HWND)>& match;
    HWND found = nullptr;
  } search{match};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (!IsWindowVisible(window) || !s->match(window)) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Runs `act` on the next visible window of this thread for which `match`
// holds (a modal dialog or message box) as soon as it shows, from within
// whatever modal loop is running then.
inline void when_shown_if(std::function<bool(HWND)> match, std::function<void(HWND)> act) {
  struct Pending {
    std::function<bool(HWND)> match;
    std::function<void(HWND)> act;
  };
  static std::vector<Pending> pending;
  static UINT_PTR timer = 0;
  pending.push_back({std::move(match), std::move(act)});
  if (timer != 0) return;
  timer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
    for (auto it = pending.begin(); it != pending.end(); ++it) {
      HWND window = shown_window(it->match);
      if (window == nullptr) continue;
      auto act = std::move(it->act);
      pending.erase(it);
      if (pending.empty()) {
        KillTimer(nullptr, timer);
        timer = 0;
      }
      act(window);
      return;
    }
  });
}

// The same for the window whose caption is `caption`.
inline void when_shown(const std::wstring& caption, std::function<void(HWND)> act) {
  when_shown_if([caption](HWND window) { return text_of(window) == caption; }, std::move(act));
}

// One control of a dialog: its id, its text (nullptr: not checked) and its
// rectangle in dialog units.
struct ControlSpec {
  int id;
  const wchar_t* text;
  int x, y, width, height;
};

// Checks `dialog` against its caption, client size in dialog units and
// controls (the rectangles mapped with the dialog's own font).
inline void check_layout(HWND dialog, const wchar_t* caption, int width, int height,
                         const std::vector<ControlSpec>& controls) {
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(text_of(dialog), caption);
  RECT size{0, 0, width, height};
  MapDialogRect(dialog, &size);
  RECT client;
  GetClientRect(dialog, &client);
  EXPECT_EQ(client.right, size.right) << "width";
  EXPECT_EQ(client.bottom, size.bottom) << "height";
  for (const ControlSpec& c : controls) {
    HWND control = GetDlgItem(dialog, c.id);
    ASSERT_NE(control, nullptr) << "control " << c.id;
    // The dialog maps a control's origin and size each on its own.
    RECT origin{c.x, c.y, c.width, c.height};
    MapDialogRect(dialog, &origin);
    RECT got;
    GetWindowRect(control, &got);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ(got.left, origin.left) << "control " << c.id;
    EXPECT_EQ(got.top, origin.top) << "control " << c.id;
    EXPECT_EQ(got.right - got.left, origin.right) << "control " << c.id;
    EXPECT_EQ(got.bottom - got.top, origin.bottom) << "control " << c.id;
    if (c.text != nullptr) {
      EXPECT_EQ(text_of(control), c.text) << "control " << c.id;
    }
  }
}

}  // namespace keldar::test
