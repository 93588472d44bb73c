// A window of native controls for a program with a user interface of its
// own (the setup program): the system's dialog font, sizes in dialog units
// (a quarter of the font's average character width, an eighth of its
// height), so the layout follows the display's scale, and the keyboard as
// in the system's dialogs: Tab between controls, Enter for the default
// button, Esc for cancel, Alt with a button's underlined letter ("&Next").
// Texts are UTF-8. Windows builds only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/window.h"

namespace stowaway {

enum class ControlKind {
  Label,     // plain text, wrapped
  Caption,   // the name of the control after it; Alt and its '&' letter go there
  Heading,   // text in the bold form of the font
  Edit,      // one line of text to type
  Button,    // a push button
  Check,     // a box to tick
  Progress,  // a bar, from 0 to 1000
  TextBox,   // read-only text that scrolls, for a licence
  Rule,      // a horizontal line
};

struct FormEvents {
  std::function<void(int control)> Command;  // a button was pressed, a box ticked
  std::function<void()> Cancel;              // Esc, the close box or Alt+F4
};

class Form {
 public:
  virtual ~Form() = default;

  // Adds a control at x, y of size width, height (dialog units); its number,
  // which events and the calls below use.
  virtual int Add(ControlKind kind, int x, int y, int width, int height,
                  const std::string& text) = 0;
  virtual void SetText(int control, const std::string& text) = 0;
  virtual std::string Text(int control) = 0;
  virtual void Show(int control, bool shown) = 0;
  virtual void Enable(int control, bool enabled) = 0;
  virtual bool Checked(int control) = 0;
  virtual void SetChecked(int control, bool checked) = 0;
  // part of 1000.
  virtual void SetProgress(int control, int part) = 0;
  // The button that Enter presses.
  virtual void SetDefault(int control) = 0;
  virtual void Focus(int control) = 0;
  // Makes the window visible, centred on the screen.
  virtual void Present() = 0;

  // The system's folder picker; none when it was cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& prompt) = 0;
  // A message box owned by the window; returns once it is closed.
  virtual void Tell(const std::string& text, bool error) = 0;
};

// A visible top-level window titled title, width by height dialog units.
std::unique_ptr<Form> CreateForm(const std::string& title, int width, int height,
                                 FormEvents events);

// A hidden top-level window titled title that other programs can find and
// send to: every message goes to handler, whose result is returned; messages
// the handler does not take (it returns none) get the default handling.
using MessageHandler = std::function<std::optional<LResult>(uint32_t message, WParam, LParam)>;
WindowHandle CreateMailbox(const std::string& title, MessageHandler handler);

// Runs the thread's messages, the forms' keyboard included, until
// QuitEventLoop; returns the code given to it.
int RunEventLoop();
void QuitEventLoop(int code);
// Posts a message; returns at once.
void PostToWindow(WindowHandle window, uint32_t message, WParam wparam, LParam lparam);
// Called by a handler of a message another thread sent: lets the sender go
// on now, with result, while the handler goes on with its own work. What the
// message pointed to may be gone after this. Does nothing for a posted
// message.
void ReleaseSender(LResult result);

// A message box without an owner.
void TellUser(const std::string& text, const std::string& caption, bool error);

// Remote control of another program's window, for tests that drive a user
// interface as a person would: the top-level window of that title, its
// child control showing that text (mnemonic marks included) or the first
// visible one of a class, typing into a control, pressing a button or a key.
WindowHandle FindTopWindow(const std::string& title);
WindowHandle FindControl(WindowHandle window, const std::string& text);
WindowHandle FindControlOfClass(WindowHandle window, const std::string& class_name);
void TypeInto(WindowHandle control, const std::string& text);
void Press(WindowHandle button);
// A key pressed and let go while window has the keyboard.
enum class Key { Enter, Escape };
void PressKey(WindowHandle window, Key key);
bool IsShown(WindowHandle control);

}  // namespace stowaway
