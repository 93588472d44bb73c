#include <signal.h>
#include <unistd.h>

#include <cassert>

#include "platform/interrupt.h"
#include "platform/path_posix.h"

namespace stowaway {
namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t HandledCount = sizeof Handled / sizeof Handled[0];

// Written only while the signals are blocked, read only by the handler.
std::string GuardedPath;
std::string Notice;
struct sigaction Previous[HandledCount];
bool Armed = false;

// The signals are held back while the guard's state changes, so that the
// handler never sees it half-written.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : Handled) sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &saved_);
  }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t saved_;
};

extern "C" void OnInterrupt(int signal) {
  ::unlink(GuardedPath.c_str());
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, Notice.data(), Notice.size());
  // Dying of the signal itself tells the parent (a shell, make) what happened.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(signal, &fallback, nullptr);
  ::raise(signal);
}

}  // namespace

InterruptGuard::InterruptGuard(const std::string& path, const std::string& notice) {
  SignalsHeld held;
  assert(!Armed);
  GuardedPath = NativePath(path);
  Notice = notice;
  struct sigaction handler {};
  handler.sa_handler = OnInterrupt;
  sigfillset(&handler.sa_mask);
  for (size_t i = 0; i < HandledCount; ++i) {
    ::sigaction(Handled[i], nullptr, &Previous[i]);
    // A signal ignored from the start (a background job, nohup) stays ignored.
    if (Previous[i].sa_handler != SIG_IGN) ::sigaction(Handled[i], &handler, nullptr);
  }
  Armed = true;
}

InterruptGuard::~InterruptGuard() {
  SignalsHeld held;
  for (size_t i = 0; i < HandledCount; ++i) ::sigaction(Handled[i], &Previous[i], nullptr);
  Armed = false;
}

void CheckInterrupt() {}

}  // namespace stowaway
