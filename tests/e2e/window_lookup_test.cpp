// The platform's lookup of a window by its title, with real windows: the
// window it found last is served again only while it still exists under
// that title.
#include <gtest/gtest.h>

#include "platform/window.h"

namespace stowaway {
namespace {

constexpr uint32_t WmSetText = 12;

LResult Plain(WindowHandle window, uint32_t message, WParam wparam, LParam lparam) {
  return NativeWindowSystem().DefaultProcedure(window, message, wparam, lparam);
}

TEST(WindowLookup, ServesTheWindowFoundLastOnlyWhileItKeepsItsTitle) {
  WindowSystem& windows = NativeWindowSystem();
  WindowClass window_class;
  window_class.procedure = Plain;
  window_class.name = "StowawayLookupTest";
  ASSERT_TRUE(windows.RegisterWindowClass(window_class));
  const std::string title = "stowaway lookup test";
  WindowParams params;
  params.className = window_class.name;
  params.title = title;
  const WindowHandle first = windows.CreateTopLevelWindow(params);
  ASSERT_NE(first, WindowHandle::None);

  EXPECT_EQ(windows.FindWindowByTitle(title), first);
  EXPECT_EQ(windows.FindWindowByTitle("STOWAWAY Lookup Test"), first) << "titles compare without case";

  auto rename = [&](WindowHandle window, const char* text) {
    windows.DefaultProcedure(window, WmSetText, 0, reinterpret_cast<LParam>(text));
  };
  rename(first, "stowaway lookup test, renamed");
  EXPECT_EQ(windows.FindWindowByTitle(title), WindowHandle::None);
  const WindowHandle second = windows.CreateTopLevelWindow(params);
  EXPECT_EQ(windows.FindWindowByTitle(title), second);
  rename(first, title.c_str());
  windows.DefaultProcedure(second, WmClose, 0, 0);  // destroys it
  EXPECT_EQ(windows.FindWindowByTitle(title), first) << "a destroyed window is searched past";
  windows.DefaultProcedure(first, WmClose, 0, 0);
  EXPECT_EQ(windows.FindWindowByTitle(title), WindowHandle::None);
}

}  // namespace
}  // namespace stowaway
