# The grid and the list dialogs of the Windows window, included by
# gui/win32/CMakeLists.txt into the keldar_win32_gui library.
set(KELDAR_WIN32_DIALOG_SOURCES
  cmsflexgrid.cpp
  list_window.cpp
  masks_window.cpp
  object_edit_window.cpp
  objects_window.cpp
)
