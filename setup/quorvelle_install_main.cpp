// QuorvelleInstall: runs the module's start steps, its one command and the
// end steps. "/install" and "/uninstall" (any letter case) are the commands;
// anything else runs only the start and end steps, which create the settings
// with their defaults, the data folder and Feeds.xml.

#include "feeds/feed_store.h"
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
    status = quorvelle::setup::RunCommand(arguments);
  }
  return status;
}
