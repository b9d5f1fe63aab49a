// The output writers of this build. Each creates its file at Begin() (so a
// run that fails before its first event leaves nothing behind) under a
// temporary name, and puts it in place at End().
#pragma once

#include <memory>
#include <string>

#include "ReportSink.h"

namespace mv::rpe {

struct TSeparatedOptions {
  char Quote = '"';              // encloses a value holding the separator, the quote or a line break
  std::string Separator = ",";
  bool UseNumberFormat = false;  // numbers as the report formats them, else as the data source gives them
  bool UseDateFormat = false;    // dates likewise
};

struct THtmlOptions {
  bool PageNavigator = true;  // First / Previous / Next / Last links on each page
  bool SeparatePages = true;  // cut into pages as the text output would; false: one page
};

// Comma-separated values (RFC 4180): a caption line, then one line per
// detail row of the main report, CR LF line ends.
std::unique_ptr<TReportSink> MakeSeparatedWriter(std::string path, TSeparatedOptions options);
// Tab-separated text: captions, then the main report's detail rows as the
// report formats them; tabs and line breaks inside values become blanks.
std::unique_ptr<TReportSink> MakeTabSeparatedWriter(std::string path);
// The whole report as fixed-width plain text cut into pages, with page
// headers and footers ("Page N of M") and form feeds between pages.
std::unique_ptr<TReportSink> MakeTextWriter(std::string path, std::string tempFolder);
// The whole report as one HTML 4.01 file.
std::unique_ptr<TReportSink> MakeHtmlWriter(std::string path, std::string tempFolder, THtmlOptions options);
// The whole report as XML (docs/report-format.md, "XML export").
std::unique_ptr<TReportSink> MakeXmlWriter(std::string path);

// Page geometry of the text layouts: 10 characters per inch, 6 lines per inch.
struct TTextPage {
  int Columns = 70;
  int Lines = 63;
};
TTextPage TextPageOf(const TPageSetup& page);

}  // namespace mv::rpe
