#include "tests/helpers/scripted_ui.h"

namespace quorvelle::test {
using namespace platform::ui;

ScriptedUi::ScriptedUi() : previous_(InstallUi(this)) {}

ScriptedUi::~ScriptedUi() { InstallUi(previous_); }

ModalResult ScriptedUi::ShowMessage(const MessageRequest &request) {
  messages.push_back(request);
  if (messageAnswers.empty()) {
    return request.defaultButton;
  }
  const ModalResult answer = messageAnswers.front();
  messageAnswers.pop_front();
  return answer;
}

bool ScriptedUi::InputQuery(const std::string &caption, const std::string &prompt, std::string &value) {
  prompts.push_back({caption, prompt, value});
  if (inputAnswers.empty()) {
    return false;
  }
  std::optional<std::string> answer = inputAnswers.front();
  inputAnswers.pop_front();
  if (!answer) {
    return false;
  }
  value = *answer;
  return true;
}

std::optional<FileDialogResult> ScriptedUi::ShowFileDialog(const FileDialogRequest &request) {
  fileDialogs.push_back(request);
  if (fileAnswers.empty()) {
    return std::nullopt;
  }
  std::optional<FileDialogResult> answer = fileAnswers.front();
  fileAnswers.pop_front();
  return answer;
}

} // namespace quorvelle::test
