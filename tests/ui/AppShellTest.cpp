#include "ui/app/AppShell.h"
#include "ui/app/HelpViewer.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <QDir>

#include <fstream>
#include <set>

namespace mv::ui {
namespace {

TEST(AppShell, AppDirEndsWithASlash) {
    const struct {
        const char* Exe;
        const char* Dir;
    } kCases[] = {
        {"/opt/mv/mvscheduler", "/opt/mv/"},
        {"/mvscheduler", "/"},
        {"mvscheduler", "./"},
        {"/a b/c/mvscheduler", "/a b/c/"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Exe);
        EXPECT_EQ(AppDirOf(c.Exe), c.Dir);
    }
}

TEST(AppShell, DebugArgument) {
    char prog[] = "mvscheduler", debug[] = "/debug", other[] = "x";
    char* with[] = {prog, other, debug};
    char* without[] = {prog, other};
    EXPECT_TRUE(HasDebugArgument(3, with));
    EXPECT_FALSE(HasDebugArgument(2, without));
}

TEST(AppShell, SecondCopySendsRestoreToTheFirst) {
    QTemporaryDir dir;
    const QString name = TSingleInstance::NameFor(dir.path().toStdString() + "/");
    EXPECT_NE(name, TSingleInstance::NameFor("/elsewhere/"));
    TSingleInstance first(name);
    ASSERT_TRUE(first.Start());
    QSignalSpy restored(&first, &TSingleInstance::restoreRequested);
    TSingleInstance second(name);
    EXPECT_FALSE(second.Start());
    EXPECT_TRUE(restored.wait(3000));
}

TEST(AppShell, StaleSocketOfACrashedCopyIsTakenOver) {
    QTemporaryDir dir;
    const QString name = TSingleInstance::NameFor(dir.path().toStdString() + "/stale/");
    {
        // Leave a socket file behind with nobody listening.
        TSingleInstance crashed(name);
        ASSERT_TRUE(crashed.Start());
    }
    TSingleInstance next(name);
    EXPECT_TRUE(next.Start());
}

TEST(AppShell, TermAndIntBecomeAShutdownRequest) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        TShutdownSignals shutdownSignals;
        QSignalSpy spy(&shutdownSignals, &TShutdownSignals::shutdownRequested);
        ::raise(sig);
        ASSERT_TRUE(spy.wait(3000));
        EXPECT_EQ(spy.at(0).at(0).toInt(), sig);
    }
}

TEST(HelpViewer, ChmViewerFirstThenHtmlHelpWithXdgOpen) {
    QTemporaryDir dir;
    const std::string chm = dir.path().toStdString() + "/MVVidUduzadev.chm";
    QDir(dir.path()).mkdir("help");
    std::ofstream(dir.path().toStdString() + "/help/index.html") << "<html></html>";
    std::ofstream(dir.path().toStdString() + "/help/keywords.html") << "<html></html>";
    const auto only = [](std::set<std::string> present) {
        return [present](const std::string& name) {
            return present.count(name) ? "/usr/bin/" + name : std::string();
        };
    };
    // No .chm yet: the HTML help.
    EXPECT_EQ(HelpCommandLine(chm, kHelpTableOfContents, only({"xchm", "xdg-open"})),
              (std::vector<std::string>{"/usr/bin/xdg-open", dir.path().toStdString() + "/help/index.html"}));
    EXPECT_EQ(HelpCommandLine(chm, kHelpIndex, only({"xdg-open"}))[1], dir.path().toStdString() + "/help/keywords.html");
    std::ofstream(chm) << "ITSF";
    EXPECT_EQ(HelpCommandLine(chm, kHelpIndex, only({"xchm", "xdg-open"})),
              (std::vector<std::string>{"/usr/bin/xchm", chm}));
    EXPECT_EQ(HelpCommandLine(chm, kHelpIndex, only({"xdg-open"}))[0], "/usr/bin/xdg-open");
    EXPECT_TRUE(HelpCommandLine(chm, kHelpIndex, only({})).empty());
}

}  // namespace
}  // namespace mv::ui

namespace mv::ui {
namespace {

// The help built beside the program: every page's links lead to pages that
// exist, and the compiled help, when chmcmd was there to build it, is a CHM.
TEST(HelpFiles, BuiltBesideTheProgramWithWorkingLinks) {
    const QDir help(MV_BINARY_DIR "/src/ui/help");
    ASSERT_TRUE(help.exists("index.html"));
    ASSERT_TRUE(help.exists("keywords.html"));
    // The pages the editor's help topics open.
    for (int topic : {kHelpTopicSetup, kHelpTopicOutputFile, kHelpTopicAfterRun}) {
        EXPECT_NE(HelpPage(topic), "index.html") << topic;
        EXPECT_TRUE(help.exists(QString::fromStdString(HelpPage(topic)))) << topic;
    }
    const QRegularExpression href(R"(href="([^"#]+))");
    for (const QString& page : help.entryList({"*.html"})) {
        SCOPED_TRACE(page.toStdString());
        QFile f(help.filePath(page));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(f.readAll());
        for (auto it = href.globalMatch(text); it.hasNext();) {
            const QString target = it.next().captured(1);
            EXPECT_TRUE(help.exists(target)) << target.toStdString();
        }
    }
    QFile chm(MV_BINARY_DIR "/src/ui/MVVidUduzadev.chm");
    if (!chm.exists()) GTEST_SKIP() << "chmcmd was not installed at build time";
    ASSERT_TRUE(chm.open(QIODevice::ReadOnly));
    EXPECT_EQ(chm.read(4), "ITSF");
}

}  // namespace
}  // namespace mv::ui
