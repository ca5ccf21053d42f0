#pragma once
// Message boxes, text prompts and file dialogs with Qt widgets.
//
// File dialogs are Qt's own (not the desktop's), so the behaviour is the same
// everywhere: the filter list is given as "Description (*.ext)|*.ext|...",
// the extension of the selected filter is added to a name typed without one,
// and a save dialog asks before it replaces an existing file.

#include "platform/ui/user_interface.h"

#include <QStringList>
#include <string>

namespace quorvelle {

class QtUserInterface final : public platform::ui::UserInterface {
public:
  platform::ui::ModalResult ShowMessage(const platform::ui::MessageRequest &request) override;
  bool InputQuery(const std::string &caption, const std::string &prompt, std::string &value) override;
  std::optional<platform::ui::FileDialogResult> ShowFileDialog(const platform::ui::FileDialogRequest &request) override;
};

// "Desc (*.a)|*.a|Other|*.b;*.c" as Qt name filters:
// {"Desc (*.a)", "Other (*.b *.c)"}.
QStringList QtNameFilters(const std::string &filter);
// The extension a name typed without one gets under this name filter ("opml"
// for "OPML file (*.opml)"); "" when the filter has no single extension.
QString DefaultSuffixOf(const QString &nameFilter);

} // namespace quorvelle
