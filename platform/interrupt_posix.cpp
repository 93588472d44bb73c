#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cassert>

#include "platform/interrupt.h"

namespace stowaway {
namespace {

constexpr int Handled[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t HandledCount = sizeof Handled / sizeof Handled[0];

// Written only while the signals are blocked, read only by the handler.
std::string GuardedPath;  // a path, or a name inside GuardedFolder
int GuardedFolder = AT_FDCWD;
std::string Notice;
struct sigaction Previous[HandledCount];
struct sigaction PreviousFileSizeLimit;
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
  ::unlinkat(GuardedFolder, GuardedPath.c_str(), 0);
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, Notice.data(), Notice.size());
  // Dying of the signal itself tells the parent (a shell, make) what happened.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(signal, &fallback, nullptr);
  ::raise(signal);
}

void Arm(int folder, const std::string& path, const std::string& notice) {
  SignalsHeld held;
  assert(!Armed);
  GuardedFolder = folder;
  GuardedPath = path;
  Notice = notice;
  struct sigaction handler {};
  handler.sa_handler = OnInterrupt;
  sigfillset(&handler.sa_mask);
  for (size_t i = 0; i < HandledCount; ++i) {
    ::sigaction(Handled[i], nullptr, &Previous[i]);
    // A signal ignored from the start (a background job, nohup) stays ignored.
    if (Previous[i].sa_handler != SIG_IGN) ::sigaction(Handled[i], &handler, nullptr);
  }
  struct sigaction ignored {};
  ignored.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignored, &PreviousFileSizeLimit);
  Armed = true;
}

}  // namespace

InterruptGuard::InterruptGuard(const std::string& path, const std::string& notice) {
  Arm(AT_FDCWD, path, notice);
}

InterruptGuard::InterruptGuard(const OpenFolder& folder, const std::string& name,
                               const std::string& notice) {
  Arm(static_cast<int>(folder.Native()), name, notice);
}

InterruptGuard::~InterruptGuard() {
  SignalsHeld held;
  for (size_t i = 0; i < HandledCount; ++i) ::sigaction(Handled[i], &Previous[i], nullptr);
  ::sigaction(SIGXFSZ, &PreviousFileSizeLimit, nullptr);
  Armed = false;
}

void CheckInterrupt() {}

}  // namespace stowaway
