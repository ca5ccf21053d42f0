#pragma once
// Message boxes, text prompts and file dialogs behind one interface, so the
// core can show its few messages without depending on a toolkit. The Qt
// implementation sits beside the dialogs; tests install a scripted one.

#include <optional>
#include <string>

namespace quorvelle::platform::ui {

enum class MsgDlgType { Information, Confirmation, Question, Warning, Error };

enum MsgDlgButtons : unsigned {
  mbOK = 1U << 0,
  mbCancel = 1U << 1,
  mbYes = 1U << 2,
  mbNo = 1U << 3,
};

enum class ModalResult { None, Ok, Cancel, Yes, No };

struct MessageRequest {
  std::string text;
  std::string caption;
  MsgDlgType type = MsgDlgType::Information;
  unsigned buttons = mbOK;
  ModalResult defaultButton = ModalResult::Ok;
};

struct FileDialogRequest {
  bool save = false;
  std::string title;
  // "Description (*.ext)|*.ext|..." pairs, as the dialogs are given them.
  std::string filter;
  int filterIndex = 0; // 0-based: the preselected filter
  std::string initialDir;
  std::string fileName;
  bool overwritePrompt = false;
  bool pathMustExist = false;
  bool fileMustExist = false;
};

struct FileDialogResult {
  std::string fileName;
  int filterIndex = 0; // 0-based: the filter selected when the dialog closed
};

class UserInterface {
public:
  virtual ~UserInterface() = default;
  virtual ModalResult ShowMessage(const MessageRequest &request) = 0;
  // A text prompt; false when cancelled. value holds the proposed text on
  // entry and the entered text on return.
  virtual bool InputQuery(const std::string &caption, const std::string &prompt, std::string &value) = 0;
  virtual std::optional<FileDialogResult> ShowFileDialog(const FileDialogRequest &request) = 0;
};

// The interface in use. Without an installed one, a headless implementation
// writes messages to standard error and answers every prompt with its
// default (or cancel).
UserInterface &Ui();
// Installs ui (not owned; nullptr goes back to the headless one) and returns
// the previous one.
UserInterface *InstallUi(UserInterface *ui);

// An information box with one OK button and the caption "Information".
void ShowInformation(const std::string &text);

} // namespace quorvelle::platform::ui
