#include "XlsxWriter.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

#include "Errors.h"
#include "OutputFile.h"
#include "PdfWriter.h"
#include "TextUtil.h"
#include "Value.h"

namespace mv::rpe {
namespace {

constexpr lxw_row_t kMaxRow = 1048575;  // last row a sheet holds

// Our date letters in the spreadsheet's own: "n" (minutes) becomes "m",
// which spreadsheets read as minutes next to hours or seconds.
std::string SpreadsheetDatePattern(const std::string& ours) {
  std::string out;
  char quote = 0;
  for (char c : ours) {
    if (quote) {
      if (c == quote) quote = 0;
      else out += c == '"' ? std::string("\\\"") : std::string(1, c);
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (l == 'n') out += 'm';
    else if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's') out += l;
    else if (std::isalnum(static_cast<unsigned char>(c))) out += std::string("\\") + c;
    else out += c;
  }
  return out;
}

// Our number pattern (prefix, digits, suffix) with its literals quoted.
std::string SpreadsheetNumberPattern(const std::string& ours) {
  std::string plain;
  for (char c : ours)
    if (c != '"') plain += c;
  std::size_t a = plain.find_first_of("0#");
  if (a == std::string::npos) return "General";
  std::size_t b = plain.find_first_not_of("0#,.", a);
  if (b == std::string::npos) b = plain.size();
  std::string out;
  if (a > 0) out += "\"" + plain.substr(0, a) + "\"";
  out += plain.substr(a, b - a);
  if (b < plain.size()) out += "\"" + plain.substr(b) + "\"";
  return out;
}

// "yyyy-mm-dd hh:nn:ss", "yyyy-mm-dd" or "hh:nn:ss".
std::optional<lxw_datetime> ParseDateTime(std::string_view s) {
  auto num = [&](std::size_t at, std::size_t n) -> int {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
      if (i >= s.size() || s[i] < '0' || s[i] > '9') return -1;
      v = v * 10 + (s[i] - '0');
    }
    return v;
  };
  lxw_datetime d{};
  std::size_t t = 0;
  if (s.size() >= 10 && s[4] == '-' && s[7] == '-') {
    d.year = num(0, 4);
    d.month = num(5, 2);
    d.day = num(8, 2);
    if (d.year < 1900 || d.month < 1 || d.day < 1) return std::nullopt;
    if (s.size() == 10) return d;
    t = 11;
  }
  if (s.size() < t + 5 || s[t + 2] != ':') return std::nullopt;
  d.hour = num(t, 2);
  d.min = num(t + 3, 2);
  int sec = s.size() >= t + 8 ? num(t + 6, 2) : 0;
  if (d.hour < 0 || d.min < 0 || sec < 0) return std::nullopt;
  d.sec = sec;
  return d;
}

class TXlsxWriter : public TReportSink {
 public:
  TXlsxWriter(std::string path, std::string tempFolder) : FPath(std::move(path)), FTempFolder(std::move(tempFolder)) {}
  ~TXlsxWriter() override {
    // A run that failed: the workbook's scratch files go, nothing is written.
    if (FBook) lxw_workbook_free(FBook);
  }

  void Begin(const TReportInfo& info) override {
    FInfo = info;
    FFile.emplace(FPath);
    lxw_workbook_options o{};
    o.constant_memory = LXW_TRUE;
    o.tmpdir = FTempFolder.data();
    o.use_zip64 = LXW_TRUE;
    FBook = workbook_new_opt(FFile->TempPath().c_str(), &o);
    if (!FBook) throw ERpeError(RE_ERR_EXPORTWRITE, "cannot start the workbook \"" + FPath + "\"");
    FBold = workbook_add_format(FBook);
    format_set_bold(FBold);
    FTitle = workbook_add_format(FBook);
    format_set_bold(FTitle);
    format_set_font_size(FTitle, 14);
    FHeading = workbook_add_format(FBook);
    format_set_bold(FHeading);
    format_set_font_size(FHeading, 12);
    FSmall = workbook_add_format(FBook);
    format_set_font_size(FSmall, 9);
    format_set_italic(FSmall);
    FCaption = workbook_add_format(FBook);
    format_set_bold(FCaption);
    format_set_bottom(FCaption, LXW_BORDER_THIN);
    for (const TColumn& c : FInfo.Columns) FFormats.push_back(CellFormat(c, false));
    for (const TColumn& c : FInfo.Columns) FTotalFormats.push_back(CellFormat(c, true));
    NewSheet();
  }

  void BeginSection(const TSectionEvent& s) override {
    if (s.Kind != TSectionKind::ReportHeader && s.Depth == 0) Captions();
  }

  void Text(const TTextLine& l) override {
    NextRow();
    lxw_format* f = l.Style == TTextStyle::Title ? FTitle : l.Style == TTextStyle::Heading ? FHeading
                    : l.Style == TTextStyle::Small ? FSmall : nullptr;
    WriteText(FRow, FIndent, l.Text, f);
  }

  void Totals(const TTotalsLine& t) override {
    bool labelAlone = false;
    for (const TTotalValue& v : t.Values) labelAlone |= v.Column == 0;
    if (!t.Label.empty() && labelAlone) {
      NextRow();
      WriteText(FRow, FIndent, t.Label, FBold);
    }
    NextRow();
    if (!t.Label.empty() && !labelAlone) WriteText(FRow, FIndent, t.Label, FBold);
    for (const TTotalValue& v : t.Values) {
      auto col = static_cast<lxw_col_t>(FIndent + v.Column);
      std::optional<double> d = ParseDouble(v.Raw);
      if (!d) {
        WriteText(FRow, col, v.Display, FBold);
      } else if (v.Function == TAggFunction::Count || FIndent > 0 || v.Column >= FTotalFormats.size()) {
        worksheet_write_number(FSheet, FRow, col, *d, FBold);
      } else {
        worksheet_write_number(FSheet, FRow, col, *d, FTotalFormats[v.Column]);
      }
    }
  }

  void EndSection() override {}

  void BeginSubreport(const TSubreportInfo& s) override {
    FSubColumns.push_back(s.Columns);
    FIndent = static_cast<lxw_col_t>(FSubColumns.size());
    NextRow();
    WriteText(FRow, FIndent, s.Name, FSmall);
    NextRow();
    for (std::size_t i = 0; i < s.Columns.size(); ++i)
      WriteText(FRow, static_cast<lxw_col_t>(FIndent + i), s.Columns[i].Caption, FCaption);
  }

  void EndSubreport() override {
    FSubColumns.pop_back();
    FIndent = static_cast<lxw_col_t>(FSubColumns.size());
  }

  void Row(const TRowView& row) override {
    if (FSubColumns.empty()) Captions();
    NextRow();
    const std::vector<TColumn>& cols = FSubColumns.empty() ? FInfo.Columns : FSubColumns.back();
    for (std::size_t i = 0; i < cols.size(); ++i) {
      const TColumn& c = cols[i];
      if (row.IsNull(c.Source)) continue;
      auto col = static_cast<lxw_col_t>(FIndent + i);
      lxw_format* f = FSubColumns.empty() ? FFormats[i] : nullptr;
      std::string_view raw = row.Text(c.Source);
      switch (c.Type) {
        case TFieldType::Number:
        case TFieldType::Integer:
          if (std::optional<double> d = ParseDouble(raw)) {
            worksheet_write_number(FSheet, FRow, col, *d, f);
            continue;
          }
          break;
        case TFieldType::Date:
        case TFieldType::DateTime:
        case TFieldType::Time:
          if (std::optional<lxw_datetime> d = ParseDateTime(raw)) {
            if (!f) f = DateFormat(c.Type == TFieldType::Date ? "yyyy-mm-dd" : c.Type == TFieldType::Time ? "hh:mm:ss"
                                                                                                           : "yyyy-mm-dd hh:mm:ss");
            worksheet_write_datetime(FSheet, FRow, col, &*d, f);
            continue;
          }
          break;
        default: break;
      }
      FCell.clear();
      AppendDisplay(FCell, c, row);
      WriteText(FRow, col, FCell, nullptr);
    }
  }

  void End() override {
    SetProperties();
    lxw_error err = workbook_close(FBook);
    FBook = nullptr;
    if (err != LXW_NO_ERROR)
      throw ERpeError(RE_ERR_EXPORTWRITE, "cannot write the workbook \"" + FPath + "\": " + lxw_strerror(err));
    FFile->Commit();
  }

 private:
  std::string FPath, FTempFolder;
  TReportInfo FInfo;
  std::optional<TOutputFile> FFile;
  lxw_workbook* FBook = nullptr;
  lxw_worksheet* FSheet = nullptr;
  int FSheets = 0;
  long FRow = -1;  // last row written
  lxw_col_t FIndent = 0;
  bool FCaptionsDone = false;
  lxw_format *FBold = nullptr, *FTitle = nullptr, *FHeading = nullptr, *FSmall = nullptr, *FCaption = nullptr;
  std::vector<lxw_format*> FFormats, FTotalFormats;
  std::map<std::string, lxw_format*> FByPattern;
  std::vector<std::vector<TColumn>> FSubColumns;
  std::string FCell, FValid;

  // Excel holds at most 32,767 characters in a cell; the rest would make
  // libxlsxwriter refuse the whole cell. Bytes that are no UTF-8 would make
  // the sheet unreadable.
  static constexpr std::size_t kMaxCellChars = 32767;
  void WriteText(lxw_row_t row, lxw_col_t col, std::string_view text, lxw_format* format) {
    FValid.clear();
    AppendValidUtf8(FValid, text, kMaxCellChars);
    worksheet_write_string(FSheet, row, col, FValid.c_str(), format);
  }
  std::string FTitleProp, FSubject, FAuthor, FKeywords, FComments, FCreator = "mv report engine";

  lxw_format* DateFormat(const std::string& pattern) {
    auto& f = FByPattern["d:" + pattern];
    if (!f) {
      f = workbook_add_format(FBook);
      format_set_num_format(f, pattern.c_str());
    }
    return f;
  }

  lxw_format* CellFormat(const TColumn& c, bool bold) {
    std::string pattern;
    bool date = c.Type == TFieldType::Date || c.Type == TFieldType::DateTime || c.Type == TFieldType::Time;
    if (date)
      pattern = c.Format && !c.Format->Pattern.empty() ? SpreadsheetDatePattern(c.Format->Pattern)
                : c.Type == TFieldType::Date                ? "yyyy-mm-dd"
                : c.Type == TFieldType::Time                ? "hh:mm:ss"
                                                            : "yyyy-mm-dd hh:mm:ss";
    else if ((c.Type == TFieldType::Number || c.Type == TFieldType::Integer) && c.Format && !c.Format->Pattern.empty())
      pattern = SpreadsheetNumberPattern(c.Format->Pattern);
    if (pattern.empty() && !bold) return nullptr;
    auto& f = FByPattern[(bold ? "b:" : "n:") + pattern];
    if (!f) {
      f = workbook_add_format(FBook);
      if (!pattern.empty()) format_set_num_format(f, pattern.c_str());
      if (bold) format_set_bold(f);
    }
    return f;
  }

  void NewSheet() {
    std::string name = "Report" + (FSheets ? " " + std::to_string(FSheets + 1) : std::string());
    FSheet = workbook_add_worksheet(FBook, name.c_str());
    ++FSheets;
    FRow = -1;
    for (std::size_t i = 0; i < FInfo.Columns.size(); ++i) {
      const TColumn& c = FInfo.Columns[i];
      double w = std::max<double>(c.Width, static_cast<double>(Utf8Width(c.Caption))) + 2;
      if (c.Type == TFieldType::DateTime) w = std::max(w, 18.0);
      worksheet_set_column(FSheet, static_cast<lxw_col_t>(i), static_cast<lxw_col_t>(i), w, nullptr);
    }
    SetPageChrome();
    if (FSheets > 1) {
      FCaptionsDone = false;
      Captions();
    }
  }

  // The page header and footer lines for printing the sheet.
  void SetPageChrome() {
    auto chrome = [](const std::vector<TPageLine>& lines) {
      std::string l, c, r;
      for (const TPageLine& line : lines) {
        std::string& s = line.Align == TAlign::Right ? r : line.Align == TAlign::Center ? c : l;
        if (!s.empty()) s += '\n';
        for (const TPageLine::TPart& p : line.Parts) {
          if (p.Kind == TPageLine::TPart::TKind::PageNumber) s += "&P";
          else if (p.Kind == TPageLine::TPart::TKind::PageCount) s += "&N";
          else
            for (char ch : p.Text) s += ch == '&' ? std::string("&&") : std::string(1, ch);
        }
      }
      std::string out;
      if (!l.empty()) out += "&L" + l;
      if (!c.empty()) out += "&C" + c;
      if (!r.empty()) out += "&R" + r;
      // The format allows 255 characters.
      return out.size() > 255 ? std::string() : out;
    };
    std::string h = chrome(FInfo.PageHeader), f = chrome(FInfo.PageFooter);
    if (!h.empty()) worksheet_set_header(FSheet, h.c_str());
    if (!f.empty()) worksheet_set_footer(FSheet, f.c_str());
  }

  void NextRow() {
    if (FRow >= static_cast<long>(kMaxRow)) NewSheet();
    ++FRow;
  }

  void Captions() {
    if (FCaptionsDone || FInfo.Columns.empty()) return;
    FCaptionsDone = true;
    NextRow();
    for (std::size_t i = 0; i < FInfo.Columns.size(); ++i)
      WriteText(FRow, static_cast<lxw_col_t>(i), FInfo.Columns[i].Caption, FCaption);
    worksheet_freeze_panes(FSheet, static_cast<lxw_row_t>(FRow + 1), 0);
  }

  void SetProperties() {
    const TSummaryInfo& s = FInfo.File->Summary;
    FTitleProp = FInfo.Title;
    FSubject = s.Subject;
    FAuthor = s.Author;
    FKeywords = s.Keywords;
    FComments = s.Comments;
    lxw_doc_properties p{};
    p.title = FTitleProp.data();
    p.subject = FSubject.data();
    p.author = FAuthor.data();
    p.keywords = FKeywords.data();
    p.comments = FComments.data();
    // The same date the PDF carries; a fixed one makes identical files.
    std::string date = DocumentDate(FInfo.PrintTime);
    std::tm tm{};
    std::sscanf(date.c_str(), "%d-%d-%dT%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    p.created = date.back() == 'Z' ? timegm(&tm) : mktime(&tm);
    workbook_set_properties(FBook, &p);
  }
};

// Hands the events to `inner` on a thread of its own, so that fetching
// rows (the data source's driver) and writing the sheet (libxlsxwriter)
// run side by side. Events travel in batches through a short queue, so
// memory stays flat however many rows come. Begin and End run on the
// caller's thread: an unwritable folder still fails before the query, and
// End closes the workbook once every row is in. Charts are not passed on
// (the workbook has none).
class TThreadedSink : public TReportSink {
 public:
  explicit TThreadedSink(std::unique_ptr<TReportSink> inner) : FInner(std::move(inner)) {}
  ~TThreadedSink() override { Stop(); }

  void Begin(const TReportInfo& info) override {
    FInner->Begin(info);
    FWorker = std::thread([this] { Work(); });
  }
  void BeginSection(const TSectionEvent& s) override { Add(s); }
  void Text(const TTextLine& l) override { Add(l); }
  void Totals(const TTotalsLine& t) override { Add(t); }
  void EndSection() override { Add(TEndSection{}); }
  void BeginSubreport(const TSubreportInfo& s) override { Add(s); }
  void EndSubreport() override { Add(TEndSubreport{}); }
  void Row(const TRowView& row) override {
    TBatch& b = Current();
    b.Events.emplace_back(TRowRef{b.Offsets.size(), b.Nulls.size(), row.Size()});
    for (std::size_t i = 0; i < row.Size(); ++i) {
      b.Offsets.push_back(b.Data.size());
      b.Data.append(row.Text(i));
      b.Nulls.push_back(row.IsNull(i) ? 1 : 0);
    }
    b.Offsets.push_back(b.Data.size());
    if (b.Events.size() >= kBatchEvents || b.Data.size() >= kBatchBytes) Send();
  }
  void End() override {
    Send();
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FDone = true;
    }
    FWake.notify_all();
    FWorker.join();
    if (FError) std::rethrow_exception(FError);
    FInner->End();
  }

 private:
  static constexpr std::size_t kBatchEvents = 2048, kBatchBytes = 1u << 20, kQueued = 4;
  struct TEndSection {};
  struct TEndSubreport {};
  struct TRowRef {
    std::size_t First, FirstNull, Count;  // into Offsets and Nulls
  };
  using TEvent = std::variant<TRowRef, TSectionEvent, TTextLine, TTotalsLine, TEndSection, TSubreportInfo, TEndSubreport>;
  struct TBatch {
    std::vector<TEvent> Events;
    std::string Data;
    std::vector<std::size_t> Offsets;
    std::vector<char> Nulls;
  };

  std::unique_ptr<TReportSink> FInner;
  std::thread FWorker;
  std::mutex FMutex;
  std::condition_variable FWake, FRoom;
  std::deque<TBatch> FQueue;
  std::vector<TBatch> FFree;
  std::optional<TBatch> FOpen;
  bool FDone = false, FAbort = false;
  std::exception_ptr FError;  // the worker's, read after join or under the mutex

  // The batch being filled: a used one when the worker has given one
  // back (its buffers keep their capacity), else a new one.
  TBatch& Current() {
    if (!FOpen) {
      std::lock_guard<std::mutex> lock(FMutex);
      if (!FFree.empty()) {
        FOpen.emplace(std::move(FFree.back()));
        FFree.pop_back();
      } else {
        FOpen.emplace();
        FOpen->Events.reserve(kBatchEvents);
      }
    }
    return *FOpen;
  }
  template <class T>
  void Add(T event) {
    Current().Events.emplace_back(std::move(event));
    if (FOpen->Events.size() >= kBatchEvents) Send();
  }

  void Send() {
    if (!FOpen || FOpen->Events.empty()) return;
    std::unique_lock<std::mutex> lock(FMutex);
    FRoom.wait(lock, [&] { return FQueue.size() < kQueued || FError; });
    if (FError) {
      // The worker failed: stop the run with its error.
      lock.unlock();
      FWorker.join();
      std::exception_ptr e = FError;
      FError = nullptr;
      FDone = true;
      std::rethrow_exception(e);
    }
    FQueue.push_back(std::move(*FOpen));
    FOpen.reset();
    lock.unlock();
    FWake.notify_one();
  }

  void Stop() {
    if (!FWorker.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FAbort = true;
    }
    FWake.notify_all();
    FWorker.join();
  }

  void Work() {
    std::vector<std::string_view> values;
    for (;;) {
      TBatch b;
      {
        std::unique_lock<std::mutex> lock(FMutex);
        FWake.wait(lock, [&] { return FAbort || FDone || !FQueue.empty(); });
        if (FAbort || FQueue.empty()) return;
        b = std::move(FQueue.front());
        FQueue.pop_front();
      }
      FRoom.notify_one();
      try {
        for (const TEvent& e : b.Events) {
          if (const auto* r = std::get_if<TRowRef>(&e)) {
            values.resize(r->Count);
            for (std::size_t i = 0; i < r->Count; ++i)
              values[i] = std::string_view(b.Data).substr(b.Offsets[r->First + i],
                                                          b.Offsets[r->First + i + 1] - b.Offsets[r->First + i]);
            FInner->Row(TRowView(values.data(), b.Nulls.data() + r->FirstNull, r->Count));
          } else if (const auto* s = std::get_if<TSectionEvent>(&e)) {
            FInner->BeginSection(*s);
          } else if (const auto* t = std::get_if<TTextLine>(&e)) {
            FInner->Text(*t);
          } else if (const auto* o = std::get_if<TTotalsLine>(&e)) {
            FInner->Totals(*o);
          } else if (std::holds_alternative<TEndSection>(e)) {
            FInner->EndSection();
          } else if (const auto* sub = std::get_if<TSubreportInfo>(&e)) {
            FInner->BeginSubreport(*sub);
          } else {
            FInner->EndSubreport();
          }
        }
      } catch (...) {
        std::lock_guard<std::mutex> lock(FMutex);
        FError = std::current_exception();
        FRoom.notify_all();
        return;
      }
      b.Events.clear();
      b.Data.clear();
      b.Offsets.clear();
      b.Nulls.clear();
      std::lock_guard<std::mutex> lock(FMutex);
      if (FFree.size() < kQueued) FFree.push_back(std::move(b));
    }
  }
};

}  // namespace

std::unique_ptr<TReportSink> MakeXlsxWriter(std::string path, std::string tempFolder) {
  return std::make_unique<TThreadedSink>(std::make_unique<TXlsxWriter>(std::move(path), std::move(tempFolder)));
}

}  // namespace mv::rpe
