// Text pieces shared by the page and KML writers (which write through
// platform/text_output.h): the texts the writers derive from a track (title, display name, time span), and the
// escapers that keep user text inert in each place it lands: JavaScript string
// literals and comments, HTML, XML character data and CDATA sections. A text
// that needs no escaping comes out unchanged.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/text_output.h"
#include "store/track_store.h"

namespace trakvio {

// Results of the export writers (text, KML/KMZ and web map pages).
enum ExportResult : int {
    kExportDone = 0,
    kExportCannotCreate = 1,  // the output could not be created; nothing written
    kExportWriteFailed = 2,   // writing failed part way; the partial file is removed
    kExportZipFailed = 3,     // the zip could not be built in memory; nothing written
};

// Removes what a failed write left at path, when it is a regular file (a
// device or pipe given as the output stays).
void RemovePartialFile(const std::filesystem::path& path);

// The title as UTF-8, cut to at most 255 bytes without splitting a character.
std::string TitleUtf8(std::u16string_view title);

// Page title: a title of at least 10 bytes that starts with eight decimal
// digits and '_' moves the digits behind the rest ("20240501_walk" gives
// "walk_20240501"); any other title stays as it is.
std::string PageTitle(std::string_view titleUtf8);

// A track name without its leading decimal digits and '_' characters.
std::string_view DisplayName(std::string_view nameUtf8);

// The two halves of a track's time span: startText, and endText, or only its
// time of day when both fall on the same date.
void TimeSpanTexts(const TrackRecord& record, std::string_view& first, std::string_view& second);

// Appends text for the inside of a JavaScript string literal enclosed in
// quote (' or "): backslashes, that quote, line breaks (also U+2028 and
// U+2029) and other control characters become escapes, and a '<' that starts
// "</script", "<script" or "<!--" (the only sequences the HTML parser heeds
// inside a script) becomes \x3C.
void AppendJsString(std::string_view utf8, char quote, std::string& out);

// Appends text for a JavaScript line comment: line breaks (also U+2028 and
// U+2029) are written as the escapes \n, \r, \u2028 and \u2029, and '<' is
// treated as in AppendJsString.
void AppendJsComment(std::string_view utf8, std::string& out);

// Appends text for HTML content or a quoted attribute value: & < > " '
// become character references.
void AppendHtml(std::string_view utf8, std::string& out);

// Appends text for XML character data: & < > become references; control
// characters that XML does not allow become U+FFFD.
void AppendXmlText(std::string_view utf8, std::string& out);

// Appends text for the inside of a CDATA section: each "]]>" is split over
// two sections ("]]]]><![CDATA[>") and control characters that XML does not
// allow become U+FFFD.
void AppendCdata(std::string_view utf8, std::string& out);

}  // namespace trakvio
