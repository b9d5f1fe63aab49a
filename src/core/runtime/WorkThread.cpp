#include "core/runtime/WorkThread.h"

#include "core/catalog/ReportFile.h"
#include "core/runtime/RunTimes.h"
#include "core/runtime/StatusLog.h"
#include "core/runtime/StatusMessages.h"
#include "core/timing/Clock.h"
#include "core/timing/FormatText.h"
#include "core/timing/OutputFileName.h"
#include "core/timing/TimeExpression.h"
#include "engine/TRpe.h"
#include "platform/odbc/Odbc.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace mv {

namespace fs = std::filesystem;

// ---- TJobHost ---------------------------------------------------------------

TJobHost::TJobHost(TStatusLog& log, IMainLoop& loop, TFinisher finisher, TFinisher advanced)
    : FLog(&log), FLoop(&loop), FFinisher(std::move(finisher)), FAdvanced(std::move(advanced)) {}

void TJobHost::PostStatus(std::string_view text) {
    std::shared_lock lock(FLock);
    if (FLog) FLog->PostStatus(text);
}

bool TJobHost::ShowsProgress() {
    std::shared_lock lock(FLock);
    return FLog && FLog->ShowsProgress();
}

void TJobHost::JobEnded(const std::shared_ptr<TWorkThread>& job) {
    std::shared_lock lock(FLock);
    if (!FLoop) return;
    FLoop->Post([host = shared_from_this(), job] { host->Deliver(job, &TJobHost::FFinisher); });
}

void TJobHost::PeriodDelivered(const std::shared_ptr<TWorkThread>& job) {
    std::shared_lock lock(FLock);
    if (!FLoop || !FAdvanced) return;
    FLoop->Post([host = shared_from_this(), job] { host->Deliver(job, &TJobHost::FAdvanced); });
}

void TJobHost::Deliver(const std::shared_ptr<TWorkThread>& job, TFinisher TJobHost::*call) {
    TFinisher finisher;
    {
        std::shared_lock lock(FLock);
        finisher = this->*call;
    }
    // Only the main thread detaches, and this runs on it: the scheduler
    // behind the finisher stays alive during the call.
    if (finisher) finisher(*job);
}

void TJobHost::ThreadStarting() {
    std::lock_guard lock(FThreadsLock);
    ++FLiveThreads;
}

void TJobHost::ThreadEnded() {
    std::lock_guard lock(FThreadsLock);
    --FLiveThreads;
    FThreadsGone.notify_all();
}

int TJobHost::LiveThreads() {
    std::lock_guard lock(FThreadsLock);
    return FLiveThreads;
}

bool TJobHost::WaitForThreads(std::chrono::milliseconds wait) {
    std::unique_lock lock(FThreadsLock);
    return FThreadsGone.wait_for(lock, wait, [this] { return FLiveThreads == 0; });
}

void TJobHost::Detach() {
    std::unique_lock lock(FLock);
    FLog = nullptr;
    FLoop = nullptr;
    FFinisher = nullptr;
    FAdvanced = nullptr;
}

// ---- TWorkThread ------------------------------------------------------------

namespace {

constexpr std::string_view kError1700 = "Error 1700: ";

std::string Trim(std::string_view s) {
    const auto b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(' ');
    return std::string(s.substr(b, e - b + 1));
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

TRpExportType ExportTypeFor(int outputFormat) {
    switch (outputFormat) {
    case 1: return TRpExportType::MSExcel;
    case 2: return TRpExportType::HTML40;
    case 3: return TRpExportType::MSWord;
    case 4: return TRpExportType::SeparatedValues;
    case 5: return TRpExportType::XML1;
    default: return TRpExportType::AdobeAcrobatPDF;
    }
}

// Ends RunJob after its message has been posted.
struct TJobEnded {};

}  // namespace

TWorkThread::TWorkThread(std::shared_ptr<TJobHost> host, TJobSettings settings)
    : FHost(std::move(host)), FSettings(std::move(settings)) {}

TWorkThread::~TWorkThread() = default;

void TWorkThread::Start() {
    FHost->ThreadStarting();
    try {
        std::thread([self = shared_from_this()] {
            self->Execute();
            self->FFinished.store(true, std::memory_order_release);
            self->FHost->JobEnded(self);
            self->FHost->ThreadEnded();
        }).detach();
    } catch (...) {
        FHost->ThreadEnded();
        throw;
    }
}

std::optional<TDeliveredPeriod> TWorkThread::LastDelivered() const {
    std::lock_guard lock(FDeliveredLock);
    return FDelivered;
}

void TWorkThread::Post(std::string_view text) {
    // The engine's and the driver's texts may quote a connection string.
    const std::string& password = FSettings.Connection.Password;
    FHost->PostStatus(odbc::RedactPassword(text, password));
}

void TWorkThread::Progress(std::string_view prefix) {
    if (FHost->ShowsProgress()) Post(GroupStatusText(prefix, FGroup.RGIndex, FGroup.Report.Title));
}

void TWorkThread::Execute() {
    Progress(kProgressThreadStarted);
    try {
        TRpe rpe;
        try {
            RunJob(rpe);
        } catch (const std::exception& e) {
            Post(std::string(kError1700) + e.what());
        }
    } catch (const std::exception& e) {
        Post(std::string(kError1700) + e.what());
    } catch (...) {
        Post(std::string(kError1700) + "unknown error");
    }
    Progress(kProgressThreadStopped);
}

std::string TWorkThread::FindReportFile() const {
    return ResolveReportFile(FGroup.Report.FileName, FSettings.AppDir);
}

void TWorkThread::RunJob(TRpe& rpe) {
    TVidUduzadevGroupItem& g = FGroup;
    if (!g.Enabled) return;
    try {
        const std::string reportFile = FindReportFile();
        if (reportFile.empty()) {
            Post("Error 1201: Report file does not exist.");
            return;
        }
        Progress(kProgressOpenReport);
        rpe.ClosePrintJob();
        rpe.SetReportName(reportFile);
        rpe.SetProgressDialog(false);

        switch (g.Output) {
        case 1:
            Progress(kProgressToPrinter);
            rpe.SetOutput(TRpOutput::toPrinter);
            rpe.Printer().Name = g.Printer;
            break;
        case 2:
            Progress(kProgressToFile);
            rpe.SetOutput(TRpOutput::toExport);
            rpe.ExportOptions().Destination = TRpExportDestination::toFile;
            rpe.ExportOptions().PromptOnOverwrite = false;
            rpe.ExportOptions().PromptForOptions = false;
            rpe.ExportOptions().FileType = ExportTypeFor(g.OutputFormat);
            break;
        default:
            // Nobody watches a preview; fail clearly and keep the period.
            throw std::runtime_error("Group " + std::to_string(g.RGIndex) + std::string(kNoOutputMessage));
        }

        const TConnectionSettings& c = FSettings.Connection;
        rpe.Connect().SetServerName(c.DataSource);
        rpe.Connect().SetUserID(c.UserName);
        rpe.Connect().SetPassword(c.Password);
        rpe.Connect().SetPropagate(true);

        const TDateTime runStart = Now();
        while (g.PeriodStart <= runStart && g.Period > 0) {
            if (g.Output == 2) {
                const std::string name =
                    BuildOutputFileName(TOutputFileSpec{g.OutputDir, g.OutputName, g.OutputFormat, g.PeriodStart},
                                        FSettings.AppDir);
                rpe.ExportOptions().FileName = name;
                if (FHost->ShowsProgress()) Post(std::string(kProgressFileName) + name);
            }
            if (FillParameters(rpe) == TParamResult::EndJob) return;
            rpe.ParamFields().SetAllowDialog(false);

            if (FSettings.Debug) {
                if (!rpe.SQL().Retrieve())
                    throw std::runtime_error("Error 1218: Failed to get SQL string from the report engine.");
                std::string text = "SQL = ";
                for (const std::string& line : rpe.SQL().Query()) text += line + "\r\n";
                Post(text);
            }
            if (Terminated()) return;
            if (FHost->ShowsProgress()) Post(kProgressReadyToRun);
            // False: the report produced nothing on purpose (empty and set to
            // be suppressed, or cancelled). Its after-run programs would get a
            // file that was not written, or an older one of the same name.
            const bool delivered = rpe.Execute();
            if (!delivered) Post(GroupStatusText(kNothingDelivered, g.RGIndex, g.Report.Title));

            try {
                if (delivered && !Trim(g.AfterRun).empty()) {
                    if (g.Output == 2)
                        RunAfterPrograms(g.AfterRun, rpe.ExportOptions().FileName);
                    else if (g.Output == 1)
                        RunAfterPrograms(g.AfterRun, std::string());
                }
            } catch (const std::exception& e) {
                Post(std::string(kError1700) + e.what());
            }

            if (FHost->ShowsProgress()) Post(kProgressFinished);
            // A clock set back under a running job must not make it loop.
            if (!AdvancePeriod(g)) return;
            // The main thread saves the new period start at once: a power
            // cut in a long catch-up must not deliver these reports again.
            {
                std::lock_guard lock(FDeliveredLock);
                FDelivered = TDeliveredPeriod{g.StartFrom, g.PeriodStart};
            }
            if (auto self = weak_from_this().lock()) FHost->PeriodDelivered(self);
        }
    } catch (const TJobEnded&) {
    } catch (const std::exception& e) {
        Post(std::string(kError1700) + e.what());
    }
}

TWorkThread::TParamResult TWorkThread::FillParameters(TRpe& rpe) {
    TVidUduzadevGroupItem& g = FGroup;
    auto& fields = rpe.ParamFields();
    const int count = fields.Count();
    for (int i = 0; i < count; ++i) {
        fields.SetNumber(i);
        auto& item = fields.Item();
        const std::string n = item.Name();
        const bool special = n == "StartTime" || n == "EndTime" || n == "SiteList" || n == "SensorList" ||
                             n == kReportTimeParam;
        if (special) {
            try {
                const TReportItem& r = g.Report;
                if (r.TimeRange && (n == "StartTime" || n == "EndTime")) {
                    const TReportTimeRange range = GetReportTimeRange(
                        TReportTimeRangeSpec{g.TimeFrom, g.TimeTo, g.AbsTimeFrom, g.AbsTimeTo, g.PeriodStart});
                    item.SetCurrentValue(TRpe::DateTimeToEngineText(n == "StartTime" ? range.From : range.To));
                } else if ((r.SiteLists && n == "SiteList") || (r.SensorLists && n == "SensorList")) {
                    item.CurrentValues().Clear();
                    for (const std::string& line : n == "SiteList" ? g.Stations : g.Sensors)
                        item.CurrentValues().Add(line);
                } else if (n == kReportTimeParam) {
                    item.CurrentValues().Clear();
                    item.SetCurrentValue(TRpe::DateTimeToEngineText(DateOf(g.PeriodStart)));
                } else if (Terminated()) {
                    return TParamResult::LeaveLoop;
                }
            } catch (const std::exception&) {
                Post("Error 1703: Unable to set report run parameters.");
                return TParamResult::EndJob;
            }
            continue;
        }
        if (item.IsLinked()) continue;
        const auto line = std::find_if(g.OtherParams.begin(), g.OtherParams.end(), [&](const std::string& l) {
            return SameTextIgnoringCase(std::string_view(l).substr(0, l.find('=')), n);
        });
        if (line == g.OtherParams.end()) {
            Post("Error 1704: Param not defined.  Check setup again.");
            return TParamResult::EndJob;
        }
        const auto eq = line->find('=');
        const std::string value = eq == std::string::npos ? std::string() : line->substr(eq + 1);
        item.CurrentValues().Clear();
        // A Boolean takes no list of values: only its current value sets it.
        if (item.ParamType() == TRpParamFieldType::pfBoolean)
            item.SetCurrentValue(value);
        else
            item.CurrentValues().Add(value);
    }
    return TParamResult::Done;
}

void TWorkThread::RunAfterPrograms(const std::string& programs, const std::string& outputFile) {
    std::size_t from = 0;
    while (from <= programs.size()) {
        const std::size_t comma = programs.find(',', from);
        std::string entry = programs.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        from = comma == std::string::npos ? programs.size() + 1 : comma + 1;

        entry.erase(0, entry.find_first_not_of(' ') == std::string::npos ? entry.size()
                                                                            : entry.find_first_not_of(' '));
        const std::size_t q1 = entry.find('"');
        const std::size_t q2 = q1 == std::string::npos ? std::string::npos : entry.find('"', q1 + 1);
        const std::string program = entry.substr(0, q1);
        std::string fileArgument;
        if (q2 == std::string::npos) {
            // No quoted file: the program runs alone; a blank entry is nothing to run.
            if (Trim(program).empty()) continue;
        } else {
            const std::string argument = entry.substr(q1 + 1, q2 - q1 - 1);
            std::error_code ec;
            if (SameTextIgnoringCase(argument, outputFile)) {
                fileArgument = outputFile;
            } else if (!argument.empty() && fs::exists(argument, ec)) {
                fileArgument = argument;
            } else {
                // This entry and every later one are not run.
                Post(FormatText("Error 1706: Run file %p does not exist.", {TFormatArg(argument)}));
                return;
            }
        }
        const TProgramOutcome outcome = RunProgram(program, fileArgument, FSettings.ProgramWait);
        if (outcome.Failed())
            Post(FormatText("Error 1707: Error running program %p.", {TFormatArg(program)}));
    }
}

}  // namespace mv
