#pragma once
// The commands of quorvelle-native-host, on the user's feed store: one
// request in, one answer out (see native_messaging.h for the frame and
// envelope). The commands:
//
//   hello                      -> {"version", "product"}
//   list                       -> {"categories": [{"name", "feeds": [{"url", "title", "enabled"}],
//                                                  "categories": [...]}]} (General first, name "")
//   offer   {feeds: [{url, title}]}
//                              -> {"feeds": [{"url", "title", "known"}]}: the links a page
//                                 announces, kept when http, https or ftp, once each
//   discover {html, url?}     -> as offer, for the feeds that the page's markup (its outer
//                                 HTML, or its head) announces, found as the band finds them
//                                 on the same page (url: the page's address)
//   add     {url, title?, category?, dialog?}
//                              -> {"added"}; with dialog (the default) the add-feed dialog
//                                 opens prefilled, as the toolbar's command does
//   import  {url | path, category?}
//                              -> {"feeds": <count after>, "before": <count before>}; without
//                                 category the import dialog asks where the feeds go
//   export  {format: "opml"|"xml", category?}
//                              -> {"text"}
//   dialog  {name: "manage"|"import"|"export"}
//                              -> {"accepted"}
//   report  {page?}            -> {"page", "title", "html"}: a finished report page
//                                 (version 1); version 2 sends it in parts, see
//                                 report_stream.h
//
// A request that cannot be carried out gets an error answer; nothing is
// written for a request that fails validation.

#include "native_host/native_messaging.h"

#include <string>
#include <string_view>

namespace quorvelle {
class TRSSFeedOptions;
}

namespace quorvelle::native_host {

class ReportPages;
struct ReportFrame;

// The dialogs the commands show; the program implements them with the band's
// Qt dialogs. Each returns whether the user accepted.
class HostDialogs {
public:
  virtual ~HostDialogs() = default;
  virtual bool AddFeed(TRSSFeedOptions &store, const std::string &url, const std::string &title) = 0;
  virtual bool Manage(TRSSFeedOptions &store) = 0;
  virtual bool Import(TRSSFeedOptions &store, const std::string &filePath) = 0;
  virtual bool Export(TRSSFeedOptions &store) = 0;
};

class CommandHandler {
public:
  // dialogs may be nullptr: the commands that need one then answer
  // "no-dialogs".
  CommandHandler(TRSSFeedOptions &store, ReportPages &report, HostDialogs *dialogs);

  // The answer to one message body. A report request is answered with its
  // frame only; the request loop sends the boxes.
  std::string Handle(std::string_view body);
  // The answer to one request that was read.
  std::string Answer(const Request &request);
  // The frame of the report page a report request asks for; throws
  // ProtocolError.
  ReportFrame Report(const nlohmann::json &args);
  // The answer to a frame refused before it could be read.
  static std::string Refusal(const ProtocolError &error);

private:
  nlohmann::json Run(const Request &request);
  nlohmann::json List();
  nlohmann::json Offer(const nlohmann::json &args);
  nlohmann::json Discover(const nlohmann::json &args);
  nlohmann::json Add(const nlohmann::json &args);
  nlohmann::json Import(const nlohmann::json &args);
  nlohmann::json Export(const nlohmann::json &args);
  nlohmann::json Dialog(const nlohmann::json &args);
  HostDialogs &RequireDialogs();

  TRSSFeedOptions &store_;
  ReportPages &report_;
  HostDialogs *dialogs_;
};

// Whether the address is one the host fetches and adds: http, https or ftp
// with a host name.
bool IsFeedAddress(const std::string &url);

} // namespace quorvelle::native_host
