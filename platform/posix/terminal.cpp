#include "platform/posix/terminal.h"

#include <signal.h>
#include <unistd.h>

namespace keldar {
namespace {

std::atomic<std::int16_t>* g_stop_slot = nullptr;

void on_interrupt(int signal_number) {
  if (g_stop_slot != nullptr) g_stop_slot->store(0);
  g_stop_slot = nullptr;
  ::signal(signal_number, SIG_DFL);
}

}  // namespace

bool stdin_is_terminal() { return isatty(STDIN_FILENO) == 1; }

void stop_on_interrupt(std::atomic<std::int16_t>& stop_slot) {
  static_assert(std::atomic<std::int16_t>::is_always_lock_free);
  g_stop_slot = &stop_slot;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace keldar
