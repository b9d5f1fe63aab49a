#include "UiTestSupport.h"

#include "core/schedule/ReportItem.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/timing/DateTime.h"
#include "ui/app/ScheduleMain.h"
#include "ui/select/SelectReports.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace mv::ui {
namespace {

namespace fs = std::filesystem;
using test::TMessageRecorder;
using TLines = std::vector<std::string>;

// Categories: two shown, one blank (hidden), one of the other kind. Titles
// sort otherwise than keys, and one title starts in lower case.
constexpr const char* kMainCatalog = R"([Reports Category]
TEMP=Temperature
RAIN=Rainfall
HIDDEN=   
PP=Post processed
[CategoryType]
TEMP=0
RAIN=0
HIDDEN=0
PP=1
[Reports Settings]
Good=1
Missing=1
Broken=1
Zeta=1
PPOnly=1
[RAIN]
Good=1
Missing=1
[TEMP]
Broken=1
Zeta=1
[HIDDEN]
Good=1
[PP]
PPOnly=1
[Good]
Report Title=params report
Report File Name=reports/params_all_kinds.xml
Report Enabled=1
Report Time Range=1
Report Site Lists=1
Report Category=RAIN
[Missing]
Report Title=Missing file
Report File Name=reports/missing.xml
Report Category=RAIN
[Broken]
Report Title=Broken definition
Report File Name=reports/definition_unknown_element.xml
Report Filter=1
Report Sensor Lists=1
Report Category=TEMP
[Zeta]
Report Title=Alpha by title
Report File Name=reports/params_none.xml
Report Category=TEMP
[PPOnly]
Report Type=1
Report Title=Post processed only
Report File Name=reports/params_none.xml
Report Category=PP
)";

const TLines kAllTitles{"Alpha by title", "Broken definition", "Missing file", "params report"};

class SelectReportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("MV_RPENG_LIBRARY", MV_RPENG32, 1);
        ASSERT_TRUE(Dir.isValid());
        fs::create_directories(AppDir() + "reports");
        for (const char* f : {"params_all_kinds.xml", "params_none.xml", "definition_unknown_element.xml"})
            fs::copy_file(std::string(MV_TEST_DATA_DIR "/catalog/reports/") + f, AppDir() + "reports/" + f);
        Write("MVReports.MVF", kMainCatalog);
    }

    std::string AppDir() const { return Dir.path().toStdString() + "/"; }
    void Write(const std::string& name, const std::string& text) const { std::ofstream(AppDir() + name) << text; }
    void WriteWindowSettings(const std::string& category, int kind = 0) const {
        Write("MVRptUsr.MVF", "[Windows Settings]\nReport Type=" + std::to_string(kind) + "\nCategory=" + category + "\n");
    }
    std::unique_ptr<TfrmSelectReports> MakeWindow() const { return std::make_unique<TfrmSelectReports>(AppDir()); }
    // Shown without a modal loop, so that a test can act on it step by step.
    std::unique_ptr<TfrmSelectReports> ShowWindow() const {
        auto w = MakeWindow();
        w->show();
        QApplication::processEvents();
        return w;
    }

    static TLines Titles(const TfrmSelectReports& w) {
        TLines out;
        for (int i = 0; i < w.ReportCount(); ++i) out.push_back(w.ReportAt(i).Title);
        return out;
    }
    static TLines Categories(const TfrmSelectReports& w) {
        TLines out;
        for (int i = 0; i < w.cboCategory->count(); ++i) out.push_back(w.cboCategory->itemText(i).toStdString());
        return out;
    }
    static int RowOf(const TfrmSelectReports& w, const std::string& title) {
        for (int i = 0; i < w.ReportCount(); ++i)
            if (w.ReportAt(i).Title == title) return i;
        return -1;
    }
    static bool PanelEmpty(const TfrmSelectReports& w) {
        for (QLineEdit* e : {w.edtTitle, w.edtSubject, w.edtAuthor, w.edtCategory, w.edtKeywords, w.edtFileName,
                             w.edtCreated, w.edtSaved, w.edtAccessed})
            if (!e->text().isEmpty()) return false;
        for (QCheckBox* c : {w.chkEnabled, w.chkTimeRange, w.chkFilter, w.chkSiteLists, w.chkSensorLists})
            if (c->isChecked()) return false;
        return w.memComments->toPlainText().isEmpty();
    }

    QTemporaryDir Dir;
};

TEST_F(SelectReportsTest, CategorySelectorAndRememberedCategory) {
    const struct {
        const char* Label;
        const char* Remembered;
        int Kind;
        TLines Offered;
        const char* Selected;
        TLines Listed;
    } kCases[] = {
        {"remembered category", "Temperature", 0, {"...ALL...", "Rainfall", "Temperature"}, "Temperature",
         {"Alpha by title", "Broken definition"}},
        {"names match without regard to case", "rainfall", 0, {"...ALL...", "Rainfall", "Temperature"}, "Rainfall",
         {"Missing file", "params report"}},
        {"unknown category: first item", "Humidity", 0, {"...ALL...", "Rainfall", "Temperature"}, "...ALL...",
         kAllTitles},
        {"none remembered: first item", "", 0, {"...ALL...", "Rainfall", "Temperature"}, "...ALL...", kAllTitles},
        {"post-processed kind", "Post processed", 1, {"...ALL...", "Post processed"}, "Post processed",
         {"Post processed only"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Label);
        WriteWindowSettings(c.Remembered, c.Kind);
        auto w = MakeWindow();
        EXPECT_EQ(w->ReportKind(), c.Kind);
        EXPECT_EQ(Categories(*w), c.Offered);
        EXPECT_EQ(w->cboCategory->currentText().toStdString(), c.Selected);
        EXPECT_EQ(Titles(*w), c.Listed);
        EXPECT_EQ(w->SelectedRow(), 0) << "the first report is selected";
    }
}

TEST_F(SelectReportsTest, ChoosingACategoryListsItsReports) {
    WriteWindowSettings("Rainfall");
    TMessageRecorder boxes;
    auto w = ShowWindow();
    ASSERT_EQ(boxes.Requests.size(), 1u) << "\"Missing file\" comes first in \"Rainfall\"";
    boxes.Requests.clear();
    w->cboCategory->setCurrentIndex(w->cboCategory->findText("Temperature"));
    w->cboCategoryChange(w->cboCategory->currentIndex());
    EXPECT_EQ(Titles(*w), (TLines{"Alpha by title", "Broken definition"}));
    EXPECT_EQ(w->SelectedRow(), 0);
    EXPECT_EQ(w->edtTitle->text(), "") << "params_none.xml has no summary";
    EXPECT_EQ(w->edtFileName->text(), "params_none.xml");
    EXPECT_TRUE(boxes.Requests.empty());
    // Columns of the details view.
    auto* model = w->lvwDetails->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Title");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Category");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "File Name");
    EXPECT_EQ(model->index(1, 1).data().toString(), "Temperature");
    EXPECT_EQ(model->index(1, 2).data().toString(), "reports/definition_unknown_element.xml");
}

TEST_F(SelectReportsTest, RefreshReadsTheCatalogInMemoryAndSelectsTheFirstReport) {
    WriteWindowSettings("");
    TMessageRecorder boxes;
    auto w = ShowWindow();
    w->SelectRow(RowOf(*w, "params report"));
    Write("MVReports.MVF", "[Reports Settings]\nNew=1\n[New]\nReport Title=Added later\n");
    w->actRefreshExecute();
    EXPECT_EQ(Titles(*w), kAllTitles);
    EXPECT_EQ(w->SelectedRow(), 0);
    EXPECT_EQ(w->edtFileName->text(), "params_none.xml");
}

TEST_F(SelectReportsTest, PropertiesPanelShowsSummaryFileAndSettings) {
    WriteWindowSettings("");
    TMessageRecorder boxes;
    auto w = ShowWindow();
    w->SelectRow(RowOf(*w, "params report"));
    EXPECT_TRUE(boxes.Requests.empty());
    EXPECT_EQ(w->edtTitle->text(), "Parameters of every kind");
    EXPECT_EQ(w->edtSubject->text(), "Parameter discovery");
    EXPECT_EQ(w->edtAuthor->text(), "Catalog tests");
    EXPECT_EQ(w->edtCategory->text(), "Rainfall");
    EXPECT_EQ(w->memComments->toPlainText(), "First line.\nSecond line.");
    EXPECT_EQ(w->edtKeywords->text(), "params; test");
    EXPECT_EQ(w->edtFileName->text(), "params_all_kinds.xml");
    EXPECT_GT(TryStrToDateTime(w->edtSaved->text().toStdString()).value_or(0), EncodeDate(2020, 1, 1))
        << w->edtSaved->text().toStdString();
    EXPECT_FALSE(w->edtAccessed->text().isEmpty());
    EXPECT_FALSE(w->edtCreated->text().isEmpty());
    EXPECT_TRUE(w->chkEnabled->isChecked());
    EXPECT_TRUE(w->chkTimeRange->isChecked());
    EXPECT_FALSE(w->chkFilter->isChecked());
    EXPECT_TRUE(w->chkSiteLists->isChecked());
    EXPECT_FALSE(w->chkSensorLists->isChecked());
    for (QCheckBox* c : {w->chkEnabled, w->chkTimeRange, w->chkFilter, w->chkSiteLists, w->chkSensorLists})
        EXPECT_FALSE(c->isEnabled());
    // The entry keeps what was read.
    EXPECT_EQ(w->ReportAt(RowOf(*w, "params report")).PropTitle, "Parameters of every kind");

    w->SelectRow(-1);
    EXPECT_TRUE(PanelEmpty(*w)) << "no selection, no properties";
}

TEST_F(SelectReportsTest, MissingReportFileShows1201AndLeavesThePanelEmpty) {
    WriteWindowSettings("Rainfall");  // "Missing file" is the first report
    TMessageRecorder boxes;
    auto w = MakeWindow();
    EXPECT_TRUE(boxes.Requests.empty()) << "a hidden window reads no properties";
    w->show();
    QApplication::processEvents();
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_EQ(boxes.Requests[0].Kind, TMessageKind::Error);
    EXPECT_EQ(boxes.Requests[0].Text, "Error 1201: Report file does not exist.");
    EXPECT_TRUE(PanelEmpty(*w));

    // After a report that filled the panel, too.
    w->SelectRow(RowOf(*w, "params report"));
    ASSERT_FALSE(PanelEmpty(*w));
    w->SelectRow(RowOf(*w, "Missing file"));
    EXPECT_EQ(boxes.Requests.size(), 2u);
    EXPECT_TRUE(PanelEmpty(*w));
}

TEST_F(SelectReportsTest, UnreadableReportShows1216AndWhatTheEntryHolds) {
    WriteWindowSettings("Temperature");
    TMessageRecorder boxes;
    auto w = ShowWindow();
    w->SelectRow(RowOf(*w, "Broken definition"));
    ASSERT_EQ(boxes.Requests.size(), 1u);
    EXPECT_TRUE(boxes.Requests[0].Text.startsWith("Error 1216: Unable to load/refresh report properties."));
    EXPECT_TRUE(boxes.Requests[0].Text.contains("unknown element <colour>")) << "the cause is shown too";
    EXPECT_EQ(w->edtTitle->text(), "");
    EXPECT_EQ(w->edtCategory->text(), "Temperature");
    EXPECT_TRUE(w->chkFilter->isChecked());
    EXPECT_TRUE(w->chkSensorLists->isChecked());
    EXPECT_FALSE(w->chkEnabled->isChecked());
}

TEST_F(SelectReportsTest, PanelCloseButtonHidesThePanelForGood) {
    TMessageRecorder boxes;
    auto w = ShowWindow();
    ASSERT_TRUE(w->pnlProperties->isVisible());
    w->btnCloseProperties->click();
    QApplication::processEvents();
    EXPECT_FALSE(w->pnlProperties->isVisible());
    EXPECT_EQ(w->splReports->sizes().value(0), w->splReports->width()) << "the list takes the whole page";
    w->hide();
    w->show();
    QApplication::processEvents();
    EXPECT_FALSE(w->pnlProperties->isVisible());
    for (QAction* a : w->mnuViews->actions()) {
        if (a->isSeparator()) continue;
        a->trigger();
        EXPECT_FALSE(w->pnlProperties->isVisible()) << a->text().toStdString();
    }
}

TEST_F(SelectReportsTest, ViewCommandsSetTheStyleAndCheckTheirItem) {
    auto w = MakeWindow();
    EXPECT_EQ(w->ViewStyle(), vsLargeIcons);
    EXPECT_TRUE(w->actLargeIcons->isChecked());
    const struct {
        QAction* Action;
        int Style;
    } kCases[] = {{w->actDetails, vsDetails}, {w->actSmallIcons, vsSmallIcons}, {w->actLargeIcons, vsLargeIcons}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.Action->text().toStdString());
        c.Action->trigger();
        EXPECT_EQ(w->ViewStyle(), c.Style);
        for (QAction* a : {w->actLargeIcons, w->actSmallIcons, w->actDetails}) EXPECT_EQ(a->isChecked(), a == c.Action);
        EXPECT_EQ(w->ReportView() == w->lvwDetails, c.Style == vsDetails);
    }
    // The context menu offers the same commands.
    EXPECT_EQ(w->pmnReports->actions().size(), 5);
    // The list style has no command: none is checked. Values out of range show large icons.
    w->SetViewStyle(vsList);
    EXPECT_EQ(w->ViewStyle(), vsList);
    EXPECT_EQ(w->lvwIcons->flow(), QListView::TopToBottom);
    for (QAction* a : {w->actLargeIcons, w->actSmallIcons, w->actDetails}) EXPECT_FALSE(a->isChecked());
    w->SetViewStyle(7);
    EXPECT_EQ(w->ViewStyle(), vsLargeIcons);
}

TEST_F(SelectReportsTest, OkWithoutSelectionKeepsTheWindowOpenAndOnlyGivesTheStyle) {
    WriteWindowSettings("");
    TMessageRecorder boxes;
    auto w = MakeWindow();
    std::vector<int> taken;
    w->SetOnViewStyleTaken([&](int style) { taken.push_back(style); });
    bool stillOpen = false;
    test::WhenModal([&](QWidget* dialog) {
        ASSERT_EQ(dialog, w.get());
        w->SelectRow(-1);
        w->actDetails->trigger();
        w->btnOK->click();
        stillOpen = w->isVisible();
        w->btnCancel->click();
    });
    EXPECT_FALSE(w->ChooseReport());
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(taken, std::vector<int>{vsDetails});
    EXPECT_EQ(w->SelectedReport().Key, "") << "nothing picked yet";

    // Cancel gives nothing back.
    test::WhenModal([&](QWidget*) {
        w->actSmallIcons->trigger();
        w->btnCancel->click();
    });
    EXPECT_FALSE(w->ChooseReport());
    EXPECT_EQ(taken, std::vector<int>{vsDetails});
}

TEST_F(SelectReportsTest, OkHandsBackACopyOfThePickedEntry) {
    WriteWindowSettings("");
    TMessageRecorder boxes;
    auto w = MakeWindow();
    std::vector<int> taken;
    w->SetOnViewStyleTaken([&](int style) { taken.push_back(style); });
    test::WhenModal([&](QWidget*) {
        w->SelectRow(RowOf(*w, "params report"));
        w->btnOK->click();
    });
    ASSERT_TRUE(w->ChooseReport());
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(taken, std::vector<int>{vsLargeIcons});
    EXPECT_EQ(w->SelectedReport().Key, "Good");
    EXPECT_EQ(w->SelectedReport().PropTitle, "Parameters of every kind");
    EXPECT_EQ(w->SelectedReport().CategoryName, "Rainfall");

    // The window keeps its state for the next showing; Cancel keeps the pick.
    test::WhenModal([&](QWidget*) {
        EXPECT_EQ(w->SelectedRow(), RowOf(*w, "params report"));
        w->SelectRow(0);
        w->btnCancel->click();
    });
    EXPECT_FALSE(w->ChooseReport());
    EXPECT_EQ(w->SelectedReport().Key, "Good");
}

TEST_F(SelectReportsTest, ServesTheScheduleFileAndTheEditor) {
    auto w = MakeWindow();
    TReportItem item;
    w->FindReport("good", item);
    EXPECT_EQ(item.Title, "params report");
    EXPECT_THROW(w->FindReport("Nowhere", item), std::runtime_error);

    IReportChooser& chooser = *w;
    TLines params{"Units=si", "Gone=1"}, special;
    chooser.DiscoverReportParameters(item, params, special);
    EXPECT_EQ(params, (TLines{"Units=si", "SensorList=", "MinQuality=", "NoteLimit="}));
    EXPECT_EQ(special, TLines{"pReportTime"});
}

// The main window creates the selection window, reads its groups' reports
// through it and keeps the list style the window gives back.
TEST_F(SelectReportsTest, MainWindowOwnsTheWindowAndSavesItsStyle) {
    Write("MVVidUduzadev.MVF",
          "[VidUduzadevr]\nLogDetail=1\nListViewStyle=3\nGroupNames=RptSchGroup:1\nLogMessage=0\n"
          "[RptSchGroup:1]\nRGIndex=1\nEnabled=1\nReportKey=Good\nBaseTime=00:00:00\nIntType=3\n"
          "Interval=00:00:00\nStartFrom=03/01/2024 00:00:00\n");
    TMessageRecorder boxes;
    {
        TMainWindowOptions options;
        options.AppDir = AppDir();
        options.OpenReportEngine = [](TRpe& binding) { binding.OpenPrintEngine(); };
        TfrmVidUduzadevrMain main(std::move(options));
        EXPECT_FALSE(main.StartupFailed());
        TfrmSelectReports* w = main.SelectReports();
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(main.ReportChooser(), w);
        EXPECT_FALSE(w->isVisible());
        EXPECT_TRUE(w->rpeMain.EngineOpen());
        EXPECT_TRUE(w->rpeViewer.EngineOpen());
        EXPECT_EQ(w->ViewStyle(), vsDetails) << "the style read from the schedule file";
        ASSERT_EQ(main.ScheduleGroups().Count(), 1);
        EXPECT_EQ(main.ScheduleGroups().Items(0).Report.Title, "params report");

        test::WhenModal([w](QWidget*) {
            w->actSmallIcons->trigger();
            w->btnOK->click();
        });
        EXPECT_TRUE(main.ReportChooser()->ChooseReport());
    }
    std::ifstream in(AppDir() + "MVVidUduzadev.MVF");
    const std::string saved{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(saved.find("ListViewStyle=1"), std::string::npos) << saved;
    EXPECT_TRUE(boxes.Requests.empty());
}

}  // namespace
}  // namespace mv::ui
