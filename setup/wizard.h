// The installer's window: welcome, licence (when there is one), folder,
// progress, and the finish or failure page, one after the other in one
// window. With /SILENT it shows the progress page only and closes itself.
#pragma once

#include <memory>

#include "platform/form.h"
#include "setup/installation.h"

namespace stowaway {

class Wizard {
 public:
  Wizard(Installation& installation, WindowHandle mailbox, bool progress_only);

 private:
  enum class Page { Welcome, Licence, Folder, Progress, Finish };

  void Build();
  void ShowPage(Page page);
  void OnCommand(int control);
  void OnCancel();
  void OnInstall();
  void OnProgress();
  void OnFinished(int code);
  void End();

  Installation& installation_;
  WindowHandle mailbox_;
  bool progress_only_;
  std::unique_ptr<Form> form_;
  Page page_ = Page::Welcome;
  int code_ = 0;

  // Controls, by page; 0 where a page has none.
  int heading_ = 0, body_ = 0, rule_ = 0, back_ = 0, next_ = 0, cancel_ = 0;
  int licence_ = 0, accept_ = 0;
  int folder_label_ = 0, folder_ = 0, browse_ = 0, space_ = 0;
  int bar_ = 0, file_ = 0;
  int run_ = 0;
};

}  // namespace stowaway
