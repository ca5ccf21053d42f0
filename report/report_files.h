#pragma once
// Small helpers shared by the report's generation code: escaping for HTML, the folder name a category gets, and plain
// file writes for the report tree (which is rebuilt from scratch, so it needs no atomic replace).

#include <string>
#include <string_view>

namespace quorvelle::report {

// Text made safe for HTML element content and quoted attribute values.
std::string EscapeHtml(std::string_view text);

// The folder name of a category inside its parent's folder. The name is used
// as it stands, except that it can never name another folder: '/' becomes a
// blank, and a name that is then empty, "." or ".." gets a leading '_'.
// occurrence counts the categories of the same name at that level, this one
// included, in document order. A name that is also the name of one of the
// report's own files there ("index.html", "details.xsl", "3.xml", ...), and
// every repeat of a name, gets " [occurrence]" appended, so no two folders
// and no folder and file meet. The report's stylesheets build their links
// with the same rule.
std::string CategoryFolderName(std::string_view decodedName, int occurrence = 1);

// Writes the bytes to the path, replacing a file there. Throws EInOutError.
void WriteReportFile(const std::string &path, std::string_view bytes);

// Copies the file, replacing the target; false when the source is missing or
// the copy fails (callers ignore it).
bool CopyReportFile(const std::string &source, const std::string &target) noexcept;

} // namespace quorvelle::report
