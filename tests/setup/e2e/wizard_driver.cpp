// Works the setup program's wizard from outside, as a person would, for
// scripts (the screenshots in doc/ are taken with it):
//   wizard_driver TITLE wait TEXT    until a control showing TEXT is visible
//   wizard_driver TITLE click TEXT   presses the visible control showing TEXT
//   wizard_driver TITLE type TEXT    puts TEXT into the visible edit box
// Each waits up to 60 seconds for the window and the control; exit status 0
// when done, 1 when they never came, 2 for a command line it does not know.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "platform/form.h"

namespace stowaway {
namespace {

WindowHandle WaitFor(const std::function<WindowHandle()>& found) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < end) {
    if (const WindowHandle window = found(); window != WindowHandle::None) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return WindowHandle::None;
}

int Run(const std::string& title, const std::string& command, const std::string& text) {
  const WindowHandle wizard = WaitFor([&] { return FindTopWindow(title); });
  if (wizard == WindowHandle::None) return 1;
  const auto shown = [&](const std::function<WindowHandle()>& find) {
    return WaitFor([&] {
      const WindowHandle control = find();
      return control != WindowHandle::None && IsShown(control) ? control : WindowHandle::None;
    });
  };
  if (command == "type") {
    const WindowHandle edit = shown([&] { return FindControlOfClass(wizard, "Edit"); });
    if (edit == WindowHandle::None) return 1;
    TypeInto(edit, text);
    return 0;
  }
  const WindowHandle control = shown([&] { return FindControl(wizard, text); });
  if (control == WindowHandle::None) return 1;
  if (command == "click") Press(control);
  return 0;
}

}  // namespace
}  // namespace stowaway

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wizard_driver TITLE wait|click|type TEXT\n");
    return 2;
  }
  const std::string command = argv[2];
  if (command != "wait" && command != "click" && command != "type") return 2;
  return stowaway::Run(argv[1], command, argv[3]);
}
