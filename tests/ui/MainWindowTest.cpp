#include "UiTestSupport.h"

#include "core/runtime/StatusLog.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/schedule/ScheduleFile.h"
#include "platform/ini/IniFile.h"
#include "ui/app/ScheduleMain.h"
#include "ui/app/PollForm.h"
#include "ui/db/MyLogin.h"
#include "ui/dialogs/ExitConfirm.h"
#include "ui/setup/ScheduleSetup.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenuBar>
#include <QToolBar>
#include <QTimer>

#include <thread>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

namespace mv::ui {
namespace {

using test::TFakeDatabase;
using test::TFakeScheduler;
using test::TMessageRecorder;

class MainWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<TfrmVidUduzadevrMain> MakeWindow(std::function<void(TMainWindowOptions&)> tweak = {}) {
        TMainWindowOptions options;
        options.AppDir = Dir.path().toStdString() + "/";
        options.MakeScheduler = [this](TRuntimeContext& c) {
            auto s = std::make_unique<TFakeScheduler>(c.View);
            Scheduler = s.get();
            s->OnShutdown = [this] {
                ++Shutdowns;
                Scheduler = nullptr;
            };
            return s;
        };
        options.MakeDatabase = [this](TRuntimeContext&) {
            auto d = std::make_unique<TFakeDatabase>();
            d->ConnectsAtStart = ConnectsAtStart;
            Database = d.get();
            return d;
        };
        options.ShowHelp = [this](const std::string& file, int command) { HelpCalls.emplace_back(file, command); };
        if (tweak) tweak(options);
        return std::make_unique<TfrmVidUduzadevrMain>(std::move(options));
    }
    std::string SchedulePath() const { return Dir.path().toStdString() + "/MVVidUduzadev.MVF"; }
    void WriteSchedule(const std::string& text) const { std::ofstream(SchedulePath()) << text; }
    static QStringList MemoLines(TfrmVidUduzadevrMain& w) { return w.memoStatus->toPlainText().split('\n'); }

    QTemporaryDir Dir;
    TFakeScheduler* Scheduler = nullptr;
    TFakeDatabase* Database = nullptr;
    bool ConnectsAtStart = false;
    int Shutdowns = 0;
    std::vector<std::pair<std::string, int>> HelpCalls;
};

TEST_F(MainWindowTest, StartsWithoutScheduleFileAndCreatesItOnExit) {
    auto w = MakeWindow([](TMainWindowOptions& o) { o.MakeScheduler = nullptr; });
    EXPECT_EQ(w->windowTitle(), "MV Rededor Izivivari");
    EXPECT_EQ(w->lblPollGroup->text(), "Disabled");
    EXPECT_EQ(w->lblPollTime->text(), "Disabled");
    EXPECT_EQ(QRect(w->pos(), w->size()), QRect(202, 95, 465, 377));
    EXPECT_EQ(w->font().family(), "Arial");
    EXPECT_EQ(w->font().pointSize(), 8);
    EXPECT_EQ(w->lblDataSource->text(), "");
    EXPECT_EQ(w->tmrRunReport->interval(), 1000);
    EXPECT_EQ(w->tmrINISaver->interval(), 600000);
    EXPECT_TRUE(w->tmrRunReport->isActive());
    EXPECT_TRUE(w->tmrINISaver->isActive());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(SchedulePath())));

    w->ShutdownNow();
    TIniFile ini(SchedulePath());
    EXPECT_TRUE(ini.SectionExists("VidUduzadevr"));
    EXPECT_EQ(ini.ReadInteger("Windows Settings", "Left", -1), 202);
    EXPECT_EQ(ini.ReadInteger("Windows Settings", "Height", -1), 377);
}

TEST_F(MainWindowTest, GeometryIsKeptAcrossRestarts) {
    {
        auto w = MakeWindow();
        w->move(310, 140);
        w->resize(520, 410);
        w->ShutdownNow();
    }
    auto w = MakeWindow();
    EXPECT_EQ(QRect(w->pos(), w->size()), QRect(310, 140, 520, 410));
}

TEST_F(MainWindowTest, DetailLevelComesFromFileAndClicksTakeEffectAtOnce) {
    WriteSchedule("[VidUduzadevr]\nLogDetail=2\nGroupNames=\n");
    auto w = MakeWindow();
    EXPECT_TRUE(w->FDetailButtons->button(2)->isChecked());
    EXPECT_EQ(w->StatusLog().DetailLevel(), 2);
    w->FDetailButtons->button(0)->click();
    EXPECT_EQ(w->StatusLog().DetailLevel(), 0);
    QStringList captions;
    for (auto* b : w->FDetailButtons->buttons()) captions << b->text();
    EXPECT_EQ(captions, QStringList({"Low", "Medium", "High"}));
    EXPECT_EQ(w->radDetail->title(), "Detail Level");
    w->ShutdownNow();

    // A level above High from a hand-edited file works as High and shows so.
    WriteSchedule("[VidUduzadevr]\nLogDetail=3\nGroupNames=\n");
    auto edited = MakeWindow();
    EXPECT_TRUE(edited->FDetailButtons->button(2)->isChecked());
}

TEST_F(MainWindowTest, MenusAndToolBarCarryTheirCaptionsAndHints) {
    auto w = MakeWindow();
    const struct {
        QAction* Action;
        const char* Text;
        const char* Hint;
    } kActions[] = {
        {w->actExit, "E&xit", "Exit|Quits the application"},
        {w->actConnect, "&Connect", "Connect to database"},
        {w->actDisconnect, "&Disconnect", "Disconnect from database."},
        {w->actStartProcessNow, "&Start Process Now...", "Will process the groups immediately"},
        {w->actStopProcess, "Stop &Process", "Stop process  now"},
        {w->actSetup, "Edit &Setup Parameters", "Edit setup parameters|Edit setup parameters."},
        {w->actClearMessages, "Clear Status &Messages", "Clear messages|Clear status messages."},
        {w->actLogMessages, "&Log Status Messages",
         "Log all status and error messages|Log status and error messages to disk."},
        {w->actHelp, "&Help", ""},
        {w->actContents, "&Contents", ""},
        {w->actAbout, "About...", ""},
    };
    for (const auto& a : kActions) {
        SCOPED_TRACE(a.Text);
        EXPECT_EQ(a.Action->text(), a.Text);
        EXPECT_EQ(a.Action->statusTip(), a.Hint);
    }
    QStringList menus;
    for (QAction* m : w->menuBar()->actions()) menus << m->text();
    EXPECT_EQ(menus, QStringList({"&File", "Database", "Process", "&Options", "&Help"}));
    QStringList tools;
    for (QAction* a : w->tbrMain->actions()) tools << (a->isSeparator() ? QString("-") : a->text());
    EXPECT_EQ(tools, QStringList({"&Start Process Now...", "Stop &Process", "Edit &Setup Parameters", "-",
                                  "Clear Status &Messages", "&Log Status Messages", "&Help"}));
    EXPECT_EQ(w->tbrMain->widgetForAction(w->actStopProcess)->width(), 28);
}

// The login dialog stays after Cancel and goes after OK, so that the next
// "&Connect" lists the data sources as they are then.
TEST_F(MainWindowTest, LoginDialogIsMadeAnewAfterOK) {
    auto w = MakeWindow();
    Database->AskLogin = true;
    test::WhenModal([](QWidget* d) { static_cast<QDialog*>(d)->reject(); });
    w->actConnect->trigger();
    EXPECT_FALSE(Database->Connected);
    EXPECT_NE(w->findChild<TMyLoginForm*>(), nullptr);
    test::WhenModal([](QWidget* d) { static_cast<QDialog*>(d)->accept(); });
    w->actConnect->trigger();
    EXPECT_TRUE(Database->Connected);
    EXPECT_EQ(w->findChild<TMyLoginForm*>(), nullptr);
}

TEST_F(MainWindowTest, StatusBarShowsTheLongPartOfTheHint) {
    auto w = MakeWindow();
    const struct {
        const char* Hint;
        const char* Shown;
    } kCases[] = {
        {"Exit|Quits the application", "Quits the application"},
        {"Stop process  now", "Stop process  now"},
        {"a|b|c", "b|c"},
        {"", ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Hint);
        QStatusTipEvent e(c.Hint);
        QApplication::sendEvent(w.get(), &e);
        EXPECT_EQ(w->pnlStatus1->text(), c.Shown);
        EXPECT_EQ(w->pnlStatus0->text(), "");
    }
    EXPECT_EQ(w->pnlStatus0->width(), 120);
}

TEST_F(MainWindowTest, ConnectionStateEnablesTheDatabaseEntries) {
    ConnectsAtStart = true;
    auto w = MakeWindow();
    EXPECT_TRUE(w->actConnect->isEnabled());
    EXPECT_FALSE(w->actDisconnect->isEnabled());
    EXPECT_FALSE(w->actSetup->isEnabled());

    w->show();
    QTRY_VERIFY(Database->Connected);
    QTRY_COMPARE(w->lblDataSource->text(), QString("DemoSQLite"));
    EXPECT_FALSE(w->actConnect->isEnabled());
    EXPECT_TRUE(w->actDisconnect->isEnabled());
    EXPECT_TRUE(w->actSetup->isEnabled());

    w->actDisconnect->trigger();
    EXPECT_TRUE(w->actConnect->isEnabled());
    EXPECT_FALSE(w->actSetup->isEnabled());
    EXPECT_EQ(w->lblDataSource->text(), "DemoSQLite");  // kept after disconnecting
    for (QAction* a : {w->actExit, w->actStartProcessNow, w->actStopProcess, w->actClearMessages,
                       w->actLogMessages, w->actHelp, w->actContents, w->actAbout})
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(MainWindowTest, NextGroupLabelsShowWhatTheSchedulerSays) {
    auto w = MakeWindow();
    EXPECT_EQ(Scheduler->Rebuilds, 1);
    EXPECT_EQ(w->lblPollGroup->text(), "3");
    EXPECT_EQ(w->lblPollTime->text(), "03/11/2024 06:00:00");
    EXPECT_EQ(w->lblPollGroup->toolTip(), "The group that is processed next.");
    EXPECT_EQ(w->lblPollTime->toolTip(), "Next process time");
}

TEST_F(MainWindowTest, RunTimerIsHeldWhileTheGroupEditorIsOpen) {
    auto w = MakeWindow();
    w->tmrRunReportTimer();
    EXPECT_EQ(Scheduler->Ticks, 1);
    w->BeginGroupEdit();
    w->tmrRunReportTimer();
    EXPECT_EQ(Scheduler->Ticks, 1);
    w->EndGroupEdit(true);
    EXPECT_EQ(Scheduler->Stops, 1);
    EXPECT_EQ(Scheduler->Rebuilds, 2);
    w->tmrRunReportTimer();
    EXPECT_EQ(Scheduler->Ticks, 2);
}

TEST_F(MainWindowTest, SetupOpensTheGroupEditorHoldsTheTimerAndRebuildsAfter) {
    WriteSchedule("[VidUduzadevr]\nGroupNames=RptSchGroup:4,RptSchGroup:9\n"
                  "[RptSchGroup:4]\nRGIndex=4\n[RptSchGroup:9]\nRGIndex=9\n");
    auto w = MakeWindow();
    const int rebuilds = Scheduler->Rebuilds;
    const TVidUduzadevGroupItem* nine = &w->ScheduleGroups().Items(1);
    TMessageRecorder boxes;
    QStringList shown;
    int ticksDuring = -1;
    bool openDuring = false;
    std::vector<const TVidUduzadevGroupItem*> removedBeforeDelete;
    test::WhenModal([&](QWidget* modal) {
        auto* editor = qobject_cast<TfrmOptionSetup*>(modal);
        ASSERT_NE(editor, nullptr);
        for (int i = 0; i < editor->cbxGroup->count(); ++i) shown << editor->cbxGroup->itemText(i);
        w->tmrRunReportTimer();
        ticksDuring = Scheduler->Ticks;
        openDuring = w->GroupEditOpen();
        // Deleting a group first tells the scheduler to let go of it.
        editor->cbxGroup->setCurrentIndex(1);
        boxes.OnMessage = [&](const TMessageRequest&) { removedBeforeDelete = Scheduler->Removed; };
        editor->actDeleteExecute();
        editor->btnClose->click();
    });
    w->actSetupExecute();
    EXPECT_EQ(shown, QStringList({"4", "9"}));
    EXPECT_EQ(ticksDuring, 0);
    EXPECT_TRUE(openDuring);
    EXPECT_FALSE(w->GroupEditOpen());
    EXPECT_TRUE(removedBeforeDelete.empty());  // not before the operator said OK
    EXPECT_EQ(Scheduler->Removed, std::vector<const TVidUduzadevGroupItem*>{nine});
    EXPECT_EQ(w->ScheduleGroups().Count(), 1);
    // Showing a group counts as a change: the jobs stop and the queue is rebuilt.
    EXPECT_EQ(Scheduler->Stops, 1);
    EXPECT_EQ(Scheduler->Rebuilds, rebuilds + 1);
    ASSERT_EQ(boxes.Requests.size(), 1u);  // the delete confirmation
}

TEST_F(MainWindowTest, MemoShowsNewestFirstAndIsCutBeforeANewDrain) {
    auto w = MakeWindow();
    w->actClearMessages->trigger();
    EXPECT_EQ(w->memoStatus->document()->blockCount(), 1);  // one empty line
    w->StatusLog().PostStatus("first");
    w->StatusLog().PostStatus("second");
    QStringList lines = MemoLines(*w);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("    second"));
    EXPECT_TRUE(lines[1].endsWith("    first"));
    EXPECT_EQ(lines[2], "");

    for (int i = 0; i < 637; ++i) w->StatusLog().PostStatus("line " + std::to_string(i));
    EXPECT_EQ(w->memoStatus->document()->blockCount(), 640);
    w->StatusLog().PostStatus("newest");
    lines = MemoLines(*w);
    EXPECT_EQ(lines.size(), 512);
    EXPECT_TRUE(lines[0].endsWith("    newest"));
    EXPECT_TRUE(lines[511].endsWith("    line 126"));  // the oldest lines went
}

TEST_F(MainWindowTest, MessagesFromOtherThreadsArriveThroughTheEventLoop) {
    auto w = MakeWindow();
    std::thread poster([&] { w->StatusLog().PostStatus("from a job"); });
    QTRY_VERIFY(w->memoStatus->toPlainText().contains("    from a job"));
    poster.join();
}

// A schedule file or a report catalog that is there but cannot be read is
// said at start-up, not first at the ten-minute save; and the schedule file
// that could not be read is not replaced at exit.
TEST_F(MainWindowTest, FilesThatCannotBeReadAreSaidAtStartup) {
    ASSERT_TRUE(QDir(Dir.path()).mkdir("MVVidUduzadev.MVF"));
    ASSERT_TRUE(QDir(Dir.path()).mkdir("MVReports.MVF"));
    auto w = MakeWindow();
    const QString memo = w->memoStatus->toPlainText();
    for (const char* file : {"MVVidUduzadev.MVF", "MVReports.MVF"}) {
        SCOPED_TRACE(file);
        const QString prefix = QString("Error 1700: Cannot read \"%1/%2\"").arg(Dir.path(), file);
        EXPECT_TRUE(memo.contains(prefix)) << memo.toStdString();
    }
    EXPECT_TRUE(memo.contains("The schedule file was not read, so it is not written either")) << memo.toStdString();
    w->ShutdownNow();
    EXPECT_TRUE(QFileInfo(QString::fromStdString(SchedulePath())).isDir());
}

TEST_F(MainWindowTest, CancelledExitKeepsTheWindowAndWritesNothing) {
    auto w = MakeWindow();
    w->show();
    QTimer::singleShot(20, [] {
        ASSERT_NE(PendingExitConfirm(), nullptr);
        PendingExitConfirm()->btnCancel->click();
    });
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Shutdowns, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(SchedulePath())));

    QTimer::singleShot(20, [] { PendingExitConfirm()->btnOK->click(); });
    EXPECT_TRUE(w->close());
    EXPECT_EQ(Shutdowns, 1);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(SchedulePath())));
}

// An exit the operator confirms while the schedule cannot be saved is asked
// about, with the reason, before anything is lost: "No" keeps the program
// running, and once the folder is back the next exit saves.
TEST_F(MainWindowTest, ExitWhileTheScheduleCannotBeSavedAsksFirst) {
    auto w = MakeWindow();
    w->show();
    ASSERT_TRUE(QDir(Dir.path()).removeRecursively());
    std::vector<TMessageRequest> asked;
    QMessageBox::StandardButton answer = QMessageBox::No;
    const TMessageHandler old = SetMessageHandler([&](const TMessageRequest& r) {
        asked.push_back(r);
        return answer;
    });
    QTimer::singleShot(20, [] { PendingExitConfirm()->btnOK->click(); });
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Shutdowns, 0);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].Text.contains(QString("Cannot write \"%1\"").arg(QString::fromStdString(SchedulePath()))))
        << asked[0].Text.toStdString();
    EXPECT_TRUE(asked[0].Text.endsWith("Exit anyway?"));

    ASSERT_TRUE(QDir().mkpath(Dir.path()));
    QTimer::singleShot(20, [] { PendingExitConfirm()->btnOK->click(); });
    EXPECT_TRUE(w->close());
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(Shutdowns, 1);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(SchedulePath())));
    SetMessageHandler(old);
}

TEST_F(MainWindowTest, SecondCloseWhileAskingIsRefusedAndShutdownEndsTheQuestion) {
    auto w = MakeWindow();
    w->show();
    bool stillOpen = false, sameQuestion = false;
    QTimer::singleShot(20, [&] {
        TfrmExitConfirm* question = PendingExitConfirm();
        w->close();
        stillOpen = w->isVisible();
        sameQuestion = question != nullptr && PendingExitConfirm() == question;
        // The session ends while the question is open: saved, closed, no answer needed.
        w->ShutdownNow();
    });
    w->close();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(sameQuestion);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(PendingExitConfirm(), nullptr);
    EXPECT_EQ(Shutdowns, 1);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(SchedulePath())));
}

TEST_F(MainWindowTest, StartNowHandsTheChosenGroupsToTheScheduler) {
    auto w = MakeWindow();
    test::WhenModal([](QWidget* dialog) {
        auto* poll = qobject_cast<TfrmPoll*>(dialog);
        ASSERT_NE(poll, nullptr);
        poll->lbxPollGroups->item(0)->setSelected(true);
        poll->lbxPollGroups->item(2)->setSelected(true);
        poll->BtnOK->click();
    });
    w->actStartProcessNow->trigger();
    ASSERT_TRUE(Scheduler->Chosen.has_value());
    EXPECT_EQ(*Scheduler->Chosen, (std::vector<int>{0, 2}));

    test::WhenModal([](QWidget* dialog) { qobject_cast<TfrmPoll*>(dialog)->BtnCancel->click(); });
    w->actStartProcessNow->trigger();
    EXPECT_FALSE(Scheduler->Chosen.has_value());
}

TEST_F(MainWindowTest, EngineThatCannotBeOpenedIsShownAndSchedulingGoesOn) {
    TMessageRecorder boxes;
    auto w = MakeWindow([](TMainWindowOptions& o) {
        o.OpenReportEngine = [](TRpe&) { throw std::runtime_error("Error 104: the engine library was not found."); };
    });
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_EQ(boxes.Requests[0].Text, "Error 104: the engine library was not found.");
    EXPECT_TRUE(w->StartupFailed());
    EXPECT_EQ(w->lblPollGroup->text(), "3");
    w->tmrRunReportTimer();
    EXPECT_EQ(Scheduler->Ticks, 1);
}

TEST_F(MainWindowTest, HelpEntriesAskForContentsAndIndexOfTheFileBesideTheProgram) {
    auto w = MakeWindow();
    w->actHelp->trigger();
    w->actContents->trigger();
    ASSERT_EQ(HelpCalls.size(), 2u);
    EXPECT_EQ(HelpCalls[0], std::make_pair(Dir.path().toStdString() + "/MVVidUduzadev.chm", 1));
    EXPECT_EQ(HelpCalls[1].second, 2);
}

TEST_F(MainWindowTest, QtFiltersOfTheLogDialog) {
    EXPECT_EQ(QtFileFilters("Log Files|*.log|All Files|*.*"), QStringList({"Log Files (*.log)", "All Files (*)"}));
    EXPECT_EQ(QtFileFilters("Text|*.txt;*.log"), QStringList({"Text (*.txt *.log)"}));
}

}  // namespace
}  // namespace mv::ui
