#include <algorithm>
#include <optional>

#include "OutputFile.h"
#include "TextUtil.h"
#include "Writers.h"

namespace mv::rpe {
namespace {

// Writers of flat files: the main report's detail rows only.
class TRowsWriter : public TReportSink {
 public:
  explicit TRowsWriter(std::string path) : FPath(std::move(path)) {}
  bool WantsSections() const override { return false; }
  void BeginSection(const TSectionEvent&) override {}
  void Text(const TTextLine&) override {}
  void Totals(const TTotalsLine&) override {}
  void EndSection() override {}
  void BeginSubreport(const TSubreportInfo&) override {}
  void EndSubreport() override {}
  void End() override { FFile->Commit(); }

 protected:
  std::string FPath;
  std::optional<TOutputFile> FFile;
  std::vector<TColumn> FColumns;
  std::string FValue;
};

class TSeparatedWriter : public TRowsWriter {
 public:
  TSeparatedWriter(std::string path, TSeparatedOptions o) : TRowsWriter(std::move(path)), FOptions(std::move(o)) {
    if (FOptions.Quote == '\0') FOptions.Quote = '"';
    if (FOptions.Separator.empty()) FOptions.Separator.assign(1, ',');
  }

  void Begin(const TReportInfo& info) override {
    FFile.emplace(FPath);
    FColumns = info.Columns;
    FFormatted.clear();
    for (const TColumn& c : FColumns) {
      bool number = c.Type == TFieldType::Number || c.Type == TFieldType::Integer;
      bool date = c.Type == TFieldType::Date || c.Type == TFieldType::DateTime || c.Type == TFieldType::Time;
      bool text = c.Type == TFieldType::Text;
      FFormatted.push_back(c.Format && ((number && FOptions.UseNumberFormat) || (date && FOptions.UseDateFormat) ||
                                        (text && (FOptions.UseNumberFormat || FOptions.UseDateFormat))));
    }
    std::string& b = FFile->Buffer();
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
      if (i) b += FOptions.Separator;
      Field(b, FColumns[i].Caption);
    }
    b += "\r\n";
  }

  void Row(const TRowView& row) override {
    std::string& b = FFile->Buffer();
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
      if (i) b += FOptions.Separator;
      const TColumn& c = FColumns[i];
      if (FFormatted[i]) {
        FValue.clear();
        AppendDisplay(FValue, c, row);
        Field(b, FValue);
      } else {
        Field(b, row.Text(c.Source));
      }
    }
    b += "\r\n";
    FFile->FlushIfFull();
  }

 private:
  TSeparatedOptions FOptions;
  std::vector<bool> FFormatted;

  void Field(std::string& b, std::string_view v) const {
    const char q = FOptions.Quote, sep = FOptions.Separator[0];
    bool needs = false;
    for (char c : v) {
      if (c == q || c == sep || c == '\n' || c == '\r') {
        needs = true;
        break;
      }
    }
    if (!needs && FOptions.Separator.size() > 1) needs = v.find(FOptions.Separator) != std::string_view::npos;
    if (!needs) {
      b.append(v);
      return;
    }
    b += q;
    for (char c : v) {
      if (c == q) b += q;
      b += c;
    }
    b += q;
  }
};

class TTabSeparatedWriter : public TRowsWriter {
 public:
  using TRowsWriter::TRowsWriter;

  void Begin(const TReportInfo& info) override {
    FFile.emplace(FPath);
    FColumns = info.Columns;
    std::string& b = FFile->Buffer();
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
      if (i) b += '\t';
      AppendPlain(b, FColumns[i].Caption);
    }
    b += "\r\n";
  }

  void Row(const TRowView& row) override {
    std::string& b = FFile->Buffer();
    for (std::size_t i = 0; i < FColumns.size(); ++i) {
      if (i) b += '\t';
      FValue.clear();
      AppendDisplay(FValue, FColumns[i], row);
      AppendPlain(b, FValue);
    }
    b += "\r\n";
    FFile->FlushIfFull();
  }
};

}  // namespace

std::unique_ptr<TReportSink> MakeSeparatedWriter(std::string path, TSeparatedOptions options) {
  return std::make_unique<TSeparatedWriter>(std::move(path), std::move(options));
}

std::unique_ptr<TReportSink> MakeTabSeparatedWriter(std::string path) {
  return std::make_unique<TTabSeparatedWriter>(std::move(path));
}

TTextPage TextPageOf(const TPageSetup& page) {
  TTextPage t;
  double w = page.WidthMm - page.MarginLeftMm - page.MarginRightMm;
  double h = page.HeightMm - page.MarginTopMm - page.MarginBottomMm;
  t.Columns = std::max(20, static_cast<int>(w / 25.4 * 10));
  t.Lines = std::max(10, static_cast<int>(h / 25.4 * 6));
  return t;
}

}  // namespace mv::rpe
