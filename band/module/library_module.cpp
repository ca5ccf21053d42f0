// The band library's start and end. Loading the library starts the
// diagnostic log and the feed store (QuorvelleModule) and installs the
// library's message boxes and dialogs; unloading reverses this, saving the
// store.
//
// This file is its own static library, linked after every other part of
// the band library: its start then runs after the other parts' static
// initialisers and its end before their destructors, so the store is saved
// while everything it needs still exists.

#include "band/library_ui.h"
#include "feeds/feed_store.h"

namespace quorvelle {
namespace {

struct LibraryModule {
  QuorvelleModule module;
  LibraryUiInstallation ui;
};

LibraryModule gLibraryModule;

} // namespace

// Referenced by the exports so that the linker takes this file in.
extern "C" void QuorvelleLibraryModuleAnchor() {}

} // namespace quorvelle
