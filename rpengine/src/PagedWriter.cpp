#include "PagedWriter.h"

#include <algorithm>

namespace mv::rpe {

void TPagedWriter::Begin(const TReportInfo& info) {
  FInfo = info;
  FPage = TextPageOf(info.File->Page);
  FColumnStack.assign(1, &FInfo.Columns);
  FSpool.emplace(FTempFolder);
  // At least a few rows per page, however long the header and footer are.
  FCapacity = std::max(5, FPage.Lines - ChromeLines());
  FPageCount = 1;
  FUsed = 0;
  WriteDocumentStart();
  WritePageStart(1);
}

bool TPagedWriter::Fits(int lines) const {
  return !FPaginate || FUsed == 0 || FUsed + lines <= FCapacity || (Depth() > 0 && !BreaksInSubreports());
}

void TPagedWriter::NewPage() {
  EndPage();
  ++FPageCount;
  FUsed = 0;
  WritePageStart(FPageCount);
  if (Depth() > 0) {
    WriteContinuation();
    FUsed += SubreportStartLines();
  }
}

void TPagedWriter::Need(int lines) {
  if (!Fits(lines)) NewPage();
  FUsed += lines;
}

void TPagedWriter::EndPage() {
  if (FTableOpen) WriteTableEnd();
  FTableOpen = false;
  WritePageEnd(FPageCount);
}

void TPagedWriter::NeedInTable(int lines) {
  if (Depth() > 0) {
    Need(lines);
    return;
  }
  // A new page closes the table, and the table needs its captions again.
  if (!Fits(lines + (FTableOpen ? 0 : TableStartLines()))) NewPage();
  if (!FTableOpen) {
    FUsed += TableStartLines();
    WriteTableStart();
    FTableOpen = true;
  }
  FUsed += lines;
}

void TPagedWriter::BeginSection(const TSectionEvent& section) {
  // A group header is kept on the page of the group's first row.
  FHeaderPending = section.Kind == TSectionKind::GroupHeader;
  FPending.clear();
}

void TPagedWriter::FlushPending(int extra) {
  int lines = extra;
  for (const auto& p : FPending)
    lines += std::holds_alternative<TTextLine>(p) ? TextLines(std::get<TTextLine>(p)) : TotalsLines(std::get<TTotalsLine>(p));
  // The row that follows, with the captions when the table is not open yet.
  if (extra && !FTableOpen) extra += TableStartLines();
  if (!FPending.empty() || extra) Need(lines + extra);
  FUsed -= extra;  // the row counts itself
  for (const auto& p : FPending) {
    if (std::holds_alternative<TTextLine>(p))
      WriteText(std::get<TTextLine>(p));
    else
      WriteTotals(std::get<TTotalsLine>(p));
  }
  FPending.clear();
  FlushIfFull();
}

void TPagedWriter::Text(const TTextLine& line) {
  if (FHeaderPending) {
    FPending.emplace_back(line);
    return;
  }
  Need(TextLines(line));
  WriteText(line);
  FlushIfFull();
}

void TPagedWriter::Totals(const TTotalsLine& totals) {
  if (FHeaderPending) {
    FPending.emplace_back(totals);
    return;
  }
  NeedInTable(TotalsLines(totals));
  WriteTotals(totals);
  FlushIfFull();
}

void TPagedWriter::EndSection() {
  if (FHeaderPending) {
    FlushPending(FPending.empty() ? 0 : 1);
    FHeaderPending = false;
  }
}

void TPagedWriter::Chart(const TChartData& chart) {
  int lines = ChartLines(chart);
  if (lines <= 0 || Depth() > 0) return;
  Need(lines);
  // The chart stands between tables: the rows after it get their captions again.
  if (FTableOpen) WriteTableEnd();
  FTableOpen = false;
  WriteChart(chart);
  FlushIfFull();
}

void TPagedWriter::BeginSubreport(const TSubreportInfo& subreport) {
  if (FHeaderPending) {
    FlushPending(0);
    FHeaderPending = false;
  }
  NeedInTable(SubreportStartLines());
  FSubreports.push_back(subreport);
  FSubColumns.push_back(subreport.Columns);
  WriteSubreportStart(FSubreports.back());
  FColumnStack.push_back(&FSubColumns.back());
  ColumnsChanged();
}

void TPagedWriter::EndSubreport() {
  WriteSubreportEnd();
  FColumnStack.pop_back();
  FSubColumns.pop_back();
  FSubreports.pop_back();
  ColumnsChanged();
}

void TPagedWriter::Row(const TRowView& row) {
  NeedInTable(1);
  WriteRow(row);
  FlushIfFull();
}

void TPagedWriter::End() {
  EndPage();
  WriteDocumentEnd();
  TOutputFile file(FPath);
  ExpandMarkers(
      *FSpool, [&](std::string_view s) { file.Write(s); },
      [&](char kind, long page, std::string& out) { ExpandMarker(kind, page, out); });
  file.Commit();
}

}  // namespace mv::rpe
