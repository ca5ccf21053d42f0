#include "platform/codepage/codepage.h"
#include "platform/codepage/text_case.h"

#include <gtest/gtest.h>

namespace quorvelle::platform {
namespace {

TEST(StoredTextForm, CafeIsStoredAsFiveCharactersSevenBytes) {
  const std::string stored = EncodeStoredText("Caf\xC3\xA9");
  EXPECT_EQ(stored, "Caf\xC3\x83\xC2\xA9"); // "CafÃ©"
  EXPECT_EQ(stored.size(), 7U);
  EXPECT_EQ(DecodeStoredText(stored), "Caf\xC3\xA9");
}

TEST(StoredTextForm, AsciiIsUnchangedAndEveryByteRoundTrips) {
  EXPECT_EQ(EncodeStoredText("News and Views"), "News and Views");
  std::string all;
  for (int b = 0; b < 256; ++b) {
    all.push_back(static_cast<char>(b));
  }
  const std::string asUtf8 = CodePageToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(asUtf8));
  const std::optional<std::string> back = Utf8ToCodePage(asUtf8);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, all);
  // Windows-1252 specifics: 0x80 is the euro sign, 0x81 undefined keeps U+0081.
  EXPECT_EQ(CodePageToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(CodePageToUtf8("\x81"), "\xC2\x81");
}

TEST(StoredTextForm, PlainTextFromAnotherToolDecodesUnchanged) {
  // "Café" written plainly: mapped back to bytes it is not valid UTF-8.
  EXPECT_EQ(DecodeStoredText("Caf\xC3\xA9"), "Caf\xC3\xA9");
  // Characters outside the code page cannot be stored-form text either.
  EXPECT_EQ(DecodeStoredText("\xE4\xB8\xAD"), "\xE4\xB8\xAD");
  // A non-Latin name survives the round trip through the stored form.
  const std::string chinese = "\xE6\x96\xB0\xE9\x97\xBB";
  EXPECT_EQ(DecodeStoredText(EncodeStoredText(chinese)), chinese);
}

TEST(TextCase, LowerCaseUsesUnicodeRulesAndTrimDropsControlCharacters) {
  EXPECT_EQ(LowerCase("CAF\xC3\x89 NEWS"), "caf\xC3\xA9 news");
  EXPECT_EQ(LowerCase("\xD0\x9D\xD0\x9E\xD0\x92"), "\xD0\xBD\xD0\xBE\xD0\xB2"); // НОВ -> нов
  EXPECT_EQ(Trim("\t\r\n  a b \x01"), "a b");
  EXPECT_LT(CompareTextIgnoringCase("Alpha", "beta"), 0);
  EXPECT_EQ(CompareTextIgnoringCase("alpha", "ALPHA"), 0);
  EXPECT_GT(CompareTextIgnoringCase("gamma", "Beta"), 0);
}

} // namespace
} // namespace quorvelle::platform
