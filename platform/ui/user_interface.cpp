#include "platform/ui/user_interface.h"

#include <cstdio>

namespace quorvelle::platform::ui {
namespace {

class HeadlessUi final : public UserInterface {
public:
  ModalResult ShowMessage(const MessageRequest &request) override {
    std::fprintf(stderr, "%s: %s\n", request.caption.c_str(), request.text.c_str());
    return request.defaultButton;
  }
  bool InputQuery(const std::string & /*caption*/, const std::string & /*prompt*/, std::string & /*value*/) override {
    return false;
  }
  std::optional<FileDialogResult> ShowFileDialog(const FileDialogRequest & /*request*/) override {
    return std::nullopt;
  }
};

HeadlessUi gHeadless;
UserInterface *gCurrent = &gHeadless;

} // namespace

UserInterface &Ui() { return *gCurrent; }

UserInterface *InstallUi(UserInterface *ui) {
  UserInterface *previous = gCurrent == &gHeadless ? nullptr : gCurrent;
  gCurrent = ui == nullptr ? &gHeadless : ui;
  return previous;
}

void ShowInformation(const std::string &text) {
  MessageRequest request;
  request.text = text;
  request.caption = "Information";
  request.type = MsgDlgType::Information;
  request.buttons = mbOK;
  request.defaultButton = ModalResult::Ok;
  Ui().ShowMessage(request);
}

} // namespace quorvelle::platform::ui
