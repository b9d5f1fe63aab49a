// The binding driving the real engine library over the demo data source of
// the test services, as the report job does.
#include "support/TestFiles.h"
#include "engine/TRpe.h"
#include "platform/odbc/Odbc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace {

using mv::test::ReadFile;

namespace fs = std::filesystem;
using mv::ERpeError;
using mv::TRpe;
using mv::TRpExportType;
using mv::TRpOutput;

const std::string kReport = MV_TEST_DATA_DIR "/engine/e2e_daily_counts.xml";

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) out.push_back(line);
    }
    return out;
}

// Rows of an independent query over the demo data source, as texts.
std::vector<std::vector<std::string>> Query(const std::string& sql)
{
    mv::odbc::TConnection db(mv::odbc::TLogon{"MVDEMO", "", "", ""});
    mv::odbc::TStatement st(db);
    st.ExecuteDirect(sql);
    std::vector<std::vector<std::string>> rows;
    while (st.Fetch()) {
        std::vector<std::string> row;
        for (size_t c = 0; c < st.ColumnCount(); ++c) row.emplace_back(st.Text(c));
        rows.push_back(row);
    }
    return rows;
}

const char* const kCountsSql =
    "SELECT STATION_ID, SENSORNAME, SUBSTR(CAST(READING_TIME AS VARCHAR(19)), 1, 10) AS D, COUNT(*) "
    "FROM MV_DATA1 WHERE READING_TIME >= '%s' AND READING_TIME < '%s' AND STATION_ID IN (%s) AND VALUE >= %s "
    "GROUP BY STATION_ID, SENSORNAME, D ORDER BY STATION_ID, SENSORNAME, D";

std::string CountsSql(const char* from, const char* to, const char* sites, const char* minValue)
{
    char buf[1024];
    std::snprintf(buf, sizeof buf, kCountsSql, from, to, sites, minValue);
    return buf;
}

class TEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("ODBCSYSINI"), nullptr) << "run through ctest: the services fixture provides MVDEMO";
        setenv("MV_RPENG_LIBRARY", RPENG32, 1);
        char tmpl[] = "/tmp/mv-binding-e2e-XXXXXX";
        FDir = mkdtemp(tmpl);
    }
    void TearDown() override
    {
        fs::remove_all(FDir);
        unsetenv("MV_RPENG_LIBRARY");
    }

    // Opens the report, logs on and fills the parameters for one period, as
    // the report job does.
    void Prepare(TRpe& rpe, TRpOutput output, const std::string& dataSource = "MVDEMO",
                 const std::string& user = "", const std::string& password = "")
    {
        rpe.ClosePrintJob();
        rpe.SetReportName(kReport);
        rpe.SetProgressDialog(false);
        rpe.SetOutput(output);
        rpe.ExportOptions().Destination = mv::TRpExportDestination::toFile;
        rpe.ExportOptions().PromptOnOverwrite = false;
        rpe.ExportOptions().PromptForOptions = false;
        rpe.Connect().SetServerName(dataSource);
        rpe.Connect().SetUserID(user);
        rpe.Connect().SetPassword(password);
        rpe.Connect().SetPropagate(true);
    }

    void FillParameters(TRpe& rpe, const std::string& from, const std::string& to,
                        const std::vector<std::string>& sites, const std::string& minValue)
    {
        const int count = rpe.ParamFields().Count();
        ASSERT_EQ(count, 4);
        std::set<std::string> seen;
        for (int i = 0; i < count; ++i) {
            rpe.ParamFields().SetNumber(i);
            auto& item = rpe.ParamFields().Item();
            seen.insert(item.Name());
            if (item.Name() == "StartTime") {
                item.SetCurrentValue(from);
            } else if (item.Name() == "EndTime") {
                item.SetCurrentValue(to);
            } else if (item.Name() == "SiteList") {
                item.CurrentValues().Clear();
                for (const std::string& s : sites) item.CurrentValues().Add(s);
            } else {
                EXPECT_FALSE(item.IsLinked());
                item.CurrentValues().Clear();
                item.CurrentValues().Add(minValue);
            }
        }
        EXPECT_EQ(seen, (std::set<std::string>{"StartTime", "EndTime", "SiteList", "MinValue"}));
        rpe.ParamFields().SetAllowDialog(false);
    }

    // Data lines of an exported CSV file (the first line holds the captions).
    std::vector<std::vector<std::string>> CsvRows(const std::string& path)
    {
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> lines = Lines(ReadFile(path));
        for (size_t i = 1; i < lines.size(); ++i) {
            std::vector<std::string> cells;
            std::string cell;
            bool quoted = false;
            for (char c : lines[i]) {
                if (c == '"') quoted = !quoted;
                else if (c == ',' && !quoted) cells.push_back(cell), cell.clear();
                else cell += c;
            }
            cells.push_back(cell);
            rows.push_back(cells);
        }
        return rows;
    }

    std::string FDir;
};

TEST_F(TEndToEnd, LogonParametersQueryAndCsvAndXmlExports)
{
    TRpe rpe;
    Prepare(rpe, TRpOutput::toExport);
    EXPECT_EQ(rpe.SummaryInfo().Title(), "Daily counts");

    // Period 1: two stations, two days, every reading.
    rpe.ExportOptions().FileType = TRpExportType::SeparatedValues;
    rpe.ExportOptions().FileName = FDir + "/counts.csv";
    FillParameters(rpe, TRpe::DateTimeToEngineText(45352.0) /* 03/01/2024 */, "2024,03,03 00:00:00",
                   {"FTC01", "FTC02"}, "-1000000");
    ASSERT_TRUE(rpe.SQL().Retrieve());
    std::string query;
    for (const std::string& line : rpe.SQL().Query()) query += line + "\n";
    EXPECT_NE(query.find("FROM MV_DATA1"), std::string::npos) << query;
    ASSERT_TRUE(rpe.Execute());

    // The engine's rows are those of the same query asked directly.
    std::vector<std::vector<std::string>> rows = CsvRows(FDir + "/counts.csv");
    for (auto& r : rows) {
        ASSERT_EQ(r.size(), 5u);
        r.pop_back();  // the maximum, whose number format is the report's
    }
    std::vector<std::vector<std::string>> expected =
        Query(CountsSql("2024-03-01 00:00:00", "2024-03-03 00:00:00", "'FTC01', 'FTC02'", "-1000000"));
    ASSERT_GE(expected.size(), 4u);
    EXPECT_EQ(rows, expected) << ReadFile(FDir + "/counts.csv");

    // Period 2 on the same job: one station, one day, and an ordinary
    // parameter that leaves out the readings below 13; XML this time.
    rpe.ExportOptions().FileType = TRpExportType::XML1;
    rpe.ExportOptions().FileName = FDir + "/counts.xml";
    FillParameters(rpe, "2024,03,02 00:00:00", "2024,03,03 00:00:00", {"FTC02"}, "13");
    ASSERT_TRUE(rpe.Execute());
    const std::string xml = ReadFile(FDir + "/counts.xml");
    expected = Query(CountsSql("2024-03-02 00:00:00", "2024-03-03 00:00:00", "'FTC02'", "13"));
    ASSERT_FALSE(expected.empty());
    size_t rowsInXml = 0;
    for (size_t at = xml.find("<row>"); at != std::string::npos; at = xml.find("<row>", at + 1)) ++rowsInXml;
    EXPECT_EQ(rowsInXml, expected.size()) << xml;
    for (const auto& e : expected) {
        const std::string row = "<field name=\"STATION_ID\">" + e[0] + "</field><field name=\"SENSORNAME\">" + e[1] +
                                "</field><field name=\"READING_DAY\">" + e[2] + "</field><field name=\"READINGS\">" +
                                e[3] + "</field>";
        EXPECT_NE(xml.find(row), std::string::npos) << row << "\n" << xml;
    }
    EXPECT_EQ(xml.find("FTC01"), std::string::npos);
}

TEST_F(TEndToEnd, PdfExport)
{
    TRpe rpe;
    Prepare(rpe, TRpOutput::toExport);
    rpe.ExportOptions().FileType = TRpExportType::AdobeAcrobatPDF;
    rpe.ExportOptions().FileName = FDir + "/counts.pdf";
    FillParameters(rpe, "2024,03,01 00:00:00", "2024,03,02 00:00:00", {"FTC01"}, "-1000000");
    try {
        ASSERT_TRUE(rpe.Execute());
    } catch (const ERpeError& e) {
        if (e.Number() == 547) GTEST_SKIP() << "the engine writes no PDF yet: " << e.what();
        throw;
    }
    EXPECT_EQ(ReadFile(FDir + "/counts.pdf").rfind("%PDF", 0), 0u);
}

TEST_F(TEndToEnd, PrintsToAQueueChosenByItsDisplayName)
{
    const char* out = std::getenv("MV_CUPS_DIR");
    ASSERT_NE(out, nullptr);
    const std::string printed = std::string(out) + "/out/BindingPDF.pdf";
    fs::remove(printed);
    TRpe rpe;
    Prepare(rpe, TRpOutput::toPrinter);
    rpe.Printer().Name = "Test queue BindingPDF";
    FillParameters(rpe, "2024,03,01 00:00:00", "2024,03,02 00:00:00", {"FTC01"}, "-1000000");
    try {
        ASSERT_TRUE(rpe.Execute());
    } catch (const ERpeError& e) {
        if (e.Number() == 547) GTEST_SKIP() << "the engine does not print yet: " << e.what();
        throw;
    }
    EXPECT_EQ(rpe.Printer().Port, "file://" + printed);
    // cupsd writes the file a moment after the job was handed over.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!(fs::exists(printed) && fs::file_size(printed) > 0) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(fs::exists(printed));
}

TEST_F(TEndToEnd, WrongPasswordFailsTheRunWithoutShowingIt)
{
    const char* pg = std::getenv("MV_SERVICES_DIR");
    ASSERT_NE(pg, nullptr);
    TRpe rpe;
    Prepare(rpe, TRpOutput::toExport, "MVDEMO_PG", "mvdemo", "wrong-secret-pw");
    rpe.ExportOptions().FileType = TRpExportType::SeparatedValues;
    rpe.ExportOptions().FileName = FDir + "/never.csv";
    FillParameters(rpe, "2024,03,01 00:00:00", "2024,03,02 00:00:00", {}, "0");
    try {
        rpe.Execute();
        FAIL() << "ran with a wrong password";
    } catch (const ERpeError& e) {
        EXPECT_EQ(e.Number(), 530);
        const std::string message = e.what();
        EXPECT_NE(message.find("\r\nExecute <REStartPrintJob>"), std::string::npos) << message;
        EXPECT_EQ(message.find("wrong-secret-pw"), std::string::npos) << message;
    }
    EXPECT_FALSE(fs::exists(FDir + "/never.csv"));
}

// Two bindings on two threads at once share nothing: each loads the library,
// opens the engine and runs its own report.
TEST_F(TEndToEnd, BindingsOnTwoThreads)
{
    std::string errors[2];
    auto run = [&](int k, std::string site) {
        try {
            TRpe rpe;
            Prepare(rpe, TRpOutput::toExport);
            rpe.ExportOptions().FileType = TRpExportType::SeparatedValues;
            rpe.ExportOptions().FileName = FDir + "/thread" + std::to_string(k) + ".csv";
            FillParameters(rpe, "2024,03,01 00:00:00", "2024,03,02 00:00:00", {site}, "-1000000");
            if (!rpe.Execute()) errors[k] = "not produced";
        } catch (const std::exception& e) {
            errors[k] = e.what();
        }
    };
    std::thread a(run, 0, "FTC01"), b(run, 1, "GRE01");
    a.join();
    b.join();
    EXPECT_EQ(errors[0], "");
    EXPECT_EQ(errors[1], "");
    for (int k = 0; k < 2; ++k) {
        std::vector<std::vector<std::string>> rows = CsvRows(FDir + "/thread" + std::to_string(k) + ".csv");
        ASSERT_FALSE(rows.empty());
        for (const auto& r : rows) EXPECT_EQ(r[0], k == 0 ? "FTC01" : "GRE01");
    }
}

}  // namespace
