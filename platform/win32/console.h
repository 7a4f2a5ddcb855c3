// The console of a batch run on Windows: the arguments as typed, Ctrl+C as
// the stop request, and streams of UTF-8 text (what the batch front end
// reads and writes) over the standard handles. On a console the text goes
// through the wide console functions, so it shows whatever the console's
// code page; redirected, the bytes are UTF-8 as they are.
#pragma once

#include <atomic>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/win32/wide_text.h"

namespace keldar {

// Whether standard input is an interactive console.
bool stdin_is_terminal();
// The first Ctrl+C or Ctrl+Break (or the console window being closed)
// stores 0 in `stop_slot` (the run queue's stop request); a second Ctrl+C
// ends the process at once.
void stop_on_interrupt(std::atomic<std::int16_t>& stop_slot);
// The arguments that follow the program's name, as UTF-8.
std::vector<std::string> command_line_arguments();

namespace win32 {

// Writes UTF-8 text to a standard handle: WriteConsoleW on a console,
// the bytes themselves otherwise. Written out at every flush.
class ConsoleOutBuf : public std::streambuf {
 public:
  explicit ConsoleOutBuf(void* handle);
  ~ConsoleOutBuf() override;

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  void* handle_;
  bool console_;
  std::string pending_;
  Utf8Decoder decoder_;
};

// Reads standard input as UTF-8 text: ReadConsoleW on a console, the bytes
// themselves otherwise.
class ConsoleInBuf : public std::streambuf {
 public:
  explicit ConsoleInBuf(void* handle);

 protected:
  int_type underflow() override;

 private:
  void* handle_;
  bool console_;
  std::string buffer_;
};

}  // namespace win32

// Standard output, error and input as UTF-8 streams.
class Console {
 public:
  Console();
  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }
  std::istream& in() { return in_; }

 private:
  win32::ConsoleOutBuf out_buf_;
  win32::ConsoleOutBuf err_buf_;
  win32::ConsoleInBuf in_buf_;
  std::ostream out_;
  std::ostream err_;
  std::istream in_;
};

}  // namespace keldar
