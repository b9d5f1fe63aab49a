// The "Sites and Sensors" frame on a network of 20,000 stations with 10
// sensors each (200,000 pairs): loading the cache and building the tree,
// switching views, adding every station to the selection. Not in CI.
//
//   scripts/make-demo /tmp/mvdemo && export ODBCSYSINI=/tmp/mvdemo ODBCINI=/tmp/mvdemo/odbc.ini
//   cmake --build build/x --target bench_ui_sites && build/x/bench/ui/bench_ui_sites [DB_FILE]
//
// The sites tables are written into DB_FILE (default /tmp/mv-bench-sites.db)
// through the data source MVDEMO, once.
#include "core/sites/SiteQuery.h"
#include "platform/odbc/Odbc.h"
#include "ui/setup/SitesSensorsFrame.h"

#include <QApplication>
#include <QComboBox>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace {

constexpr int kStations = 20000;
constexpr int kSensors = 10;

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void CreateSites(mv::odbc::TConnection& db)
{
    db.Execute("CREATE TABLE MV_SITES (STATION_ID VARCHAR(16) PRIMARY KEY, REPORTING_TIME VARCHAR(8), "
               "REPORTING_INTERVAL INTEGER, BASIN VARCHAR(40), DISTRICT VARCHAR(40), CITY VARCHAR(40), "
               "COUNTRY VARCHAR(40), STATE VARCHAR(40), COUNTY VARCHAR(40), PRIMARY_CHANNEL INTEGER, "
               "RANDOM_CHANNEL INTEGER)");
    db.Execute("CREATE TABLE MV_SITESENSORS (STE_STATION_ID VARCHAR(16), SENSORNAME VARCHAR(32), "
               "PRIMARY KEY (STE_STATION_ID, SENSORNAME))");
    // The INSERT first: the driver takes a statement that starts with WITH for a query.
    db.Execute("INSERT INTO MV_SITES WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               std::to_string(kStations) +
               ") SELECT printf('ST%05d', i), '00:07:00', 900, 'Basin ' || (i % 97), "
               "'District ' || (i % 13), 'City ' || (i % 1009), 'USA', 'State ' || (i % 50), "
               "'County ' || (i % 397), i, CASE WHEN i % 11 = 0 THEN NULL ELSE 101 + i % 899 END FROM n");
    db.Execute("INSERT INTO MV_SITESENSORS WITH RECURSIVE s(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM s WHERE j < " +
               std::to_string(kSensors) +
               ") SELECT STATION_ID, 'SENSOR' || j FROM MV_SITES, s");
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string file = argc > 1 ? argv[1] : "/tmp/mv-bench-sites.db";
    const bool fresh = !std::filesystem::exists(file);
    mv::odbc::TConnection db({"MVDEMO", "", "", file});
    if (fresh) CreateSites(db);

    {
        // The parts without the widgets.
        mv::TStationSensorCache cache;
        auto t0 = std::chrono::steady_clock::now();
        mv::LoadSiteCache(&db, "", cache);
        std::printf("core: load cache %.3f s", Seconds(t0));
        mv::TSiteTree tree;
        t0 = std::chrono::steady_clock::now();
        tree.Build(cache, mv::TSiteView::Stations, true);
        std::printf(", build tree %.3f s", Seconds(t0));
        mv::TSelectedSites selected;
        selected.SetReportLists(true, true);
        t0 = std::chrono::steady_clock::now();
        for (const auto* root : tree.Roots()) selected.AddNodeToSelection(root);
        std::printf(", add all %.3f s\n", Seconds(t0));
    }

    mv::ui::TSitesSensorsFrame frame;
    frame.SetConnection(&db);
    frame.resize(700, 500);
    frame.show();
    frame.SetReportLists(true, true);
    frame.ClearSelectedList();
    QApplication::processEvents();

    auto t = std::chrono::steady_clock::now();
    frame.RefreshSites("");
    QApplication::processEvents();
    const double load = Seconds(t);
    std::printf("pairs %zu, tree nodes %zu\n", frame.Cache().Count(), frame.Tree().NodeCount());
    std::printf("load cache and build tree (stations view): %.3f s (goal < 1 s)\n", load);

    double worst = 0;
    for (int view = 1; view < 10; ++view) {
        t = std::chrono::steady_clock::now();
        frame.cbxView->setCurrentIndex(view);
        QApplication::processEvents();
        const double s = Seconds(t);
        worst = std::max(worst, s);
        std::printf("  view %-24s %.3f s\n", frame.cbxView->currentText().toLocal8Bit().constData(), s);
    }
    frame.cbxView->setCurrentIndex(0);
    std::printf("switch view, slowest: %.3f s (goal < 0.5 s)\n", worst);

    t = std::chrono::steady_clock::now();
    frame.AddAllSites();
    QApplication::processEvents();
    std::printf("add all stations: %zu rows in %.3f s (goal < 1 s)\n", frame.Selected().Count(), Seconds(t));
    return 0;
}
