#pragma once
// Small helpers shared by the band's form and the context-menu object.

namespace quorvelle {

class TRSSFeedOptions;

// The process-wide feed store; raises EAbort when the module has none (its
// start failed).
TRSSFeedOptions &Store();

// Raises EAbort unless the process runs a QApplication: without one no
// dialog or widget can be made (a host that loaded the library only to
// register it, for instance).
void RequireApplication();

} // namespace quorvelle
