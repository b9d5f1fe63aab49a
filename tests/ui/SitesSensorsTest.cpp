// The "Sites and Sensors" frame on the demo database (test services).
#include "ui/setup/SitesSensorsFrame.h"

#include "core/schedule/ScheduleDataDef.h"
#include "core/sites/FilterFile.h"
#include "platform/odbc/Odbc.h"
#include "platform/odbc/TestServices.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace mv::ui {
namespace {

using mv::test::TServices;

class SitesFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        FDb.Connect({TServices::Get()["MV_SQLITE_DSN"], "", "", ""});
        FFrame.SetConnection(&FDb);
        FFrame.resize(640, 360);
    }
    // Opens the frame for a report taking these lists, as the editor does.
    void Open(bool siteLists, bool sensorLists, int view = 0)
    {
        FFrame.SetReportLists(siteLists, sensorLists);
        FFrame.ClearSelectedList();
        FFrame.cbxView->setCurrentIndex(view);
        FFrame.RefreshSites("");
    }
    QModelIndex Root(const QString& caption) const
    {
        QAbstractItemModel* m = FFrame.tvwLeftTree->model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->index(r, 0).data().toString() == caption) return m->index(r, 0);
        return {};
    }
    std::vector<std::string> Rows() const
    {
        std::vector<std::string> out;
        QAbstractItemModel* m = FFrame.lstSiteSensors->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            std::string row = m->index(r, 0).data().toString().toStdString();
            if (m->columnCount() > 1) row += "/" + m->index(r, 1).data().toString().toStdString();
            out.push_back(row);
        }
        return out;
    }
    void AddViaButton(const QModelIndex& node)
    {
        FFrame.tvwLeftTree->setCurrentIndex(node);
        FFrame.btnSetupSitesSensorsAddSite->click();
    }

    odbc::TConnection FDb;
    TSitesSensorsFrame FFrame;
};

TEST_F(SitesFrame, ViewListHasTenEntriesWithIconsOfTheirOwn)
{
    ASSERT_EQ(FFrame.cbxView->count(), 10);
    EXPECT_EQ(FFrame.cbxView->itemText(0), "View By Stations");
    EXPECT_EQ(FFrame.cbxView->itemText(9), "View By Random Channel");
    EXPECT_EQ(FFrame.cbxView->toolTip(), "Change site order here.");
    std::set<QByteArray> images;
    for (int i = 0; i < 10; ++i) {
        const QImage img = FFrame.cbxView->itemIcon(i).pixmap(16, 16).toImage();
        ASSERT_FALSE(img.isNull());
        images.insert(QByteArray(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes()));
    }
    EXPECT_EQ(images.size(), 10u);
    EXPECT_EQ(FFrame.btnSetupSitesSensorsAddAllSites->toolTip(), "Add all stations to the similar site list.");
}

TEST_F(SitesFrame, TreeFollowsTheView)
{
    Open(true, true);
    QAbstractItemModel* m = FFrame.tvwLeftTree->model();
    ASSERT_EQ(m->rowCount(), 20);
    EXPECT_EQ(m->rowCount(Root("FTC01")), 4);  // its sensors
    FFrame.cbxView->setCurrentIndex(2);        // basin: no query, the cache is sorted again
    EXPECT_EQ(m->index(0, 0).data().toString(), "<NULL>");
    EXPECT_EQ(m->index(0, 0, m->index(0, 0)).data().toString(), "GRE01");
    FFrame.cbxView->setCurrentIndex(8);
    EXPECT_EQ(m->index(9, 0).data().toString(), "10");
    FFrame.cbxView->setCurrentIndex(3);  // district: LNK02's is blank
    EXPECT_EQ(m->index(0, 0).data().toString(), "<NULL>");
}

TEST_F(SitesFrame, AddingAStationWithSensorListsAddsEachSensorOnce)
{
    Open(true, true);
    QSignalSpy changed(&FFrame, &TSitesSensorsFrame::Changed);
    AddViaButton(Root("FTC01"));
    AddViaButton(Root("FTC01"));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"FTC01/AIRTEMP", "FTC01/BATTERY", "FTC01/RAIN", "FTC01/STAGE"}));
    EXPECT_EQ(changed.count(), 1);
    QHeaderView* h = FFrame.lstSiteSensors->header();
    EXPECT_EQ(h->model()->headerData(0, Qt::Horizontal).toString(), "StationID");
    EXPECT_EQ(h->model()->headerData(1, Qt::Horizontal).toString(), "SensorName");
    EXPECT_EQ(h->sectionSize(1), 120);

    // Through the sensors view: FTC01 under AIRTEMP is listed already, the
    // other stations under it are not.
    FFrame.cbxView->setCurrentIndex(1);
    AddViaButton(Root("AIRTEMP"));
    EXPECT_EQ(Rows().size(), 4u + 19u);
}

TEST_F(SitesFrame, WithoutSensorListsAStationIsOneRowThroughEveryView)
{
    Open(true, false);
    EXPECT_EQ(FFrame.lstSiteSensors->model()->columnCount(), 1);
    EXPECT_EQ(FFrame.tvwLeftTree->model()->rowCount(Root("GRE01")), 0);  // no sensor level
    AddViaButton(Root("GRE01"));
    FFrame.cbxView->setCurrentIndex(2);
    AddViaButton(Root("<NULL>"));
    FFrame.cbxView->setCurrentIndex(6);  // state
    AddViaButton(Root("Colorado"));
    const std::vector<std::string> rows = Rows();
    EXPECT_EQ(rows.size(), 10u);  // the ten Colorado stations, GRE01 among them once
    EXPECT_EQ(std::count(rows.begin(), rows.end(), "GRE01"), 1);
}

TEST_F(SitesFrame, DoubleClickAddsAndTheDeleteKeyRemovesSelectedRows)
{
    Open(true, true);
    FFrame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&FFrame));
    const QModelIndex gre = Root("GRE01");
    FFrame.tvwLeftTree->setCurrentIndex(gre);
    const QRect r = FFrame.tvwLeftTree->visualRect(gre);
    QTest::mousePress(FFrame.tvwLeftTree->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseRelease(FFrame.tvwLeftTree->viewport(), Qt::LeftButton, {}, r.center());
    QTest::mouseDClick(FFrame.tvwLeftTree->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(Rows().size(), 4u);

    QSignalSpy changed(&FFrame, &TSitesSensorsFrame::Changed);
    QAbstractItemModel* m = FFrame.lstSiteSensors->model();
    FFrame.lstSiteSensors->selectionModel()->select(m->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    FFrame.lstSiteSensors->selectionModel()->select(m->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(FFrame.lstSiteSensors, Qt::Key_Delete, Qt::ShiftModifier);  // with a modifier: nothing
    EXPECT_EQ(Rows().size(), 4u);
    QTest::keyClick(FFrame.lstSiteSensors, Qt::Key_Delete);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"GRE01/AIRTEMP", "GRE01/STAGE"}));
    EXPECT_EQ(changed.count(), 1);

    FFrame.btnSetupSitesSensorsDelAllSites->click();
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(changed.count(), 2);
    FFrame.btnSetupSitesSensorsAddAllSites->click();
    EXPECT_EQ(Rows().size(), 80u);
}

TEST_F(SitesFrame, DropsFromElsewhereAreRefused)
{
    Open(true, false);
    FFrame.tvwLeftTree->setCurrentIndex(Root("FTC01"));
    QMimeData data;
    data.setData("application/x-mv-site-node", {});
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(FFrame.lstSiteSensors->viewport(), &drop);  // no drag source: not the tree
    EXPECT_FALSE(drop.isAccepted());
    EXPECT_TRUE(Rows().empty());
}

TEST_F(SitesFrame, RowsGoIntoTheGroupOnlyForReportsTakingSiteLists)
{
    // Sensor lists without site lists: the frame works, the group keeps nothing.
    Open(false, true);
    AddViaButton(Root("FTC01"));
    EXPECT_EQ(Rows().size(), 4u);
    TVidUduzadevGroupItem group;
    group.Stations = {"OLD"};
    FFrame.StoreRows(group);
    EXPECT_TRUE(group.Stations.empty());
    group.Stations = {"LYO01"};
    group.Sensors = {"RAIN"};
    FFrame.FillRows(group);
    EXPECT_TRUE(Rows().empty());

    Open(true, true);
    FFrame.FillRows(group);
    EXPECT_EQ(Rows(), std::vector<std::string>{"LYO01/RAIN"});
    AddViaButton(Root("GRE02"));
    FFrame.StoreRows(group);
    EXPECT_EQ(group.Stations, (std::vector<std::string>{"LYO01", "GRE02", "GRE02", "GRE02", "GRE02"}));
    EXPECT_EQ(group.Sensors, (std::vector<std::string>{"RAIN", "AIRTEMP", "BATTERY", "RAIN", "STAGE"}));
}

TEST_F(SitesFrame, RefreshWithAFilterKeepsTheSelectedRows)
{
    Open(true, false);
    AddViaButton(Root("FTC01"));
    mv::test::TScratchDir dir;
    WriteTextLines(dir.File("kansas.flt"), {"MV_SITES.STATE   =  'Kansas'"});
    FFrame.RefreshSites(" " + QString::fromStdString(dir.File("kansas.flt")) + "  ");
    EXPECT_EQ(FFrame.LoadedFilter(), QString::fromStdString(dir.File("kansas.flt")));
    EXPECT_EQ(FFrame.tvwLeftTree->model()->rowCount(), 4);
    EXPECT_EQ(Rows(), std::vector<std::string>{"FTC01"});
    FFrame.SetConnection(nullptr);
    FFrame.RefreshSites("");
    EXPECT_EQ(FFrame.tvwLeftTree->model()->rowCount(), 0);
}

}  // namespace
}  // namespace mv::ui
