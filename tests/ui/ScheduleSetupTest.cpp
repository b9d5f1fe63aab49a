// The group editor on the offscreen platform: numbering, new, copy, delete,
// the unsaved-changes prompt, the interval and time-range controls, report
// choice and parameter discovery.
#include "ScheduleSetupSupport.h"
#include "UiTestSupport.h"

#include "core/catalog/ReportParameters.h"
#include "core/schedule/ScheduleFile.h"
#include "core/timing/DateTime.h"
#include "engine/TRpe.h"
#include "ui/app/ScheduleMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <fstream>

namespace mv::ui {
namespace {

using test::kSavePrompt;
using test::SetupFixture;

class ScheduleSetupTest : public SetupFixture {};

TEST(GroupNumbering, SmallestFreeNumberComparedAsText) {
    const struct {
        const char* Label;
        std::vector<std::string> Taken;
        int Expected;
    } kCases[] = {
        {"empty", {}, 1},
        {"gap", {"1", "2", "4"}, 3},
        {"after the last", {"1", "2", "3", "4"}, 5},
        {"texts, not values", {"01", " 1"}, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        EXPECT_EQ(FreeGroupNumber(c.Taken), c.Expected);
    }
    std::vector<std::string> all;
    for (int i = 1; i <= 999; ++i) all.push_back(std::to_string(i));
    EXPECT_EQ(FreeGroupNumber(all), 0);
}

TEST_F(ScheduleSetupTest, EmptyContainerShowsAPendingGroupThatTheFirstSaveNumbersOne) {
    auto d = Open();
    EXPECT_EQ(d->windowTitle(), "Setup");
    EXPECT_EQ(d->pgcPages->currentWidget(), d->tabSchedule);
    ASSERT_NE(d->PendingGroup(), nullptr);
    EXPECT_EQ(d->ShownIndex(), -1);
    EXPECT_EQ(d->cbxGroup->count(), 0);
    EXPECT_EQ(Groups.Count(), 0);
    EXPECT_TRUE(d->FGroupsChanged);  // showing a group runs the output handler
    EXPECT_FALSE(d->actDelete->isEnabled());
    EXPECT_FALSE(d->actDeleteAll->isEnabled());
    EXPECT_FALSE(d->actCopy->isEnabled());
    EXPECT_FALSE(d->actSave->isEnabled());
    // A pending group shows the defaults of a new group: file output.
    EXPECT_TRUE(d->rdoOutputFile->isChecked());
    EXPECT_EQ(d->cbxInterval->currentText(), "Daily");

    Chooser.Pick = Report("DailyRain");
    d->btnBrowseReport->click();
    EXPECT_EQ(d->edtReportName->text(), "Daily rain");
    EXPECT_EQ(d->edtFileName->text(), "Daily rain yy-mm-dd");
    EXPECT_TRUE(d->actSave->isEnabled());
    d->btnSave->click();

    ASSERT_EQ(Groups.Count(), 1);
    EXPECT_EQ(Groups.Items(0).RGIndex, 1);
    EXPECT_EQ(Groups.Items(0).GroupName, "RptSchGroup:1");
    EXPECT_EQ(Groups.Items(0).Report.Key, "DailyRain");
    EXPECT_EQ(Groups.Items(0).OutputName, "Daily rain yy-mm-dd");
    EXPECT_EQ(Groups.Items(0).Output, 2);
    EXPECT_EQ(SelectorTexts(*d), QStringList{"1"});
    EXPECT_EQ(d->cbxGroup->currentIndex(), 0);
    EXPECT_EQ(d->ShownIndex(), 0);
    EXPECT_EQ(d->PendingGroup(), nullptr);
    EXPECT_TRUE(d->IsSaved());
    EXPECT_FALSE(d->actSave->isEnabled());
    EXPECT_TRUE(d->actCopy->isEnabled());
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(ScheduleSetupTest, NewTakesTheSmallestFreeNumberAndShowsTheGroup) {
    AddGroup(1);
    AddGroup(2);
    AddGroup(4);
    auto d = Open();
    EXPECT_EQ(SelectorTexts(*d), QStringList({"1", "2", "4"}));
    EXPECT_EQ(d->edtAfterRun->text(), "after-1");

    d->btnNew->click();
    ASSERT_EQ(Groups.Count(), 4);
    EXPECT_EQ(Groups.Items(3).RGIndex, 3);
    EXPECT_EQ(Groups.Items(3).GroupName, "RptSchGroup:3");
    EXPECT_EQ(SelectorTexts(*d), QStringList({"1", "2", "4", "3"}));
    EXPECT_EQ(d->cbxGroup->currentIndex(), 3);
    EXPECT_EQ(d->ShownIndex(), 3);
    EXPECT_EQ(d->edtReportName->text(), "");
    EXPECT_TRUE(d->IsSaved());

    d->btnNew->click();
    ASSERT_EQ(Groups.Count(), 5);
    EXPECT_EQ(Groups.Items(4).RGIndex, 5);
    EXPECT_EQ(d->cbxGroup->currentText(), "5");
    // Unsaved new groups stay in the container.
    EXPECT_EQ(Groups.Items(3).RGIndex, 3);
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(ScheduleSetupTest, CopyTakesEveryFieldButNumberAndOffersSave) {
    AddGroup(1);
    TVidUduzadevGroupItem& src = AddGroup(2, "SensorReadings");
    src.Enabled = true;
    src.BaseTime = EncodeTime(6, 30, 0, 0);
    src.IntType = 6;
    src.Interval = 1.5;
    src.BeforeRun = "before";
    src.StartFrom = "03/01/2024 06:00:00";
    src.Output = 1;
    src.Printer = "NoSuchPrinter";
    src.OutputDir = "/srv/reports";
    src.OutputName = "rain yy-mm-dd";
    src.OutputPrefix = "pre";
    src.OutputSuffix = "suf";
    src.OutputFormat = 4;
    src.TimeFrom = "As Entered Below:";
    src.TimeTo = "Today";
    src.AbsTimeFrom = EncodeDateTime(2024, 2, 1, 0, 0, 0, 0);
    src.AbsTimeTo = EncodeDateTime(2024, 2, 2, 0, 0, 0, 0);
    src.Filter = "north.flt";
    src.Stations = {"S1", "S2"};
    src.Sensors = {"Rain", "Stage"};
    src.OtherParams = {"Basin=North"};
    src.SpecialParams = {"pReportTime"};
    src.PeriodStart = EncodeDateTime(2024, 3, 1, 6, 0, 0, 0);
    src.Period = 1;
    src.NextRun = src.PeriodStart + 1;
    src.CatchUpRun = src.NextRun;
    Chooser.Files["SensorReadings"] = {{"Basin"}, {"pReportTime"}};

    auto d = Open();
    d->cbxGroup->setCurrentIndex(1);
    d->cbxGroupChange();
    ASSERT_EQ(d->ShownIndex(), 1);
    d->edtAfterRun->setText("typed, never saved");  // the prompt's No drops it
    Boxes.Answers = {QMessageBox::No};
    d->btnCopy->click();

    ASSERT_EQ(Boxes.Texts(), QStringList{kSavePrompt});
    ASSERT_EQ(Groups.Count(), 3);
    const TVidUduzadevGroupItem& copy = Groups.Items(2);
    EXPECT_EQ(copy.RGIndex, 3);
    EXPECT_EQ(copy.GroupName, "RptSchGroup:3");
    TVidUduzadevGroupItem expected;
    expected.Assign(Groups.Items(1));
    expected.RGIndex = 3;
    expected.GroupName = "RptSchGroup:3";
    EXPECT_TRUE(copy == expected);
    EXPECT_EQ(copy.AfterRun, "after-2");
    EXPECT_EQ(d->cbxGroup->currentText(), "3");
    EXPECT_EQ(d->ShownIndex(), 2);
    EXPECT_EQ(d->edtFileName->text(), "rain yy-mm-dd");
    EXPECT_FALSE(d->IsSaved());
    EXPECT_TRUE(d->actSave->isEnabled());

    // Saving the copy keeps the selection it was given.
    d->btnSave->click();
    EXPECT_EQ(Groups.Items(2).Stations, src.Stations);
    EXPECT_EQ(Groups.Items(2).Sensors, src.Sensors);
    EXPECT_EQ(Groups.Items(2).OtherParams, src.OtherParams);
    EXPECT_EQ(Groups.Items(2).SpecialParams, src.SpecialParams);
    EXPECT_DOUBLE_EQ(Groups.Items(2).Interval, 1.5);
    EXPECT_EQ(Groups.Items(2).OutputFormat, 4);
}

TEST_F(ScheduleSetupTest, DeleteSelectsTheEntryThatTookThePlaceOrTheNewLast) {
    constexpr struct {
        const char* Label;
        int Delete;
        const char* Remaining;
        int Selected;
        const char* Shown;
    } kCases[] = {
        {"last entry", 2, "1,2", 1, "after-2"},
        {"middle entry", 1, "1,3", 1, "after-3"},
        {"first entry", 0, "2,3", 0, "after-2"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        Groups.Clear();
        AddGroup(1);
        AddGroup(2);
        AddGroup(3);
        auto d = Open();
        d->cbxGroup->setCurrentIndex(c.Delete);
        d->cbxGroupChange();
        d->edtAfterRun->setText("dropped with the group");
        Boxes.Requests.clear();
        Boxes.Answers = {QMessageBox::Ok};
        d->btnDelete->click();
        ASSERT_EQ(Boxes.Texts(), QStringList{"Are you sure you want to delete this Group?"});
        EXPECT_EQ(Boxes.Requests[0].Buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(SelectorTexts(*d).join(","), c.Remaining);
        ASSERT_EQ(Groups.Count(), 2);
        EXPECT_EQ(QString::number(Groups.Items(0).RGIndex) + "," + QString::number(Groups.Items(1).RGIndex),
                  c.Remaining);
        EXPECT_EQ(d->cbxGroup->currentIndex(), c.Selected);
        EXPECT_EQ(d->ShownIndex(), c.Selected);
        EXPECT_EQ(d->edtAfterRun->text(), c.Shown);
        EXPECT_TRUE(d->IsSaved());
    }
}

TEST_F(ScheduleSetupTest, DeleteCancelledKeepsTheGroup) {
    AddGroup(1);
    auto d = Open();
    Boxes.Answers = {QMessageBox::Cancel};
    d->btnDelete->click();
    EXPECT_EQ(Groups.Count(), 1);
    EXPECT_EQ(SelectorTexts(*d), QStringList{"1"});
}

TEST_F(ScheduleSetupTest, DeletingTheOnlyGroupOrAllLeavesAPendingGroup) {
    for (bool all : {false, true}) {
        SCOPED_TRACE(all ? "Delete All" : "Delete");
        Groups.Clear();
        AddGroup(1);
        if (all) {
            AddGroup(2);
            AddGroup(7);
        }
        auto d = Open();
        std::vector<int> released;
        d->OnGroupDeleting = [&](const TVidUduzadevGroupItem& g) { released.push_back(g.RGIndex); };
        Boxes.Requests.clear();
        Boxes.Answers = {QMessageBox::Ok};
        (all ? d->btnDeleteAll : d->btnDelete)->click();
        EXPECT_EQ(released, (all ? std::vector<int>{7, 2, 1} : std::vector<int>{1}));
        ASSERT_EQ(Boxes.Requests.size(), 1u);
        if (all) {
            EXPECT_EQ(Boxes.Requests[0].Text, "Are you sure you want to delete all the Groups?");
        }
        EXPECT_EQ(Groups.Count(), 0);
        EXPECT_EQ(d->cbxGroup->count(), 0);
        EXPECT_EQ(d->cbxGroup->currentIndex(), -1);
        EXPECT_EQ(d->cbxGroup->currentText(), "");
        ASSERT_NE(d->PendingGroup(), nullptr);
        EXPECT_EQ(d->ShownIndex(), -1);
        EXPECT_EQ(d->edtReportName->text(), "");
        EXPECT_FALSE(d->actDelete->isEnabled());
        EXPECT_FALSE(d->actDeleteAll->isEnabled());
        EXPECT_FALSE(d->actCopy->isEnabled());

        // The pending group takes number 1 again at its first save.
        Chooser.Pick = Report("Snapshot");
        d->btnBrowseReport->click();
        d->btnSave->click();
        ASSERT_EQ(Groups.Count(), 1);
        EXPECT_EQ(Groups.Items(0).RGIndex, 1);
        EXPECT_EQ(SelectorTexts(*d), QStringList{"1"});
    }
}

// A group without a report fails validation: the prompt's Yes cannot save it.
TEST_F(ScheduleSetupTest, PromptAnswersWhenAnEditCannotBeSaved) {
    constexpr struct {
        const char* Label;
        QMessageBox::StandardButton Answer;
        bool Closes;
        bool Error;
    } kCases[] = {
        {"Yes", QMessageBox::Yes, false, true},
        {"No", QMessageBox::No, true, false},
        {"Cancel", QMessageBox::Cancel, false, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        Groups.Clear();
        auto d = Open();
        d->edtAfterRun->setText("edited");
        Boxes.Requests.clear();
        Boxes.Answers = {c.Answer};
        d->btnClose->click();
        QStringList expected{kSavePrompt};
        if (c.Error) expected << "Error 1700: Please select a report.";
        EXPECT_EQ(Boxes.Texts(), expected);
        EXPECT_EQ(Boxes.Requests[0].Buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (c.Error) {
            EXPECT_EQ(Boxes.Requests[1].Kind, TMessageKind::Error);
        }
        EXPECT_EQ(d->isVisible(), !c.Closes);
        EXPECT_EQ(Groups.Count(), 0);  // nothing stored
    }
}

TEST_F(ScheduleSetupTest, PromptOnGroupSelection) {
    constexpr struct {
        const char* Label;
        QMessageBox::StandardButton Answer;
        bool WithReport;
        int Shown;
        const char* StoredAfterRun;
    } kCases[] = {
        {"Yes, save fails", QMessageBox::Yes, false, 0, "after-1"},
        {"Yes, saved", QMessageBox::Yes, true, 1, "edited"},
        {"No", QMessageBox::No, true, 1, "after-1"},
        {"Cancel", QMessageBox::Cancel, true, 0, "after-1"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        Groups.Clear();
        AddGroup(1, "Snapshot");
        AddGroup(2);
        if (!c.WithReport) Groups.Items(0).Report = TReportItem{};
        auto d = Open();
        d->edtAfterRun->setText("edited");
        Boxes.Requests.clear();
        Boxes.Answers = {c.Answer};
        d->cbxGroup->setCurrentIndex(1);
        d->cbxGroupChange();
        EXPECT_EQ(Boxes.Requests.size(), c.WithReport ? 1u : 2u);
        EXPECT_EQ(d->cbxGroup->currentIndex(), c.Shown);
        EXPECT_EQ(d->ShownIndex(), c.Shown);
        EXPECT_EQ(Groups.Items(0).AfterRun, c.StoredAfterRun);
        // Back on group 1 after a refusal, the edit is still in the box.
        if (c.Shown == 0) {
            EXPECT_EQ(d->edtAfterRun->text(), "edited");
        }
    }
}

TEST_F(ScheduleSetupTest, AsEnteredIntervalIsStoredInDaysAndShownBack) {
    AddGroup(1);
    auto d = Open();
    EXPECT_FALSE(d->edtIntervalDay->isEnabled());
    EXPECT_FALSE(d->edtInterval->isEnabled());
    EXPECT_FALSE(d->spnbtnNoChangeInterval->isEnabled());
    d->cbxInterval->setCurrentIndex(d->cbxInterval->findText("As Entered:"));
    EXPECT_TRUE(d->edtIntervalDay->isEnabled());
    EXPECT_TRUE(d->edtInterval->isEnabled());
    EXPECT_TRUE(d->spnbtnNoChangeInterval->isEnabled());
    d->edtIntervalDay->setText("2");
    d->edtInterval->setText("06:00:00");
    d->edtBase->setText("07:15:00");
    d->btnSave->click();
    EXPECT_EQ(Groups.Items(0).IntType, 6);
    EXPECT_DOUBLE_EQ(Groups.Items(0).Interval, 2.25);
    EXPECT_DOUBLE_EQ(Groups.Items(0).BaseTime, EncodeTime(7, 15, 0, 0));

    d->ShowGroup(0);
    EXPECT_EQ(d->cbxInterval->currentText(), "As Entered:");
    EXPECT_EQ(d->edtIntervalDay->text(), "2");
    EXPECT_EQ(d->edtInterval->text(), "06:00:00");
    EXPECT_EQ(d->edtBase->text(), "07:15:00");
}

TEST_F(ScheduleSetupTest, UnreadableIntervalPartsKeepTheirStoredValues) {
    AddGroup(1).IntType = 6;
    Groups.Items(0).Interval = 2.25;
    Groups.Items(0).BaseTime = EncodeTime(5, 0, 0, 0);
    auto d = Open();
    constexpr struct {
        const char* Label;
        const char* Days;
        const char* Time;
        double Expected;
    } kCases[] = {
        {"time unreadable", "3", "99:99:99", 3.25},
        {"days unreadable", "x", "12:00:00", 2.5},
        {"both read", "1", "12:00:00", 1.5},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        Groups.Items(0).Interval = 2.25;
        d->edtIntervalDay->setText(c.Days);
        d->edtInterval->setText(c.Time);
        d->edtBase->setText("77:00:00");
        d->SaveGroup();
        EXPECT_DOUBLE_EQ(Groups.Items(0).Interval, c.Expected);
        EXPECT_DOUBLE_EQ(Groups.Items(0).BaseTime, EncodeTime(5, 0, 0, 0));
    }
}

TEST_F(ScheduleSetupTest, DayCountButtonsWrapAndRefuseNonNumbers) {
    AddGroup(1).IntType = 6;
    auto d = Open();
    constexpr struct {
        const char* Start;
        bool Up;
        const char* Expected;  // nullptr: error 1504 and the text stays
    } kCases[] = {
        {"365", true, "0"},  {"0", false, "365"}, {"400", true, "401"}, {"5", false, "4"},
        {"1.5", true, nullptr}, {"abc", false, nullptr}, {"", true, nullptr},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.Start) + (c.Up ? " up" : " down"));
        d->edtIntervalDay->setText(c.Start);
        Boxes.Requests.clear();
        (c.Up ? d->spnbtnUp : d->spnbtnDown)->click();
        if (c.Expected) {
            EXPECT_EQ(d->edtIntervalDay->text(), c.Expected);
            EXPECT_TRUE(Boxes.Requests.empty());
        } else {
            EXPECT_EQ(d->edtIntervalDay->text(), c.Start);
            ASSERT_EQ(Boxes.Texts(), QStringList{"Error 1504: Invalid day value"});
            EXPECT_EQ(Boxes.Requests[0].Kind, TMessageKind::Error);
        }
    }
}

TEST_F(ScheduleSetupTest, ReportChoiceSetsWhatTheReportTakes) {
    Chooser.Files["DailySummary"] = {{"pReportTime"}, {"SiteList"}, {"Title"}};
    Chooser.Files["DailyRain"] = {{"StartTime"}, {"EndTime"}, {"SiteList"}};
    constexpr struct {
        const char* Key;
        bool StartFrom;
        bool TimeRange;
        bool Filter;
        bool Sites;
        const char* Special;
    } kCases[] = {
        {"Snapshot", false, false, false, false, ""},
        {"DailySummary", true, false, false, true, "pReportTime"},
        {"DailyRain", true, true, true, true, ""},
        {"Snapshot", false, false, false, false, ""},  // back: everything off again
    };
    AddGroup(1, "SensorReadings").StartFrom = "Yesterday";
    auto d = Open();
    d->pgcPages->setCurrentWidget(d->tabParams);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Key);
        d->cbxDateFrom->setCurrentText("Yesterday");
        Chooser.Pick = Report(c.Key);
        d->btnBrowseReport->click();
        EXPECT_EQ(d->WorkingReport().Key, c.Key);
        EXPECT_EQ(d->cbxDateFrom->isEnabled(), c.StartFrom);
        EXPECT_EQ(d->cbxDateFrom->currentText(), c.StartFrom ? "Yesterday" : "Now");
        EXPECT_EQ(d->grpTimeRange->isEnabled(), c.TimeRange);
        EXPECT_EQ(d->cboSinceTime->isEnabled(), c.TimeRange);
        EXPECT_EQ(d->edtFilterFile->isEnabled(), c.Filter);
        EXPECT_EQ(d->btnFilter->isEnabled(), c.Filter);
        EXPECT_EQ(d->grpSitesSensors->isEnabled(), c.Sites);
        EXPECT_EQ(QString::fromStdString(d->WorkingSpecialParams().empty() ? "" : d->WorkingSpecialParams()[0]),
                  c.Special);
        EXPECT_FALSE(d->IsSaved());
    }
    // The first choice named the file; later ones keep the name.
    EXPECT_EQ(d->edtFileName->text(), "Station snapshot yy-mm-dd");
    d->btnSave->click();
    EXPECT_EQ(Groups.Items(0).Report.Key, "Snapshot");
    EXPECT_EQ(Groups.Items(0).StartFrom, "Now");
}

TEST_F(ScheduleSetupTest, ChoosingTheSameReportOrCancellingChangesNothing) {
    AddGroup(1, "DailyRain").OtherParams = {"Basin=North"};
    Chooser.Files["DailyRain"] = {{"Basin"}};
    auto d = Open();
    for (bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancelled" : "same report");
        Chooser.Pick = cancel ? std::nullopt : std::optional(Report("DailyRain"));
        const int discoveries = Chooser.Discoveries;
        d->btnBrowseReport->click();
        EXPECT_TRUE(d->IsSaved());
        EXPECT_EQ(Chooser.Discoveries, discoveries);
        EXPECT_EQ(d->vlOtherParams->item(0, 1)->text(), "North");
    }
}

TEST_F(ScheduleSetupTest, ReportNameDoubleClickOpensTheChooser) {
    auto d = Open();
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(5, 5), d->edtReportName->mapToGlobal(QPointF(5, 5)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(d->edtReportName, &dbl);
    EXPECT_EQ(Chooser.Choices, 1);
}

// A job of the shown group may end while the editor is open and move the
// group's StartFrom on. Saving other edits must not put the old text back,
// or the delivered periods are reported again; a value the operator entered
// is saved.
TEST_F(ScheduleSetupTest, StartFromMovedOnMeanwhileIsKeptUnlessTheBoxWasChanged) {
    TVidUduzadevGroupItem& g = AddGroup(1, "DailyRain");  // has a time range
    g.StartFrom = "03/01/2024 00:00:00";
    auto d = Open();
    ASSERT_EQ(d->cbxDateFrom->currentText(), "03/01/2024 00:00:00");

    g.StartFrom = "03/02/2024 00:00:00";  // what a job's end does
    d->edtAfterRun->setText("edited");
    d->btnSave->click();
    EXPECT_EQ(g.AfterRun, "edited");
    EXPECT_EQ(g.StartFrom, "03/02/2024 00:00:00");
    EXPECT_EQ(d->cbxDateFrom->currentText(), "03/02/2024 00:00:00") << "the box shows the current value";
    EXPECT_TRUE(d->IsSaved());

    g.StartFrom = "03/03/2024 00:00:00";
    d->cbxDateFrom->setCurrentText("Yesterday");
    d->btnSave->click();
    EXPECT_EQ(g.StartFrom, "Yesterday");

    // A report without a period of its own still gets "Now".
    g.StartFrom = "03/04/2024 00:00:00";
    d->ShowGroup(0);
    EXPECT_EQ(d->cbxDateFrom->currentText(), "03/04/2024 00:00:00");
    Chooser.Pick = Report("Snapshot");
    d->btnBrowseReport->click();
    d->btnSave->click();
    EXPECT_EQ(g.StartFrom, "Now");
}

TEST_F(ScheduleSetupTest, ParameterDiscoveryFillsCustomParamsAndKeepsValues) {
    TVidUduzadevGroupItem& g = AddGroup(1, "DailyRain");
    g.OtherParams = {"basin=North", "Dropped=1"};
    Chooser.Files["DailyRain"] = {{"Basin"}, {"StartTime"}, {"Units"}, {"Lookup", true}};
    Chooser.Files["SensorReadings"] = {{"Limit"}, {"SensorList"}};
    auto d = Open();

    ASSERT_EQ(d->vlOtherParams->rowCount(), 2);
    EXPECT_TRUE(d->vlOtherParams->isEnabled());
    EXPECT_EQ(d->vlOtherParams->item(0, 0)->text(), "basin");
    EXPECT_EQ(d->vlOtherParams->item(0, 1)->text(), "North");
    EXPECT_EQ(d->vlOtherParams->item(1, 0)->text(), "Units");
    EXPECT_EQ(d->vlOtherParams->item(1, 1)->text(), "");
    EXPECT_FALSE(d->vlOtherParams->item(0, 0)->flags() & Qt::ItemIsEditable);
    EXPECT_TRUE(d->vlOtherParams->item(0, 1)->flags() & Qt::ItemIsEditable);
    // The group keeps its values until the operator saves.
    EXPECT_EQ(g.OtherParams, (std::vector<std::string>{"basin=North", "Dropped=1"}));

    d->vlOtherParams->item(1, 1)->setText("mm");
    EXPECT_FALSE(d->IsSaved());
    d->btnSave->click();
    EXPECT_EQ(g.OtherParams, (std::vector<std::string>{"basin=North", "Units=mm"}));

    // Another report offers its own parameters, with empty values.
    Chooser.Pick = Report("SensorReadings");
    d->btnBrowseReport->click();
    ASSERT_EQ(d->vlOtherParams->rowCount(), 1);
    EXPECT_EQ(d->vlOtherParams->item(0, 0)->text(), "Limit");
    EXPECT_EQ(d->vlOtherParams->item(0, 1)->text(), "");

    // A report without parameters leaves the grid empty and disabled.
    Chooser.Pick = Report("Snapshot");
    d->btnBrowseReport->click();
    EXPECT_EQ(d->vlOtherParams->rowCount(), 0);
    EXPECT_FALSE(d->vlOtherParams->isEnabled());
}

// Discovery by the selection window's own rule, on the report files under
// the test catalog's folder (where none of the catalog's files exist).
class TReportFileChooser final : public IReportChooser {
public:
    bool ChooseReport() override { return false; }
    const TReportItem& SelectedReport() const override { return FNone; }
    void DiscoverReportParameters(const TReportItem& entry, std::vector<std::string>& params,
                                  std::vector<std::string>& special) override {
        mv::DiscoverReportParameters(FBinding, entry, MV_TEST_DATA_DIR "/setup/", params, special);
    }

private:
    TRpe FBinding;
    TReportItem FNone;
};

// A report file out of reach while the group is shown (a share down for a
// moment) must not wipe the group's parameter values at the next save.
TEST_F(ScheduleSetupTest, UnreachableReportFileKeepsTheGroupsParameters) {
    TVidUduzadevGroupItem& g = AddGroup(1, "Snapshot");
    g.OtherParams = {"Basin=North", "Units=mm"};
    g.SpecialParams = {kReportTimeParam};
    g.StartFrom = "Yesterday";
    TReportFileChooser files;
    TfrmOptionSetup d(nullptr, Groups, files);
    d.show();

    ASSERT_EQ(d.vlOtherParams->rowCount(), 2);
    EXPECT_TRUE(d.vlOtherParams->isEnabled());
    EXPECT_EQ(d.vlOtherParams->item(1, 1)->text(), "mm");
    EXPECT_TRUE(d.cbxDateFrom->isEnabled()) << "pReportTime is still known";
    d.edtAfterRun->setText("edited");
    d.btnSave->click();
    EXPECT_EQ(g.AfterRun, "edited");
    EXPECT_EQ(g.OtherParams, (std::vector<std::string>{"Basin=North", "Units=mm"}));
    EXPECT_EQ(g.SpecialParams, std::vector<std::string>{kReportTimeParam});
    EXPECT_EQ(g.StartFrom, "Yesterday");
    EXPECT_TRUE(Boxes.Requests.empty());
}

TEST_F(ScheduleSetupTest, TimeRangeListsPreviewKeywordsAndKeepEnteredValues) {
    TVidUduzadevGroupItem& g = AddGroup(1, "DailyRain");
    g.TimeFrom = "as entered below:";
    g.TimeTo = "LAST HOUR";
    g.AbsTimeFrom = EncodeDateTime(2023, 12, 24, 18, 30, 5, 0);
    g.AbsTimeTo = EncodeDateTime(2023, 12, 25, 6, 0, 0, 0);
    TVidUduzadevGroupItem& plain = AddGroup(2, "Snapshot");
    plain.TimeFrom = "Keep";
    auto d = Open();
    EXPECT_TRUE(d->grpTimeRange->isEnabled());
    EXPECT_EQ(d->cboSinceTime->currentIndex(), 0);
    EXPECT_EQ(d->tpPeriodStartsDate->date(), QDate(2023, 12, 24));
    EXPECT_EQ(d->tpPeriodStartsTime->time(), QTime(18, 30, 5));
    EXPECT_TRUE(d->tpPeriodStartsDate->isEnabled());
    EXPECT_EQ(d->cboUntilTime->currentText(), "Last Hour");
    EXPECT_EQ(d->tpPeriodEndsDate->date(), QDate(2024, 3, 1));
    EXPECT_EQ(d->tpPeriodEndsTime->time(), QTime(9, 0, 0));
    EXPECT_FALSE(d->tpPeriodEndsDate->isEnabled());

    d->cboSinceTime->setCurrentText("Yesterday");  // 03/01/2024: the leap day
    EXPECT_EQ(d->tpPeriodStartsDate->date(), QDate(2024, 2, 29));
    EXPECT_EQ(d->tpPeriodStartsTime->time(), QTime(0, 0, 0));
    EXPECT_FALSE(d->tpPeriodStartsTime->isEnabled());
    d->cboUntilTime->setCurrentIndex(0);
    d->tpPeriodEndsTime->setTime(QTime(23, 59, 59));
    d->btnSave->click();
    EXPECT_EQ(g.TimeFrom, "Yesterday");
    EXPECT_EQ(g.TimeTo, "As Entered Below:");
    EXPECT_DOUBLE_EQ(g.AbsTimeTo, EncodeDateTime(2024, 3, 1, 23, 59, 59, 0));

    // A report without a time range leaves the group's range alone.
    d->cbxGroup->setCurrentIndex(1);
    d->cbxGroupChange();
    EXPECT_FALSE(d->grpTimeRange->isEnabled());
    EXPECT_EQ(d->cboSinceTime->currentText(), "Yesterday");
    EXPECT_EQ(d->cboUntilTime->currentText(), "Today");
    d->edtAfterRun->setText("x");
    d->btnSave->click();
    EXPECT_EQ(plain.TimeFrom, "Keep");
}

TEST_F(ScheduleSetupTest, OutputKindEnablesItsControls) {
    AddGroup(1).Output = 1;
    auto d = Open();
    EXPECT_TRUE(d->rdoOutputPrinter->isChecked());
    auto fileControls = [&] {
        return std::vector<bool>{d->edtOutputDir->isEnabled(), d->btnOutput->isEnabled(), d->edtFileName->isEnabled(),
                                 d->cboFormat->isEnabled()};
    };
    EXPECT_TRUE(d->cboPrinters->isEnabled());
    EXPECT_TRUE(d->btnSetupPrinter->isEnabled());
    EXPECT_EQ(fileControls(), std::vector<bool>(4, false));
    d->rdoOutputFile->click();
    EXPECT_FALSE(d->cboPrinters->isEnabled());
    EXPECT_FALSE(d->btnSetupPrinter->isEnabled());
    EXPECT_EQ(fileControls(), std::vector<bool>(4, true));
    EXPECT_FALSE(d->IsSaved());
    d->cboFormat->setCurrentText("CSV");
    d->btnSave->click();
    EXPECT_EQ(Groups.Items(0).Output, 2);
    EXPECT_EQ(Groups.Items(0).OutputFormat, 4);
}

TEST_F(ScheduleSetupTest, EnableTickOffersSaveWithoutMarkingGroupsChanged) {
    AddGroup(1);
    auto d = Open();
    d->FGroupsChanged = false;  // as if the showing had not set it
    d->chkEnable->click();
    EXPECT_FALSE(d->IsSaved());
    EXPECT_FALSE(d->FGroupsChanged);
    EXPECT_TRUE(d->actSave->isEnabled());
    d->btnSave->click();
    EXPECT_TRUE(Groups.Items(0).Enabled);
}

TEST_F(ScheduleSetupTest, PopupMenuAndHelp) {
    auto d = Open();
    QStringList entries;
    for (QAction* a : d->mnuPopup->actions()) entries << a->text();
    EXPECT_EQ(entries, QStringList({"&New", "&Save", "&Delete", "Delete &All"}));
    d->btnHelp->click();
    EXPECT_EQ(HelpTopics, std::vector<int>{13});
}

TEST_F(ScheduleSetupTest, OutputFolderPickerTakesTheChosenFolder) {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("Reports");
    AddGroup(1).Output = 2;
    Groups.Items(0).OutputDir = dir.path().toStdString();
    auto d = Open();
    test::WhenModal([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(QDir(dialog->directory()).absolutePath(), QDir(dir.path()).absolutePath());
        dialog->selectFile(dir.path() + "/Reports");
        static_cast<QDialog*>(dialog)->accept();
    });
    d->btnOutput->click();
    EXPECT_EQ(d->edtOutputDir->text(), dir.path() + "/Reports");
    EXPECT_FALSE(d->IsSaved());
}


// The main window's ten-minute save fires while the editor is open (its
// modal loop keeps the timers running): each save writes the container as
// it stands, never an edit that was not stored, and a group number used
// again does not inherit anything from the deleted group's section.
class ScheduleSetupSaveTest : public SetupFixture {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::copy(MV_TEST_DATA_DIR "/setup/MVReports.MVF", Dir.filePath("MVReports.MVF")));
        std::ofstream(Dir.filePath("MVVidUduzadev.MVF").toStdString()) << R"([VidUduzadevr]
GroupNames=RptSchGroup:1,RptSchGroup:2,RptSchGroup:3
[RptSchGroup:1]
RGIndex=1
ReportKey=DailyRain
Enabled=1
AfterRun=after-1
TimeFrom=Yesterday
TimeTo=Today
[RptSchGroup:2]
RGIndex=2
ReportKey=SensorReadings
AfterRun=after-2
Output=1
Printer=Office Laser
Filter=north.flt
Stations=53543030310D0A
Sensors=5241494E0D0A
OtherParams=426173696E3D4E6F7274680D0A
SpecialParams=705265706F727454696D650D0A
[RptSchGroup:3]
RGIndex=3
ReportKey=DailySummary
IntType=6
Interval=06:00:00
IntervalDays=2
OutputName=summary yy-mm-dd
OtherParams=4C696D69743D350D0A
)";
        TMainWindowOptions options;
        options.AppDir = Dir.path().toStdString() + "/";
        options.ShowHelp = [](const std::string&, int) {};
        Main = std::make_unique<TfrmVidUduzadevrMain>(std::move(options));
        ASSERT_NE(Main->ScheduleFile(), nullptr);
        ASSERT_EQ(Main->ScheduleGroups().Count(), 3);
        Chooser.Files["DailyRain"] = {};
        Chooser.Files["SensorReadings"] = {{"Basin"}};
        Chooser.Files["DailySummary"] = {{"Limit"}};
    }

    // The groups as a fresh start of the program reads them from the file.
    std::vector<std::string> SavedGroups() const {
        TVidUduzadevGroups groups;
        TReportCatalog catalog(Dir.path().toStdString());
        TScheduleFile file(Dir.filePath("MVVidUduzadev.MVF").toStdString(), groups, catalog,
                           [](const std::string&) {});
        file.Open();
        file.LoadStartupSettings();
        return Describe(groups);
    }
    // The stored fields of every group, one text per group.
    static std::vector<std::string> Describe(const TVidUduzadevGroups& groups) {
        std::vector<std::string> out;
        auto list = [](const std::vector<std::string>& l) {
            std::string s = "[";
            for (const std::string& x : l) s += x + ";";
            return s + "]";
        };
        for (int i = 0; i < groups.Count(); ++i) {
            const TVidUduzadevGroupItem& g = groups.Items(i);
            out.push_back(g.GroupName + " " + std::to_string(g.RGIndex) + " " + g.Report.Key + " en=" +
                          std::to_string(g.Enabled) + " base=" + FormatDateTime("hh:nn:ss", g.BaseTime) +
                          " int=" + std::to_string(g.IntType) + "/" + std::to_string(g.Interval) + " from=" +
                          g.StartFrom + " run=" + g.AfterRun + " out=" + std::to_string(g.Output) + " " + g.Printer +
                          " " + g.OutputDir + " " + g.OutputName + " fmt=" + std::to_string(g.OutputFormat) +
                          " range=" + g.TimeFrom + "," + g.TimeTo + " filter=" + g.Filter + " st=" + list(g.Stations) +
                          " se=" + list(g.Sensors) + " op=" + list(g.OtherParams) + " sp=" + list(g.SpecialParams));
        }
        return out;
    }

    QTemporaryDir Dir;
    std::unique_ptr<TfrmVidUduzadevrMain> Main;
};

TEST_F(ScheduleSetupSaveTest, PeriodicSaveWhileEditingKeepsTheScheduleWhole) {
    const std::vector<std::string> atStart = SavedGroups();
    TfrmOptionSetup d(Main.get(), Main->ScheduleGroups(), Chooser);
    d.show();

    // An edit not yet stored is not written.
    d.edtAfterRun->setText("edited-1");
    Main->tmrINISaverTimer();
    EXPECT_EQ(SavedGroups(), atStart);
    d.btnSave->click();
    Main->tmrINISaverTimer();
    auto saved = SavedGroups();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_NE(saved[0].find("run=edited-1"), std::string::npos) << saved[0];

    // Group 2 goes; a new group takes its number and nothing of its section.
    d.cbxGroup->setCurrentIndex(1);
    d.cbxGroupChange();
    Boxes.Answers = {QMessageBox::Ok};
    d.btnDelete->click();
    Main->tmrINISaverTimer();
    ASSERT_EQ(SavedGroups().size(), 2u);
    d.btnNew->click();
    Main->tmrINISaverTimer();
    saved = SavedGroups();
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[2].rfind("RptSchGroup:2 2 ", 0), 0u) << saved[2];
    EXPECT_EQ(saved[2].find("north.flt"), std::string::npos) << saved[2];
    EXPECT_EQ(saved[2].find("ST001"), std::string::npos) << saved[2];
    EXPECT_EQ(saved[2].find("Office Laser"), std::string::npos) << saved[2];

    // A copy of group 3, saved between two timer saves, and a pending edit.
    d.cbxGroup->setCurrentIndex(1);
    d.cbxGroupChange();
    d.btnCopy->click();
    Main->tmrINISaverTimer();
    d.btnSave->click();
    d.edtAfterRun->setText("not saved");
    Main->tmrINISaverTimer();
    Boxes.Answers = {QMessageBox::No};
    d.close();
    EXPECT_FALSE(d.isVisible());
    Main->EndGroupEdit(d.FGroupsChanged);
    Main->tmrINISaverTimer();

    saved = SavedGroups();
    EXPECT_EQ(saved, Describe(Main->ScheduleGroups()));
    ASSERT_EQ(saved.size(), 4u);
    EXPECT_EQ(saved[3].rfind("RptSchGroup:4 4 DailySummary", 0), 0u) << saved[3];
    EXPECT_NE(saved[3].find("int=6/2.25"), std::string::npos) << saved[3];
    EXPECT_NE(saved[3].find("op=[Limit=5;]"), std::string::npos) << saved[3];
    EXPECT_EQ(saved[3].find("not saved"), std::string::npos);
}

// Tab walks each page top to bottom, left to right, leaves the parameter
// grid (arrows move inside it) and comes back round.
TEST_F(ScheduleSetupTest, TabOrderFollowsTheLayout) {
    AddGroup(1, "SensorReadings").Output = 2;
    Chooser.Files["SensorReadings"] = {{"Basin"}};
    auto d = Open();
    QApplication::setActiveWindow(d.get());
    auto walk = [&] {
        QStringList seen;
        for (int i = 0; i < 40; ++i) {
            QWidget* w = QApplication::focusWidget();
            if (!w || (i > 0 && w == d->cbxGroup)) break;
            // The station frame orders its own controls.
            if (!d->grpSitesSensors->isAncestorOf(w)) seen << w->objectName();
            QTest::keyClick(w, Qt::Key_Tab);
        }
        return seen.join(" ").toStdString();
    };
    ASSERT_EQ(QApplication::focusWidget(), d->cbxGroup);
    const std::string head = "cbxGroup btnNew btnDelete btnDeleteAll btnCopy edtReportName btnBrowseReport chkEnable qt_tabwidget_tabbar";
    EXPECT_EQ(walk(), head + " edtBase cbxInterval edtAfterRun rdoOutputPrinter edtOutputDir btnOutput edtFileName cboFormat "
                             "btnClose btnHelp");
    d->pgcPages->setCurrentWidget(d->tabParams);
    d->cbxGroup->setFocus();
    EXPECT_EQ(walk(), head + " cbxDateFrom cboSinceTime cboUntilTime edtFilterFile btnFilter vlOtherParams "
                             "btnClose btnHelp");
}

}  // namespace
}  // namespace mv::ui
