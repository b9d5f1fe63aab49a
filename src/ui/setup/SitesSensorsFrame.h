#pragma once
// The "Sites and Sensors" frame of the group editor: the station/sensor
// pairs of the sites tables as a tree grouped by one of ten attributes
// ("View By"), and the list of rows the operator picked from it, which
// become the group's Stations and Sensors.
//
// Tree and list are views over plain models of the sites core, so that a
// network of 20,000 stations with 10 sensors each loads, switches views and
// is selected whole in well under a second.

#include "core/sites/SelectedSites.h"
#include "core/sites/SiteTree.h"
#include "core/sites/StationSensorCache.h"

#include <QIcon>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <filesystem>
#include <string>

class QComboBox;
class QModelIndex;
class QToolButton;
class QTreeView;

namespace mv {
class TVidUduzadevGroupItem;
namespace odbc {
class TConnection;
}
}  // namespace mv

namespace mv::ui {

class TSiteTreeModel;
class TSelectedSitesModel;
class TSelectedListView;

// The icon of a "View By" entry (0..9); entry 0's is the station icon,
// entry 1's the sensor icon. Drawn once, then shared.
QIcon SiteViewIcon(int view);

class TSitesSensorsFrame : public QWidget {
    Q_OBJECT
public:
    explicit TSitesSensorsFrame(QWidget* parent = nullptr);
    ~TSitesSensorsFrame() override;

    // The open database connection the stations are read from; null (or not
    // connected) gives an empty tree.
    void SetConnection(odbc::TConnection* connection) { FConnection = connection; }
    // The lists the shown report takes. Set before the selected list is
    // cleared or filled for that report.
    void SetReportLists(bool siteLists, bool sensorLists);

    // LoadSiteCache for the filter file named by `filterFileText`, then
    // BuildSiteTree for the selected view. The selected rows stay.
    void RefreshSites(const QString& filterFileText);
    // The trimmed filter file name of the last load.
    const QString& LoadedFilter() const { return FLoadedFilter; }
    // True when the last load was for the filter file `filterFileText` names
    // (trimmed) and that file still is as it was then (content, size and
    // modification time): a filter saved anew under the same name is not.
    bool IsFilterLoaded(const QString& filterFileText) const;
    void LoadSiteCache(const QString& filterFileText);
    // Sorts the cache for the view (0..9) and rebuilds the tree from it.
    void BuildSiteTree(int viewIndex);
    void RebuildTree();  // for the selected "View By" entry

    // Empties the selected list and gives it the columns of the report.
    void ClearSelectedList();
    // Adds a row unless an equal one is listed; true when added.
    bool AddSelectedEntry(const std::string& station, const TStationSensorItem& item);
    // Adds every item below a tree node (an index of tvwLeftTree's model).
    void AddNodeToSelection(const QModelIndex& node);
    void AddAllSites();
    void DeleteSelectedRows();
    void DeleteAllRows();

    // The group's Stations and Sensors := the rows (per the report's lists).
    void StoreRows(TVidUduzadevGroupItem& group) const;
    // The rows := the group's Stations and Sensors (per the report's lists).
    void FillRows(const TVidUduzadevGroupItem& group);

    const TSelectedSites& Selected() const { return FSelected; }
    const TSiteTree& Tree() const { return FTree; }
    const TStationSensorCache& Cache() const { return FCache; }

    QComboBox* cbxView = nullptr;
    QTreeView* tvwLeftTree = nullptr;
    QTreeView* lstSiteSensors = nullptr;
    QToolButton* btnSetupSitesSensorsAddSite = nullptr;
    QToolButton* btnSetupSitesSensorsAddAllSites = nullptr;
    QToolButton* btnSetupSitesSensorsDelSite = nullptr;
    QToolButton* btnSetupSitesSensorsDelAllSites = nullptr;

signals:
    // A row was added or removed: the editor's change notification.
    void Changed();

private:
    friend class TSelectedListView;
    void cbxViewChange(int index);
    void tvwLeftTreeDblClick(const QModelIndex& index);
    void tvwLeftTreeCurrentChange(const QModelIndex& current, const QModelIndex& previous);
    void btnSetupSitesSensorsAddSiteClick();
    // The selected list accepts a drag only when it comes from the tree.
    bool AcceptsDragFrom(const QObject* source) const;
    void RowsAdded(std::size_t countBefore);

    odbc::TConnection* FConnection = nullptr;
    TStationSensorCache FCache;
    TSiteTree FTree;
    TSelectedSites FSelected;
    QString FLoadedFilter;
    // The filter file as it was just before the last load read it.
    struct TFileStamp {
        bool Exists = false;
        std::filesystem::file_time_type Time{};
        std::uintmax_t Size = 0;
        std::string Content;
        bool operator==(const TFileStamp&) const = default;
    };
    static TFileStamp StampOf(const std::string& fileName);
    TFileStamp FLoadedStamp;
    TSiteTreeModel* FTreeModel = nullptr;
    TSelectedSitesModel* FListModel = nullptr;
};

}  // namespace mv::ui
