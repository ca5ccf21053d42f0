#include "platform/registry/registry.h"
#include "tests/helpers/test_environment.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace quorvelle {
namespace {
using platform::HKEY_CLASSES_ROOT;
using platform::HKEY_CURRENT_USER;
using platform::RegistryKey;
namespace fs = std::filesystem;

const std::string kMenuKey =
    "Software\\Microsoft\\Internet Explorer\\MenuExt\\Add RSS/OPML/XML/RDF/ATOM Feed To Quorvelle";
const std::string kBrowserMain = "Software\\Microsoft\\Internet Explorer\\Main";

// A copy of QuorvelleInstall in its own installation folder of a fresh user.
class QuorvelleInstallTest : public ::testing::Test {
protected:
  QuorvelleInstallTest() : folder_(user_.Home() + "/opt/Quorvelle/") {
    fs::create_directories(folder_);
    fs::copy_file(QUORVELLE_BINARY_DIR "/bin/QuorvelleInstall", folder_ + "QuorvelleInstall");
  }
  void WithBandLibrary() {
    fs::copy_file(QUORVELLE_FAKE_BAND_LIBRARY, folder_ + "libQuorvelle.so", fs::copy_options::overwrite_existing);
  }
  int Run(const std::string &arguments) {
    const std::string command = "'" + folder_ + "QuorvelleInstall' " + arguments;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::optional<RegistryKey> Settings() {
    return RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", false);
  }

  test::IsolatedUser user_;
  // The program logs beside its own copy, in this test's own folder.
  test::ScopedEnv besideProgram_{"QUORVELLE_LOG_FOLDER", std::nullopt};
  std::string folder_;
};

TEST_F(QuorvelleInstallTest, InstallInAnyLetterCaseWritesEntrySettingsAndRegisters) {
  WithBandLibrary();
  ASSERT_EQ(Run("/INSTALL"), 0);
  auto menu = RegistryKey::Open(HKEY_CURRENT_USER, kMenuKey, false);
  ASSERT_TRUE(menu.has_value());
  EXPECT_EQ(menu->ReadString(""), "file://" + folder_ + "rssfeed.html");
  EXPECT_EQ(menu->ReadInteger("Contexts"), 34);
  EXPECT_EQ(Settings()->ReadString("AppPath"), folder_);
  EXPECT_TRUE(fs::exists(user_.FeedsFile()));
  auto band = RegistryKey::Open(HKEY_CLASSES_ROOT, "FakeBand", false);
  ASSERT_TRUE(band.has_value());
  EXPECT_EQ(band->ReadString(""), "registered");

  // Installing twice leaves one entry with the same values.
  ASSERT_EQ(Run("/Install"), 0);
  auto parent = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Microsoft\\Internet Explorer\\MenuExt", false);
  EXPECT_EQ(parent->SubKeyNames().size(), 1U);
}

TEST_F(QuorvelleInstallTest, OtherArgumentsOnlyCreateSettingsAndTheDataFolder) {
  for (const std::string args : {"", "-install", "install", "/installx", "/unknown /install"}) {
    EXPECT_EQ(Run(args), 0) << args;
  }
  EXPECT_FALSE(platform::RegistryKeyExists(HKEY_CURRENT_USER, kMenuKey));
  auto settings = Settings();
  ASSERT_TRUE(settings.has_value());
  EXPECT_TRUE(settings->ValueExists("FolderToStore"));
  EXPECT_TRUE(settings->ValueExists("DebugMode"));
  EXPECT_NE(settings->ReadString("AppPath"), folder_);
  EXPECT_TRUE(fs::exists(user_.FeedsFile()));
}

TEST_F(QuorvelleInstallTest, MissingOrFailingLibraryKeepsEntryLogsAndEndsWithStatusOne) {
  {
    auto key = RegistryKey::Open(HKEY_CURRENT_USER, "Software\\Tolvane\\Quorvelle", true);
    key->WriteBool("DebugMode", true);
  }
  EXPECT_EQ(Run("/install"), 1);
  EXPECT_TRUE(platform::RegistryKeyExists(HKEY_CURRENT_USER, kMenuKey));
  EXPECT_EQ(Settings()->ReadString("AppPath"), folder_);
  EXPECT_TRUE(fs::exists(user_.FeedsFile()));
  const std::string log = test::ReadFile(folder_ + "DEBUG.LOG");
  EXPECT_NE(log.find(",Info: System Error on EOSError,Msg: "), std::string::npos) << log;
  EXPECT_NE(log.find("libQuorvelle.so"), std::string::npos) << log;

  WithBandLibrary();
  test::ScopedEnv fail("FAKE_BAND_FAIL", "1");
  EXPECT_EQ(Run("/install"), 1);
  EXPECT_NE(test::ReadFile(folder_ + "DEBUG.LOG")
                .find("System Error on EOleSysError,Msg: DllRegisterServer failed with 0x80004005"),
            std::string::npos);
}

TEST_F(QuorvelleInstallTest, UninstallRemovesTheEntryAndRestoresTheHomePage) {
  WithBandLibrary();
  ASSERT_EQ(Run("/install"), 0);
  {
    auto main = RegistryKey::Open(HKEY_CURRENT_USER, kBrowserMain, true);
    main->WriteString("Start Page", "file://" + folder_ + "headlines/index.html");
    Settings()->WriteString("StoredHomePage", "https://previous.example/");
  }
  ASSERT_EQ(Run("/UNINSTALL"), 0);
  EXPECT_FALSE(platform::RegistryKeyExists(HKEY_CURRENT_USER, kMenuKey));
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kBrowserMain, false)->ReadString("Start Page"),
            "https://previous.example/");
  EXPECT_TRUE(fs::exists(user_.FeedsFile()));

  // Again, with the entry already gone: the home page is still restored.
  RegistryKey::Open(HKEY_CURRENT_USER, kBrowserMain, false)->WriteString("Start Page", "about:blank");
  ASSERT_EQ(Run("/uninstall"), 0);
  EXPECT_EQ(RegistryKey::Open(HKEY_CURRENT_USER, kBrowserMain, false)->ReadString("Start Page"),
            "https://previous.example/");
}

} // namespace
} // namespace quorvelle
