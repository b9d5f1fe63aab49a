// The station frame and the filter window inside the group editor, on the
// demo database: rows shown and stored with the group, and the station list
// loaded again when the filter changes.
#include "ui/setup/ScheduleSetup.h"

#include "core/schedule/ScheduleDataDef.h"
#include "core/sites/FilterFile.h"
#include "platform/odbc/Odbc.h"
#include "platform/odbc/TestServices.h"
#include "ui/setup/FilterSelect.h"
#include "ui/setup/SitesSensorsFrame.h"
#include "ScheduleSetupSupport.h"
#include "UiTestSupport.h"

#include <QAbstractItemModel>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

namespace mv::ui {
namespace {

using mv::test::TServices;

class SitesInEditor : public ::testing::Test {
protected:
    void SetUp() override
    {
        FDb.Connect({TServices::Get()["MV_SQLITE_DSN"], "", "", ""});
        auto g = std::make_unique<TVidUduzadevGroupItem>();
        g->RGIndex = 1;
        g->GroupName = "RptSchGroup:1";
        g->Report.Key = "STATIONS";
        g->Report.Title = "Station summary";
        g->Report.SiteLists = true;
        g->Report.SensorLists = true;
        g->Report.Filter = true;
        g->Output = 2;
        g->Stations = {"LYO01", "LYO01"};
        g->Sensors = {"RAIN", "STAGE"};
        FGroups.Add(std::move(g));
    }
    std::unique_ptr<TfrmOptionSetup> Open()
    {
        return std::make_unique<TfrmOptionSetup>(nullptr, FGroups, FChooser, TfrmOptionSetup::THelpHandler{}, &FDb);
    }
    static int Roots(const TfrmOptionSetup& d) { return d.frmSitesSensors->tvwLeftTree->model()->rowCount(); }

    mv::test::TScratchDir FDir;
    odbc::TConnection FDb;
    TVidUduzadevGroups FGroups;
    test::TTestChooser FChooser;
    test::TMessageRecorder FMessages;
};

TEST_F(SitesInEditor, RowsOfTheGroupAreShownEditedAndStored)
{
    auto d = Open();
    TSitesSensorsFrame& f = *d->frmSitesSensors;
    EXPECT_TRUE(d->grpSitesSensors->isEnabled());
    EXPECT_EQ(Roots(*d), 20);
    ASSERT_EQ(f.Selected().Count(), 2u);
    EXPECT_TRUE(d->IsSaved());

    f.tvwLeftTree->setCurrentIndex(f.tvwLeftTree->model()->index(0, 0));  // FTC01
    f.btnSetupSitesSensorsAddSite->click();
    EXPECT_FALSE(d->IsSaved());  // an added row is a change
    d->SaveGroup();
    EXPECT_EQ(FGroups.Items(0).Stations.size(), 6u);
    EXPECT_EQ(FGroups.Items(0).Stations.back(), "FTC01");
    EXPECT_EQ(FGroups.Items(0).Sensors.back(), "STAGE");
}

TEST_F(SitesInEditor, AReportWithoutListsDisablesTheFrameAndKeepsNoRows)
{
    FGroups.Items(0).Report.SiteLists = false;
    FGroups.Items(0).Report.SensorLists = false;
    auto d = Open();
    EXPECT_FALSE(d->grpSitesSensors->isEnabled());
    EXPECT_EQ(d->frmSitesSensors->Selected().Count(), 0u);
    d->SaveGroup();
    EXPECT_TRUE(FGroups.Items(0).Stations.empty());
}

TEST_F(SitesInEditor, FilterChangesLoadTheStationsAgain)
{
    const std::string lyons = FDir.File("lyons.flt");
    WriteTextLines(lyons, {"MV_SITES.CITY = 'Lyons'"});
    FGroups.Items(0).Filter = lyons;
    auto d = Open();
    EXPECT_EQ(d->edtFilterFile->text().toStdString(), lyons);
    EXPECT_EQ(Roots(*d), 2);  // ShowGroup loaded the group's filter

    // Leaving the box with another name in it.
    d->edtFilterFile->setText("");
    emit d->edtFilterFile->editingFinished();
    EXPECT_EQ(Roots(*d), 20);
    EXPECT_EQ(d->frmSitesSensors->Selected().Count(), 2u);  // the rows stay

    // The filter window returns a file opened in it.
    const std::string kansas = FDir.File("kansas.flt");
    WriteTextLines(kansas, {"MV_SITES.STATE = 'Kansas'"});
    test::WhenModal([&](QWidget* w) {
        auto* filter = qobject_cast<TfrmFilterSelect*>(w);
        ASSERT_NE(filter, nullptr);
        filter->edtFilterFile->setText(QString::fromStdString(kansas));
        filter->LoadFilterFile(QString::fromStdString(kansas));
        filter->btnOK->click();
    });
    d->btnFilter->click();
    EXPECT_EQ(d->edtFilterFile->text().toStdString(), kansas);
    EXPECT_EQ(Roots(*d), 4);
    EXPECT_FALSE(d->IsSaved());
    d->SaveGroup();
    EXPECT_EQ(FGroups.Items(0).Filter, kansas);
    EXPECT_TRUE(FMessages.Requests.empty());
}

// A filter changed and saved under the name it had, in the filter window or
// by another program, must not leave the stations of its old content.
TEST_F(SitesInEditor, AFilterSavedAnewUnderItsNameLoadsTheStationsAgain)
{
    const std::string filter = FDir.File("area.flt");
    WriteTextLines(filter, {"MV_SITES.CITY = 'Lyons'"});
    FGroups.Items(0).Filter = filter;
    auto d = Open();
    ASSERT_EQ(Roots(*d), 2);

    test::WhenModal([&](QWidget* w) {
        auto* window = qobject_cast<TfrmFilterSelect*>(w);
        ASSERT_NE(window, nullptr);
        window->edtFilterFile->setText(QString::fromStdString(filter));
        window->LoadFilterFile(QString::fromStdString(filter));
        window->edtText->setPlainText("MV_SITES.STATE = 'Kansas'");
        window->btnSave->click();
        window->btnOK->click();
    });
    d->btnFilter->click();
    EXPECT_EQ(d->edtFilterFile->text().toStdString(), filter);
    EXPECT_EQ(Roots(*d), 4);

    // Rewritten elsewhere; leaving the box with the same name in it.
    WriteTextLines(filter, {"MV_SITES.CITY = 'Lyons'"});
    emit d->edtFilterFile->editingFinished();
    EXPECT_EQ(Roots(*d), 2);
    EXPECT_TRUE(FMessages.Requests.empty());
}

}  // namespace
}  // namespace mv::ui
