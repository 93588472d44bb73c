// The platform's own window layer, where only real windows will do.
#include <gtest/gtest.h>

#include "platform/exception.h"
#include "platform/window.h"

namespace stowaway {
namespace {

constexpr uint32_t Raise = WmUser + 7;

LResult RaisingProcedure(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  if (message == Raise) throw Exception("raised in a window procedure");
  return NativeWindowSystem().DefaultProcedure(window, message, wparam, lparam);
}

// The system's frames between a procedure and the message loop cannot be
// unwound through: the exception stops at the procedure, the loop is ended,
// and the next wait for a message raises it on the loop's side.
TEST(WindowLayer, AnExceptionInAProcedureIsRaisedAgainFromTheMessageLoop) {
  WindowSystem& windows = NativeWindowSystem();
  WindowClass window_class;
  window_class.procedure = RaisingProcedure;
  window_class.name = "StowawayRaisingWindow";
  ASSERT_TRUE(windows.RegisterWindowClass(window_class));
  WindowParams params;
  params.className = window_class.name;
  params.title = "raising";
  const WindowHandle window = windows.CreateTopLevelWindow(params);
  ASSERT_NE(window, WindowHandle::None);

  EXPECT_EQ(windows.Send(window, Raise, 0, 0), 0);
  Message message;
  try {
    windows.NextMessage(message);
    ADD_FAILURE() << "nothing was raised";
  } catch (const Exception& failure) {
    EXPECT_EQ(failure.Message(), "raised in a window procedure");
  }
  EXPECT_EQ(windows.NextMessage(message), 0);
  EXPECT_EQ(message.wParam, 1u);
}

}  // namespace
}  // namespace stowaway
