#pragma once
// Shared by the two import harnesses: a list holding one feed, one import of
// the input through the import command, and the checks afterwards.

#include "exchange/exchange_dialogs.h"
#include "feeds/feed_store.h"
#include "fuzz/fuzz_support.h"

#include <algorithm>

namespace quorvelle::fuzz {

// Accepts the import dialog with the proposed name for a new category.
class AcceptingImportDialogs final : public ExchangeDialogs {
public:
  std::optional<ExportChoice> ShowExportDialog(TRSSFeedOptions &) override { return std::nullopt; }
  std::optional<ImportChoice> ShowImportDialog(TRSSFeedOptions &, const std::string &name) override {
    ImportChoice choice;
    choice.FCreateNewCategory = !name.empty();
    choice.newCategoryName = name;
    return choice;
  }
};

inline void ImportAndCheck(const std::uint8_t *data, std::size_t size, const char *extension) {
  static AcceptingImportDialogs dialogs;
  InstallExchangeDialogs(&dialogs);
  const FuzzUser &user = User();
  ResetFiles();
  {
    TRSSFeedOptions store;
    store.Load();
    store.AddNewRSSFeed("http://fuzz.example/kept.xml", "kept", "");
    store.Save();
  }
  const std::string file = user.scratchDir + "/list" + extension;
  WriteBytes(file, std::string_view(reinterpret_cast<const char *>(data), size));
  {
    TRSSFeedOptions store;
    store.ImportFromFilename(file);
  }
  TRSSFeedOptions reloaded;
  reloaded.Load();
  Require(reloaded.FXMLDoc->HasRoot(), "the list loads after an import");
  const FeedCensus census = Census(*reloaded.FXMLDoc);
  Require(std::find(census.sources.begin(), census.sources.end(), "http://fuzz.example/kept.xml") !=
              census.sources.end(),
          "an import keeps the feeds the list had");
  Require(!census.HasDuplicateSource(), "an import never duplicates an address");
}

} // namespace quorvelle::fuzz
