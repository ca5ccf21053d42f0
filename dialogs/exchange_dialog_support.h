#pragma once
// What the two exchange dialogs share: their window style, the category
// list with "<< GENERAL >>" first, and centring on the screen.

#include <QString>
#include <string>

class QComboBox;
class QDialog;

namespace quorvelle {

class TRSSFeedOptions;

namespace exchange_dialog {

inline constexpr const char *kGeneralLabel = "<< GENERAL >>";

// Fixed-border dialog with the given client size, caption and font.
void SetUpWindow(QDialog &dialog, const QString &caption, int clientWidth, int clientHeight);
// "<< GENERAL >>" followed by the store's sorted category names; the first
// entry selected.
void FillCategories(QComboBox &combo, TRSSFeedOptions &store);
// The selected entry; "" for the first ("<< GENERAL >>") or none.
std::string CurrentCategory(const QComboBox &combo);
void CentreOnScreen(QDialog &dialog);

} // namespace exchange_dialog
} // namespace quorvelle
