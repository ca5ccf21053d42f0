// QuorvelleInstall: runs the module's start steps, its one command and the
// end steps. "/install" and "/uninstall" (any letter case) are the commands;
// anything else runs only the start and end steps, which create the settings
// with their defaults, the data folder and Feeds.xml.

#include "feeds/feed_store.h"
#include "platform/files/file_io.h"
#include "setup/setup_commands.h"

#include <string>
#include <vector>

int main(int argc, char **argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.emplace_back(argv[i]);
  }
  int status = 0;
  {
    quorvelle::QuorvelleModule module;
    // The module end writes only a list it changed; the first run creates
    // the empty one here.
    if (quorvelle::FeedOptions && !quorvelle::platform::FileExists(quorvelle::FeedOptions->GetFileName())) {
      quorvelle::FeedOptions->Save();
    }
    status = quorvelle::setup::RunCommand(arguments);
  }
  return status;
}
