#pragma once
// Helpers of the list conversions (TRSSFeedOptions::GetFeedsAsXML,
// GetFeedsAsOPML, ImportXML, CopyUniqueFeeds): the file names of the two
// stylesheets, and the steps that move titles and names between plain text
// and the stored text form around a transformation.

#include "platform/xml/xml_document.h"

#include <ctime>
#include <string>

namespace quorvelle::exchange {

inline constexpr const char *kExportStylesheet = "FeedsToOPML.xsl";
inline constexpr const char *kImportStylesheet = "OpmlToFeeds.xsl";

// The date in the form OPML's dateCreated uses (RFC 822, GMT, English names
// whatever the locale): "Mon, 08 Dec 2025 14:03:00 GMT".
std::string Rfc822Date(std::time_t when);

// Before an export: every category name and feed title below node is put
// into the stored text form (a plain value written by another tool is
// encoded, a stored one stays as it is), and so is every feed address.
// The export's character-by-character conversion to the code page then turns
// all of them into their UTF-8 bytes, whatever characters they hold.
void PrepareForCodePageOutput(platform::XmlNode node);

// Before an own-format file is merged: of the container's children only
// named categories and feeds with an http, https or ftp address stay (a
// category keeps only such feeds); a feed without an enabled flag gets
// "true", one without a title an empty one, and loses any content. Returns
// how many elements were removed.
int KeepOnlyImportableElements(platform::XmlNode container);

// After the OPML transformation: the plain titles of the feeds directly in
// the container are put into the stored text form.
void EncodePlainTitles(platform::XmlNode container);

// Before an own-format file is merged: feed titles anywhere below node that
// are plain text (written by another tool) are put into the stored text
// form; titles already in that form stay unchanged.
void NormaliseStoredTitles(platform::XmlNode node);

} // namespace quorvelle::exchange
