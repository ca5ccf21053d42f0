// QuorvelleInstall: runs the module's start steps, its one command, and the
// end steps. Without a recognised command only the start and end steps run,
// which creates the settings with their defaults, the data folder and
// Feeds.xml.

#include "feeds/feed_store.h"

int main(int /*argc*/, char ** /*argv*/) {
  quorvelle::QuorvelleModule module;
  return 0;
}
