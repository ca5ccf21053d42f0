#pragma once
// The product's name, version and the maker's addresses, shown by the about
// box and opened by the toolbar's "Visit Web-Site".

namespace quorvelle {

inline constexpr const char *kProductName = "Quorvelle";
inline constexpr const char *kProductVersion = "version 1.00";
inline constexpr const char *kProductMaker = "Tolvane";
inline constexpr const char *kProductWebPage = "https://www.tolvane.example/quorvelle/";
inline constexpr const char *kSupportEmail = "support@tolvane.example";

} // namespace quorvelle
