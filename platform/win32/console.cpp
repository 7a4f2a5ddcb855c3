#include "platform/win32/console.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

namespace keldar {
namespace {

std::atomic<std::int16_t>* g_stop_slot = nullptr;
std::atomic<int> g_interrupts{0};

BOOL WINAPI on_control(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      if (g_interrupts.fetch_add(1) > 0) return FALSE;  // the second one ends the process
      [[fallthrough]];
    case CTRL_CLOSE_EVENT:
      if (g_stop_slot != nullptr) g_stop_slot->store(0);
      // Closing the window ends the process when the handler returns: the
      // run has until then to stop.
      return event == CTRL_CLOSE_EVENT ? FALSE : TRUE;
    default:
      return FALSE;
  }
}

bool is_console(HANDLE h) {
  DWORD mode;
  return h != INVALID_HANDLE_VALUE && h != nullptr && ::GetFileType(h) == FILE_TYPE_CHAR &&
         ::GetConsoleMode(h, &mode);
}

}  // namespace

bool stdin_is_terminal() { return is_console(::GetStdHandle(STD_INPUT_HANDLE)); }

void stop_on_interrupt(std::atomic<std::int16_t>& stop_slot) {
  static_assert(std::atomic<std::int16_t>::is_always_lock_free);
  g_stop_slot = &stop_slot;
  ::SetConsoleCtrlHandler(on_control, TRUE);
}

std::vector<std::string> command_line_arguments() {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    // An unpaired surrogate cannot be typed; it would be dropped.
    args.push_back(win32::utf16_to_utf8(argv[i]).value_or(""));
  }
  ::LocalFree(argv);
  return args;
}

namespace win32 {

ConsoleOutBuf::ConsoleOutBuf(void* handle) : handle_(handle), console_(is_console(handle)) {}

ConsoleOutBuf::~ConsoleOutBuf() { sync(); }

ConsoleOutBuf::int_type ConsoleOutBuf::overflow(int_type c) {
  if (!traits_type::eq_int_type(c, traits_type::eof())) pending_ += traits_type::to_char_type(c);
  return traits_type::not_eof(c);
}

std::streamsize ConsoleOutBuf::xsputn(const char* s, std::streamsize n) {
  pending_.append(s, static_cast<std::size_t>(n));
  return n;
}

int ConsoleOutBuf::sync() {
  if (pending_.empty()) return 0;
  bool ok = true;
  if (console_) {
    std::wstring text = decoder_.feed(pending_);
    // A console line ends in LF alone; CR LF would do the same.
    for (std::size_t at = 0; ok && at < text.size();) {
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 8192));
      DWORD written = 0;
      ok = ::WriteConsoleW(handle_, text.data() + at, chunk, &written, nullptr) && written > 0;
      at += written;
    }
  } else {
    for (std::size_t at = 0; ok && at < pending_.size();) {
      DWORD written = 0;
      ok = ::WriteFile(handle_, pending_.data() + at, static_cast<DWORD>(pending_.size() - at),
                       &written, nullptr) &&
           written > 0;
      at += written;
    }
  }
  pending_.clear();
  return ok ? 0 : -1;
}

ConsoleInBuf::ConsoleInBuf(void* handle) : handle_(handle), console_(is_console(handle)) {}

ConsoleInBuf::int_type ConsoleInBuf::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  buffer_.clear();
  if (console_) {
    wchar_t wide[1024];
    DWORD n = 0;
    if (!::ReadConsoleW(handle_, wide, 1024, &n, nullptr) || n == 0) return traits_type::eof();
    // Ctrl+Z at the start of a line ends the input, as for cmd's own tools.
    if (wide[0] == 0x1A) return traits_type::eof();
    std::wstring text(wide, n);
    for (std::size_t at; (at = text.find(L'\r')) != std::wstring::npos;) text.erase(at, 1);
    buffer_ = utf16_to_utf8(text).value_or("");
  } else {
    char bytes[4096];
    DWORD n = 0;
    if (!::ReadFile(handle_, bytes, sizeof bytes, &n, nullptr) || n == 0) return traits_type::eof();
    // Lines written on Windows end in CR LF: the CR is dropped.
    for (DWORD i = 0; i < n; ++i) {
      if (bytes[i] != '\r') buffer_ += bytes[i];
    }
  }
  if (buffer_.empty()) return underflow();
  setg(buffer_.data(), buffer_.data(), buffer_.data() + buffer_.size());
  return traits_type::to_int_type(*gptr());
}

}  // namespace win32

Console::Console()
    : out_buf_(::GetStdHandle(STD_OUTPUT_HANDLE)),
      err_buf_(::GetStdHandle(STD_ERROR_HANDLE)),
      in_buf_(::GetStdHandle(STD_INPUT_HANDLE)),
      out_(&out_buf_),
      err_(&err_buf_),
      in_(&in_buf_) {}

}  // namespace keldar
