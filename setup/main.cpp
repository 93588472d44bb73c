// The setup program: the installer's user interface, entry 0 of every
// installer that pack builds without a front-end of the author's own. The
// unpacker starts it with "/Splash"; its real instructions (the installer's
// own switches and path) come in the environment, its settings from the end
// of its own file.
#include "app/protocol.h"
#include "platform/form.h"
#include "platform/host.h"
#include "platform/places.h"
#include "setup/installation.h"
#include "setup/texts.h"
#include "setup/wizard.h"

namespace stowaway {
namespace {

int Run(Installation& installation) {
  const SetupSwitches& switches = installation.Switches();
  const bool quiet = switches.Quiet != Quietness::Normal;
  const std::string title = text::Title(installation.Settings().Name);
  if (switches.Usage || !switches.Unknown.empty()) {
    if (!switches.Usage) installation.Log().Write("failed: unknown switch " + switches.Unknown);
    if (switches.Quiet != Quietness::VerySilent) {
      TellUser(switches.Usage ? text::UsageText(SwitchUsage())
                              : text::UnknownSwitch(switches.Unknown, SwitchUsage()),
               title, !switches.Usage);
    }
    installation.Close(BadCommandLine);
    return BadCommandLine;
  }
  if (!installation.Problem().empty()) {
    installation.Log().Write("failed: " + installation.Problem());
    if (!quiet) TellUser(installation.Problem(), title, true);
    installation.Close(StartFailed);
    return StartFailed;
  }

  const WindowHandle mailbox = CreateMailbox(FrontEndWindowTitle, [&](uint32_t message, WParam wparam, LParam lparam) {
    return installation.OnMessage(message, wparam, lparam);
  });
  if (switches.Quiet == Quietness::VerySilent) {
    const int code = installation.PrepareFolder(installation.SuggestedFolder());
    if (code != Installed) {
      installation.Log().Write("failed: " + installation.FolderMessage());
      installation.Close(code);
      return code;
    }
    installation.Start(mailbox, {{}, [](int outcome) { QuitEventLoop(outcome); }});
    return RunEventLoop();
  }
  Wizard wizard(installation, mailbox, quiet);
  return RunEventLoop();
}

}  // namespace
}  // namespace stowaway

int main() {
  stowaway::RestrictLibrarySearch();
  stowaway::Installation installation;
  const int code = stowaway::Run(installation);
  // The copy the unpacker started has no further use; Windows removes it at
  // the next start where this user may ask for that. Any other copy (the
  // build's own, one taken out by 'stowaway extract') is left alone.
  if (installation.StartedByInstaller()) stowaway::RemoveAtRestart(stowaway::ExecutablePath());
  return code;
}
