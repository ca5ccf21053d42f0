// quorvelle: the feed list from the command line, on the same store, list
// conversion, report and discovery as the band, without a window.

#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/moved_feeds.h"
#include "setup/user_installation.h"
#include "support/debug_log.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

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

// The names of the commands registered below app.
std::vector<std::string> CommandNames(CLI::App &app) {
  std::vector<std::string> names;
  for (const CLI::App *command : app.get_subcommands([](CLI::App *) { return true; }))
    names.push_back(command->get_name());
  return names;
}

// Walks the words of the command line down the registered commands; a word
// where a command is expected that names none is reported with the nearest
// name. "" when every command word is known. Commands that have commands of
// their own take no option with a value, so every word not starting with
// '-' there is a command word.
std::string UnknownCommand(CLI::App &app, const std::vector<std::string> &args) {
  CLI::App *current = &app;
  std::string path;
  for (const std::string &arg : args) {
    if (arg == "--") break;
    if (arg.starts_with('-')) continue;
    const std::vector<std::string> names = CommandNames(*current);
    if (names.empty()) break;
    const std::string prefix = path.empty() ? std::string() : path + " ";
    if (std::find(names.begin(), names.end(), arg) == names.end()) {
      const std::string nearest = NearestName(arg, names);
      return "unknown command \"" + prefix + arg + "\"" +
             (nearest.empty() ? std::string("; \"quorvelle help\" lists the commands")
                              : "; did you mean \"" + prefix + nearest + "\"?");
    }
    current = current->get_subcommand(arg);
    path = prefix + arg;
  }
  return {};
}

} // namespace

int main(int argc, char **argv) {
  CLI::App app(kDescription, "quorvelle");
  app.set_version_flag("-v,--version", std::string("quorvelle ") + QUORVELLE_VERSION);
  app.require_subcommand(1);
  // A usage error is one line, as every other message.
  app.failure_message([](const CLI::App *, const CLI::Error &error) {
    return std::string(error.what()) + "; \"quorvelle help\" shows the usage\n";
  });
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
  bool updateMoved = false;
  check->add_flag("--update-moved", updateMoved, "Change the addresses of feeds that moved permanently");

  int limit = 0;
  CLI::App *headlines =
      app.add_subcommand("headlines", "Fetch the enabled feeds and print each feed's headlines as it arrives; exit "
                                      "status 1 when any feed failed");
  headlines->add_option("--category", category, "Only the feeds of this category (\"\" for General)");
  headlines->add_option("--limit", limit, "At most this many headlines per feed")->check(CLI::NonNegativeNumber);
  headlines->add_flag("--json", json, "Print one JSON object per feed and line");
  bool onlyNew = false;
  bool peek = false;
  CLI::Option *newFlag = headlines->add_flag(
      "--new", onlyNew, "Only the headlines no earlier view showed; they count as seen from now on");
  headlines->add_flag("--peek", peek, "Only the headlines no earlier view showed, without marking them seen")
      ->excludes(newFlag);

  // "help [COMMAND...]" is "[COMMAND...] --help"; its words are checked as
  // commands like any others.
  app.add_subcommand("help", "Show the help of quorvelle, or of a command (quorvelle help category add)")
      ->allow_extras();
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto first =
      std::find_if(args.begin(), args.end(), [](const std::string &arg) { return !arg.starts_with('-'); });
  if (first != args.end() && *first == "help") {
    args.erase(first);
    args.emplace_back("--help");
  }
  if (const std::string unknown = UnknownCommand(app, args); !unknown.empty()) {
    PrintError(unknown);
    return kUsage;
  }
  try {
    // CLI11 takes the words last first.
    std::reverse(args.begin(), args.end());
    app.parse(args);
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
    if (check->parsed()) status = updateMoved ? UpdateMovedFeeds() : Check(json);
    if (headlines->parsed())
      status = Headlines(category, limit, json,
                         peek      ? HeadlinesShown::NewPeek
                         : onlyNew ? HeadlinesShown::NewMarked
                                   : HeadlinesShown::All);
  }
  // Stopped by Ctrl-C or SIGTERM and undone: 128 + the signal's number.
  if (InterruptedStatus() != 0) status = InterruptedStatus();
  quorvelle::DebugM::Finalization();
  return status;
}
