// The engine calls of whole runs: opening, logon, parameters, output, closing.
#include "Recorder.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using mv::TRpe;
using mv::TRpExportType;
using mv::TRpOutput;
using mvtest::TRecordingTest;

std::string Q(const std::string& s) { return "\"" + s + "\""; }

std::string SetLogon(int job, const std::string& server, const std::string& user, const std::string& pw,
                     const std::string& db = "")
{
    return "RESetNthTableLogOnInfo(" + std::to_string(job) + ", 0, server=" + Q(server) + ", database=" + Q(db) +
           ", user=" + Q(user) + ", password=" + Q(pw) + ", TRUE)";
}

// The definition reads of making parameter n current.
std::vector<std::string> Define(int n, const std::string& name, const std::string& current = "",
                                const char* type = "DateTime")
{
    std::vector<std::string> out{"REGetNthParameterField(1, " + std::to_string(n) + ")"};
    if (!current.empty()) out.push_back("REConvertPFInfoToVInfo(" + Q(current) + ", " + type + ")");
    out.push_back("REGetParameterMinMaxValue(1, " + Q(name) + ", \"\")");
    out.push_back("REGetParameterValueInfo(1, " + Q(name) + ", \"\")");
    out.push_back("REGetNthParameterType(1, " + std::to_string(n) + ")");
    out.push_back("REGetParameterBrowseField(1, " + Q(name) + ", \"\")");
    return out;
}

class TRun : public TRecordingTest {
protected:
    void SetUp() override
    {
        TRecordingTest::SetUp();
        Rec.AddParam("StartTime", RE_PF_DATETIME, RE_DR_DISCRETE, "2024,01,01 00:00:00");
        Rec.AddParam("EndTime", RE_PF_DATETIME);
        Rec.AddParam("SiteList", RE_PF_STRING);
        Rec.AddParam("Region", RE_PF_STRING);
        Rec.SetSQL("SELECT *\nFROM readings");
        char tmpl[] = "/tmp/mv-binding-XXXXXX";
        FDir = mkdtemp(tmpl);
    }
    void TearDown() override
    {
        fs::remove_all(FDir);
        TRecordingTest::TearDown();
    }

    // What the report job does up to the first period.
    void Prepare(TRpe& rpe, TRpOutput output)
    {
        rpe.ClosePrintJob();
        rpe.SetReportName(kReport);
        rpe.SetProgressDialog(false);
        rpe.SetOutput(output);
        if (output == TRpOutput::toPrinter) {
            rpe.Printer().Name = "Office Printer";
        } else {
            rpe.ExportOptions().Destination = mv::TRpExportDestination::toFile;
            rpe.ExportOptions().PromptOnOverwrite = false;
            rpe.ExportOptions().PromptForOptions = false;
            rpe.ExportOptions().FileType = TRpExportType::SeparatedValues;
        }
        rpe.Connect().SetServerName("MVDEMO");
        rpe.Connect().SetUserID("op");
        rpe.Connect().SetPassword("pw");
        rpe.Connect().SetPropagate(true);
    }

    // What the report job does for one period.
    void RunPeriod(TRpe& rpe, const std::string& fileName, const std::string& from, const std::string& to)
    {
        if (rpe.Output() == TRpOutput::toExport) rpe.ExportOptions().FileName = fileName;
        int count = rpe.ParamFields().Count();
        for (int i = 0; i < count; ++i) {
            rpe.ParamFields().SetNumber(i);
            const std::string name = rpe.ParamFields().Item().Name();
            auto& item = rpe.ParamFields().Item();
            if (name == "StartTime") item.SetCurrentValue(from);
            else if (name == "EndTime") item.SetCurrentValue(to);
            else if (name == "SiteList") {
                item.CurrentValues().Clear();
                item.CurrentValues().Add("ST001");
                item.CurrentValues().Add("ST002");
            } else {
                item.CurrentValues().Clear();
                item.CurrentValues().Add("North");
            }
        }
        rpe.ParamFields().SetAllowDialog(false);
        ASSERT_TRUE(rpe.SQL().Retrieve());
        ASSERT_TRUE(rpe.Execute());
    }

    std::string FDir;
};

TEST_F(TRun, EngineCallsOfScheduledRunToFile)
{
    const std::string file = FDir + "/out 2024-03-01.csv";
    {
        TRpe rpe;
        Prepare(rpe, TRpOutput::toExport);
        RunPeriod(rpe, file, "2024,03,01 00:00:00", "2024,03,01 23:59:59");
        EXPECT_EQ(rpe.SQL().Query(), (std::vector<std::string>{"SELECT *", "FROM readings"}));
    }
    std::vector<std::string> expected = {"REOpenEngine()", "REOpenPrintJob(" + Q(kReport) + ")",
                                         "REEnableProgressDialog(1, FALSE)"};
    auto add = [&](const std::vector<std::string>& more) { expected.insert(expected.end(), more.begin(), more.end()); };
    // Each value goes to table 0 when it differs from the report's.
    add({"REGetNTables(1)", "REGetNthTableLogOnInfo(1, 0)", SetLogon(1, "MVDEMO", "", "")});
    add({"REGetNTables(1)", "REGetNthTableLogOnInfo(1, 0)", SetLogon(1, "MVDEMO", "op", "")});
    add({"REGetNTables(1)", "REGetNthTableLogOnInfo(1, 0)", SetLogon(1, "MVDEMO", "op", "pw")});
    // Propagate: all four values again, written always.
    for (int i = 0; i < 4; ++i)
        add({"REGetNTables(1)", "REGetNthTableLogOnInfo(1, 0)", SetLogon(1, "MVDEMO", "op", "pw")});
    add({"REGetNParameterFields(1)"});
    add(Define(0, "StartTime", "2024,01,01 00:00:00"));
    add({"REGetNthParameterField(1, 0)", "REConvertPFInfoToVInfo(\"2024,01,01 00:00:00\", DateTime)",
         "REConvertVInfoToPFInfo(DateTime 2024,03,01 00:00:00)",
         "REGetNParameterCurrentValues(1, \"StartTime\", \"\")",
         "REGetNthParameterCurrentValue(1, \"StartTime\", \"\", 0)",
         "REClearParameterCurrentValuesAndRanges(1, \"StartTime\", \"\")",
         "REAddParameterCurrentValue(1, \"StartTime\", \"\", DateTime 2024,03,01 00:00:00)"});
    add(Define(1, "EndTime"));
    add({"REGetNthParameterField(1, 1)", "REConvertVInfoToPFInfo(DateTime 2024,03,01 23:59:59)",
         "REGetNParameterCurrentValues(1, \"EndTime\", \"\")",
         "REAddParameterCurrentValue(1, \"EndTime\", \"\", DateTime 2024,03,01 23:59:59)"});
    add(Define(2, "SiteList"));
    add({"REClearParameterCurrentValuesAndRanges(1, \"SiteList\", \"\")",
         "REAddParameterCurrentValue(1, \"SiteList\", \"\", String ST001)",
         "REAddParameterCurrentValue(1, \"SiteList\", \"\", String ST002)"});
    add(Define(3, "Region"));
    add({"REClearParameterCurrentValuesAndRanges(1, \"Region\", \"\")",
         "REAddParameterCurrentValue(1, \"Region\", \"\", String North)"});
    add({"REGetAllowPromptDialog(1)", "RESetAllowPromptDialog(1, FALSE)", "REGetSQLQuery(1)",
         "REGetHandleString(1, 23)", "REEnableProgressDialog(1, FALSE)",
         "REExportTo(1, \"rxf_sepv.dll\", 3, sepv(size=1, numbers=0, dates=0, quote=\", separator=\",\"), "
         "\"rxd_disk.dll\", 0, file=" + Q(file) + ")",
         "REStartPrintJob(1, TRUE)", "RECloseEngine()"});
    EXPECT_EQ(Rec.Calls(), expected);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(Rec.ParamValues("SiteList"), "ST001\nST002");
    EXPECT_EQ(Rec.EngineOpenCount(), 0);
}

TEST_F(TRun, CatchUpRunKeepsTheJobOpenAcrossPeriods)
{
    TRpe rpe;
    Prepare(rpe, TRpOutput::toExport);
    RunPeriod(rpe, FDir + "/day1.csv", "2024,03,01 00:00:00", "2024,03,01 23:59:59");
    RunPeriod(rpe, FDir + "/day2.csv", "2024,03,02 00:00:00", "2024,03,02 23:59:59");
    EXPECT_EQ(Rec.CallsOf("REOpenPrintJob").size(), 1u);
    EXPECT_EQ(Rec.CallsOf("REOpenEngine").size(), 1u);
    std::vector<std::string> exports = Rec.CallsOf("REExportTo");
    ASSERT_EQ(exports.size(), 2u);
    EXPECT_NE(exports[1].find("day2.csv"), std::string::npos);
    EXPECT_EQ(Rec.ParamValues("StartTime"), "2024,03,02 00:00:00");
    EXPECT_TRUE(fs::exists(FDir + "/day1.csv"));
    EXPECT_TRUE(fs::exists(FDir + "/day2.csv"));
}

TEST_F(TRun, EngineCallsOfScheduledRunToPrinter)
{
    Rec.SetCopies(2);
    TRpe rpe;
    rpe.SetPrinterList(std::make_shared<mvtest::TFixedPrinters>(std::vector<mv::TRpeInstalledPrinter>{
        {"Other", "Other", "Other driver", "ipp://other", true},
        {"FilePDF", "Office Printer", "Generic PDF Printer", "file:///tmp/out.pdf", false}}));
    Prepare(rpe, TRpOutput::toPrinter);
    Rec.ClearLog();
    RunPeriod(rpe, "", "2024,03,01 00:00:00", "2024,03,01 23:59:59");
    std::vector<std::string> calls = Rec.Calls();
    ASSERT_GE(calls.size(), 5u);
    std::vector<std::string> tail(calls.end() - 5, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "REEnableProgressDialog(1, FALSE)",
                        "RESelectPrinter(1, \"Generic PDF Printer\", \"FilePDF\", \"file:///tmp/out.pdf\", "
                        "orientation=0, paper=\"\")",
                        "REGetPrintOptions(1)", "REOutputToPrinter(1, 2)", "REStartPrintJob(1, TRUE)"}));
    EXPECT_EQ(rpe.Printer().Driver, "Generic PDF Printer");
    EXPECT_EQ(rpe.Printer().Port, "file:///tmp/out.pdf");
}

TEST_F(TRecordingTest, PrinterFoundByDisplayNameThenDeviceName)
{
    const std::vector<mv::TRpeInstalledPrinter> printers = {
        {"lab", "Front Office", "Driver A", "winspool,Ne01:", false},
        {"front office", "Lab Printer", "Driver B", "usb://b", false},
    };
    struct {
        const char* Label;
        const char* Name;
        const char* Selected;  // nullptr: no RESelectPrinter
    } const cases[] = {
        {"display name first", "Front Office", "RESelectPrinter(1, \"Driver A\", \"lab\", \"Ne01:\", orientation=0, paper=\"\")"},
        {"letter case ignored", "LAB PRINTER", "RESelectPrinter(1, \"Driver B\", \"front office\", \"usb://b\", orientation=0, paper=\"\")"},
        {"device name", "lab", "RESelectPrinter(1, \"Driver A\", \"lab\", \"Ne01:\", orientation=0, paper=\"\")"},
        {"unknown keeps the report's printer", "Nowhere", nullptr},
        {"empty name selects nothing", "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Label);
        Rec.Reset();
        TRpe rpe;
        rpe.SetPrinterList(std::make_shared<mvtest::TFixedPrinters>(printers));
        Open(rpe);
        rpe.SetOutput(TRpOutput::toPrinter);
        rpe.Printer().Name = c.Name;
        ASSERT_TRUE(rpe.Execute());
        std::vector<std::string> selected = Rec.CallsOf("RESelectPrinter");
        if (c.Selected) EXPECT_EQ(selected, std::vector<std::string>{c.Selected});
        else EXPECT_TRUE(selected.empty());
        EXPECT_EQ(Rec.CallsOf("REOutputToPrinter").size(), 1u);
    }
}

TEST_F(TRecordingTest, ExportFormatsHandedToTheEngine)
{
    char tmpl[] = "/tmp/mv-binding-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string f = dir + "/out";
    struct {
        TRpExportType Type;
        std::string Call;
    } const cases[] = {
        {TRpExportType::AdobeAcrobatPDF, "\"rxf_pdf.dll\", 0, pdf(size=1, range=0)"},
        {TRpExportType::MSExcel,
         "\"rxf_xls.dll\", 9, xls(size=1, widthType=0, width=720, functions=0, breaks=0, dateText=0, range=0, "
         "headerFooter=1, chop=1)"},
        {TRpExportType::HTML40, "\"rxf_html.dll\", 3, html(size=1, file=\"" + f + "\", navigator=1, pages=1, range=0)"},
        {TRpExportType::MSWord, "\"rxf_word.dll\", 0, word(size=1, range=0)"},
        {TRpExportType::SeparatedValues,
         "\"rxf_sepv.dll\", 3, sepv(size=1, numbers=0, dates=0, quote=\", separator=\",\")"},
        {TRpExportType::XML1, "\"rxf_xml.dll\", 0, xml(size=1, file=\"" + f + "\", pages=1)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Call);
        Rec.Reset();
        TRpe rpe;
        Open(rpe);
        rpe.SetOutput(TRpOutput::toExport);
        rpe.ExportOptions().FileType = c.Type;
        rpe.ExportOptions().FileName = f;
        ASSERT_TRUE(rpe.Execute());
        EXPECT_EQ(Rec.CallsOf("REExportTo"),
                  std::vector<std::string>{"REExportTo(1, " + c.Call + ", \"rxd_disk.dll\", 0, file=\"" + f + "\")"});
    }
    // An out-of-range column width goes out as 720.
    Rec.Reset();
    TRpe rpe;
    Open(rpe);
    rpe.SetOutput(TRpOutput::toExport);
    rpe.ExportOptions().FileType = TRpExportType::MSExcel;
    rpe.ExportOptions().Excel.ColumnWidthConstant = 9999;
    rpe.ExportOptions().FileName = f;
    ASSERT_TRUE(rpe.Execute());
    EXPECT_NE(Rec.CallsOf("REExportTo").at(0).find("width=720,"), std::string::npos);
    fs::remove_all(dir);
}

TEST_F(TRecordingTest, ExistingExportFileIsOverwrittenUnlessThePromptDeclines)
{
    char tmpl[] = "/tmp/mv-binding-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string f = dir + "/exists.csv";
    std::ofstream(f) << "old";
    TRpe rpe;
    Open(rpe);
    rpe.SetOutput(TRpOutput::toExport);
    rpe.ExportOptions().FileType = TRpExportType::SeparatedValues;
    rpe.ExportOptions().FileName = f;
    EXPECT_TRUE(rpe.Execute());  // no prompt: handed over as it is
    EXPECT_EQ(Rec.CallsOf("REExportTo").size(), 1u);

    rpe.ExportOptions().PromptOnOverwrite = true;
    std::string asked;
    rpe.SetOnConfirm([&](const std::string& text, const std::string& caption) {
        asked = caption + ": " + text;
        return false;
    });
    EXPECT_FALSE(rpe.Execute());
    EXPECT_EQ(asked, "Export Warning: Export FileName already exists.  Overwrite?");
    EXPECT_EQ(Rec.CallsOf("REExportTo").size(), 1u);
    fs::remove_all(dir);
}

TEST_F(TRecordingTest, ProgressDialogIsWhereTheEngineOpens)
{
    TRpe rpe;
    rpe.ClosePrintJob();
    rpe.SetReportName(kReport);
    rpe.SetOutput(TRpOutput::toExport);
    EXPECT_TRUE(Rec.Calls().empty());
    EXPECT_FALSE(rpe.EngineOpen());
    rpe.SetProgressDialog(false);
    EXPECT_EQ(Rec.Calls(), (std::vector<std::string>{"REOpenEngine()", "REOpenPrintJob(" + Q(kReport) + ")",
                                                     "REEnableProgressDialog(1, FALSE)"}));
    EXPECT_TRUE(rpe.JobOpen());
}

TEST_F(TRecordingTest, ClosePrintJobClosesSubreportsLastFirst)
{
    Rec.AddSubreport("Sub A", 4000, 1);
    Rec.AddSubreport("Sub B", 8000, 1);
    TRpe rpe;
    Open(rpe);
    rpe.SetOutput(TRpOutput::toExport);
    rpe.ExportOptions().FileType = TRpExportType::SeparatedValues;
    rpe.ExportOptions().FileName = "/tmp/mv-binding-subreports.csv";
    ASSERT_TRUE(rpe.Execute());
    // The run opened both subreports, last one first.
    EXPECT_EQ(Rec.CallsOf("REOpenSubreport"),
              (std::vector<std::string>{"REOpenSubreport(1, \"Sub B\")", "REOpenSubreport(1, \"Sub A\")"}));
    EXPECT_EQ(rpe.Subreports().Number(), 0);
    Rec.ClearLog();
    rpe.SetReportName(kReport + ".other");
    // Highest subreport index first: "Sub B" (index 2, job 2), then "Sub A" (index 1, job 3).
    EXPECT_EQ(Rec.Calls(), (std::vector<std::string>{"RECloseSubreport(2)", "RECloseSubreport(3)",
                                                     "REClosePrintJob(1)"}));
    EXPECT_FALSE(rpe.JobOpen());
    std::remove("/tmp/mv-binding-subreports.csv");
}

TEST_F(TRecordingTest, ReportNameChangeRules)
{
    TRpe rpe;
    Open(rpe);
    rpe.SetReportName(kReport);  // the same name: nothing happens
    EXPECT_TRUE(Rec.Calls().empty());
    EXPECT_TRUE(rpe.JobOpen());
    // Paths differing only in letter case are different files here.
    std::string upper = kReport;
    upper.replace(upper.size() - 3, 3, "RPT");
    rpe.SetReportName(upper);
    EXPECT_EQ(Rec.Calls(), std::vector<std::string>{"REClosePrintJob(1)"});
    EXPECT_EQ(rpe.ReportName(), upper);
    // Named but missing: setting succeeds, the first use fails.
    EXPECT_THROW(
        try { rpe.SetProgressDialog(false); } catch (const mv::ERpeError& e) {
            EXPECT_STREQ(e.what(), "Error:114 Report not found");
            throw;
        },
        mv::ERpeError);
    EXPECT_EQ(rpe.ParamFields().Count(), 0);
    rpe.SetReportName("  ");
    try {
        rpe.SQL().Retrieve();
        ADD_FAILURE();
    } catch (const mv::ERpeError& e) {
        EXPECT_STREQ(e.what(), "Error:112 No ReportName assigned");
    }
}

TEST_F(TRecordingTest, DestroyingClosesTheEngineOnlyWhenOpened)
{
    {
        TRpe rpe;
        rpe.SetReportName(kReport);
        rpe.Connect().SetServerName("X");  // opens the job
    }
    EXPECT_EQ(Rec.Calls().back(), "RECloseEngine()");
    EXPECT_EQ(Rec.EngineOpenCount(), 0);
    EXPECT_EQ(Rec.OpenJobCount(), 0);
    Rec.ClearLog();
    {
        TRpe rpe;
        rpe.SetReportName(kReport);
    }
    EXPECT_TRUE(Rec.Calls().empty());
}

TEST_F(TRecordingTest, SummaryInformation)
{
    Rec.SetSummary("Daily Rain", "Rainfall", "Hydrology", "rain,daily", "First line\nSecond line");
    TRpe rpe;
    EXPECT_EQ(rpe.SummaryInfo().Title(), "");  // no report: no engine
    EXPECT_TRUE(Rec.Calls().empty());
    rpe.SetReportName(kReport);
    EXPECT_EQ(rpe.SummaryInfo().Title(), "Daily Rain");
    EXPECT_EQ(rpe.SummaryInfo().Subject(), "Rainfall");
    EXPECT_EQ(rpe.SummaryInfo().Author(), "Hydrology");
    EXPECT_EQ(rpe.SummaryInfo().Keywords(), "rain,daily");
    EXPECT_EQ(rpe.SummaryInfo().Comments(), (std::vector<std::string>{"First line", "Second line"}));
    EXPECT_EQ(Rec.CallsOf("REGetReportSummaryInfo").size(), 5u);  // one call per read
}

TEST_F(TRecordingTest, TempPathGoesToTheEngineOnlyWhenItIsAnotherFolder)
{
    {
        TRpe rpe;
        rpe.OpenPrintEngine();
    }
    EXPECT_TRUE(Rec.CallsOf("RESetTempFilePath").empty());
    Rec.ClearLog();
    TRpe rpe;
    rpe.SetTempPath(MV_TEST_DATA_DIR);
    rpe.OpenPrintEngine();
    EXPECT_EQ(Rec.CallsOf("RESetTempFilePath"),
              std::vector<std::string>{"RESetTempFilePath(" + Q(MV_TEST_DATA_DIR) + ")"});
}

TEST(RpeDateTime, EngineText)
{
    struct {
        double Value;
        const char* Text;
    } const cases[] = {
        {0.0, "1899,12,30 00:00:00"},
        {45352.0625, "2024,03,01 01:30:00"},
        {45351.0 + 0.5, "2024,02,29 12:00:00"},                     // leap day
        {45352.0 - 1.0 / 86400000.0 / 4, "2024,03,01 00:00:00"},   // rounds to the millisecond
        {45352.0 + 86399.9 / 86400.0, "2024,03,01 23:59:59"},       // seconds are cut
        {2958465.0, "9999,12,31 00:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(TRpe::DateTimeToEngineText(c.Value), c.Text);
    }
}

}  // namespace
