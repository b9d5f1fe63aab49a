// Common part of the writers that cut a report into pages (plain text,
// HTML). Pages are counted in lines of the text layout (TextPageOf), so
// both cut at the same rows. The first pass writes the body into a spool
// with markers where a page needs the page count; End() copies it into
// the output file with the markers filled in, so "Page N of M" needs no
// second query and memory stays flat.
#pragma once

#include <optional>
#include <string>
#include <deque>
#include <variant>
#include <vector>

#include "OutputFile.h"
#include "ReportSink.h"
#include "TextUtil.h"
#include "Writers.h"

namespace mv::rpe {

class TPagedWriter : public TReportSink {
 public:
  TPagedWriter(std::string path, std::string tempFolder, bool paginate)
      : FPath(std::move(path)), FTempFolder(std::move(tempFolder)), FPaginate(paginate) {}

  void Begin(const TReportInfo& info) final;
  void BeginSection(const TSectionEvent& section) final;
  void Text(const TTextLine& line) final;
  void Totals(const TTotalsLine& totals) final;
  void EndSection() final;
  void Chart(const TChartData& chart) final;
  void BeginSubreport(const TSubreportInfo& subreport) final;
  void EndSubreport() final;
  void Row(const TRowView& row) final;
  void End() final;

 protected:
  // Marker kinds the writers use.
  static constexpr char kPageHeader = 'H', kPageFooter = 'F', kNavigator = 'N';

  // Lines a page spends on its header and footer.
  virtual int ChromeLines() const = 0;
  // Lines the column captions take where a page's table begins.
  virtual int TableStartLines() const = 0;
  virtual int TextLines(const TTextLine& line) const = 0;
  virtual int TotalsLines(const TTotalsLine& totals) const = 0;
  virtual int SubreportStartLines() const = 0;
  // Whether a page may end inside a subreport.
  virtual bool BreaksInSubreports() const = 0;

  virtual void WriteDocumentStart() = 0;
  virtual void WritePageStart(long page) = 0;
  virtual void WritePageEnd(long page) = 0;
  // The main report's table on a page: opened before its first row (so
  // that texts above it, such as the report header, come first) and
  // closed at the end of the page.
  virtual void WriteTableStart() = 0;
  virtual void WriteTableEnd() = 0;
  // After a page break inside a subreport: what the new page needs first.
  virtual void WriteContinuation() {}
  virtual void WriteText(const TTextLine& line) = 0;
  virtual void WriteTotals(const TTotalsLine& totals) = 0;
  // Charts: the lines one takes (0: this output leaves charts out), and
  // the chart itself, written between the tables.
  virtual int ChartLines(const TChartData& chart) const { (void)chart; return 0; }
  virtual void WriteChart(const TChartData& chart) { (void)chart; }
  virtual void WriteRow(const TRowView& row) = 0;
  virtual void WriteSubreportStart(const TSubreportInfo& subreport) = 0;
  virtual void WriteSubreportEnd() = 0;
  virtual void WriteDocumentEnd() = 0;
  // The current columns changed (a subreport began or ended).
  virtual void ColumnsChanged() {}
  // Second pass: the text that replaces a marker.
  virtual void ExpandMarker(char kind, long page, std::string& out) = 0;

  const std::vector<TColumn>& Columns() const { return *FColumnStack.back(); }
  int Depth() const { return static_cast<int>(FColumnStack.size()) - 1; }
  bool TableOpen() const { return FTableOpen; }
  std::string& Out() { return FSpool->Buffer(); }
  void FlushIfFull() {
    if (FSpool->Buffer().size() >= (1u << 18)) FSpool->Flush();
  }

  TReportInfo FInfo;
  TTextPage FPage;
  long FPageCount = 0;
  std::vector<const std::vector<TColumn>*> FColumnStack;

 private:
  std::string FPath, FTempFolder;
  bool FPaginate;
  std::optional<TSpoolFile> FSpool;
  int FCapacity = 0;  // body lines per page
  int FUsed = 0;      // body lines used on the current page
  bool FHeaderPending = false;
  bool FTableOpen = false;
  std::vector<std::variant<TTextLine, TTotalsLine>> FPending;
  std::deque<TSubreportInfo> FSubreports;
  std::deque<std::vector<TColumn>> FSubColumns;

  // Whether `lines` more fit on the page (an empty page takes anything).
  bool Fits(int lines) const;
  void NewPage();
  // Starts a new page unless `lines` still fit, and counts them.
  void Need(int lines);
  void FlushPending(int extra);
  // Makes room for `lines` of the main table, opening it first if needed.
  void NeedInTable(int lines);
  void EndPage();
};

}  // namespace mv::rpe
