// The report as an Office Open XML workbook (libxlsxwriter).
#pragma once

#include <memory>
#include <string>

#include "ReportSink.h"

namespace mv::rpe {

// One worksheet (another when the rows outgrow one): the report header's
// lines, a bold frozen caption row, detail rows with numbers as numbers and
// dates as dates in the definition's formats, group headings and footers,
// totals as bold rows. Written in constant-memory mode (rows go to scratch
// files in `tempFolder`), under a temporary name renamed at the end. The
// sheet is written on a second thread while the caller fetches rows.
// The file is the modern workbook whatever its extension (".XLS" too).
std::unique_ptr<TReportSink> MakeXlsxWriter(std::string path, std::string tempFolder);

}  // namespace mv::rpe
