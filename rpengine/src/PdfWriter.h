// The report as a PDF document drawn with cairo and pango.
#pragma once

#include <memory>
#include <string>

#include "ReportSink.h"

namespace mv::rpe {

struct TPdfOptions {
  // The document's creation date as "yyyy-mm-ddThh:nn:ss" (add "Z" for
  // UTC). Empty: SOURCE_DATE_EPOCH when the environment sets it (for
  // files that are the same byte for byte from run to run), else the time
  // the run started.
  std::string CreationDate;
  // Portrait or landscape regardless of the definition: 0 keep, 1 portrait,
  // 2 landscape (a printer's device settings).
  int Orientation = 0;
  // The pages drawn, numbered as in the whole report (its "Page N of M"
  // stays): 0 for the first from the first page, 0 for the last to the
  // end. A first page beyond the report's last is an error.
  long FirstPage = 0, LastPage = 0;
};

// The whole report on pages of the definition's size and margins: page
// header lines and column captions on every page, group headings kept with
// their first rows, totals under their columns, "Page N of M". The events
// are spooled to a scratch file in `tempFolder` while the pages are
// counted, and drawn at End() from that spool; the file is written under a
// temporary name and renamed at the end.
std::unique_ptr<TReportSink> MakePdfWriter(std::string path, std::string tempFolder, TPdfOptions options = {});

// The creation date a writer uses when its options give none: from
// SOURCE_DATE_EPOCH (UTC, with "Z") when set, else `runStart`.
std::string DocumentDate(const TCivilTime& runStart);

}  // namespace mv::rpe
