#include "UiTestSupport.h"

#include "platform/versionnote/VersionNote.h"
#include "ui/app/PollForm.h"
#include "ui/db/MyLogin.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/ExitConfirm.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace mv::ui {
namespace {

using test::TMessageRecorder;
using namespace std::chrono_literals;

const QStringList kSources{"DemoSQLite", "demo_pg", "Stations"};

TEST(LoginDialog, SelectsTheHandedInDataSourceIgnoringCase) {
    const struct {
        const char* Label;
        const char* DataSource;
        int Selected;
    } kCases[] = {
        {"exact", "DemoSQLite", 0},
        {"other case", "DEMO_PG", 1},
        {"unknown", "Warehouse", -1},
        {"empty", "", -1},
    };
    TMyLoginForm form(nullptr, kSources);
    EXPECT_EQ(form.windowTitle(), "MVReport Database Login");
    EXPECT_EQ(form.size(), QSize(303, 125));
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        form.SetValues({c.DataSource, "scott", "tiger"});
        form.show();
        EXPECT_EQ(form.cboDBAlias->currentIndex(), c.Selected);
        EXPECT_EQ(form.edtDBUserName->text(), "scott");
        EXPECT_EQ(form.edtDBPassword->text(), "tiger");
        EXPECT_EQ(form.edtDBPassword->echoMode(), QLineEdit::Password);
        form.hide();
    }
}

TEST(LoginDialog, OkWithoutASelectionAsksForOneAndStaysOpen) {
    TMyLoginForm form(nullptr, kSources);
    TMessageRecorder boxes;
    TLoginValues values{"Warehouse", "scott", "tiger"};
    bool stayedOpen = false;
    test::WhenModal([&](QWidget*) {
        form.btnOK->click();
        stayedOpen = form.isVisible();
        form.cboDBAlias->setCurrentIndex(2);
        form.edtDBUserName->setText("ops");
        form.btnOK->click();
    });
    ASSERT_TRUE(form.Execute(values));
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_EQ(boxes.Requests[0].Text, "Please select ODBC connection string");
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(values.DataSource, "Stations");
    EXPECT_EQ(values.UserName, "ops");
    EXPECT_EQ(values.Password, "tiger");
}

TEST(LoginDialog, CancelLeavesTheValues) {
    TMyLoginForm form(nullptr, kSources);
    TLoginValues values{"DemoSQLite", "scott", "tiger"};
    test::WhenModal([&](QWidget*) {
        form.edtDBUserName->setText("changed");
        form.btnCancel->click();
    });
    EXPECT_FALSE(form.Execute(values));
    EXPECT_EQ(values.UserName, "scott");
}

TEST(StartNowDialog, OkGivesTheSelectedLinesInOrderCancelGivesNothing) {
    TPollChooser chooser(nullptr);
    test::WhenModal([](QWidget* w) {
        auto* poll = qobject_cast<TfrmPoll*>(w);
        ASSERT_NE(poll, nullptr);
        EXPECT_EQ(poll->windowTitle(), "Groups");
        EXPECT_EQ(poll->lbxPollGroups->count(), 4);
        EXPECT_EQ(poll->lbxPollGroups->selectionMode(), QAbstractItemView::ExtendedSelection);
        EXPECT_EQ(poll->lbxPollGroups->toolTip(), "You can select more than 1 poll group for export.");
        poll->lbxPollGroups->item(3)->setSelected(true);
        poll->lbxPollGroups->item(1)->setSelected(true);
        poll->BtnOK->click();
    });
    auto chosen = chooser.Choose({"1", "2", "5", "12"});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, (std::vector<int>{1, 3}));

    test::WhenModal([](QWidget* w) {
        auto* poll = qobject_cast<TfrmPoll*>(w);
        poll->lbxPollGroups->item(0)->setSelected(true);
        poll->BtnCancel->click();
    });
    EXPECT_FALSE(chooser.Choose({"1", "2"}).has_value());
}

TEST(ExitConfirmation, AnswersAndTimeOut) {
    const struct {
        const char* Label;
        std::function<void(TfrmExitConfirm&)> Answer;
        bool Expected;
    } kCases[] = {
        {"OK", [](TfrmExitConfirm& d) { d.btnOK->click(); }, true},
        {"Cancel", [](TfrmExitConfirm& d) { d.btnCancel->click(); }, false},
        {"Escape", [](TfrmExitConfirm& d) { QTest::keyClick(&d, Qt::Key_Escape); }, false},
        {"no answer", nullptr, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        if (c.Answer) {
            QTimer::singleShot(10, [&] {
                ASSERT_NE(PendingExitConfirm(), nullptr);
                c.Answer(*PendingExitConfirm());
            });
        }
        EXPECT_EQ(ConfirmExit(c.Answer ? 10s : 30ms), c.Expected);
        EXPECT_EQ(PendingExitConfirm(), nullptr);
    }
}

TEST(ExitConfirmation, KeepsTimersRunningAndRefusesASecondQuestion) {
    // A timer standing for the run timer: it keeps ticking while the question
    // waits, asks a second question at its first tick and answers OK at its fifth.
    int ticks = 0;
    bool second = true;
    QTimer scheduler;
    QObject::connect(&scheduler, &QTimer::timeout, [&] {
        TfrmExitConfirm* d = PendingExitConfirm();
        ASSERT_NE(d, nullptr);
        if (++ticks == 1) {
            EXPECT_EQ(d->windowTitle(), "Exit...");
            EXPECT_EQ(d->lblConfirm->text(), "Are you sure you want to close this application?");
            EXPECT_TRUE(d->windowFlags() & Qt::WindowStaysOnTopHint);
            EXPECT_FALSE(d->isModal());
            second = ConfirmExit(10s);
        } else if (ticks == 5) {
            d->btnOK->click();
        }
    });
    scheduler.start(5);
    EXPECT_TRUE(ConfirmExit(10s));
    EXPECT_FALSE(second);
    EXPECT_EQ(ticks, 5);
}

TEST(AboutBox, VersionText) {
    const struct {
        const char* Product;
        const char* File;
        const char* Expected;
    } kCases[] = {
        {"2.0", "2.2.1.1", "Version 2.0 (Build 1)"},
        {"1.0.0.0", "1.0.0.17", "Version 1.0.0.0 (Build 17)"},
        {"2.0", "2.2.1.1.5", "Version 2.0 (Build 1.5)"},
        {"2.0", "2.2", "Version 2.0 (Build )"},
        {"", "3.1.4.", "Version  (Build )"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.File);
        EXPECT_EQ(TfmAbout::VersionText(TVersionInfo{c.File, c.Product}), c.Expected);
    }
}

TEST(AboutBox, ShowsTheProgramsOwnVersionNote) {
    TfmAbout box(nullptr, MV_BINARY_DIR "/src/ui/mvscheduler");
    box.show();
    EXPECT_EQ(box.windowTitle(), "About MV Rededor Izivivari");
    EXPECT_EQ(box.AppNameLabel->text(), "MV VidUduzadev");
    EXPECT_EQ(box.PartNumberLabel->text(), "XXXX-XXXX");
    const TVersionInfo info = ReadVersionNote(MV_BINARY_DIR "/src/ui/mvscheduler");
    EXPECT_EQ(box.lblVersion->text(), TfmAbout::VersionText(info));
    EXPECT_TRUE(box.lblVersion->text().startsWith("Version 1.0.0.0 (Build "));
}

TEST(AboutBox, FileWithoutVersionSaysSo) {
    TfmAbout box(nullptr, "/nonexistent/mvscheduler");
    box.show();
    EXPECT_TRUE(box.lblVersion->text().startsWith("Version unknown"));
}

}  // namespace
}  // namespace mv::ui
