#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <rpeng.h>

#include "engine/ERpeError.h"
#include "engine/RpeTypes.h"
#include "engine/TRpeConnect.h"
#include "engine/TRpeEngine.h"
#include "engine/TRpeExportOptions.h"
#include "engine/TRpeParamFields.h"
#include "engine/TRpePrinter.h"
#include "engine/TRpePrinterList.h"
#include "engine/TRpeSQL.h"
#include "engine/TRpeSubreports.h"
#include "engine/TRpeSummaryInfo.h"

namespace mv {

// Binding to the report engine library for one report file.
//
// The library is found (see EngineLibrary.h), its version note checked and
// the library loaded on first need; the engine and the report's print job
// are opened on first need too, and stay open until another report is named
// or the binding is destroyed. Every engine failure becomes an ERpeError;
// after one the binding stays usable and the next operation tries again.
//
// A binding belongs to the thread that created it and shares nothing with
// other bindings: each loads the library and opens the engine for itself.
class TRpe {
public:
    TRpe();
    ~TRpe();  // closes the engine and releases the library
    TRpe(const TRpe&) = delete;
    TRpe& operator=(const TRpe&) = delete;

    // Loads the library and opens the engine now (a window's binding calls
    // this once it has been created). Raises 104, 103, 100 or the engine's
    // error.
    void OpenPrintEngine();
    // Closes subreport jobs (last first), then the main job.
    void ClosePrintJob();

    const std::string& ReportName() const { return FReportName; }
    // A name other than the current one (letter case counts: these are file
    // paths) closes the job. Whether the file exists is checked on first need.
    void SetReportName(const std::string& path);

    bool ProgressDialog() const { return FProgressDialog; }
    // With a report named this opens the job: it is where the library is
    // loaded and the engine opened.
    void SetProgressDialog(bool value);

    TRpOutput Output() const { return FOutput; }
    void SetOutput(TRpOutput value) { FOutput = value; }
    bool LoadEngineOnUse() const { return FLoadEngineOnUse; }
    void SetLoadEngineOnUse(bool value) { FLoadEngineOnUse = value; }
    // Folder for the engine's temporary files; initially the system's.
    const std::string& TempPath() const { return FTempPath; }
    void SetTempPath(const std::string& value) { FTempPath = value; }

    // Runs the report to the chosen output and returns when it is printed or
    // written. False without an exception when the report was not produced
    // because it came out empty and is suppressed, was already running or was
    // cancelled, or when the operator declined to overwrite an export file.
    bool Execute();

    TRpeConnect& Connect() { return FConnect; }
    TRpeSQL& SQL() { return FSQL; }
    TRpeParamFields& ParamFields() { return FParamFields; }
    TRpeExportOptions& ExportOptions() { return FExportOptions; }
    TRpePrinter& Printer() { return FPrinter; }
    TRpePrintOptions& PrintOptions() { return FPrintOptions; }
    TRpeSummaryInfo& SummaryInfo() { return FSummaryInfo; }
    TRpeSubreports& Subreports() { return FSubreports; }
    TRpeEngine& Engine() { return FEngine; }

    // The installed printers Printer.Name is looked up in; CUPS by default.
    void SetPrinterList(std::shared_ptr<TRpePrinterList> list) { FPrinterList = std::move(list); }
    // Asked (text, caption) before an existing export file is overwritten
    // when PromptOnOverwrite is set; true to go on. Without one the file is
    // not overwritten.
    using TConfirm = std::function<bool(const std::string& text, const std::string& caption)>;
    void SetOnConfirm(TConfirm confirm) { FOnConfirm = std::move(confirm); }

    bool EngineOpen() const { return FEngineOpen; }
    bool JobOpen() const { return !FJobs.empty() && FJobs[0] != 0; }
    int LastErrorNumber() const { return FLastErrorNumber; }
    const std::string& LastErrorText() const { return FLastErrorText; }

    // A date-time (days since 12/30/1899, fraction = time of day) as the
    // engine's text "yyyy,mm,dd hh:nn:ss".
    static std::string DateTimeToEngineText(double dateTime);

private:
    friend class TRpeConnect;
    friend class TRpeParamFields;
    friend class TRpeParamFieldsItem;
    friend class TRpeParamFieldCurrentValues;
    friend class TRpeSQL;
    friend class TRpeSummaryInfo;
    friend class TRpeSubreports;
    friend class TRpePrintOptions;

    // A report is named and its file exists.
    bool CanOpenJob() const;
    void OpenPrintJob();
    void LoadEngineLibrary();
    RE_JOB MainJob() const { return FJobs.empty() ? 0 : FJobs[0]; }
    RE_JOB CurrentJob() const;

    // Subreport list, found from the main report's sections on first need.
    void RetrieveSubreports();
    void MakeSubreportCurrent(int index);

    // True for a successful call. For a failed one, reads the engine's error
    // (of `job`, else the main job, else job 0) and returns false when its
    // number is among `tolerated`, else raises it with `context`.
    bool Check(bool ok, RE_JOB job, std::string_view context, std::initializer_list<int> tolerated = {});
    [[noreturn]] void Raise(int number, const std::string& text);

    void SendPrinter(RE_JOB job);
    void SendOutput(RE_JOB job);

    TRpeEngine FEngine;
    bool FEngineOpen = false;
    std::vector<RE_JOB> FJobs;  // [0] main report, [k] subreport k; 0: not open
    int FCurrent = 0;           // index of the current (sub)report
    std::vector<std::string> FSubreportNames;  // [0] "" for the main report
    bool FSubreportsRetrieved = false;
    int FLastErrorNumber = 0;
    std::string FLastErrorText;

    std::string FReportName;
    TRpOutput FOutput = TRpOutput::toWindow;
    bool FProgressDialog = true;
    bool FLoadEngineOnUse = false;
    std::string FTempPath;

    TRpeConnect FConnect;
    TRpeSQL FSQL;
    TRpeParamFields FParamFields;
    TRpeExportOptions FExportOptions;
    TRpePrinter FPrinter;
    TRpePrintOptions FPrintOptions;
    TRpeSummaryInfo FSummaryInfo;
    TRpeSubreports FSubreports;

    std::shared_ptr<TRpePrinterList> FPrinterList;
    TConfirm FOnConfirm;
};

}  // namespace mv
