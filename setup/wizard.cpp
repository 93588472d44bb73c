#include "setup/wizard.h"

#include <initializer_list>

#include "platform/places.h"
#include "setup/texts.h"

namespace stowaway {
namespace {

// Dialog units.
constexpr int Width = 330;
constexpr int Height = 210;
constexpr int Margin = 14;
constexpr int Inner = Width - 2 * Margin;
constexpr int ButtonWidth = 56;
constexpr int ButtonHeight = 14;
constexpr int ButtonsTop = Height - 8 - ButtonHeight;

// The licence box shows Windows line breaks only.
std::string WithWindowsLineBreaks(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

Wizard::Wizard(Installation& installation, WindowHandle mailbox, bool progress_only)
    : installation_(installation), mailbox_(mailbox), progress_only_(progress_only) {
  FormEvents events;
  events.Command = [this](int control) { OnCommand(control); };
  events.Cancel = [this] { OnCancel(); };
  form_ = CreateForm(text::Title(installation_.Settings().Name), Width, Height, std::move(events));
  Build();
  if (progress_only_) {
    const int code = installation_.PrepareFolder(installation_.SuggestedFolder());
    if (code != Installed) {
      installation_.Log().Write("failed: " + installation_.FolderMessage());
      installation_.Close(code);
      QuitEventLoop(code);
      return;
    }
    ShowPage(Page::Progress);
    form_->Present();
    installation_.Start(mailbox_, {[this] { OnProgress(); }, [this](int outcome) { OnFinished(outcome); }});
    return;
  }
  ShowPage(Page::Welcome);
  form_->Present();
  form_->Focus(next_);
}

void Wizard::Build() {
  const SetupSettings& settings = installation_.Settings();
  Form& form = *form_;
  heading_ = form.Add(ControlKind::Heading, Margin, 10, Inner, 14, "");
  body_ = form.Add(ControlKind::Label, Margin, 30, Inner, 60, "");
  licence_ = form.Add(ControlKind::TextBox, Margin, 48, Inner, 106, WithWindowsLineBreaks(settings.Licence));
  accept_ = form.Add(ControlKind::Check, Margin, 158, Inner, 12, text::Accept);
  folder_label_ = form.Add(ControlKind::Caption, Margin, 62, Inner, 10, text::FolderLabel);
  folder_ = form.Add(ControlKind::Edit, Margin, 74, Inner - ButtonWidth - 6, 14,
                     Utf8FromAnsi(installation_.SuggestedFolder()));
  browse_ = form.Add(ControlKind::Button, Width - Margin - ButtonWidth, 74, ButtonWidth, ButtonHeight,
                     text::Browse);
  space_ = form.Add(ControlKind::Label, Margin, 96, Inner, 10,
                    text::SpaceText(settings.TotalSize));
  bar_ = form.Add(ControlKind::Progress, Margin, 62, Inner, 12, "");
  file_ = form.Add(ControlKind::Label, Margin, 80, Inner, 20, text::Preparing);
  run_ = form.Add(ControlKind::Check, Margin, 100, Inner, 12, text::RunLabel(settings.Name));
  rule_ = form.Add(ControlKind::Rule, 0, ButtonsTop - 8, Width, 2, "");
  back_ = form.Add(ControlKind::Button, Width - 8 - 3 * ButtonWidth - 10, ButtonsTop, ButtonWidth,
                   ButtonHeight, text::Back);
  next_ = form.Add(ControlKind::Button, Width - 8 - 2 * ButtonWidth - 10, ButtonsTop, ButtonWidth,
                   ButtonHeight, text::Next);
  cancel_ = form.Add(ControlKind::Button, Width - 8 - ButtonWidth, ButtonsTop, ButtonWidth,
                     ButtonHeight, text::Cancel);
  form.SetChecked(run_, true);
}

void Wizard::ShowPage(Page page) {
  page_ = page;
  Form& form = *form_;
  const SetupSettings& settings = installation_.Settings();
  const auto show = [&](std::initializer_list<int> controls, bool shown) {
    for (const int control : controls) form.Show(control, shown);
  };
  show({licence_, accept_, folder_label_, folder_, browse_, space_, bar_, file_, run_}, false);
  form.Show(back_, page != Page::Finish && !progress_only_);
  form.Show(cancel_, page != Page::Finish);
  form.Enable(back_, page == Page::Licence || page == Page::Folder);
  form.Enable(next_, true);
  form.Enable(cancel_, page != Page::Progress);
  form.SetText(next_, text::Next);
  switch (page) {
    case Page::Welcome:
      form.SetText(heading_, text::WelcomeHeading(settings.Name));
      form.SetText(body_, text::WelcomeText(settings.Name, settings.Version, settings.Publisher,
                                            settings.TotalSize));
      break;
    case Page::Licence:
      form.SetText(heading_, text::LicenceHeading);
      form.SetText(body_, text::LicenceText);
      show({licence_, accept_}, true);
      form.Enable(next_, form.Checked(accept_));
      break;
    case Page::Folder:
      form.SetText(heading_, text::FolderHeading);
      form.SetText(body_, text::FolderText(settings.Name));
      form.SetText(next_, text::Install);
      show({folder_label_, folder_, browse_, space_}, true);
      break;
    case Page::Progress:
      form.SetText(heading_, text::ProgressHeading);
      form.SetText(body_, text::ProgressText(settings.Name));
      show({bar_, file_}, true);
      form.Enable(next_, false);
      form.Show(next_, !progress_only_);
      break;
    case Page::Finish:
      form.Show(next_, true);
      if (code_ == Installed) {
        form.SetText(heading_, text::FinishHeading);
        form.SetText(body_, text::FinishText(settings.Name, Utf8FromAnsi(installation_.Folder())));
        form.SetText(next_, text::Finish);
        show({run_}, !settings.Run.empty());
      } else {
        form.SetText(heading_, text::FailureHeading);
        form.SetText(body_, text::FailureText(settings.Name, installation_.FailedFile(),
                                                installation_.Extracted(), code_));
        form.SetText(next_, text::Close);
      }
      break;
  }
  form.SetDefault(next_);
  if (page == Page::Folder) {
    form.Focus(folder_);
  } else if (page == Page::Licence) {
    form.Focus(accept_);
  } else {
    form.Focus(next_);
  }
}

void Wizard::OnCommand(int control) {
  const bool licence = !installation_.Settings().Licence.empty();
  if (control == cancel_) {
    OnCancel();
  } else if (control == accept_) {
    form_->Enable(next_, form_->Checked(accept_));
  } else if (control == browse_) {
    if (const std::optional<std::string> chosen = form_->ChooseFolder(text::ChooseFolder)) {
      form_->SetText(folder_, *chosen);
    }
  } else if (control == back_) {
    if (page_ == Page::Folder) ShowPage(licence ? Page::Licence : Page::Welcome);
    else if (page_ == Page::Licence) ShowPage(Page::Welcome);
  } else if (control == next_) {
    switch (page_) {
      case Page::Welcome: ShowPage(licence ? Page::Licence : Page::Folder); break;
      case Page::Licence:
        if (form_->Checked(accept_)) ShowPage(Page::Folder);
        break;
      case Page::Folder: OnInstall(); break;
      case Page::Progress: break;
      case Page::Finish: End(); break;
    }
  }
}

void Wizard::OnCancel() {
  if (page_ == Page::Progress) return;  // the extraction cannot be stopped half way
  if (page_ == Page::Finish) {
    End();
    return;
  }
  code_ = Cancelled;
  installation_.Close(Cancelled);
  QuitEventLoop(Cancelled);
}

void Wizard::OnInstall() {
  const std::optional<std::string> folder = AnsiFromUtf8(form_->Text(folder_));
  if (!folder) {
    form_->Tell(text::FolderNotRepresentable, true);
    return;
  }
  if (installation_.PrepareFolder(*folder) != Installed) {
    form_->Tell(installation_.FolderMessage(), true);
    form_->Focus(folder_);
    return;
  }
  ShowPage(Page::Progress);
  installation_.Start(mailbox_, {[this] { OnProgress(); }, [this](int outcome) { OnFinished(outcome); }});
}

void Wizard::OnProgress() {
  form_->SetProgress(bar_, installation_.Progress());
  const std::string& file = installation_.CurrentFile();
  form_->SetText(file_, file.empty() ? std::string(text::Preparing) : text::Writing(file));
}

void Wizard::OnFinished(int code) {
  code_ = code;
  form_->SetProgress(bar_, code == Installed ? 1000 : installation_.Progress());
  if (progress_only_) {
    QuitEventLoop(code);
    return;
  }
  ShowPage(Page::Finish);
}

void Wizard::End() {
  const std::string& run = installation_.Settings().Run;
  if (code_ == Installed && !run.empty() && form_->Checked(run_)) {
    const std::optional<std::string> program = AnsiFromUtf8(run);
    const std::string folder = installation_.Folder();
    if (!program || !StartProgramIn(folder + '\\' + *program, folder)) {
      form_->Tell(text::RunFailed(run), true);
    }
  }
  QuitEventLoop(code_);
}

}  // namespace stowaway
