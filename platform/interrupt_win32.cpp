#include <windows.h>

#include <atomic>
#include <cassert>

#include "platform/interrupt.h"

namespace stowaway {
namespace {

std::atomic<bool> Requested{false};
std::string Notice;
bool Armed = false;

// Long enough for the main thread to reach its next check and clean up.
constexpr DWORD ClosingGrace = 5000;

// Runs on a thread of its own. Ctrl-C and Ctrl-Break are taken over; for a
// closing console or a logoff the system ends the process once this
// returns, so it waits for the main thread's clean-up first.
BOOL WINAPI OnControl(DWORD event) {
  Requested = true;
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) ::Sleep(ClosingGrace);
  return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard(const OpenFolder&, const std::string& name, const std::string& notice)
    : InterruptGuard(name, notice) {}

InterruptGuard::InterruptGuard(const std::string&, const std::string& notice) {
  assert(!Armed);
  Notice = notice;
  Requested = false;
  Armed = true;
  ::SetConsoleCtrlHandler(OnControl, TRUE);
}

InterruptGuard::~InterruptGuard() {
  ::SetConsoleCtrlHandler(OnControl, FALSE);
  Armed = false;
}

void CheckInterrupt() {
  if (!Armed || !Requested.exchange(false)) return;
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), Notice.data(), static_cast<DWORD>(Notice.size()),
              &written, nullptr);
  throw Interrupted{};
}

}  // namespace stowaway
