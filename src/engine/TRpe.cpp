#include "engine/TRpe.h"

#include "engine/EngineLibrary.h"
#include "engine/RpeValueText.h"
#include "platform/versionnote/VersionNote.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

namespace mv {

namespace fs = std::filesystem;

namespace {

// Every line break as CR LF.
std::string CrLf(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 8);
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string SystemTempDir()
{
    const char* t = std::getenv("TMPDIR");
    return (t != nullptr && *t != '\0') ? t : "/tmp";
}

std::string WithoutTrailingSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string Trimmed(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

TRpe::TRpe()
    : FTempPath(SystemTempDir()),
      FConnect(*this),
      FSQL(*this),
      FParamFields(*this),
      FPrintOptions(*this),
      FSummaryInfo(*this),
      FSubreports(*this)
{
}

TRpe::~TRpe()
{
    if (!FEngine.IsLoaded()) return;
    if (FEngineOpen) {
        try {
            FEngine.CloseEngine();
        } catch (...) {
            // A library without RECloseEngine: nothing more to close.
        }
    }
    FEngine.Unload();
}

// ---- Errors -----------------------------------------------------------------

bool TRpe::Check(bool ok, RE_JOB job, std::string_view context, std::initializer_list<int> tolerated)
{
    if (ok) return true;
    int number = FEngine.GetErrorCode(job);
    RE_JOB source = job;
    if (number == 0 && MainJob() != 0 && MainJob() != job) {
        source = MainJob();
        number = FEngine.GetErrorCode(source);
    }
    if (number == 0 && source != 0) {
        source = 0;
        number = FEngine.GetErrorCode(0);
    }
    std::string text;
    if (number == -1) {
        number = 130;
        text = "Failed to Retrieve Error Message from Print Engine";
    } else if (number == 0) {
        number = 140;
        text = "Undefined Print Engine Error\n" + std::string(context);
    } else {
        RE_HANDLE handle = 0;
        int32_t length = 0;
        if (FEngine.GetErrorText(source, &handle, &length) && handle != 0 && length >= 0) {
            std::vector<char> buf(static_cast<size_t>(length) + 1, '\0');
            if (FEngine.GetHandleString(handle, buf.data(), static_cast<int32_t>(buf.size())))
                text.assign(buf.data(), strnlen(buf.data(), buf.size()));
        }
        text += "\n";
        text += context;
    }
    FLastErrorNumber = static_cast<int16_t>(number);
    FLastErrorText = CrLf(text);
    for (int t : tolerated)
        if (t == number) return false;
    throw ERpeError(FLastErrorNumber, FLastErrorText);
}

void TRpe::Raise(int number, const std::string& text)
{
    FLastErrorNumber = number;
    FLastErrorText = CrLf(text);
    throw ERpeError(number, FLastErrorText);
}

// ---- Engine and job -----------------------------------------------------------

void TRpe::LoadEngineLibrary()
{
    const std::string path = LocateEngineLibrary();
    const std::string file = fs::path(path).filename().string();
    TVersionInfo version;
    try {
        version = ReadVersionNote(path);
    } catch (const EVersionNoteError& e) {
        std::string text = "Failed to obtain Version Information from " + file +
                           " - GetRpeVersion <GetVersionInfo>\nWindows Error Number: " +
                           std::to_string(e.Errno());
        if (const char* desc = strerrordesc_np(e.Errno())) text += std::string(" - ") + desc;
        Raise(104, text);
    }
    if (MajorVersion(version.FileVersion) != 10)
        Raise(103, "Incompatible RPE version: requires version 10.x\n" + file + " :: " + version.FileVersion);
    if (!FEngine.Load(path)) Raise(100, "Error loading library: " + file);
}

void TRpe::OpenPrintEngine()
{
    if (FEngineOpen) return;
    if (!FEngine.IsLoaded()) LoadEngineLibrary();
    Check(FEngine.OpenEngine() != 0, 0, "OpenPrintEngine <REOpenEngine>");
    FEngineOpen = true;
    std::error_code ec;
    if (!FTempPath.empty() && fs::is_directory(FTempPath, ec) &&
        WithoutTrailingSlash(FTempPath) != WithoutTrailingSlash(SystemTempDir()))
        Check(FEngine.SetTempFilePath(FTempPath.c_str()) != 0, 0, "OpenPrintEngine <RESetTempFilePath>");
}

bool TRpe::CanOpenJob() const
{
    std::error_code ec;
    return !Trimmed(FReportName).empty() && fs::exists(FReportName, ec);
}

void TRpe::OpenPrintJob()
{
    if (Trimmed(FReportName).empty()) Raise(112, "No ReportName assigned");
    std::error_code ec;
    if (!fs::exists(FReportName, ec)) Raise(114, "Report not found");
    OpenPrintEngine();
    if (MainJob() == 0) {
        RE_JOB job = FEngine.OpenPrintJob(FReportName.c_str());
        Check(job > 0, 0, "OpenPrintJob <REOpenPrintJob>");
        FJobs.assign(1, job);
        if (FSubreportsRetrieved) FJobs.resize(FSubreportNames.size(), 0);
    }
    if (FCurrent > 0 && static_cast<size_t>(FCurrent) < FJobs.size() && FJobs[static_cast<size_t>(FCurrent)] == 0) {
        const std::string& name = FSubreportNames[static_cast<size_t>(FCurrent)];
        RE_JOB job = FEngine.OpenSubreport(MainJob(), name.c_str());
        Check(job > 0, MainJob(),
              "OpenPrintJob - Subreports[" + std::to_string(FCurrent) + "] <REOpenSubreport>");
        FJobs[static_cast<size_t>(FCurrent)] = job;
    }
}

RE_JOB TRpe::CurrentJob() const
{
    if (FJobs.empty()) return 0;
    size_t k = static_cast<size_t>(FCurrent);
    return k < FJobs.size() && FJobs[k] != 0 ? FJobs[k] : FJobs[0];
}

void TRpe::ClosePrintJob()
{
    if (!FEngine.IsLoaded() || !JobOpen()) return;
    // Every handle is given up whatever the engine answers, so that a failed
    // close cannot leave the binding stuck on a job it can no longer close;
    // the first failure is raised once all are closed.
    std::optional<ERpeError> failure;
    for (size_t k = FJobs.size() - 1; k >= 1; --k) {
        if (FJobs[k] == 0) continue;
        try {
            Check(FEngine.CloseSubreport(FJobs[k]) != 0, FJobs[k], "ClosePrintJob <RECloseSubreport>");
        } catch (const ERpeError& e) {
            if (!failure) failure = e;
        }
    }
    try {
        Check(FEngine.ClosePrintJob(FJobs[0]) != 0, FJobs[0], "ClosePrintJob <REClosePrintJob>");
    } catch (const ERpeError& e) {
        if (!failure) failure = e;
    }
    FJobs.clear();
    FSubreportNames.clear();
    FSubreportsRetrieved = false;
    FCurrent = 0;
    if (failure) throw *failure;
}

void TRpe::SetReportName(const std::string& path)
{
    if (!path.empty() && path == FReportName) return;
    std::optional<ERpeError> failure;
    try {
        ClosePrintJob();
    } catch (const ERpeError& e) {
        failure = e;
    }
    FReportName = path;
    FSubreportNames.clear();
    FSubreportsRetrieved = false;
    FCurrent = 0;
    if (failure) throw *failure;
}

void TRpe::SetProgressDialog(bool value)
{
    FProgressDialog = value;
    if (FReportName.empty()) return;
    OpenPrintJob();
    RE_JOB job = CurrentJob();
    Check(FEngine.EnableProgressDialog(job, value ? 1 : 0) != 0, job, "SetProgressDialog <REEnableProgressDialog>");
}

// ---- Subreports ---------------------------------------------------------------

void TRpe::RetrieveSubreports()
{
    if (FSubreportsRetrieved) return;
    OpenPrintJob();
    const RE_JOB job = MainJob();
    std::vector<std::string> names{std::string()};
    int16_t sections = FEngine.GetNSections(job);
    Check(sections >= 0, job, "Subreports.Retrieve <REGetNSections>");
    for (int16_t s = 0; s < sections; ++s) {
        int16_t code = FEngine.GetSectionCode(job, s);
        Check(code != 0, job, "Subreports.Retrieve <REGetSectionCode>");
        int16_t n = FEngine.GetNSubreportsInSection(job, code);
        Check(n >= 0, job, "Subreports.Retrieve <REGetNSubreportsInSection>");
        for (int16_t i = 0; i < n; ++i) {
            uint32_t handle = FEngine.GetNthSubreportInSection(job, code, i);
            Check(handle != 0, job, "Subreports.Retrieve <REGetNthSubreportInSection>");
            RESubreportInfo info{};
            info.StructSize = sizeof info;
            Check(FEngine.GetSubreportInfo(job, handle, &info) != 0, job, "Subreports.Retrieve <REGetSubreportInfo>");
            names.push_back(rpe::FieldText(info.Name, sizeof info.Name));
        }
    }
    FSubreportNames = std::move(names);
    FSubreportsRetrieved = true;
    FJobs.resize(FSubreportNames.size(), 0);
}

void TRpe::MakeSubreportCurrent(int index)
{
    RetrieveSubreports();
    if (index < 0 || static_cast<size_t>(index) >= FSubreportNames.size())
        Raise(506, "Subreport index out of range: " + std::to_string(index) +
                       "\nSubreports.SetNumber(" + std::to_string(index) + ")");
    FCurrent = index;
    OpenPrintJob();
}

int TRpeSubreports::Count()
{
    if (!FOwner.CanOpenJob()) return 1;
    FOwner.RetrieveSubreports();
    return static_cast<int>(FOwner.FSubreportNames.size());
}

int TRpeSubreports::Number() const { return FOwner.FCurrent; }

void TRpeSubreports::SetNumber(int index) { FOwner.MakeSubreportCurrent(index); }

std::string TRpeSubreports::Name(int index)
{
    if (index <= 0 || !FOwner.CanOpenJob()) return std::string();
    FOwner.RetrieveSubreports();
    if (static_cast<size_t>(index) >= FOwner.FSubreportNames.size()) return std::string();
    return FOwner.FSubreportNames[static_cast<size_t>(index)];
}

// ---- Running ------------------------------------------------------------------

bool TRpe::Execute()
{
    std::error_code ec;
    if (FOutput == TRpOutput::toExport && FExportOptions.PromptOnOverwrite &&
        FExportOptions.Destination == TRpExportDestination::toFile && !FExportOptions.FileName.empty() &&
        fs::exists(FExportOptions.FileName, ec)) {
        if (!FOnConfirm || !FOnConfirm("Export FileName already exists.  Overwrite?", "Export Warning"))
            return false;
    }
    OpenPrintJob();
    // Opening every subreport's job before the run, last one first, ends
    // with the main report current.
    RetrieveSubreports();
    for (int k = static_cast<int>(FSubreportNames.size()) - 1; k >= 0; --k) MakeSubreportCurrent(k);
    const RE_JOB job = MainJob();
    if (FOutput != TRpOutput::toWindow)
        Check(FEngine.EnableProgressDialog(job, FProgressDialog ? 1 : 0) != 0, job,
              "SetProgressDialog <REEnableProgressDialog>");
    SendPrinter(job);
    SendOutput(job);
    return Check(FEngine.StartPrintJob(job, 1) != 0, job, "Execute <REStartPrintJob>",
                 {RE_ERR_EMPTYSUPPRESSED, RE_ERR_ALREADYSTARTED, RE_ERR_CANCELLED});
}

void TRpe::SendPrinter(RE_JOB job)
{
    if (FPrinter.Name.empty() && FPrinter.Orientation == TRpOrientation::orDefault &&
        FPrinter.PreserveRptSettings.empty())
        return;
    if (!FPrinterList) FPrinterList = std::make_shared<TRpeCupsPrinters>();
    const std::vector<TRpeInstalledPrinter> printers = FPrinterList->Printers();
    const TRpeInstalledPrinter* found = nullptr;
    for (const auto& p : printers)
        if (!FPrinter.Name.empty() && SameNoCase(p.DisplayName, FPrinter.Name)) { found = &p; break; }
    if (found == nullptr)
        for (const auto& p : printers)
            if (!FPrinter.Name.empty() && SameNoCase(p.Name, FPrinter.Name)) { found = &p; break; }
    if (found == nullptr && FPrinter.Name.empty())
        for (const auto& p : printers)
            if (p.IsDefault) { found = &p; break; }
    if (found == nullptr) return;  // the report's own printer stays

    std::string port = found->Port;
    if (port.rfind("winspool,", 0) == 0) port.erase(0, 9);
    FPrinter.Driver = found->Driver;
    FPrinter.Port = port;
    REDeviceSettings settings{};
    settings.StructSize = sizeof settings;
    settings.Orientation = static_cast<int16_t>(FPrinter.Orientation == TRpOrientation::orPortrait    ? 1
                                                : FPrinter.Orientation == TRpOrientation::orLandscape ? 2
                                                                                                      : 0);
    Check(FEngine.SelectPrinter(job, found->Driver.c_str(), found->Name.c_str(), port.c_str(), &settings) != 0,
          job, "Printer.Send <RESelectPrinter>");
}

void TRpe::SendOutput(RE_JOB job)
{
    if (FOutput == TRpOutput::toPrinter) {
        REPrintOptions options{};
        options.StructSize = sizeof options;
        Check(FEngine.GetPrintOptions(job, &options) != 0, job, "PrintOptions.GetCopies <REGetPrintOptions>");
        int16_t copies = static_cast<int16_t>(options.nReportCopies < 1 ? 1 : options.nReportCopies);
        Check(FEngine.OutputToPrinter(job, copies) != 0, job, "SendOutput <REOutputToPrinter>");
        return;
    }
    if (FOutput == TRpOutput::toWindow) {
        std::string title = fs::path(FReportName).stem().string();
        Check(FEngine.OutputToWindow(job, title.c_str()) != 0, job, "SendOutput <REOutputToWindow>");
        return;
    }

    const TRpeExportOptions& e = FExportOptions;
    REExportOptions options{};
    options.StructSize = sizeof options;
    REPdfOptions pdf{};
    REExcelOptions excel{};
    REHtmlOptions html{};
    REWordOptions word{};
    RESepValOptions sepv{};
    REXmlOptions xml{};
    REDiskOptions disk{};
    const char* format = "";
    switch (e.FileType) {
    case TRpExportType::AdobeAcrobatPDF:
        format = RE_FMT_PDF;
        pdf.StructSize = sizeof pdf;
        pdf.UsePageRange = e.PDF.UsePageRange;
        pdf.FirstPageNo = static_cast<uint16_t>(e.PDF.FirstPageNo);
        pdf.LastPageNo = static_cast<uint16_t>(e.PDF.LastPageNo);
        options.FormatOptions = &pdf;
        break;
    case TRpExportType::MSExcel:
        format = RE_FMT_XLS;
        options.FormatType = e.Excel.Extended ? 10 : 9;
        excel.StructSize = sizeof excel;
        excel.ColumnWidthType = static_cast<uint16_t>(e.Excel.ColumnWidthType);
        excel.ColumnWidthConstant = (e.Excel.ColumnWidthConstant >= 200 && e.Excel.ColumnWidthConstant <= 5760)
                                        ? e.Excel.ColumnWidthConstant
                                        : 720;
        excel.UseWorksheetFunctions = e.Excel.UseWorksheetFunctions;
        excel.CreatePageBreaks = e.Excel.CreatePageBreaks;
        excel.ConvertDateToString = e.Excel.ConvertDateToString;
        excel.UsePageRange = e.Excel.UsePageRange;
        excel.FirstPageNo = static_cast<uint16_t>(e.Excel.FirstPageNo);
        excel.LastPageNo = static_cast<uint16_t>(e.Excel.LastPageNo);
        excel.ExportPageHeaderFooter = e.Excel.ExportPageHeaderFooter;
        excel.ChopPageHeader = e.Excel.ChopPageHeader;
        options.FormatOptions = &excel;
        break;
    case TRpExportType::HTML32:
    case TRpExportType::HTML40:
        format = RE_FMT_HTML;
        options.FormatType = e.FileType == TRpExportType::HTML40 ? 3 : 2;
        html.StructSize = sizeof html;
        rpe::CopyText(html.FileName, sizeof html.FileName, e.FileName);
        html.PageNavigator = e.HTML.PageNavigator;
        html.SeparatePages = e.HTML.SeparatePages;
        html.UsePageRange = e.HTML.UsePageRange;
        html.FirstPageNo = static_cast<uint16_t>(e.HTML.FirstPageNo);
        html.LastPageNo = static_cast<uint16_t>(e.HTML.LastPageNo);
        options.FormatOptions = &html;
        break;
    case TRpExportType::MSWord:
        format = RE_FMT_WORD;
        word.StructSize = sizeof word;
        word.UsePageRange = e.Word.UsePageRange;
        word.FirstPageNo = static_cast<uint16_t>(e.Word.FirstPageNo);
        word.LastPageNo = static_cast<uint16_t>(e.Word.LastPageNo);
        options.FormatOptions = &word;
        break;
    case TRpExportType::RichText:
        format = RE_FMT_RTF;
        break;
    case TRpExportType::SeparatedValues:
    case TRpExportType::TabSeparatedText:
        format = RE_FMT_SEPV;
        options.FormatType = e.FileType == TRpExportType::SeparatedValues ? 3 : 4;
        if (e.FileType == TRpExportType::SeparatedValues) {
            sepv.StructSize = sizeof sepv;
            sepv.UseReportNumberFormat = e.Text.UseReportNumberFormat;
            sepv.UseReportDateFormat = e.Text.UseReportDateFormat;
            sepv.StringDelimiter = e.Text.StringDelimiter;
            rpe::CopyText(sepv.FieldDelimiter, sizeof sepv.FieldDelimiter, e.Text.FieldSeparator);
            options.FormatOptions = &sepv;
        }
        break;
    case TRpExportType::TextFormat:
        format = RE_FMT_TEXT;
        break;
    case TRpExportType::XML1:
        format = RE_FMT_XML;
        xml.StructSize = sizeof xml;
        rpe::CopyText(xml.FileName, sizeof xml.FileName, e.FileName);
        xml.SeparatePages = e.XML.SeparatePages;
        options.FormatOptions = &xml;
        break;
    default:
        // No export library of this engine writes these; its answer (an
        // unknown format) is what the operator sees.
        break;
    }
    rpe::CopyText(options.FormatDLLName, sizeof options.FormatDLLName, format);
    if (e.Destination == TRpExportDestination::toFile) {
        if (e.FileName.size() >= sizeof disk.FileName)
            Raise(RE_ERR_EXPORTDEST, "Export file name is longer than " +
                                         std::to_string(sizeof disk.FileName - 1) + " bytes\nExport.Send <REExportTo>");
        rpe::CopyText(options.DestinationDLLName, sizeof options.DestinationDLLName, RE_DEST_DISK);
        disk.StructSize = sizeof disk;
        rpe::CopyText(disk.FileName, sizeof disk.FileName, e.FileName);
        options.DestinationOptions = &disk;
    }
    Check(FEngine.ExportTo(job, &options) != 0, job, "Export.Send <REExportTo>");
}

// ---- Print options and summary --------------------------------------------------

int TRpePrintOptions::Copies()
{
    if (!FOwner.CanOpenJob()) return FCopies;
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.MainJob();
    REPrintOptions o{};
    o.StructSize = sizeof o;
    FOwner.Check(FOwner.FEngine.GetPrintOptions(job, &o) != 0, job, "PrintOptions.GetCopies <REGetPrintOptions>");
    FCopies = o.nReportCopies < 1 ? 1 : o.nReportCopies;
    return FCopies;
}

void TRpePrintOptions::SetCopies(int copies)
{
    FCopies = copies < 1 ? 1 : copies;
    if (!FOwner.CanOpenJob()) return;
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.MainJob();
    REPrintOptions o{};
    o.StructSize = sizeof o;
    FOwner.Check(FOwner.FEngine.GetPrintOptions(job, &o) != 0, job, "PrintOptions.SetCopies <REGetPrintOptions>");
    o.nReportCopies = static_cast<uint16_t>(FCopies);
    FOwner.Check(FOwner.FEngine.SetPrintOptions(job, &o) != 0, job, "PrintOptions.SetCopies <RESetPrintOptions>");
}

bool TRpeSummaryInfo::Fetch(const char* operation)
{
    if (!FOwner.CanOpenJob()) return false;
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.MainJob();
    RESummaryInfo info{};
    info.StructSize = sizeof info;
    FOwner.Check(FOwner.FEngine.GetReportSummaryInfo(job, &info) != 0, job,
                 std::string("SummaryInfo.") + operation + " <REGetReportSummaryInfo>");
    FTitle = rpe::FieldText(info.Title, sizeof info.Title);
    FSubject = rpe::FieldText(info.Subject, sizeof info.Subject);
    FAuthor = rpe::FieldText(info.Author, sizeof info.Author);
    FKeywords = rpe::FieldText(info.Keywords, sizeof info.Keywords);
    FComments.clear();
    std::string comments = rpe::FieldText(info.Comments, sizeof info.Comments);
    size_t i = 0;
    while (i < comments.size()) {
        size_t j = comments.find('\n', i);
        if (j == std::string::npos) j = comments.size();
        std::string line = comments.substr(i, j - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        FComments.push_back(line);
        i = j + 1;
    }
    return true;
}

std::string TRpeSummaryInfo::Title() { Fetch("GetTitle"); return FTitle; }
std::string TRpeSummaryInfo::Subject() { Fetch("GetSubject"); return FSubject; }
std::string TRpeSummaryInfo::Author() { Fetch("GetAuthor"); return FAuthor; }
std::string TRpeSummaryInfo::Keywords() { Fetch("GetKeywords"); return FKeywords; }
std::vector<std::string> TRpeSummaryInfo::Comments() { Fetch("GetComments"); return FComments; }

// ---- Query --------------------------------------------------------------------

bool TRpeSQL::Retrieve()
{
    FOwner.OpenPrintJob();
    RE_JOB job = FOwner.CurrentJob();
    RE_HANDLE handle = 0;
    int32_t length = 0;
    if (!FOwner.Check(FOwner.FEngine.GetSQLQuery(job, &handle, &length) != 0, job, "SQL.Retrieve <REGetSQLQuery>",
                      {RE_ERR_NOSQL}))
        return false;
    std::vector<char> buf(static_cast<size_t>(length < 0 ? 0 : length) + 1, '\0');
    FOwner.Check(FOwner.FEngine.GetHandleString(handle, buf.data(), static_cast<int32_t>(buf.size())) != 0, job,
                 "SQL.Retrieve <REGetHandleString>");
    std::string text(buf.data(), strnlen(buf.data(), buf.size()));
    FQuery.clear();
    size_t i = 0;
    while (i < text.size()) {
        size_t j = text.find('\n', i);
        if (j == std::string::npos) j = text.size();
        std::string line = text.substr(i, j - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        FQuery.push_back(line);
        i = j + 1;
    }
    return true;
}

// ---- Date-times -------------------------------------------------------------------

std::string TRpe::DateTimeToEngineText(double dateTime)
{
    using namespace std::chrono;
    // Rounded to the millisecond first, so 23:59:59.9999 is the next day's
    // 00:00:00 and never an hour 24; seconds are then cut, not rounded.
    const long long ms = std::llround(dateTime * 86400000.0);
    long long day = ms / 86400000;
    long long msOfDay = ms % 86400000;
    if (msOfDay < 0) {
        msOfDay += 86400000;
        --day;
    }
    const year_month_day ymd{sys_days{year{1899} / December / 30} + days{day}};
    const long long secs = msOfDay / 1000;
    return rpe::EngineDateTimeText(static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
                                   static_cast<int>(static_cast<unsigned>(ymd.day())), static_cast<int>(secs / 3600),
                                   static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60));
}

}  // namespace mv
