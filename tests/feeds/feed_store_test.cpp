#include "feeds/feed_store.h"
#include "platform/codepage/codepage.h"
#include "platform/errors.h"
#include "platform/files/posix_ops.h"
#include "platform/registry/registry.h"
#include "support/debug_log.h"
#include "tests/helpers/test_environment.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvelle {
namespace {
using platform::HKEY_CURRENT_USER;
using platform::RegistryKey;
using test::IsolatedUser;
using test::ReadFile;
using test::WriteFile;

std::optional<RegistryKey> Settings() { return RegistryKey::Open(HKEY_CURRENT_USER, kSettingsKey, false); }

void AddFeedElement(TRSSFeedOptions &store, const std::string &src) {
  XmlNode feed = store.FXMLDoc->CreateElement("Quorvelle_Feed");
  feed.SetAttribute("src", src);
  feed.SetAttribute("enabled", "true");
  feed.SetAttribute("title", "t");
  store.FXMLDoc->DocumentElement().FirstChild().AppendChild(feed);
}

std::vector<std::string> FilesStartingWith(const std::string &folder, const std::string &prefix) {
  std::vector<std::string> out;
  for (const auto &e : std::filesystem::directory_iterator(folder)) {
    if (e.path().filename().string().starts_with(prefix)) out.push_back(e.path().string());
  }
  return out;
}

TEST(FeedStore, FirstRunCreatesSettingsFolderAndEmptyDocument) {
  IsolatedUser user;
  {
    QuorvelleModule module;
    ASSERT_TRUE(FeedOptions);
    EXPECT_EQ(
        FeedOptions->FXMLDoc->Xml(),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Quorvelle_Feeds><Quorvelle_Categories/></Quorvelle_Feeds>\n");
    EXPECT_EQ(FeedOptions->GetFileName(), user.FeedsFile());
    EXPECT_TRUE(std::filesystem::is_directory(user.DataFolder()));
  }
  EXPECT_FALSE(FeedOptions);
  auto key = Settings();
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(key->ReadString("FolderToStore"), user.DataFolder());
  EXPECT_EQ(key->ReadString("AppPath"), user.Home() + "/.local/opt/Quorvelle/");
  EXPECT_EQ(key->ReadString("CurrentCategory"), "");
  EXPECT_EQ(key->ReadInteger("DebugMode"), 0);
  EXPECT_FALSE(key->ValueExists("ToCategory"));
  EXPECT_FALSE(key->ValueExists("StoredHomePage"));
  // Unloading wrote the empty document.
  TRSSFeedOptions reread;
  reread.Load();
  EXPECT_EQ(reread.FXMLDoc->DocumentElement().FirstChild().NodeName(), "Quorvelle_Categories");
  EXPECT_FALSE(reread.FXMLDoc->DocumentElement().FirstChild().HasChildNodes());
}

TEST(FeedStore, SettingsComeFromTheRegistryAndBlankFilesLoadAsEmpty) {
  IsolatedUser user;
  const std::string folder = user.Home() + "/elsewhere/";
  {
    auto key = RegistryKey::Open(HKEY_CURRENT_USER, kSettingsKey, true);
    key->WriteString("FolderToStore", folder);
    key->WriteString("AppPath", "/opt/quorvelle/");
    key->WriteString("CurrentCategory", "News");
  }
  WriteFile(folder + "Feeds.xml", "\r\n\r\n   \r\n\t\n");
  TRSSFeedOptions store;
  store.Load();
  EXPECT_EQ(store.FolderToStore, folder);
  EXPECT_EQ(store.AppPath, "/opt/quorvelle/");
  EXPECT_EQ(store.CurrentCategory, "News");
  EXPECT_EQ(store.FXMLDoc->DocumentElement().NodeName(), "Quorvelle_Feeds");
}

TEST(FeedStore, EmptyOrRelativeFoldersCountAsUnsetAndNothingLandsInTheCurrentFolder) {
  for (const std::string value : {"", "relative/", "Quorvelle"}) {
    IsolatedUser user;
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(user.Home() + "/tmp");
    {
      auto key = RegistryKey::Open(HKEY_CURRENT_USER, kSettingsKey, true);
      key->WriteString("FolderToStore", value);
      key->WriteString("AppPath", value);
    }
    TRSSFeedOptions store;
    store.Load();
    AddFeedElement(store, "http://kept.example/");
    store.Save();
    std::filesystem::current_path(cwd);
    EXPECT_EQ(store.FolderToStore, user.DataFolder()) << value;
    EXPECT_EQ(Settings()->ReadString("FolderToStore"), user.DataFolder());
    EXPECT_EQ(store.AppPath, user.Home() + "/.local/opt/Quorvelle/");
    EXPECT_NE(ReadFile(user.FeedsFile()).find("http://kept.example/"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(user.Home() + "/tmp")) << value;
  }
}

TEST(FeedStore, SnapshotRestoresAndSurvivesASecondRestore) {
  IsolatedUser user;
  TRSSFeedOptions store;
  store.Load();
  const std::string before = store.FXMLDoc->Xml();
  store.ReStoreCurrentXML(); // no snapshot: nothing happens
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
  store.StoreCurrentXML();
  AddFeedElement(store, "http://a.example/");
  store.ReStoreCurrentXML();
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
  AddFeedElement(store, "http://b.example/");
  store.ReStoreCurrentXML();
  EXPECT_EQ(store.FXMLDoc->Xml(), before);
  store.ClearStoredCurrentXML();
  EXPECT_TRUE(store.FStoredXML.empty());
}

TEST(FeedStore, SaveIsStableAndKeepsNonAsciiInStoredForm) {
  IsolatedUser user;
  TRSSFeedOptions store;
  store.Load();
  XmlNode category = store.FXMLDoc->CreateElement("Quorvelle_Category");
  category.SetAttribute("name", platform::EncodeStoredText("Caf\xC3\xA9"));
  category.SetAttribute("description", "");
  store.FXMLDoc->DocumentElement().FirstChild().AppendChild(category);
  store.Save();
  const std::string first = ReadFile(user.FeedsFile());
  store.Save();
  EXPECT_EQ(ReadFile(user.FeedsFile()), first);
  // "Café" is held as the five characters "CafÃ©", seven bytes in the file.
  EXPECT_NE(first.find("name=\"Caf\xC3\x83\xC2\xA9\""), std::string::npos) << first;
  TRSSFeedOptions reread;
  reread.Load();
  EXPECT_EQ(
      platform::DecodeStoredText(reread.FXMLDoc->DocumentElement().FirstChild().FirstChild().GetAttribute("name")),
      "Caf\xC3\xA9");
}

TEST(FeedStore, UnreadableFileIsKeptAsideAndNeverOverwritten) {
  IsolatedUser user;
  const std::string broken = "<Quorvelle_Feeds><Quorvelle_Categories><Quorvelle_Feed src=\"x\"";
  WriteFile(user.FeedsFile(), broken);
  {
    QuorvelleModule module;
    EXPECT_FALSE(FeedOptions->FXMLDoc->HasRoot());
  }
  const auto aside = FilesStartingWith(user.DataFolder(), "Feeds.xml.unreadable-");
  ASSERT_EQ(aside.size(), 1U);
  EXPECT_EQ(ReadFile(aside.front()), broken); // moved aside byte for byte
  // The rootless document was not saved over anything; the next start is clean.
  EXPECT_FALSE(test::PathExists(user.FeedsFile()));
  TRSSFeedOptions store;
  store.Load();
  EXPECT_TRUE(store.FXMLDoc->HasRoot());
}

TEST(FeedStore, FailedWriteKeepsThePreviousFile) {
  IsolatedUser user;
  TRSSFeedOptions store;
  store.Load();
  store.Save();
  const std::string saved = ReadFile(user.FeedsFile());
  AddFeedElement(store, "http://new.example/");
  platform::PosixOps &ops = platform::Posix();
  const platform::PosixOps original = ops;
  ops.write = [](int, const void *, std::size_t) -> ssize_t {
    errno = ENOSPC;
    return -1;
  };
  store.Save();
  ops = original;
  EXPECT_EQ(ReadFile(user.FeedsFile()), saved);
  EXPECT_TRUE(FilesStartingWith(user.DataFolder(), ".Feeds.xml.tmp").empty());
  store.Save();
  EXPECT_NE(ReadFile(user.FeedsFile()).find("http://new.example/"), std::string::npos);
}

TEST(FeedStore, KillDuringSavesNeverLeavesADamagedFile) {
  IsolatedUser user;
  {
    TRSSFeedOptions store;
    store.Load();
    store.Save();
  }
  for (int round = 0; round < 10; ++round) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      TRSSFeedOptions store;
      store.Load();
      for (int i = 0;; ++i) {
        AddFeedElement(store, "http://example.org/feed/" + std::to_string(i) + std::string(200, 'x'));
        store.Save();
      }
    }
    ::usleep(static_cast<useconds_t>(20000 + round * 7000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    platform::XmlDocument doc;
    EXPECT_TRUE(doc.LoadXML(ReadFile(user.FeedsFile()))) << "round " << round;
    EXPECT_EQ(doc.DocumentElement().NodeName(), "Quorvelle_Feeds");
  }
}

} // namespace
} // namespace quorvelle
