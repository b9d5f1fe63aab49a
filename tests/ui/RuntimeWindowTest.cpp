// The main window on the real scheduler runtime, the real report engine and
// the demo database, in this process: what the operator does while a report
// job is running.
#include "UiTestSupport.h"

#include "core/runtime/RunTimes.h"
#include "core/timing/Clock.h"
#include "core/timing/DateTime.h"
#include "platform/ini/IniFile.h"
#include "ui/app/PollForm.h"
#include "ui/app/RuntimeAdapter.h"
#include "ui/app/ScheduleMain.h"
#include "ui/dialogs/ExitConfirm.h"
#include "ui/setup/ScheduleSetup.h"
#include "core/schedule/ScheduleDataDef.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace mv::ui {
namespace {

int Count(const QString& text, const QString& part) { return text.count(part); }

class RuntimeWindowTest : public ::testing::Test {
protected:
    // One demo folder for the whole suite: the ODBC driver manager reads its
    // data sources once per process, so every test must see the same one.
    static void SetUpTestSuite() {
        gDir = new QTemporaryDir;
        QProcess make;
        make.setProcessChannelMode(QProcess::MergedChannels);
        make.start("python3", {MV_SOURCE_DIR "/scripts/make_demo.py", gDir->path(), "--days", "2", "--stations", "3"});
        make.waitForFinished(60000);
        gMakeOutput = make.readAll().toStdString();
        gMade = make.exitStatus() == QProcess::NormalExit && make.exitCode() == 0;
        qputenv("ODBCSYSINI", gDir->path().toLocal8Bit());
        qputenv("ODBCINI", gDir->filePath("odbc.ini").toLocal8Bit());
        qputenv("MV_REGISTRY_FILE", gDir->filePath("none.reg").toLocal8Bit());
        qputenv("MV_RPENG_LIBRARY", MV_RPENG32);
    }
    static void TearDownTestSuite() {
        for (const char* name : {"ODBCSYSINI", "ODBCINI", "MV_REGISTRY_FILE", "MV_RPENG_LIBRARY"}) qunsetenv(name);
        delete gDir;
        gDir = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(gMade) << gMakeOutput;
        FPath = gDir->path().toStdString() + "/";
        QFile::remove(QString::fromStdString(FPath + "MVVidUduzadev.MVF"));
        QDir(QString::fromStdString(OutDir())).removeRecursively();
        QDir().mkpath(QString::fromStdString(OutDir()));
    }

    std::string OutDir() const { return FPath + "out"; }

    // One enabled daily group exporting CSV from `startFrom` on; its run grid
    // is laid on `baseTime`. The after-run program keeps the job running for
    // two seconds after its export.
    void WriteSchedule(TDateTime baseTime, TDateTime startFrom) {
        std::ofstream schedule(FPath + "MVVidUduzadev.MVF");
        schedule << "[Database Settings]\nODBC Data Source=MVDEMO\nODBC Username=\nODBC Password=\n\n"
                 << "[VidUduzadevr]\nLogDetail=2\nGroupNames=RptSchGroup:4\n\n"
                 << "[RptSchGroup:4]\nRGIndex=4\nEnabled=1\nReportKey=DailySummary\nBaseTime="
                 << FormatDateTime("hh:nn:ss", baseTime) << "\nIntType=3\nInterval=00:00:00\nStartFrom="
                 << FormatDateTime(kStartFromPattern, startFrom) << "\nAfterRun=sleep 2\n"
                 << "Output=2\nOutputDir=" << OutDir() << "\nOutputName=daily yyyy-mm-dd\nOutputFormat=4\n"
                 << "TimeFrom=Yesterday\nTimeTo=Today\n"
                 << "Stations=4654433031" "0D0A\n"  // FTC01
                 << "SpecialParams=705265706F727454696D65" "0D0A\n";  // pReportTime
    }

    void InstallDemoFiles() {
        QProcess files;
        files.setProcessChannelMode(QProcess::MergedChannels);
        files.start("python3", {MV_SOURCE_DIR "/scripts/demo/demo_files.py", gDir->path()});
        ASSERT_TRUE(files.waitForFinished(60000));
        ASSERT_EQ(files.exitCode(), 0) << files.readAll().toStdString();
    }

    std::unique_ptr<TfrmVidUduzadevrMain> MakeWindow() {
        TMainWindowOptions options;
        options.AppDir = FPath;
        UseSchedulerRuntime(options);
        auto w = std::make_unique<TfrmVidUduzadevrMain>(std::move(options));
        w->show();
        return w;
    }

    // Runs events until `done` holds; false after `ms`.
    template <class TDone>
    static bool WaitUntil(TDone done, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    // One group owing today whose grid tick is an hour away, so that only
    // the start-now dialog starts it; false too close to midnight.
    bool WriteGroupOwingToday(TDateTime& today) {
        const TDateTime now = Now();
        today = DateOf(now);
        if (DateOf(now + 1.0 / 24) != today) return false;
        WriteSchedule(now + 1.0 / 24, today);
        return true;
    }

    static QString Memo(TfrmVidUduzadevrMain& w) { return w.memoStatus->toPlainText(); }

    // Answers the next start-now dialog with the line of the only group.
    static void PickOnlyGroupWhenAsked() {
        test::WhenModal([](QWidget* dialog) {
            auto* poll = qobject_cast<TfrmPoll*>(dialog);
            ASSERT_NE(poll, nullptr);
            ASSERT_EQ(poll->lbxPollGroups->count(), 1);
            EXPECT_EQ(poll->lbxPollGroups->item(0)->text(), "4");
            poll->lbxPollGroups->item(0)->setSelected(true);
            poll->BtnOK->click();
        });
    }

    static inline QTemporaryDir* gDir = nullptr;
    static inline bool gMade = false;
    static inline std::string gMakeOutput;
    std::string FPath;
};

TEST_F(RuntimeWindowTest, StartNowOnARunningGroupStartsNoSecondJob) {
    TDateTime today = 0;
    if (!WriteGroupOwingToday(today)) GTEST_SKIP() << "too close to midnight for a daily group";
    ASSERT_NO_FATAL_FAILURE(InstallDemoFiles());
    auto w = MakeWindow();
    EXPECT_EQ(w->lblPollGroup->text(), "4");

    PickOnlyGroupWhenAsked();
    w->actStartProcessNowExecute();
    ASSERT_TRUE(WaitUntil([&] { return Memo(*w).contains("File Name: "); }, 20000)) << Memo(*w).toStdString();
    // The job is now in its after-run program; a second start is refused
    // quietly, and the queue stays without the group until the job ends.
    ASSERT_FALSE(Memo(*w).contains("Thread stopped."));
    PickOnlyGroupWhenAsked();
    w->actStartProcessNowExecute();
    ASSERT_TRUE(WaitUntil([&] { return Memo(*w).contains("Thread freed."); }, 20000)) << Memo(*w).toStdString();
    // Give a wrongly started second job time to show itself.
    WaitUntil([] { return false; }, 3000);

    const QString memo = Memo(*w);
    EXPECT_EQ(Count(memo, "Thread started."), 1) << memo.toStdString();
    EXPECT_EQ(Count(memo, "File Name: "), 1) << memo.toStdString();
    EXPECT_EQ(Count(memo, "Error"), 0) << memo.toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(OutDir() + "/daily " + FormatDateTime("yyyy-mm-dd", today) +
                                                     ".CSV")));
    // Back in the queue once, as next group, its period moved on.
    EXPECT_EQ(w->lblPollGroup->text(), "4");
    w->ShutdownNow();
    TIniFile ini(FPath + "MVVidUduzadev.MVF");
    EXPECT_EQ(ini.ReadString("RptSchGroup:4", "StartFrom", ""), FormatDateTime(kStartFromPattern, today + 1));
}

TEST_F(RuntimeWindowTest, JobStartsWhileExitQuestionIsOpenAndOkWaitsForIt) {
    TDateTime today = 0;
    if (!WriteGroupOwingToday(today)) GTEST_SKIP() << "too close to midnight for a daily group";
    ASSERT_NO_FATAL_FAILURE(InstallDemoFiles());
    auto w = MakeWindow();
    // Only now, however long the start took, lay the grid a few seconds
    // ahead and queue the group afresh, as the editor would.
    w->ScheduleGroups().Items(0).BaseTime = Now() + 3.0 / 86400;
    w->BeginGroupEdit();
    w->EndGroupEdit(true);
    const QString outFile = QString::fromStdString(OutDir() + "/daily " + FormatDateTime("yyyy-mm-dd", today) + ".CSV");

    bool sawQuestionDuringJob = false;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        TfrmExitConfirm* question = PendingExitConfirm();
        if (!question) return;
        // The run timer keeps going behind the question; once the job has
        // written its file and sits in its after-run program (which comes
        // before "Finish the report."), say OK.
        if (QFile::exists(outFile) && !Memo(*w).contains("Finish the report.")) {
            sawQuestionDuringJob = question->isVisible() && Memo(*w).contains("Now ready to run the report.");
            poll.stop();
            question->btnOK->click();
        } else if (clock.elapsed() > 30000) {
            poll.stop();
            question->btnCancel->click();
        }
    });
    poll.start();
    w->close();

    EXPECT_TRUE(sawQuestionDuringJob) << Memo(*w).toStdString();
    EXPECT_FALSE(w->isVisible());
    // Closing waited for the job, whose period start was kept.
    TIniFile ini(FPath + "MVVidUduzadev.MVF");
    EXPECT_EQ(ini.ReadString("RptSchGroup:4", "StartFrom", ""), FormatDateTime(kStartFromPattern, today + 1));
    EXPECT_FALSE(Memo(*w).contains("Error")) << Memo(*w).toStdString();
}

// The shown group's job ends while the editor is open and moves its period
// on; saving another edit afterwards must not put the old StartFrom back,
// or the queue rebuilt on closing runs the delivered period again.
TEST_F(RuntimeWindowTest, SavingAfterTheShownGroupsJobEndedKeepsItsNewPeriod) {
    TDateTime today = 0;
    if (!WriteGroupOwingToday(today)) GTEST_SKIP() << "too close to midnight for a daily group";
    ASSERT_NO_FATAL_FAILURE(InstallDemoFiles());
    auto w = MakeWindow();

    PickOnlyGroupWhenAsked();
    w->actStartProcessNowExecute();
    ASSERT_TRUE(WaitUntil([&] { return Memo(*w).contains("File Name: "); }, 20000)) << Memo(*w).toStdString();

    QString shown;
    bool jobEndedDuringEdit = false;
    test::WhenModal([&](QWidget* modal) {
        auto* editor = qobject_cast<TfrmOptionSetup*>(modal);
        ASSERT_NE(editor, nullptr);
        shown = editor->cbxDateFrom->currentText();
        jobEndedDuringEdit = WaitUntil([&] { return Memo(*w).contains("Thread freed."); }, 20000);
        editor->edtAfterRun->setText("true");
        editor->btnSave->click();
        editor->btnClose->click();
    });
    w->actSetupExecute();

    EXPECT_EQ(shown.toStdString(), FormatDateTime(kStartFromPattern, today));
    EXPECT_TRUE(jobEndedDuringEdit) << Memo(*w).toStdString();
    ASSERT_EQ(w->ScheduleGroups().Count(), 1);
    EXPECT_EQ(w->ScheduleGroups().Items(0).AfterRun, "true");
    EXPECT_EQ(w->ScheduleGroups().Items(0).StartFrom, FormatDateTime(kStartFromPattern, today + 1));
    w->ShutdownNow();
    EXPECT_EQ(Count(Memo(*w), "Thread started."), 1) << Memo(*w).toStdString();
    TIniFile ini(FPath + "MVVidUduzadev.MVF");
    EXPECT_EQ(ini.ReadString("RptSchGroup:4", "StartFrom", ""), FormatDateTime(kStartFromPattern, today + 1));
}

// The operator edits the groups while a job runs: adds a group, deletes the
// running one, and the ten-minute save fires meanwhile. The job still
// delivers its report; its end gives its period to no group; the schedule
// file holds exactly the groups the editor left.
TEST_F(RuntimeWindowTest, EditingGroupsWhileAJobRunsAndTheSaveFires) {
    TDateTime today = 0;
    if (!WriteGroupOwingToday(today)) GTEST_SKIP() << "too close to midnight for a daily group";
    ASSERT_NO_FATAL_FAILURE(InstallDemoFiles());
    auto w = MakeWindow();
    test::TMessageRecorder boxes;  // answers the delete question with OK

    PickOnlyGroupWhenAsked();
    w->actStartProcessNowExecute();
    ASSERT_TRUE(WaitUntil([&] { return Memo(*w).contains("File Name: "); }, 20000)) << Memo(*w).toStdString();

    QStringList before, after;
    bool jobEndedDuringEdit = false;
    test::WhenModal([&](QWidget* modal) {
        auto* editor = qobject_cast<TfrmOptionSetup*>(modal);
        ASSERT_NE(editor, nullptr);
        editor->actNewExecute();  // group 1
        for (int i = 0; i < editor->cbxGroup->count(); ++i) before << editor->cbxGroup->itemText(i);
        w->tmrINISaverTimer();
        editor->cbxGroup->setCurrentIndex(0);  // group 4, its job still running
        editor->actDeleteExecute();
        w->tmrINISaverTimer();
        jobEndedDuringEdit = WaitUntil([&] { return Memo(*w).contains("Thread freed."); }, 20000);
        w->tmrINISaverTimer();
        for (int i = 0; i < editor->cbxGroup->count(); ++i) after << editor->cbxGroup->itemText(i);
        editor->btnClose->click();
    });
    w->actSetupExecute();

    EXPECT_EQ(before, QStringList({"4", "1"}));
    EXPECT_EQ(after, QStringList({"1"}));
    EXPECT_TRUE(jobEndedDuringEdit) << Memo(*w).toStdString();
    EXPECT_TRUE(QFile::exists(
        QString::fromStdString(OutDir() + "/daily " + FormatDateTime("yyyy-mm-dd", today) + ".CSV")));
    ASSERT_EQ(w->ScheduleGroups().Count(), 1);
    EXPECT_EQ(w->ScheduleGroups().Items(0).RGIndex, 1);
    EXPECT_EQ(w->ScheduleGroups().Items(0).StartFrom, "Now");  // nothing of group 4's job
    EXPECT_FALSE(Memo(*w).contains("Error")) << Memo(*w).toStdString();

    w->ShutdownNow();
    TIniFile ini(FPath + "MVVidUduzadev.MVF");
    EXPECT_EQ(ini.ReadString("VidUduzadevr", "GroupNames", ""), "RptSchGroup:1");
    // The deleted group's section stays behind, unlisted and never read.
    EXPECT_EQ(ini.ReadString("RptSchGroup:4", "StartFrom", ""), FormatDateTime(kStartFromPattern, today));
    EXPECT_EQ(ini.ReadString("RptSchGroup:1", "StartFrom", ""), "Now");
    EXPECT_EQ(ini.ReadString("Database Settings", "ODBC Data Source", ""), "MVDEMO");
}

}  // namespace
}  // namespace mv::ui
