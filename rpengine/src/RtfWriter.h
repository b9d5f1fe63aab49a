// The report as a Rich Text Format document, for word processors.
#pragma once

#include <memory>
#include <string>

#include "ReportSink.h"

namespace mv::rpe {

// The definition's page size and margins, page header and footer lines
// (page numbers as fields the word processor fills in), texts as
// paragraphs, rows as table rows with a caption row that repeats on each
// page, group headings kept with the table that follows, totals as bold
// rows. One pass, written under a temporary name renamed at the end. The
// Word export is this document too (".DOC" files open in Word and Writer).
std::unique_ptr<TReportSink> MakeRtfWriter(std::string path);

// Appends text as RTF: control characters escaped, every character beyond
// ASCII as \uN? (UTF-16 units), line breaks as \line. Invalid UTF-8 bytes
// become U+FFFD.
void AppendRtfText(std::string& out, std::string_view utf8);

}  // namespace mv::rpe
