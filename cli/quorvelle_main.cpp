// quorvelle: the feed list from the command line, on the same store, list
// conversion, report and discovery as the band, without a window.

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "setup/user_installation.h"
#include "support/debug_log.h"

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace {

using namespace quorvelle::cli;

constexpr const char *kDescription =
    "quorvelle - the Quorvelle feed list from the command line\n\n"
    "Keeps the same list (~/.local/share/Quorvelle/Feeds.xml) and settings as the browser band. Every\n"
    "editing command reads the list just before it changes it and saves it at once; a command that\n"
    "fails writes nothing. Exit status: 0 done, 1 refused or failed, 2 usage error.";

// An option given without its value keeps the value unset.
void AddCategoryOption(CLI::App *command, std::optional<std::string> &value, const std::string &what) {
  command->add_option_function<std::string>(
      "--category", [&value](const std::string &name) { value = name; },
      what + " (\"\" or \"<< GENERAL >>\" for General)");
}

} // namespace

int main(int argc, char **argv) {
  CLI::App app(kDescription, "quorvelle");
  app.set_version_flag("--version", std::string("quorvelle ") + QUORVELLE_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);

  bool json = false;
  std::optional<std::string> category;

  CLI::App *list = app.add_subcommand("list", "List the categories and their feeds (General first, in list order)");
  AddCategoryOption(list, category, "Only this category");
  list->add_flag("--json", json, "Print JSON (see docs/cli.md)");

  CLI::App *categories = app.add_subcommand("categories", "List the categories (General first, in list order)");
  categories->add_flag("--json", json, "Print JSON");

  AddOptions add;
  CLI::App *addCommand = app.add_subcommand("add", "Add a feed; without --title its title is read from the feed");
  addCommand->add_option("URL", add.url, "The feed's address")->required();
  addCommand->add_option_function<std::string>(
      "--title", [&add](const std::string &title) { add.title = title; }, "The feed's title");
  addCommand->add_option("--category", add.category, "The category (created when missing; default General)");
  addCommand->add_flag("--no-fetch", add.noFetch, "Do not download the feed for its title");

  std::string url;
  CLI::App *remove = app.add_subcommand("remove", "Remove a feed");
  remove->add_option("URL", url, "The feed's address")->required();
  CLI::App *enable = app.add_subcommand("enable", "Enable a feed (it is shown in the report)");
  enable->add_option("URL", url, "The feed's address")->required();
  CLI::App *disable = app.add_subcommand("disable", "Disable a feed (it stays in the list)");
  disable->add_option("URL", url, "The feed's address")->required();
  std::string to;
  CLI::App *move = app.add_subcommand("move", "Move a feed to the end of another category");
  move->add_option("URL", url, "The feed's address")->required();
  move->add_option("--to", to, "The category (\"\" or \"<< GENERAL >>\" for General)")->required();

  std::string name;
  std::string newName;
  CLI::App *categoryCommand = app.add_subcommand("category", "Add, rename or remove a category");
  categoryCommand->require_subcommand(1);
  CLI::App *categoryAdd = categoryCommand->add_subcommand("add", "Add a category");
  categoryAdd->add_option("NAME", name, "The category's name")->required();
  CLI::App *categoryRename = categoryCommand->add_subcommand("rename", "Rename a category");
  categoryRename->add_option("OLD", name, "The category's name")->required();
  categoryRename->add_option("NEW", newName, "Its new name")->required();
  CLI::App *categoryRemove = categoryCommand->add_subcommand("remove", "Remove a category with all its feeds");
  categoryRemove->add_option("NAME", name, "The category's name")->required();

  std::string source;
  CLI::App *importCommand = app.add_subcommand(
      "import", "Import an OPML (.opml) or Quorvelle (.xml) list from a file, an address or - (standard input)");
  importCommand->add_option("SOURCE", source, "FILE, URL or -")->required();
  AddCategoryOption(importCommand, category,
                    "Into this category (created when missing; default: a category named by the list's title)");

  std::string target;
  std::string format;
  CLI::App *exportCommand = app.add_subcommand("export", "Export the list to a file or - (standard output)");
  exportCommand->add_option("TARGET", target, "FILE or -")->required();
  AddCategoryOption(exportCommand, category, "Only this category");
  exportCommand->add_option("--format", format, "opml or xml (default: by the file's extension; opml for -)")
      ->check(CLI::IsMember({"opml", "xml"}));

  bool open = false;
  CLI::App *report = app.add_subcommand("report", "Write the headlines report and print its start page");
  report->add_flag("--open", open, "Show it in quorvelle-browser");

  CLI::App *discover = app.add_subcommand("discover", "Download a page and print the feeds it announces");
  discover->add_option("URL", url, "The page's address")->required();
  discover->add_flag("--json", json, "Print JSON");

  CLI::App *title = app.add_subcommand("title", "Download a feed and print its title");
  title->add_option("URL", url, "The feed's address")->required();

  CLI::App *check = app.add_subcommand("check", "Report what is wrong with the list; exit status 1 when anything is");
  check->add_flag("--json", json, "Print JSON");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &error) {
    const int status = app.exit(error);
    return status == 0 ? kDone : kUsage;
  }

  quorvelle::DebugM::Initialization();
  // Started from a system package: the user's own installation folder is set
  // up first (a failure is reported; commands that need no report go on).
  quorvelle::setup::PrepareInstallationFolder(ProgramFolder());
  InstallInterruptHandlers();
  int status = kUsage;
  {
    CommandLineUi ui;
    if (list->parsed()) status = ListFeeds(category, json);
    if (categories->parsed()) status = ListCategories(json);
    if (addCommand->parsed()) status = AddFeed(add);
    if (remove->parsed()) status = RemoveFeed(url);
    if (enable->parsed()) status = EnableFeed(url, true);
    if (disable->parsed()) status = EnableFeed(url, false);
    if (move->parsed()) status = MoveFeed(url, to);
    if (categoryAdd->parsed()) status = AddCategory(name);
    if (categoryRename->parsed()) status = RenameCategory(name, newName);
    if (categoryRemove->parsed()) status = RemoveCategory(name);
    if (importCommand->parsed()) status = Import(source, category);
    if (exportCommand->parsed()) status = Export(target, category, format);
    if (report->parsed()) status = Report(open);
    if (discover->parsed()) status = Discover(url, json);
    if (title->parsed()) status = Title(url);
    if (check->parsed()) status = Check(json);
  }
  // Stopped by Ctrl-C or SIGTERM and undone: 128 + the signal's number.
  if (InterruptedStatus() != 0) status = InterruptedStatus();
  quorvelle::DebugM::Finalization();
  return status;
}
