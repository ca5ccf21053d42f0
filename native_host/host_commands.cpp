#include "native_host/host_commands.h"

#include "band/core/feed_discovery.h"
#include "exchange/exchange_dialogs.h"
#include "feeds/feed_lists.h"
#include "feeds/feed_store.h"
#include "native_host/new_count_command.h"
#include "native_host/report_pages.h"
#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"
#include "platform/files/file_io.h"
#include "platform/inet/inet_client.h"
#include "report/empty_list_page.h"

#include <memory>
#include <set>

namespace quorvelle::native_host {
namespace {

using nlohmann::json;
using platform::XmlNode;

// How many links of a page are looked at; a page announcing more is odd.
constexpr std::size_t kMaxOffered = 50;

std::string Attribute(const XmlNode &node, std::string_view name) { return node.FindAttribute(name).value_or(""); }

json CategoryJson(const XmlNode &container, const std::string &name) {
  json feeds = json::array();
  json categories = json::array();
  for (XmlNode child = container.FirstChild(); child; child = child.NextSibling()) {
    if (feedlist::IsElementNamed(child.Raw(), kFeedElement)) {
      feeds.push_back({{"url", Attribute(child, "src")},
                       {"title", platform::DecodeStoredText(Attribute(child, "title"))},
                       {"enabled", Attribute(child, "enabled") == "true"}});
    } else if (feedlist::IsElementNamed(child.Raw(), kCategoryElement)) {
      categories.push_back(CategoryJson(child, platform::DecodeStoredText(Attribute(child, "name"))));
    }
  }
  return {{"name", name}, {"feeds", feeds}, {"categories", categories}};
}

int CountFeeds(const XmlNode &node) {
  int count = 0;
  for (XmlNode child = node.FirstChild(); child; child = child.NextSibling()) {
    if (feedlist::IsElementNamed(child.Raw(), kFeedElement))
      ++count;
    else if (child.IsElement())
      count += CountFeeds(child);
  }
  return count;
}

bool IsKnown(platform::XmlDocument &doc, const std::string &url) {
  return static_cast<bool>(feedlist::WalkForFeed(feedlist::RequireDocumentElement(doc), feedlist::LowerCaseKey(url)));
}

// Answers the import dialog with the category the request named.
class ChosenImport final : public ExchangeDialogs {
public:
  explicit ChosenImport(std::string category)
      : category_(std::move(category)), previous_(InstallExchangeDialogs(this)) {}
  ~ChosenImport() override { InstallExchangeDialogs(previous_); }
  ChosenImport(const ChosenImport &) = delete;
  ChosenImport &operator=(const ChosenImport &) = delete;
  std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions & /*store*/) override { return std::nullopt; }
  std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions & /*store*/, const std::string & /*name*/) override {
    return ImportChoice{false, category_, ""};
  }

private:
  std::string category_;
  ExchangeDialogs *previous_;
};

} // namespace

bool IsFeedAddress(const std::string &url) {
  // The downloads' own scheme rule, and an address that names a host.
  return platform::HasSupportedScheme(url) && url.size() <= 8192 && platform::NamesHost(url);
}

CommandHandler::CommandHandler(TRSSFeedOptions &store, ReportPages &report, HostDialogs *dialogs)
    : store_(store), report_(report), dialogs_(dialogs) {}

std::string CommandHandler::Refusal(const ProtocolError &error) { return ErrorAnswer(error.id, error); }

std::string CommandHandler::Handle(std::string_view body) {
  auto parsed = ParseRequest(body);
  if (auto *error = std::get_if<ProtocolError>(&parsed)) return ErrorAnswer(error->id, *error);
  return Answer(std::get<Request>(parsed));
}

std::string CommandHandler::Answer(const Request &request) {
  try {
    return OkAnswer(request.id, Run(request), request.version);
  } catch (ProtocolError &error) {
    error.version = request.version;
    return ErrorAnswer(request.id, error);
  } catch (const std::exception &error) {
    return ErrorAnswer(request.id, {"failed", error.what(), request.id, request.version});
  }
}

json CommandHandler::Run(const Request &request) {
  const std::string &command = request.command;
  if (command == "hello") {
    if (request.version == kProtocolVersion) return {{"version", kProtocolVersion}, {"product", "Quorvelle"}};
    return {{"version", kLatestProtocolVersion}, {"versions", {1, 2}}, {"product", "Quorvelle"}};
  }
  if (command == "list") return List();
  if (command == "offer") return Offer(request.args);
  if (command == "discover") return Discover(request.args);
  if (command == "add") return Add(request.args);
  if (command == "import") return Import(request.args);
  if (command == "export") return Export(request.args);
  if (command == "dialog") return Dialog(request.args);
  if (command == "report") {
    const ReportFrame frame = Report(request.args);
    return {{"page", frame.page.page}, {"title", frame.page.title}, {"html", frame.page.html}};
  }
  if (command == "new-count") return NewCount(store_);
  throw ProtocolError{"unknown-command", "Unknown command \"" + Echo(command) + "\"."};
}

HostDialogs &CommandHandler::RequireDialogs() {
  if (dialogs_ == nullptr) throw ProtocolError{"no-dialogs", "This host cannot show dialogs."};
  return *dialogs_;
}

json CommandHandler::List() {
  store_.Load();
  XmlNode root = feedlist::RequireDocumentElement(*store_.FXMLDoc);
  XmlNode container = root.FirstChild();
  while (container && !feedlist::IsElementNamed(container.Raw(), kCategoriesElement))
    container = container.NextSibling();
  if (!container) return {{"categories", json::array()}};
  json general = CategoryJson(container, "");
  json categories = json::array({{{"name", ""}, {"feeds", general["feeds"]}, {"categories", json::array()}}});
  for (auto &category : general["categories"])
    categories.push_back(std::move(category));
  return {{"categories", categories}};
}

json CommandHandler::Offer(const json &args) {
  const auto feeds = args.find("feeds");
  if (feeds == args.end() || !feeds->is_array()) throw ProtocolError{"bad-argument", "\"feeds\" must be a list."};
  store_.Load();
  json offered = json::array();
  std::set<std::string> seen;
  for (const json &feed : *feeds) {
    if (offered.size() >= kMaxOffered) break;
    if (!feed.is_object()) throw ProtocolError{"bad-argument", "Every offered feed must be an object."};
    const std::string url = RequiredStringArg(feed, "url");
    const std::string title = StringArg(feed, "title", "");
    if (!IsFeedAddress(url) || !seen.insert(feedlist::LowerCaseKey(url)).second) continue;
    offered.push_back({{"url", url}, {"title", title}, {"known", IsKnown(*store_.FXMLDoc, url)}});
  }
  return {{"feeds", offered}};
}

json CommandHandler::Discover(const json &args) {
  // The band's own discovery on the page's markup; its feeds are offered as
  // "offer" offers them.
  const std::string html = RequiredStringArg(args, "html");
  const std::string url = StringArg(args, "url", "");
  json feeds = json::array();
  for (const DiscoveredFeed &feed : DiscoverFeeds(html, url))
    feeds.push_back({{"url", feed.url}, {"title", feed.title}});
  return Offer({{"feeds", feeds}});
}

json CommandHandler::Add(const json &args) {
  const std::string url = RequiredStringArg(args, "url");
  std::string title = StringArg(args, "title", "");
  const std::string category = StringArg(args, "category", "");
  const bool dialog = BoolArg(args, "dialog", true);
  // The dialog may open empty, as the toolbar's command does on a page
  // without a feed; an address given must be one the host can read.
  if ((!dialog || !url.empty()) && !IsFeedAddress(url))
    throw ProtocolError{"bad-argument", "Only http, https and ftp feeds can be added."};
  if (dialog) {
    const bool added = RequireDialogs().AddFeed(store_, url, title);
    return {{"added", added}};
  }
  store_.Load();
  if (IsKnown(*store_.FXMLDoc, url)) return {{"added", false}, {"known", true}};
  // The title is read before the list is locked; the list is read again
  // under the lock for the change.
  if (title.empty()) store_.GetFeedTitleFromURL(url, title);
  bool known = false;
  bool added = false;
  const bool saved = store_.EditList([&] {
    known = IsKnown(*store_.FXMLDoc, url);
    if (!known) added = store_.AddNewRSSFeed(url, title.empty() ? url : title, category);
  });
  if (known) return {{"added", false}, {"known", true}};
  if (!added || !saved) throw ProtocolError{"failed", "The feed could not be added."};
  return {{"added", true}};
}

json CommandHandler::Import(const json &args) {
  const std::string url = StringArg(args, "url", "");
  const std::string path = StringArg(args, "path", "");
  if (url.empty() == path.empty()) throw ProtocolError{"bad-argument", "Give either \"url\" or \"path\"."};
  if (!url.empty() && !IsFeedAddress(url))
    throw ProtocolError{"bad-argument", "Only http, https and ftp lists can be imported."};
  if (!path.empty()) {
    const std::string lower = platform::LowerCase(path);
    const bool listFile = lower.ends_with(".opml") || lower.ends_with(".xml");
    if (path.front() != '/' || !listFile || !platform::FileExists(path))
      throw ProtocolError{"bad-argument", "\"path\" must name an existing .opml or .xml file."};
  }
  std::unique_ptr<ChosenImport> chosen;
  if (args.contains("category"))
    chosen = std::make_unique<ChosenImport>(StringArg(args, "category", ""));
  else
    RequireDialogs();
  store_.Load();
  const int before = CountFeeds(feedlist::RequireDocumentElement(*store_.FXMLDoc));
  if (!url.empty())
    store_.ImportOPMLFromURL(url);
  else
    store_.ImportFromFilename(path);
  store_.Load();
  return {{"before", before}, {"feeds", CountFeeds(feedlist::RequireDocumentElement(*store_.FXMLDoc))}};
}

json CommandHandler::Export(const json &args) {
  const std::string format = StringArg(args, "format", "opml");
  const std::string category = StringArg(args, "category", "");
  const bool all = !args.contains("category");
  if (format != "opml" && format != "xml") throw ProtocolError{"bad-argument", "\"format\" is \"opml\" or \"xml\"."};
  store_.Load();
  std::string text;
  if (format == "opml")
    store_.GetFeedsAsOPML(all, category, text);
  else
    store_.GetFeedsAsXML(all, category, text);
  return {{"text", text}};
}

json CommandHandler::Dialog(const json &args) {
  const std::string name = RequiredStringArg(args, "name");
  if (name != "manage" && name != "import" && name != "export")
    throw ProtocolError{"bad-argument", "Unknown dialog \"" + Echo(name) + "\"."};
  HostDialogs &dialogs = RequireDialogs();
  store_.Load();
  bool accepted = false;
  if (name == "manage")
    accepted = dialogs.Manage(store_);
  else if (name == "import")
    accepted = dialogs.Import(store_, "");
  else
    accepted = dialogs.Export(store_);
  return {{"accepted", accepted}};
}

ReportFrame CommandHandler::Report(const json &args) {
  const std::string page = StringArg(args, "page", "index.html");
  // A list without a feed has no report to render: its start page says how
  // to fill the list, as "View Feeds..." in the band shows it.
  store_.Load();
  if (report::ListHoldsNoFeed(store_)) {
    ReportFrame frame;
    frame.page.page = "index.html";
    frame.page.title = report::kEmptyListTitle;
    frame.page.html = report::EmptyListPageHtml(report::StarterListPath(store_));
    return frame;
  }
  return report_.Frame(page);
}

} // namespace quorvelle::native_host
