# The tests of the grid and the list dialogs, included by
# tests/win32_gui/CMakeLists.txt into win32_gui_tests.
set(KELDAR_WIN32_DIALOG_TESTS
  list_dialogs_test.cpp
)
