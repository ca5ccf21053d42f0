#pragma once
// A platform/ui implementation for tests: records every prompt and answers
// from queues set up by the test. Installed for its lifetime.

#include "platform/ui/user_interface.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle::test {

class ScriptedUi final : public platform::ui::UserInterface {
public:
  ScriptedUi();
  ~ScriptedUi() override;
  ScriptedUi(const ScriptedUi &) = delete;
  ScriptedUi &operator=(const ScriptedUi &) = delete;

  platform::ui::ModalResult ShowMessage(const platform::ui::MessageRequest &request) override;
  bool InputQuery(const std::string &caption, const std::string &prompt, std::string &value) override;
  std::optional<platform::ui::FileDialogResult> ShowFileDialog(const platform::ui::FileDialogRequest &request) override;

  // Answers, used in order; when a queue is empty the message box answers its
  // default button, a prompt is cancelled and a file dialog is cancelled.
  std::deque<platform::ui::ModalResult> messageAnswers;
  std::deque<std::optional<std::string>> inputAnswers;
  std::deque<std::optional<platform::ui::FileDialogResult>> fileAnswers;

  struct Prompt {
    std::string caption;
    std::string prompt;
    std::string proposed;
  };
  std::vector<platform::ui::MessageRequest> messages;
  std::vector<Prompt> prompts;
  std::vector<platform::ui::FileDialogRequest> fileDialogs;

private:
  platform::ui::UserInterface *previous_;
};

} // namespace quorvelle::test
