// The "RE" functions of rpeng.h over the engine's C++ internals.
//
// State: a process-wide job table (handle -> job) behind one mutex, taken
// only to find, add or remove jobs; everything else is per thread (open
// count, job 0's error, text handles, temporary folder) or per job, and a
// job is used only by the thread that opened it. No exception leaves a
// function of this file.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "DefinitionReader.h"
#include "Errors.h"
#include "PdfWriter.h"
#include "Printing.h"
#include "RtfWriter.h"
#include "XlsxWriter.h"
#include "Runner.h"
#include "TextUtil.h"
#include "Writers.h"
#include "rpeng.h"

namespace mv::rpe {
namespace {

struct TLogonValues {
  std::string Server, Database, User, Password;
};

struct TParamState {
  bool Touched = false;       // the caller set or cleared the current values
  std::vector<TValue> Values;
};

enum class TOutputKind { None, Printer, Window, Export };
enum class TExportFormat { Separated, TabSeparated, Text, Html, Xml, Pdf, Xlsx, Rtf };

struct TExportSettings {
  TExportFormat Format = TExportFormat::Separated;
  std::string FileName;
  TSeparatedOptions Separated;
  THtmlOptions Html;
  long FirstPage = 0, LastPage = 0;  // PDF: the pages written; 0: open
};

// An opened definition with everything the caller set on it; shared by the
// main job and its subreport jobs.
struct TReportState {
  std::shared_ptr<const TReportFile> File;
  std::vector<std::vector<TLogonValues>> Logons;  // per report (0 main), per table
  std::vector<std::vector<TParamState>> Params;   // per report, per parameter
  bool AllowPrompt = true;
  bool ProgressDialog = true;
  TOutputKind Output = TOutputKind::None;
  TExportSettings Export;
  std::string PrinterDriver, PrinterName, PrinterPort, PaperName;
  int Orientation = 0;
  int Copies = 1;
  std::string WindowTitle;
  REPrintOptions PrintOptions{sizeof(REPrintOptions), 0, 0, 1, 0};
  bool Running = false;
};

struct TJob {
  RE_JOB Handle = 0;
  std::thread::id Owner;
  std::shared_ptr<TReportState> State;
  int Report = 0;        // 0 main, k subreport k
  RE_JOB Parent = 0;     // subreport jobs: the main job
  int ErrorCode = 0;
  std::string ErrorText;

  const TReportDef& Def() const { return State->File->Report(Report); }
};

struct TJobTable {
  std::mutex Mutex;
  std::unordered_map<RE_JOB, std::shared_ptr<TJob>> Jobs;
  int Next = 1;
};

TJobTable& Table() {
  // Never destroyed: threads may still close jobs while the process exits.
  static TJobTable* table = new TJobTable;
  return *table;
}

void RemoveJobsOf(std::thread::id owner, RE_JOB only = 0) {
  TJobTable& t = Table();
  std::lock_guard lock(t.Mutex);
  for (auto it = t.Jobs.begin(); it != t.Jobs.end();) {
    const TJob& j = *it->second;
    bool match = j.Owner == owner && (only == 0 || j.Handle == only || j.Parent == only);
    it = match ? t.Jobs.erase(it) : std::next(it);
  }
}

struct TSession {
  int OpenCount = 0;
  int Job0Code = 0;
  std::string Job0Text;
  std::unordered_map<RE_HANDLE, std::string> Handles;
  RE_HANDLE NextHandle = 1;
  std::string TempPath;

  ~TSession() {
    // A thread that ends with the engine still open leaves no jobs behind.
    if (OpenCount > 0) RemoveJobsOf(std::this_thread::get_id());
  }
};

thread_local TSession tSession;

std::shared_ptr<TJob> FindJob(RE_JOB handle) {
  if (handle <= 0) return nullptr;
  TJobTable& t = Table();
  std::lock_guard lock(t.Mutex);
  auto it = t.Jobs.find(handle);
  if (it == t.Jobs.end() || it->second->Owner != std::this_thread::get_id()) return nullptr;
  return it->second;
}

RE_JOB AddJob(std::shared_ptr<TJob> job) {
  TJobTable& t = Table();
  std::lock_guard lock(t.Mutex);
  for (int tries = 0; tries < 32767; ++tries) {
    RE_JOB h = static_cast<RE_JOB>(t.Next);
    t.Next = t.Next >= 32767 ? 1 : t.Next + 1;
    if (!t.Jobs.count(h)) {
      job->Handle = h;
      t.Jobs.emplace(h, std::move(job));
      return h;
    }
  }
  throw ERpeError(RE_ERR_TOOMANYJOBS, "no print job handle is free: 32767 print jobs are open; close some");
}

void SetJob0Error(int code, const std::string& text) {
  tSession.Job0Code = code;
  tSession.Job0Text = text;
}

RE_HANDLE NewHandle(std::string text) {
  RE_HANDLE h = tSession.NextHandle++;
  if (tSession.NextHandle == 0) tSession.NextHandle = 1;
  tSession.Handles[h] = std::move(text);
  return h;
}

std::string TempFolder() {
  if (!tSession.TempPath.empty()) return tSession.TempPath;
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}

template <class TRecord>
void CheckSize(const TRecord* r, const char* name) {
  if (!r) throw ERpeError(RE_ERR_BADARGUMENT, std::string("no ") + name + " record was given (null pointer)");
  if (r->StructSize != sizeof(TRecord))
    throw ERpeError(RE_ERR_BADSTRUCTSIZE, std::string(name) + ".StructSize is " + std::to_string(r->StructSize) +
                                              "; this engine knows " + std::to_string(sizeof(TRecord)));
}

// Runs f, turning every exception into the code and text kept for the job
// (or job 0). Returns whether f succeeded.
template <class F>
bool Guard(TJob* job, F&& f) {
  int code = 0;
  std::string text;
  try {
    f();
    return true;
  } catch (const ERpeError& e) {
    code = e.Code();
    text = e.what();
  } catch (const EDefinitionError& e) {
    code = RE_ERR_DEFINITION;
    text = e.what();
  } catch (const std::bad_alloc&) {
    code = RE_ERR_NOMEMORY;
    text = "the engine ran out of memory";
  } catch (const std::exception& e) {
    code = RE_ERR_INTERNAL;
    text = std::string("unexpected failure in the engine: ") + e.what();
  } catch (...) {
    code = RE_ERR_INTERNAL;
    text = "unexpected failure in the engine";
  }
  try {
    if (job) {
      job->ErrorCode = code;
      job->ErrorText = text;
    } else {
      SetJob0Error(code, text);
    }
  } catch (...) {
  }
  return false;
}

// Finds the caller's job and runs f on it; failures go to that job, or to
// job 0 when the engine is not open or the handle is not this thread's.
template <class F>
bool WithJob(RE_JOB handle, F&& f) {
  if (tSession.OpenCount <= 0) {
    return Guard(nullptr, [] { throw ERpeError(RE_ERR_NOTOPEN, "the engine is not open in this thread; call REOpenEngine first"); });
  }
  std::shared_ptr<TJob> job = FindJob(handle);
  if (!job) {
    return Guard(nullptr, [&] {
      throw ERpeError(RE_ERR_BADJOB, "no open print job of this thread has the handle " + std::to_string(handle));
    });
  }
  return Guard(job.get(), [&] { f(*job); });
}

std::string ReportLabel(const TReportFile& f, int report) {
  return report == 0 ? std::string("the report") : "subreport \"" + f.Report(report).Name + "\"";
}

// Parameters a job lists: the main job all (main first, then each
// subreport's), a subreport job its own. As (report, parameter).
std::vector<std::pair<int, int>> ParamList(const TJob& job) {
  std::vector<std::pair<int, int>> out;
  const TReportFile& f = *job.State->File;
  for (int r = 0; r < f.ReportCount(); ++r) {
    if (job.Report != 0 && r != job.Report) continue;
    for (std::size_t p = 0; p < f.Report(r).Params.size(); ++p) out.emplace_back(r, static_cast<int>(p));
  }
  return out;
}

std::pair<int, int> NthParam(const TJob& job, int n) {
  std::vector<std::pair<int, int>> list = ParamList(job);
  if (n < 0 || static_cast<std::size_t>(n) >= list.size())
    throw ERpeError(RE_ERR_BADINDEX, "there is no parameter " + std::to_string(n) + "; the report has " +
                                         std::to_string(list.size()) + " (counted from 0)");
  return list[static_cast<std::size_t>(n)];
}

std::pair<int, int> NamedParam(const TJob& job, const char* name, const char* reportName) {
  if (!name) throw ERpeError(RE_ERR_BADARGUMENT, "no parameter name was given (null pointer)");
  std::string sub = reportName ? reportName : "";
  const TReportFile& f = *job.State->File;
  for (int r = 0; r < f.ReportCount(); ++r) {
    if (r == 0 ? !sub.empty() : f.Report(r).Name != sub) continue;
    int p = f.Report(r).FindParam(name);
    if (p >= 0) return {r, p};
    break;
  }
  throw ERpeError(RE_ERR_PARAMUNKNOWN, std::string("there is no parameter \"") + name + "\" in " +
                                           (sub.empty() ? std::string("the main report") : "subreport \"" + sub + "\""));
}

const TParamDef& ParamDef(const TJob& job, std::pair<int, int> rp) {
  return job.State->File->Report(rp.first).Params[static_cast<std::size_t>(rp.second)];
}

TParamState& ParamState(TJob& job, std::pair<int, int> rp) {
  return job.State->Params[static_cast<std::size_t>(rp.first)][static_cast<std::size_t>(rp.second)];
}

void RefuseLinked(const TParamDef& p) {
  if (!p.LinkField.empty())
    throw ERpeError(RE_ERR_NOTCURRENTVALUES, "parameter \"" + p.Name + "\" is linked: each row of the main report "
                                                 "gives its value from field \"" + p.LinkField +
                                                 "\", so it has no current values to read or set");
}

// A value converted to a parameter's type where that loses nothing
// essential: number kinds among themselves, date and date-time.
std::optional<TValue> ToParamType(const TValue& v, TParamType type) {
  if (v.Type == type) return v;
  auto numeric = [](TParamType t) { return t == TParamType::Number || t == TParamType::Currency; };
  auto whole = [](TParamType t) { return t == TParamType::Integer || t == TParamType::Long; };
  TValue out = v;
  out.Type = type;
  if (numeric(type) && (numeric(v.Type) || whole(v.Type))) {
    if (whole(v.Type)) out.Number = static_cast<double>(v.Integer);
    return out;
  }
  if (whole(type) && whole(v.Type)) return out;
  if (type == TParamType::Date && v.Type == TParamType::DateTime) {
    out.Time.Hour = out.Time.Minute = out.Time.Second = 0;
    return out;
  }
  if (type == TParamType::DateTime && v.Type == TParamType::Date) return out;
  if ((type == TParamType::String || type == TParamType::StringHandle) &&
      (v.Type == TParamType::String || v.Type == TParamType::StringHandle))
    return out;
  return std::nullopt;
}

void CheckLimits(const TParamDef& p, const TValue& v) {
  if ((p.Min && CompareValues(v, *p.Min) < 0) || (p.Max && CompareValues(v, *p.Max) > 0))
    throw ERpeError(RE_ERR_PARAMVALUE, "the value \"" + FormatValueText(v) + "\" of parameter \"" + p.Name +
                                           "\" is outside its limits (" + (p.Min ? FormatValueText(*p.Min) : "") +
                                           " .. " + (p.Max ? FormatValueText(*p.Max) : "") + ")");
}

TValue Accept(const TParamDef& p, const TValue& given) {
  auto v = ToParamType(given, p.Type);
  if (!v)
    throw ERpeError(RE_ERR_PARAMTYPE, "parameter \"" + p.Name + "\" takes " + std::string(ParamTypeName(p.Type)) +
                                          " values; a " + std::string(ParamTypeName(given.Type)) + " value was given");
  CheckLimits(p, *v);
  return *v;
}

// The values a run binds for each parameter of each report.
std::vector<std::vector<std::vector<TValue>>> EffectiveParams(const TReportState& s) {
  const TReportFile& f = *s.File;
  std::vector<std::vector<std::vector<TValue>>> out(static_cast<std::size_t>(f.ReportCount()));
  for (int r = 0; r < f.ReportCount(); ++r) {
    const TReportDef& d = f.Report(r);
    for (std::size_t i = 0; i < d.Params.size(); ++i) {
      const TParamDef& p = d.Params[i];
      const TParamState& st = s.Params[static_cast<std::size_t>(r)][i];
      std::vector<TValue> values;
      if (!p.LinkField.empty() || p.Type == TParamType::NoValue) {
        // Linked: filled from each main row. No value: nothing to bind.
      } else if (st.Touched && (!st.Values.empty() || p.Multiple)) {
        values = st.Values;
      } else if (!p.Defaults.empty()) {
        values = p.Multiple ? p.Defaults : std::vector<TValue>{p.Defaults.front()};
      } else if (!p.Multiple && !p.Nullable) {
        throw ERpeError(RE_ERR_PARAMMISSING,
                        "parameter \"" + p.Name + "\" of " + ReportLabel(f, r) +
                            " has no value and no default, and the engine does not prompt for values; give it a "
                            "value (REAddParameterCurrentValue) or a default in the definition");
      }
      out[static_cast<std::size_t>(r)].push_back(std::move(values));
    }
  }
  return out;
}

std::vector<mv::odbc::TLogon> EffectiveLogons(const TReportState& s) {
  std::vector<mv::odbc::TLogon> out;
  const TReportFile& f = *s.File;
  for (int r = 0; r < f.ReportCount(); ++r) {
    const auto& tables = s.Logons[static_cast<std::size_t>(r)];
    const auto& l = tables.empty() ? (s.Logons[0].empty() ? TLogonValues{} : s.Logons[0][0]) : tables[0];
    out.push_back({l.Server, l.User, l.Password, l.Database});
  }
  return out;
}

std::unique_ptr<TReportSink> MakeSink(const TReportState& s) {
  const TExportSettings& e = s.Export;
  switch (e.Format) {
    case TExportFormat::Separated: return MakeSeparatedWriter(e.FileName, e.Separated);
    case TExportFormat::TabSeparated: return MakeTabSeparatedWriter(e.FileName);
    case TExportFormat::Text: return MakeTextWriter(e.FileName, TempFolder());
    case TExportFormat::Html: return MakeHtmlWriter(e.FileName, TempFolder(), e.Html);
    case TExportFormat::Xml: return MakeXmlWriter(e.FileName);
    case TExportFormat::Pdf: {
      TPdfOptions po;
      po.FirstPage = e.FirstPage;
      po.LastPage = e.LastPage;
      return MakePdfWriter(e.FileName, TempFolder(), po);
    }
    case TExportFormat::Xlsx: return MakeXlsxWriter(e.FileName, TempFolder());
    case TExportFormat::Rtf: return MakeRtfWriter(e.FileName);
  }
  throw ERpeError(RE_ERR_EXPORTFORMAT, "unknown export format");
}

bool SameName(const char* a, const char* b) { return strcasecmp(a, b) == 0; }

// A page range from an option record: pages from `first` (0: the first) to
// `last` (0: the last).
void CheckPageRange(long first, long last) {
  if (last != 0 && last < std::max(first, 1L))
    throw ERpeError(RE_ERR_BADARGUMENT, "the page range ends at page " + std::to_string(last) +
                                            ", before its first page " + std::to_string(std::max(first, 1L)));
}

// Only PDF (and printing) can leave pages out; anything else would
// silently get the whole report.
void RefusePageRange(uint16_t usePageRange, const char* format) {
  if (usePageRange)
    throw ERpeError(RE_ERR_BADARGUMENT, std::string("a page range is exported to PDF or printed only; ") + format +
                                            " exports take the whole report (set UsePageRange to 0)");
}

void SetExport(TReportState& s, const REExportOptions* o) {
  CheckSize(o, "REExportOptions");
  std::string fmt(o->FormatDLLName, strnlen(o->FormatDLLName, sizeof o->FormatDLLName));
  std::string dest(o->DestinationDLLName, strnlen(o->DestinationDLLName, sizeof o->DestinationDLLName));
  TExportSettings e;
  std::string fileFromFormat;
  if (SameName(fmt.c_str(), RE_FMT_SEPV) && (o->FormatType == 3 || o->FormatType == 4)) {
    e.Format = o->FormatType == 3 ? TExportFormat::Separated : TExportFormat::TabSeparated;
    if (const auto* so = static_cast<const RESepValOptions*>(o->FormatOptions)) {
      CheckSize(so, "RESepValOptions");
      e.Separated.Quote = so->StringDelimiter;
      e.Separated.Separator = std::string(so->FieldDelimiter, strnlen(so->FieldDelimiter, sizeof so->FieldDelimiter));
      e.Separated.UseNumberFormat = so->UseReportNumberFormat != 0;
      e.Separated.UseDateFormat = so->UseReportDateFormat != 0;
      if (e.Separated.Separator.find_first_of("\r\n") != std::string::npos ||
          (so->StringDelimiter != '\0' && e.Separated.Separator.find(so->StringDelimiter) != std::string::npos))
        throw ERpeError(RE_ERR_BADARGUMENT, "the field separator must not hold a line break or the string delimiter");
    }
  } else if (SameName(fmt.c_str(), RE_FMT_TEXT) && o->FormatType == 0) {
    e.Format = TExportFormat::Text;
  } else if (SameName(fmt.c_str(), RE_FMT_HTML) && (o->FormatType == 2 || o->FormatType == 3)) {
    e.Format = TExportFormat::Html;
    if (const auto* ho = static_cast<const REHtmlOptions*>(o->FormatOptions)) {
      CheckSize(ho, "REHtmlOptions");
      fileFromFormat = std::string(ho->FileName, strnlen(ho->FileName, sizeof ho->FileName));
      e.Html.PageNavigator = ho->PageNavigator != 0;
      e.Html.SeparatePages = ho->SeparatePages != 0;
      RefusePageRange(ho->UsePageRange, "HTML");
    }
  } else if (SameName(fmt.c_str(), RE_FMT_XML) && o->FormatType == 0) {
    e.Format = TExportFormat::Xml;
    if (const auto* xo = static_cast<const REXmlOptions*>(o->FormatOptions)) {
      CheckSize(xo, "REXmlOptions");
      fileFromFormat = std::string(xo->FileName, strnlen(xo->FileName, sizeof xo->FileName));
    }
  } else if (SameName(fmt.c_str(), RE_FMT_PDF) && o->FormatType == 0) {
    e.Format = TExportFormat::Pdf;
    if (const auto* po = static_cast<const REPdfOptions*>(o->FormatOptions)) {
      CheckSize(po, "REPdfOptions");
      if (po->UsePageRange) {
        CheckPageRange(po->FirstPageNo, po->LastPageNo);
        e.FirstPage = po->FirstPageNo;
        e.LastPage = po->LastPageNo;
      }
    }
  } else if (SameName(fmt.c_str(), RE_FMT_XLS) && (o->FormatType == 9 || o->FormatType == 10)) {
    // The options shape a page-oriented spreadsheet layout; the workbook is
    // always one table of rows, so they are checked but change nothing.
    if (const auto* xo = static_cast<const REExcelOptions*>(o->FormatOptions)) {
      CheckSize(xo, "REExcelOptions");
      RefusePageRange(xo->UsePageRange, "workbook");
    }
    e.Format = TExportFormat::Xlsx;
  } else if ((SameName(fmt.c_str(), RE_FMT_WORD) || SameName(fmt.c_str(), RE_FMT_RTF)) && o->FormatType == 0) {
    // Word reads rich text as its own: both are the RTF document.
    if (SameName(fmt.c_str(), RE_FMT_WORD)) {
      if (const auto* wo = static_cast<const REWordOptions*>(o->FormatOptions)) {
        CheckSize(wo, "REWordOptions");
        RefusePageRange(wo->UsePageRange, "Word");
      }
    }
    e.Format = TExportFormat::Rtf;
  } else {
    throw ERpeError(RE_ERR_EXPORTFORMAT, "unknown export format \"" + fmt + "\" type " + std::to_string(o->FormatType) +
                                             "; known: " RE_FMT_SEPV " 3 (comma-separated) and 4 (tab-separated), "
                                             RE_FMT_TEXT " 0, " RE_FMT_HTML " 2 and 3, " RE_FMT_XML " 0, " RE_FMT_PDF " 0, " RE_FMT_XLS " 9 and 10, " RE_FMT_WORD " 0, " RE_FMT_RTF " 0");
  }
  if (!SameName(dest.c_str(), RE_DEST_DISK) || o->DestinationType != 0)
    throw ERpeError(RE_ERR_EXPORTDEST, "unknown export destination \"" + dest + "\" type " +
                                           std::to_string(o->DestinationType) + "; this engine writes to a disk file ("
                                           RE_DEST_DISK " 0)");
  const auto* disk = static_cast<const REDiskOptions*>(o->DestinationOptions);
  std::string file;
  if (disk) {
    CheckSize(disk, "REDiskOptions");
    file = std::string(disk->FileName, strnlen(disk->FileName, sizeof disk->FileName));
  }
  if (!fileFromFormat.empty()) file = fileFromFormat;
  if (file.empty()) throw ERpeError(RE_ERR_EXPORTDEST, "the export names no file (REDiskOptions.FileName is empty)");
  e.FileName = file;
  s.Export = e;
  s.Output = TOutputKind::Export;
}

void Run(TJob& job) {
  TReportState& s = *job.State;
  if (s.Running) throw ERpeError(RE_ERR_ALREADYSTARTED, "the print job is already running");
  switch (s.Output) {
    case TOutputKind::None:
      throw ERpeError(RE_ERR_NOOUTPUT, "no output is chosen for the print job; call REExportTo first");
    case TOutputKind::Window:
      RequireDisplay();
      break;
    case TOutputKind::Printer:
    case TOutputKind::Export:
      break;
  }
  // Printer and preview: the report is drawn into a PDF in the temporary
  // folder first, and the printer checked before the query runs.
  std::string printer, pdf;
  if (s.Output == TOutputKind::Printer) printer = ChoosePrinter(s.PrinterName, s.File->Page.Printer);
  if (s.Output != TOutputKind::Export) {
    static std::atomic<unsigned> counter{0};
    pdf = TempFolder() + "/rpeng-" + (s.Output == TOutputKind::Printer ? "print-" : "preview-") +
          std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".pdf";
  }
  struct TRemove {
    std::string Path;
    ~TRemove() {
      if (!Path.empty()) ::unlink(Path.c_str());
    }
  } removePrinted{s.Output == TOutputKind::Printer ? pdf : std::string()};
  struct TRunning {
    bool& Flag;
    explicit TRunning(bool& f) : Flag(f) { Flag = true; }
    ~TRunning() { Flag = false; }
  } running(s.Running);
  TRunSettings settings;
  settings.File = s.File.get();
  settings.Params = EffectiveParams(s);
  settings.Logons = EffectiveLogons(s);
  settings.PrintTime = LocalNow();
  std::unique_ptr<TReportSink> sink;
  if (pdf.empty()) {
    sink = MakeSink(s);
  } else {
    TPdfOptions po;
    po.Orientation = s.Orientation;
    // The pages to print are left out of the document itself, so any
    // printer gets only them.
    if (s.Output == TOutputKind::Printer) {
      po.FirstPage = s.PrintOptions.StartPageN;
      po.LastPage = s.PrintOptions.StopPageN;
    }
    sink = MakePdfWriter(pdf, TempFolder(), po);
  }
  RunReport(settings, *sink);
  std::string title = s.File->Summary.Title.empty() ? s.File->Main.Name : s.File->Summary.Title;
  if (s.Output == TOutputKind::Printer) PrintPdf(pdf, printer, s.Copies, title);
  if (s.Output == TOutputKind::Window) OpenInViewer(pdf);
}

std::string FromC(const char* s, std::size_t max) { return s ? std::string(s, strnlen(s, max)) : std::string(); }

}  // namespace
}  // namespace mv::rpe

using namespace mv::rpe;

/* ---- Engine and print jobs ---------------------------------------------- */

RE_BOOL REOpenEngine(void) {
  ++tSession.OpenCount;
  return 1;
}

void RECloseEngine(void) {
  if (tSession.OpenCount <= 0) return;
  if (--tSession.OpenCount == 0) RemoveJobsOf(std::this_thread::get_id());
}

RE_BOOL RESetTempFilePath(const char* path) {
  return Guard(nullptr, [&] {
    if (!path || !*path) throw ERpeError(RE_ERR_BADARGUMENT, "no temporary folder was given");
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISDIR(st.st_mode))
      throw ERpeError(RE_ERR_BADARGUMENT, std::string("the temporary folder \"") + path + "\" does not exist");
    if (::access(path, W_OK | X_OK) != 0)
      throw ERpeError(RE_ERR_BADARGUMENT, std::string("the temporary folder \"") + path + "\" is not writable");
    tSession.TempPath = path;
  });
}

RE_JOB REOpenPrintJob(const char* reportFilePath) {
  RE_JOB handle = 0;
  Guard(nullptr, [&] {
    if (tSession.OpenCount <= 0)
      throw ERpeError(RE_ERR_NOTOPEN, "the engine is not open in this thread; call REOpenEngine first");
    if (!reportFilePath || !*reportFilePath) throw ERpeError(RE_ERR_BADARGUMENT, "no report file was given");
    std::shared_ptr<const TReportFile> file;
    try {
      file = std::make_shared<const TReportFile>(ReadDefinitionFile(reportFilePath));
    } catch (const EDefinitionFileError& e) {
      throw ERpeError(RE_ERR_FILEOPEN, e.what());
    }
    auto state = std::make_shared<TReportState>();
    state->File = file;
    for (int r = 0; r < file->ReportCount(); ++r) {
      std::vector<TLogonValues> logons;
      for (const TTableDef& t : file->Report(r).Tables) logons.push_back({t.DataSource, t.Database, t.User, ""});
      state->Logons.push_back(std::move(logons));
      state->Params.emplace_back(file->Report(r).Params.size());
    }
    auto job = std::make_shared<TJob>();
    job->Owner = std::this_thread::get_id();
    job->State = std::move(state);
    handle = AddJob(std::move(job));
  });
  return handle;
}

RE_BOOL REClosePrintJob(RE_JOB job) {
  return WithJob(job, [&](TJob& j) { RemoveJobsOf(j.Owner, j.Handle); });
}

RE_JOB REOpenSubreport(RE_JOB parentJob, const char* subreportName) {
  RE_JOB handle = 0;
  WithJob(parentJob, [&](TJob& parent) {
    if (parent.Report != 0)
      throw ERpeError(RE_ERR_BADARGUMENT, "a subreport has no subreports of its own; open it from the main report's job");
    if (!subreportName) throw ERpeError(RE_ERR_BADARGUMENT, "no subreport name was given (null pointer)");
    const TReportFile& f = *parent.State->File;
    int found = -1;
    for (std::size_t i = 0; i < f.Subreports.size(); ++i)
      if (f.Subreports[i].Name == subreportName) found = static_cast<int>(i) + 1;
    if (found < 0)
      throw ERpeError(RE_ERR_BADARGUMENT, std::string("the report has no subreport named \"") + subreportName + "\"");
    auto job = std::make_shared<TJob>();
    job->Owner = parent.Owner;
    job->State = parent.State;
    job->Report = found;
    job->Parent = parent.Handle;
    handle = AddJob(std::move(job));
  });
  return handle;
}

RE_BOOL RECloseSubreport(RE_JOB subreportJob) {
  return WithJob(subreportJob, [&](TJob& j) {
    if (j.Report == 0) throw ERpeError(RE_ERR_BADJOB, "job " + std::to_string(j.Handle) + " is not a subreport's job");
    RemoveJobsOf(j.Owner, j.Handle);
  });
}

RE_BOOL REEnableProgressDialog(RE_JOB job, RE_BOOL enable) {
  return WithJob(job, [&](TJob& j) { j.State->ProgressDialog = enable != 0; });
}

/* ---- Errors and texts --------------------------------------------------- */

int16_t REGetErrorCode(RE_JOB job) {
  if (job == 0) return static_cast<int16_t>(tSession.Job0Code);
  std::shared_ptr<TJob> j = FindJob(job);
  return j ? static_cast<int16_t>(j->ErrorCode) : static_cast<int16_t>(-1);
}

RE_BOOL REGetErrorText(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength) {
  std::string text;
  if (job == 0) {
    text = tSession.Job0Text;
  } else {
    std::shared_ptr<TJob> j = FindJob(job);
    if (!j)
      return Guard(nullptr, [&] {
        throw ERpeError(RE_ERR_BADJOB, "no open print job of this thread has the handle " + std::to_string(job));
      });
    text = j->ErrorText;
  }
  return Guard(nullptr, [&] {
    if (!textHandle || !textLength) throw ERpeError(RE_ERR_BADARGUMENT, "REGetErrorText needs a handle and a length pointer");
    *textLength = static_cast<int32_t>(text.size());
    *textHandle = NewHandle(std::move(text));
  });
}

RE_BOOL REGetHandleString(RE_HANDLE textHandle, char* buffer, int32_t bufferSize) {
  return Guard(nullptr, [&] {
    auto it = tSession.Handles.find(textHandle);
    if (it == tSession.Handles.end())
      throw ERpeError(RE_ERR_BADHANDLE, "text handle " + std::to_string(textHandle) + " is unknown or already released");
    if (!buffer || bufferSize <= 0) throw ERpeError(RE_ERR_BADARGUMENT, "REGetHandleString needs a buffer");
    CopyCText(buffer, static_cast<std::size_t>(bufferSize), it->second);
    tSession.Handles.erase(it);
  });
}

/* ---- Tables and logon ---------------------------------------------------- */

int16_t REGetNTables(RE_JOB job) {
  int16_t n = -1;
  WithJob(job, [&](TJob& j) { n = static_cast<int16_t>(j.Def().Tables.size()); });
  return n;
}

namespace {
TLogonValues& TableLogon(TJob& j, int16_t tableN) {
  auto& tables = j.State->Logons[static_cast<std::size_t>(j.Report)];
  if (tableN < 0 || static_cast<std::size_t>(tableN) >= tables.size())
    throw ERpeError(RE_ERR_BADINDEX, "there is no table " + std::to_string(tableN) + "; " +
                                         ReportLabel(*j.State->File, j.Report) + " has " + std::to_string(tables.size()) +
                                         " (counted from 0)");
  return tables[static_cast<std::size_t>(tableN)];
}
}  // namespace

RE_BOOL REGetNthTableLogOnInfo(RE_JOB job, int16_t tableN, RELogOnInfo* info) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(info, "RELogOnInfo");
    const TLogonValues& l = TableLogon(j, tableN);
    CopyCText(info->ServerName, sizeof info->ServerName, l.Server);
    CopyCText(info->DatabaseName, sizeof info->DatabaseName, l.Database);
    CopyCText(info->UserID, sizeof info->UserID, l.User);
    CopyCText(info->Password, sizeof info->Password, l.Password);
  });
}

RE_BOOL RESetNthTableLogOnInfo(RE_JOB job, int16_t tableN, const RELogOnInfo* info, RE_BOOL propagate) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(info, "RELogOnInfo");
    TableLogon(j, tableN);  // checks the index
    TLogonValues l{FromC(info->ServerName, sizeof info->ServerName), FromC(info->DatabaseName, sizeof info->DatabaseName),
                   FromC(info->UserID, sizeof info->UserID), FromC(info->Password, sizeof info->Password)};
    auto& tables = j.State->Logons[static_cast<std::size_t>(j.Report)];
    if (propagate)
      std::fill(tables.begin(), tables.end(), l);
    else
      tables[static_cast<std::size_t>(tableN)] = l;
  });
}

/* ---- Sections and subreports --------------------------------------------- */

int16_t REGetNSections(RE_JOB job) {
  int16_t n = -1;
  WithJob(job, [&](TJob& j) { n = static_cast<int16_t>(j.Def().Sections().size()); });
  return n;
}

int16_t REGetSectionCode(RE_JOB job, int16_t sectionN) {
  int16_t code = 0;
  WithJob(job, [&](TJob& j) {
    auto sections = j.Def().Sections();
    if (sectionN < 0 || static_cast<std::size_t>(sectionN) >= sections.size())
      throw ERpeError(RE_ERR_BADINDEX, "there is no section " + std::to_string(sectionN) + "; the report has " +
                                           std::to_string(sections.size()) + " (counted from 0)");
    code = static_cast<int16_t>(sections[static_cast<std::size_t>(sectionN)].first);
  });
  return code;
}

namespace {
std::vector<int> SubreportsIn(const TJob& j, int16_t sectionCode) {
  for (const auto& [code, section] : j.Def().Sections()) {
    if (code != sectionCode) continue;
    std::vector<int> out;
    for (const TSectionItem& item : section->Items)
      if (item.Kind == TSectionItem::TKind::Subreport) out.push_back(item.Subreport);
    return out;
  }
  throw ERpeError(RE_ERR_BADINDEX, "the report has no section with code " + std::to_string(sectionCode));
}
}  // namespace

int16_t REGetNSubreportsInSection(RE_JOB job, int16_t sectionCode) {
  int16_t n = -1;
  WithJob(job, [&](TJob& j) { n = static_cast<int16_t>(SubreportsIn(j, sectionCode).size()); });
  return n;
}

uint32_t REGetNthSubreportInSection(RE_JOB job, int16_t sectionCode, int16_t subreportN) {
  uint32_t h = 0;
  WithJob(job, [&](TJob& j) {
    std::vector<int> subs = SubreportsIn(j, sectionCode);
    if (subreportN < 0 || static_cast<std::size_t>(subreportN) >= subs.size())
      throw ERpeError(RE_ERR_BADINDEX, "section " + std::to_string(sectionCode) + " has no subreport " +
                                           std::to_string(subreportN) + " (it has " + std::to_string(subs.size()) + ")");
    h = static_cast<uint32_t>(subs[static_cast<std::size_t>(subreportN)]) + 1;
  });
  return h;
}

RE_BOOL REGetSubreportInfo(RE_JOB job, uint32_t subreportHandle, RESubreportInfo* info) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(info, "RESubreportInfo");
    const TReportFile& f = *j.State->File;
    if (subreportHandle == 0 || subreportHandle > f.Subreports.size())
      throw ERpeError(RE_ERR_BADINDEX, "subreport handle " + std::to_string(subreportHandle) + " is unknown");
    const TReportDef& sub = f.Subreports[subreportHandle - 1];
    CopyCText(info->Name, sizeof info->Name, sub.Name);
    info->NLinks = static_cast<int16_t>(
        std::count_if(sub.Params.begin(), sub.Params.end(), [](const TParamDef& p) { return !p.LinkField.empty(); }));
  });
}

/* ---- Parameters ------------------------------------------------------------ */

int16_t REGetNParameterFields(RE_JOB job) {
  int16_t n = -1;
  WithJob(job, [&](TJob& j) { n = static_cast<int16_t>(ParamList(j).size()); });
  return n;
}

RE_BOOL REGetNthParameterField(RE_JOB job, int16_t parameterN, REParameterFieldInfo* info) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(info, "REParameterFieldInfo");
    auto rp = NthParam(j, parameterN);
    const TParamDef& p = ParamDef(j, rp);
    const TParamState& st = ParamState(j, rp);
    std::memset(reinterpret_cast<char*>(info) + sizeof info->StructSize, 0, sizeof *info - sizeof info->StructSize);
    info->ValueType = static_cast<uint16_t>(p.Type);
    info->DiscreteOrRangeKind = static_cast<uint16_t>(p.Kind);
    info->AllowMultipleValues = p.Multiple ? 1 : 0;
    info->DefaultValueSet = p.Defaults.empty() ? 0 : 1;
    info->CurrentValueSet = st.Touched && !st.Values.empty() ? 1 : 0;
    info->IsLinked = p.LinkField.empty() ? 0 : 1;
    CopyCText(info->Name, sizeof info->Name, p.Name);
    CopyCText(info->ReportName, sizeof info->ReportName, rp.first == 0 ? "" : j.State->File->Report(rp.first).Name);
    CopyCText(info->Prompt, sizeof info->Prompt, p.Prompt);
    if (!p.Defaults.empty()) CopyCText(info->DefaultValue, sizeof info->DefaultValue, FormatValueText(p.Defaults.front()));
    if (info->CurrentValueSet) CopyCText(info->CurrentValue, sizeof info->CurrentValue, FormatValueText(st.Values.front()));
  });
}

RE_BOOL RESetNthParameterField(RE_JOB job, int16_t parameterN, const REParameterFieldInfo* info) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(info, "REParameterFieldInfo");
    auto rp = NthParam(j, parameterN);
    const TParamDef& p = ParamDef(j, rp);
    RefuseLinked(p);
    TParamState& st = ParamState(j, rp);
    if (!info->CurrentValueSet) {
      st.Touched = false;
      st.Values.clear();
      return;
    }
    std::string text = FromC(info->CurrentValue, sizeof info->CurrentValue);
    auto v = ParseValueText(text, p.Type);
    if (!v)
      throw ERpeError(RE_ERR_PARAMTYPE, "\"" + text + "\" is not a " + std::string(ParamTypeName(p.Type)) +
                                            " value for parameter \"" + p.Name + "\"");
    CheckLimits(p, *v);
    st.Values.assign(1, *v);
    st.Touched = true;
  });
}

int16_t REGetNthParameterType(RE_JOB job, int16_t parameterN) {
  int16_t t = -1;
  WithJob(job, [&](TJob& j) {
    NthParam(j, parameterN);
    t = RE_PT_REPORTPARAMETER;
  });
  return t;
}

RE_BOOL REConvertPFInfoToVInfo(const char* value, uint16_t valueType, REValueInfo* valueInfo) {
  return Guard(nullptr, [&] {
    CheckSize(valueInfo, "REValueInfo");
    if (!value) throw ERpeError(RE_ERR_BADARGUMENT, "no value text was given (null pointer)");
    if (valueType >= kParamTypeCount)
      throw ERpeError(RE_ERR_BADARGUMENT, "value type " + std::to_string(valueType) + " is not one of the 13 types");
    auto v = ParseValueText(value, static_cast<TParamType>(valueType));
    if (!v)
      throw ERpeError(RE_ERR_PARAMTYPE, std::string("\"") + value + "\" is not a " +
                                            std::string(ParamTypeName(static_cast<TParamType>(valueType))) + " value");
    ToValueInfo(*v, *valueInfo);
  });
}

RE_BOOL REConvertVInfoToPFInfo(const REValueInfo* valueInfo, uint16_t* valueType, char* value) {
  return Guard(nullptr, [&] {
    CheckSize(valueInfo, "REValueInfo");
    if (!valueType || !value) throw ERpeError(RE_ERR_BADARGUMENT, "REConvertVInfoToPFInfo needs a type and a text buffer");
    auto v = FromValueInfo(*valueInfo);
    if (!v)
      throw ERpeError(RE_ERR_PARAMTYPE, "the value record does not hold a valid value of type " +
                                            std::to_string(valueInfo->ValueType));
    *valueType = valueInfo->ValueType;
    CopyCText(value, RE_TEXT_LEN, FormatValueText(*v));
  });
}

RE_BOOL REGetParameterMinMaxValue(RE_JOB job, const char* name, const char* reportName, REValueInfo* minValue,
                                  REValueInfo* maxValue) {
  return WithJob(job, [&](TJob& j) {
    const TParamDef& p = ParamDef(j, NamedParam(j, name, reportName));
    auto fill = [&](REValueInfo* out, const std::optional<TValue>& v, const char* what) {
      if (!out) return;
      CheckSize(out, what);
      if (v) {
        ToValueInfo(*v, *out);
      } else {
        std::uint16_t size = out->StructSize;
        std::memset(out, 0, sizeof *out);
        out->StructSize = size;
        out->ValueType = RE_PF_NOVALUE;
      }
    };
    fill(minValue, p.Min, "REValueInfo");
    fill(maxValue, p.Max, "REValueInfo");
  });
}

RE_BOOL REGetParameterValueInfo(RE_JOB job, const char* name, const char* reportName, REParameterValueInfo* info) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(info, "REParameterValueInfo");
    const TParamDef& p = ParamDef(j, NamedParam(j, name, reportName));
    info->IsNullable = p.Nullable ? 1 : 0;
    info->DisallowEditing = p.Editable ? 0 : 1;
    info->AllowMultipleValues = p.Multiple ? 1 : 0;
    info->DiscreteOrRangeKind = static_cast<uint16_t>(p.Kind);
    info->HasLimits = p.Min || p.Max ? 1 : 0;
  });
}

RE_BOOL REGetParameterBrowseField(RE_JOB job, const char* name, const char* reportName, char* tableAndField,
                                  int32_t bufferSize) {
  return WithJob(job, [&](TJob& j) {
    const TParamDef& p = ParamDef(j, NamedParam(j, name, reportName));
    if (!tableAndField || bufferSize <= 0) throw ERpeError(RE_ERR_BADARGUMENT, "REGetParameterBrowseField needs a buffer");
    CopyCText(tableAndField, static_cast<std::size_t>(bufferSize), p.BrowseField);
  });
}

int16_t REGetNParameterCurrentValues(RE_JOB job, const char* name, const char* reportName) {
  int16_t n = -1;
  WithJob(job, [&](TJob& j) {
    auto rp = NamedParam(j, name, reportName);
    RefuseLinked(ParamDef(j, rp));
    const TParamState& st = ParamState(j, rp);
    n = static_cast<int16_t>(st.Touched ? st.Values.size() : 0);
  });
  return n;
}

RE_BOOL REGetNthParameterCurrentValue(RE_JOB job, const char* name, const char* reportName, int16_t valueN,
                                      REValueInfo* value) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(value, "REValueInfo");
    auto rp = NamedParam(j, name, reportName);
    RefuseLinked(ParamDef(j, rp));
    const TParamState& st = ParamState(j, rp);
    std::size_t count = st.Touched ? st.Values.size() : 0;
    if (valueN < 0 || static_cast<std::size_t>(valueN) >= count)
      throw ERpeError(RE_ERR_BADINDEX, "parameter \"" + std::string(name) + "\" has no current value " +
                                           std::to_string(valueN) + " (it has " + std::to_string(count) + ")");
    ToValueInfo(st.Values[static_cast<std::size_t>(valueN)], *value);
  });
}

RE_BOOL REAddParameterCurrentValue(RE_JOB job, const char* name, const char* reportName, const REValueInfo* value) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(value, "REValueInfo");
    auto rp = NamedParam(j, name, reportName);
    const TParamDef& p = ParamDef(j, rp);
    RefuseLinked(p);
    auto given = FromValueInfo(*value);
    if (!given)
      throw ERpeError(RE_ERR_PARAMTYPE, "the value record for parameter \"" + p.Name + "\" does not hold a valid value");
    TValue v = Accept(p, *given);
    TParamState& st = ParamState(j, rp);
    if (!p.Multiple && st.Touched && !st.Values.empty())
      throw ERpeError(RE_ERR_PARAMVALUE, "parameter \"" + p.Name + "\" takes one value and already has one; clear it "
                                             "first, or declare it multiple=\"true\" to take a list");
    if (!st.Touched) st.Values.clear();
    st.Values.push_back(std::move(v));
    st.Touched = true;
  });
}

RE_BOOL REClearParameterCurrentValuesAndRanges(RE_JOB job, const char* name, const char* reportName) {
  return WithJob(job, [&](TJob& j) {
    auto rp = NamedParam(j, name, reportName);
    RefuseLinked(ParamDef(j, rp));
    TParamState& st = ParamState(j, rp);
    st.Values.clear();
    st.Touched = true;
  });
}

RE_BOOL REGetAllowPromptDialog(RE_JOB job) {
  RE_BOOL allow = 0;
  WithJob(job, [&](TJob& j) { allow = j.State->AllowPrompt ? 1 : 0; });
  return allow;
}

RE_BOOL RESetAllowPromptDialog(RE_JOB job, RE_BOOL allow) {
  return WithJob(job, [&](TJob& j) { j.State->AllowPrompt = allow != 0; });
}

/* ---- Query and summary ----------------------------------------------------- */

RE_BOOL REGetSQLQuery(RE_JOB job, RE_HANDLE* textHandle, int32_t* textLength) {
  return WithJob(job, [&](TJob& j) {
    if (!textHandle || !textLength) throw ERpeError(RE_ERR_BADARGUMENT, "REGetSQLQuery needs a handle and a length pointer");
    const TReportDef& d = j.Def();
    if (!d.HasQuery) throw ERpeError(RE_ERR_NOSQL, ReportLabel(*j.State->File, j.Report) + " has no query");
    *textLength = static_cast<int32_t>(d.Query.Text().size());
    *textHandle = NewHandle(d.Query.Text());
  });
}

RE_BOOL REGetReportSummaryInfo(RE_JOB job, RESummaryInfo* info) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(info, "RESummaryInfo");
    const TSummaryInfo& s = j.State->File->Summary;
    CopyCText(info->Title, sizeof info->Title, s.Title);
    CopyCText(info->Subject, sizeof info->Subject, s.Subject);
    CopyCText(info->Author, sizeof info->Author, s.Author);
    CopyCText(info->Keywords, sizeof info->Keywords, s.Keywords);
    CopyCText(info->Comments, sizeof info->Comments, s.Comments);
  });
}

/* ---- Printer and output ------------------------------------------------------ */

RE_BOOL RESelectPrinter(RE_JOB job, const char* driverName, const char* printerName, const char* portName,
                        const REDeviceSettings* settings) {
  return WithJob(job, [&](TJob& j) {
    if (!printerName || !*printerName) throw ERpeError(RE_ERR_BADARGUMENT, "no printer name was given");
    if (settings) {
      CheckSize(settings, "REDeviceSettings");
      if (settings->Orientation < 0 || settings->Orientation > 2)
        throw ERpeError(RE_ERR_BADARGUMENT, "orientation " + std::to_string(settings->Orientation) + " is not 0, 1 or 2");
    }
    TReportState& s = *j.State;
    s.PrinterDriver = driverName ? driverName : "";
    s.PrinterName = printerName;
    s.PrinterPort = portName ? portName : "";
    s.Orientation = settings ? settings->Orientation : 0;
    s.PaperName = settings ? FromC(settings->PaperName, sizeof settings->PaperName) : "";
  });
}

RE_BOOL REGetPrintOptions(RE_JOB job, REPrintOptions* options) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(options, "REPrintOptions");
    *options = j.State->PrintOptions;
  });
}

RE_BOOL RESetPrintOptions(RE_JOB job, const REPrintOptions* options) {
  return WithJob(job, [&](TJob& j) {
    CheckSize(options, "REPrintOptions");
    if (options->StopPageN != 0 && options->StopPageN < options->StartPageN)
      throw ERpeError(RE_ERR_BADARGUMENT, "the last page to print (" + std::to_string(options->StopPageN) +
                                              ") comes before the first (" + std::to_string(options->StartPageN) + ")");
    j.State->PrintOptions = *options;
    if (j.State->PrintOptions.nReportCopies == 0) j.State->PrintOptions.nReportCopies = 1;
  });
}

RE_BOOL REOutputToPrinter(RE_JOB job, int16_t copies) {
  return WithJob(job, [&](TJob& j) {
    if (copies < 0) throw ERpeError(RE_ERR_BADARGUMENT, "the number of copies is negative");
    if (j.Report != 0) throw ERpeError(RE_ERR_BADJOB, "the output is chosen on the main report's job, not a subreport's");
    TReportState& s = *j.State;
    // 0: as many as the print options ask for.
    s.Copies = copies > 0 ? copies : std::max<int>(1, s.PrintOptions.nReportCopies);
    s.Output = TOutputKind::Printer;
  });
}

RE_BOOL REOutputToWindow(RE_JOB job, const char* title) {
  return WithJob(job, [&](TJob& j) {
    if (j.Report != 0) throw ERpeError(RE_ERR_BADJOB, "the output is chosen on the main report's job, not a subreport's");
    j.State->WindowTitle = title ? title : "";
    j.State->Output = TOutputKind::Window;
  });
}

RE_BOOL REExportTo(RE_JOB job, const REExportOptions* options) {
  return WithJob(job, [&](TJob& j) {
    if (j.Report != 0) throw ERpeError(RE_ERR_BADJOB, "an export is chosen on the main report's job, not a subreport's");
    SetExport(*j.State, options);
  });
}

RE_BOOL REStartPrintJob(RE_JOB job, RE_BOOL /*waitUntilDone*/) {
  return WithJob(job, [&](TJob& j) {
    if (j.Report != 0) throw ERpeError(RE_ERR_BADJOB, "a print job is started on the main report's job, not a subreport's");
    Run(j);
  });
}
