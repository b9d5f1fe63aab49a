#include "platform/ini/IniFile.h"
#include "ui/app/RuntimeAdapter.h"
#include "ui/app/ScheduleMain.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace mv::ui {
namespace {

TEST(Program, WindowOnTheRealRuntimeStartsEmptyAndUnconnected) {
    QTemporaryDir dir;
    qputenv("MV_REGISTRY_FILE", QByteArray(dir.path().toUtf8() + "/none.reg"));
    TMainWindowOptions options;
    options.AppDir = dir.path().toStdString() + "/";
    UseSchedulerRuntime(options);
    TfrmVidUduzadevrMain w(std::move(options));
    w.show();
    QTRY_VERIFY(w.memoStatus->toPlainText().contains("    Database NOT connected."));
    EXPECT_EQ(w.lblPollGroup->text(), "Disabled");
    EXPECT_EQ(w.lblPollTime->text(), "Disabled");
    EXPECT_FALSE(w.actSetup->isEnabled());
    EXPECT_TRUE(w.actConnect->isEnabled());
    w.tmrRunReportTimer();  // nothing queued, nothing fails
    EXPECT_FALSE(w.memoStatus->toPlainText().contains("Error"));
    w.ShutdownNow();
    qunsetenv("MV_REGISTRY_FILE");
}

// The program itself, headless: status lines on standard error, and SIGTERM
// saves the schedule file and ends it without a question.
TEST(Program, HeadlessRunEchoesStatusAndEndsCleanlyOnSigterm) {
    QTemporaryDir dir;
    const QString exe = dir.path() + "/mvscheduler";
    ASSERT_TRUE(QFile::copy(MV_BINARY_DIR "/src/ui/mvscheduler", exe));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("MV_REGISTRY_FILE", dir.path() + "/none.reg");
    p.setProcessEnvironment(env);
    p.start(exe, {});
    ASSERT_TRUE(p.waitForStarted(5000));
    QByteArray err;
    for (int i = 0; i < 100 && !err.contains("Database NOT connected."); ++i) {
        p.waitForReadyRead(100);
        err += p.readAllStandardError();
    }
    EXPECT_TRUE(err.contains("    Startup parameters loaded.")) << err.toStdString();
    EXPECT_TRUE(err.contains("    Database NOT connected.")) << err.toStdString();

    // A second copy in the same folder hands over and ends at once.
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(exe, {});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().contains("already running"));

    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    TIniFile ini(dir.path().toStdString() + "/MVVidUduzadev.MVF");
    EXPECT_TRUE(ini.SectionExists("VidUduzadevr"));
    EXPECT_EQ(ini.ReadInteger("Windows Settings", "Width", -1), 465);
}

}  // namespace
}  // namespace mv::ui
