// The installed program on a demo folder: a group that is two days behind
// falls due at start, its periods are exported, and SIGTERM leaves the
// schedule file with the period start moved on.
#include "core/runtime/RunTimes.h"
#include "core/timing/Clock.h"
#include "core/timing/DateTime.h"
#include "platform/ini/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace mv::ui {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// Runs a program to its end; its exit code, its output in `output`.
int RunToEnd(const QString& program, const QStringList& args, QString* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(60000)) return -1;
    *output = QString::fromLocal8Bit(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

std::string Day(TDateTime t) { return FormatDateTime("yyyy-mm-dd", t); }

class ProgramEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FDir.isValid());
        FPath = FDir.path().toStdString() + "/";
        ASSERT_TRUE(QFile::copy(MV_BINARY_DIR "/src/ui/mvscheduler", FDir.filePath("mvscheduler")));
        ASSERT_TRUE(QFile::copy(MV_RPENG32, FDir.filePath("librpeng32.so")));
        QString out;
        // A small demo database whose readings end today.
        ASSERT_EQ(RunToEnd("python3",
                      {MV_SOURCE_DIR "/scripts/make_demo.py", FDir.path(), "--days", "4", "--stations", "3"}, &out),
                  0)
            << out.toStdString();
    }

    // Starts the program headless in the folder, on the folder's data source.
    void Start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "MV_RPENG_LIBRARY"}) env.remove(name);
        env.insert("ODBCSYSINI", FDir.path());
        env.insert("ODBCINI", FDir.filePath("odbc.ini"));
        env.insert("MV_REGISTRY_FILE", FDir.filePath("none.reg"));
        FProgram.setProcessEnvironment(env);
        FProgram.setWorkingDirectory(FDir.path());
        FProgram.start(FDir.filePath("mvscheduler"), {});
        ASSERT_TRUE(FProgram.waitForStarted(5000));
    }

    // Collects standard error until `done` holds or `seconds` pass.
    template <class TDone>
    bool WaitFor(TDone done, int seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end || FProgram.state() == QProcess::NotRunning) return false;
            FProgram.waitForReadyRead(100);
            FErr += FProgram.readAllStandardError().toStdString();
        }
        return true;
    }

    void TearDown() override {
        if (FProgram.state() != QProcess::NotRunning) {
            FProgram.kill();
            FProgram.waitForFinished(5000);
        }
    }

    QTemporaryDir FDir;
    std::string FPath;
    QProcess FProgram;
    std::string FErr;
};

TEST_F(ProgramEndToEnd, GroupTwoDaysBehindExportsEachDayAndSavesTheNextPeriodStart) {
    const TDateTime now = Now();
    const TDateTime today = DateOf(now);
    // The group is due at the next tick of its daily grid, which is laid on
    // its base time: a few seconds from now, time enough for the program to
    // start (a tick missed would put the group off until tomorrow).
    const TDateTime tick = now + 6.0 / 86400;
    if (DateOf(tick + 20.0 / 86400) != today) GTEST_SKIP() << "too close to midnight for a daily group";
    const std::string outDir = FPath + "out";
    {
        // The demo catalog comes from the demo's own generator, which must
        // leave this schedule file alone.
        std::ofstream schedule(FPath + "MVVidUduzadev.MVF");
        schedule << "[Database Settings]\nODBC Data Source=MVDEMO\nODBC Username=\nODBC Password=\n\n"
                 << "[VidUduzadevr]\nLogDetail=2\nGroupNames=RptSchGroup:7\n\n"
                 << "[RptSchGroup:7]\nRGIndex=7\nEnabled=1\nReportKey=DailySummary\nBaseTime="
                 << FormatDateTime("hh:nn:ss", tick) << "\n"
                 << "IntType=3\nInterval=00:00:00\nStartFrom="
                 << FormatDateTime(kStartFromPattern, today - 2) << "\n"
                 << "Output=2\nOutputDir=" << outDir << "\nOutputName=daily yyyy-mm-dd\nOutputFormat=4\n"
                 << "TimeFrom=Yesterday\nTimeTo=Today\n"
                 << "Stations=4654433031" "0D0A" "4C4F563031" "0D0A\n"  // FTC01, LOV01
                 << "SpecialParams=705265706F727454696D65" "0D0A\n";  // pReportTime
    }
    QString out;
    ASSERT_EQ(RunToEnd("python3", {MV_SOURCE_DIR "/scripts/demo/demo_files.py", FDir.path()}, &out), 0)
        << out.toStdString();
    EXPECT_TRUE(out.contains("Keeping the schedule file")) << out.toStdString();
    QDir().mkpath(QString::fromStdString(outDir));

    ASSERT_NO_FATAL_FAILURE(Start());
    // Three periods are owed (the day before yesterday, yesterday, today):
    // one file each, named for its period start, holding the day before it.
    std::vector<std::string> files;
    for (int back = 2; back >= 0; --back) files.push_back(outDir + "/daily " + Day(today - back) + ".CSV");
    const bool exported = WaitFor(
        [&] {
            for (const std::string& f : files)
                if (FErr.find("File Name: " + f) == std::string::npos) return false;
            return FErr.find("Thread stopped.", FErr.find("File Name: " + files.back())) != std::string::npos;
        },
        20);
    ASSERT_TRUE(exported) << FErr;

    for (int back = 2; back >= 0; --back) {
        const std::string& file = files[static_cast<std::size_t>(2 - back)];
        SCOPED_TRACE(file);
        const std::vector<std::string> lines = Lines(ReadAll(file));
        ASSERT_GE(lines.size(), 2u);
        const std::string reported = Day(today - back - 1);
        int rows = 0;
        for (const std::string& line : lines) {
            if (line.find("FTC01") == std::string::npos && line.find("LOV01") == std::string::npos) continue;
            ++rows;
            EXPECT_NE(line.find(reported), std::string::npos) << line;
            EXPECT_EQ(line.find(Day(today - back)), std::string::npos) << line;
        }
        // Two stations with four sensors each, one row per station, sensor and day.
        EXPECT_EQ(rows, 8);
        EXPECT_EQ(ReadAll(file).find("GRE01"), std::string::npos) << "a station outside the group's list";
    }
    EXPECT_NE(FErr.find("Startup parameters loaded."), std::string::npos) << FErr;
    EXPECT_NE(FErr.find("Connected to database MVDEMO."), std::string::npos) << FErr;
    EXPECT_EQ(FErr.find("Error"), std::string::npos) << FErr;
    // Oldest period first.
    EXPECT_LT(FErr.find("File Name: " + files[0]), FErr.find("File Name: " + files[1]));
    EXPECT_LT(FErr.find("File Name: " + files[1]), FErr.find("File Name: " + files[2]));

    ::kill(static_cast<pid_t>(FProgram.processId()), SIGTERM);
    ASSERT_TRUE(FProgram.waitForFinished(15000));
    EXPECT_EQ(FProgram.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(FProgram.exitCode(), 0);
    TIniFile ini(FPath + "MVVidUduzadev.MVF");
    EXPECT_EQ(ini.ReadString("RptSchGroup:7", "StartFrom", ""),
              FormatDateTime(kStartFromPattern, today + 1));
    EXPECT_EQ(ini.ReadString("VidUduzadevr", "GroupNames", ""), "RptSchGroup:7");
    EXPECT_EQ(ini.ReadString("Database Settings", "ODBC Data Source", ""), "MVDEMO");
}

}  // namespace
}  // namespace mv::ui
