#include "ui/setup/SitesSensorsFrame.h"

#include "core/schedule/ScheduleDataDef.h"
#include "core/sites/SiteQuery.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QSplitter>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>

namespace mv::ui {

namespace {

constexpr const char* kNodeMimeType = "application/x-mv-site-node";
constexpr int kIconSize = 16;

const TSiteTreeNode* NodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<const TSiteTreeNode*>(index.internalPointer()) : nullptr;
}

QPixmap BlankPixmap(int size = kIconSize)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

// A letter or two on a coloured badge, for the attributes that have no
// obvious picture.
void DrawBadge(QPainter& p, const QColor& colour, const QString& text)
{
    p.setPen(colour.darker(140));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    QFont f = p.font();
    f.setPixelSize(text.size() > 1 ? 8 : 11);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
}

QIcon DrawViewIcon(int view)
{
    QPixmap pm = BlankPixmap();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    switch (static_cast<TSiteView>(view)) {
    case TSiteView::Stations: {  // a mast with its antenna
        p.setPen(QPen(QColor(30, 60, 140), 1.5));
        p.drawLine(QPointF(8, 4), QPointF(4, 15));
        p.drawLine(QPointF(8, 4), QPointF(12, 15));
        p.drawLine(QPointF(5.5, 11), QPointF(10.5, 11));
        p.setBrush(QColor(220, 40, 40));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(8, 3), 2.2, 2.2);
        break;
    }
    case TSiteView::Sensors: {  // a gauge
        p.setPen(QPen(QColor(150, 20, 20), 1.2));
        p.setBrush(QColor(255, 235, 200));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setPen(QPen(QColor(150, 20, 20), 1.8));
        p.drawLine(QPointF(8, 8), QPointF(12, 4.5));
        break;
    }
    case TSiteView::Basin: {  // a drop of water
        QPainterPath drop;
        drop.moveTo(8, 1);
        drop.cubicTo(8, 1, 2.5, 8, 2.5, 10.5);
        drop.cubicTo(2.5, 13.5, 5, 15, 8, 15);
        drop.cubicTo(11, 15, 13.5, 13.5, 13.5, 10.5);
        drop.cubicTo(13.5, 8, 8, 1, 8, 1);
        p.setPen(QColor(20, 80, 170));
        p.setBrush(QColor(70, 150, 230));
        p.drawPath(drop);
        break;
    }
    case TSiteView::District: {  // four plots
        p.setPen(QColor(30, 110, 40));
        p.setBrush(QColor(110, 190, 100));
        for (int i = 0; i < 4; ++i) p.drawRect(QRectF(1.5 + (i % 2) * 7, 1.5 + (i / 2) * 7, 6, 6));
        break;
    }
    case TSiteView::City: {  // houses of three heights
        p.setPen(QColor(60, 60, 60));
        p.setBrush(QColor(150, 150, 160));
        p.drawRect(QRectF(1.5, 7.5, 4, 8));
        p.drawRect(QRectF(5.5, 2.5, 5, 13));
        p.drawRect(QRectF(10.5, 5.5, 4, 10));
        break;
    }
    case TSiteView::County: DrawBadge(p, QColor(130, 120, 30), "Co"); break;
    case TSiteView::State: {  // a star
        QPolygonF star;
        for (int i = 0; i < 10; ++i) {
            const double r = (i % 2) ? 3.2 : 7.5;
            const double a = -M_PI / 2 + i * M_PI / 5;
            star << QPointF(8 + r * std::cos(a), 8.5 + r * std::sin(a));
        }
        p.setPen(QColor(170, 90, 0));
        p.setBrush(QColor(250, 160, 30));
        p.drawPolygon(star);
        break;
    }
    case TSiteView::Country: {  // a globe
        p.setPen(QPen(QColor(0, 110, 110), 1.1));
        p.setBrush(QColor(120, 210, 200));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5, 1.5, 6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        break;
    }
    case TSiteView::PrimaryChannel: DrawBadge(p, QColor(110, 50, 160), "P#"); break;
    case TSiteView::RandomChannel: DrawBadge(p, QColor(150, 80, 40), "R#"); break;
    }
    return QIcon(pm);
}

// Arrows for the four buttons: one or two heads, pointing into the selected
// list (add) or out of it (delete).
QIcon ArrowIcon(bool intoList, bool all)
{
    QPixmap pm = BlankPixmap(20);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(intoList ? QColor(30, 130, 50) : QColor(190, 40, 40));
    const int heads = all ? 2 : 1;
    for (int i = 0; i < heads; ++i) {
        const double x = (all ? 3.0 : 6.0) + i * 7;
        QPolygonF head;
        if (intoList)
            head << QPointF(x, 4) << QPointF(x + 8, 10) << QPointF(x, 16);
        else
            head << QPointF(x + 8, 4) << QPointF(x, 10) << QPointF(x + 8, 16);
        p.drawPolygon(head);
    }
    return QIcon(pm);
}

}  // namespace

QIcon SiteViewIcon(int view)
{
    static std::array<QIcon, kSiteViewCount> icons;
    if (view < 0 || view >= kSiteViewCount) return {};
    if (icons[view].isNull()) icons[view] = DrawViewIcon(view);
    return icons[view];
}

// The station tree as the view sees it; the nodes stay in TSiteTree.
class TSiteTreeModel final : public QAbstractItemModel {
public:
    explicit TSiteTreeModel(const TSiteTree& tree, QObject* parent) : QAbstractItemModel(parent), FTree(tree) {}

    void Reset(const std::function<void()>& change)
    {
        beginResetModel();
        change();
        endResetModel();
    }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        if (column != 0 || row < 0) return {};
        const TSiteTreeNode* p = NodeOf(parent);
        const auto& list = p ? p->Children : FTree.Roots();
        if (static_cast<std::size_t>(row) >= list.size()) return {};
        return createIndex(row, 0, list[static_cast<std::size_t>(row)]);
    }
    QModelIndex parent(const QModelIndex& child) const override
    {
        const TSiteTreeNode* n = NodeOf(child);
        if (!n || !n->Parent) return {};
        return createIndex(static_cast<int>(n->Parent->Row), 0, n->Parent);
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        if (parent.column() > 0) return 0;
        const TSiteTreeNode* p = NodeOf(parent);
        return static_cast<int>(p ? p->Children.size() : FTree.Roots().size());
    }
    int columnCount(const QModelIndex& = {}) const override { return 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        const TSiteTreeNode* n = NodeOf(index);
        if (!n) return {};
        if (role == Qt::DisplayRole) return QString::fromStdString(n->Caption);
        if (role == Qt::DecorationRole) return SiteViewIcon(n->Icon);
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid()) return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    }
    QStringList mimeTypes() const override { return {kNodeMimeType}; }
    QMimeData* mimeData(const QModelIndexList&) const override
    {
        auto* data = new QMimeData;
        data->setData(kNodeMimeType, QByteArray());
        return data;
    }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

private:
    const TSiteTree& FTree;
};

// The selected rows; rows appended by the core list are announced in one
// insertion after each batch, not one by one.
class TSelectedSitesModel final : public QAbstractTableModel {
public:
    TSelectedSitesModel(const TSelectedSites& rows, QObject* parent) : QAbstractTableModel(parent), FRows(rows) {}

    void Reset(const std::function<void()>& change)
    {
        beginResetModel();
        change();
        FShown = FRows.Count();
        endResetModel();
    }
    void ShowAppended()
    {
        if (FRows.Count() <= FShown) return;
        beginInsertRows({}, static_cast<int>(FShown), static_cast<int>(FRows.Count()) - 1);
        FShown = FRows.Count();
        endInsertRows();
    }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(FShown);
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : (FRows.SensorLists() ? 2 : 1);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= FShown) return {};
        const TSelectedRow& row = FRows.Rows(static_cast<std::size_t>(index.row()));
        return QString::fromStdString(index.column() == 0 ? row.StationID : row.SensorName);
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
        return section == 0 ? QStringLiteral("StationID") : QStringLiteral("SensorName");
    }

private:
    const TSelectedSites& FRows;
    std::size_t FShown = 0;
};

// The selected list: takes drops from the tree only, deletes rows on
// double-click and on the Delete key.
class TSelectedListView final : public QTreeView {
public:
    explicit TSelectedListView(TSitesSensorsFrame& frame) : FFrame(frame)
    {
        setAcceptDrops(true);
        setDragDropMode(QAbstractItemView::DropOnly);
    }

protected:
    void dragEnterEvent(QDragEnterEvent* e) override { Answer(e); }
    void dragMoveEvent(QDragMoveEvent* e) override { Answer(e); }
    void dropEvent(QDropEvent* e) override
    {
        if (!FFrame.AcceptsDragFrom(e->source())) {
            e->ignore();
            return;
        }
        e->setDropAction(Qt::CopyAction);
        e->accept();
        FFrame.btnSetupSitesSensorsAddSiteClick();
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier) {
            FFrame.DeleteSelectedRows();
            return;
        }
        QTreeView::keyPressEvent(e);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        QTreeView::mouseDoubleClickEvent(e);
        FFrame.DeleteSelectedRows();
    }

private:
    void Answer(QDropEvent* e)
    {
        if (FFrame.AcceptsDragFrom(e->source())) {
            e->setDropAction(Qt::CopyAction);
            e->accept();
        } else {
            e->ignore();
        }
    }
    TSitesSensorsFrame& FFrame;
};

TSitesSensorsFrame::TSitesSensorsFrame(QWidget* parent) : QWidget(parent)
{
    // The editor's group pop-up does not open over the frame.
    setContextMenuPolicy(Qt::PreventContextMenu);

    cbxView = new QComboBox;
    cbxView->setObjectName("cbxView");
    cbxView->setToolTip(tr("Change site order here."));
    for (int i = 0; i < kSiteViewCount; ++i) cbxView->addItem(SiteViewIcon(i), tr(kSiteViewCaptions[i]));

    FTreeModel = new TSiteTreeModel(FTree, this);
    tvwLeftTree = new QTreeView;
    tvwLeftTree->setObjectName("tvwLeftTree");
    tvwLeftTree->setToolTip(tr("Available station list"));
    tvwLeftTree->setModel(FTreeModel);
    tvwLeftTree->setHeaderHidden(true);
    tvwLeftTree->setUniformRowHeights(true);
    tvwLeftTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvwLeftTree->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwLeftTree->setDragEnabled(true);
    tvwLeftTree->setDragDropMode(QAbstractItemView::DragOnly);
    tvwLeftTree->setDefaultDropAction(Qt::CopyAction);

    FListModel = new TSelectedSitesModel(FSelected, this);
    auto* list = new TSelectedListView(*this);
    lstSiteSensors = list;
    lstSiteSensors->setObjectName("lstSiteSensors");
    lstSiteSensors->setToolTip(tr("Selected similar sites."));
    lstSiteSensors->setModel(FListModel);
    lstSiteSensors->setRootIsDecorated(false);
    lstSiteSensors->setItemsExpandable(false);
    lstSiteSensors->setUniformRowHeights(true);
    lstSiteSensors->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstSiteSensors->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstSiteSensors->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstSiteSensors->header()->setStretchLastSection(false);

    auto makeButton = [](const char* name, const QIcon& icon, const QString& hint) {
        auto* b = new QToolButton;
        b->setObjectName(name);
        b->setIcon(icon);
        b->setIconSize(QSize(20, 20));
        b->setToolTip(hint);
        return b;
    };
    btnSetupSitesSensorsAddSite = makeButton("btnSetupSitesSensorsAddSite", ArrowIcon(true, false),
                                             tr("Add selected stations to the similar site list."));
    btnSetupSitesSensorsAddAllSites = makeButton("btnSetupSitesSensorsAddAllSites", ArrowIcon(true, true),
                                                 tr("Add all stations to the similar site list."));
    btnSetupSitesSensorsDelSite = makeButton("btnSetupSitesSensorsDelSite", ArrowIcon(false, false),
                                             tr("Delete selected stations from the similar site list."));
    btnSetupSitesSensorsDelAllSites = makeButton("btnSetupSitesSensorsDelAllSites", ArrowIcon(false, true),
                                                 tr("Delete all stations from the similar site list."));

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(cbxView);
    leftLayout->addWidget(tvwLeftTree, 1);

    auto* right = new QWidget;
    auto* rightLayout = new QHBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QVBoxLayout;
    for (QToolButton* b : {btnSetupSitesSensorsAddSite, btnSetupSitesSensorsAddAllSites, btnSetupSitesSensorsDelSite,
                           btnSetupSitesSensorsDelAllSites})
        buttons->addWidget(b);
    buttons->addStretch(1);
    rightLayout->addLayout(buttons);
    rightLayout->addWidget(lstSiteSensors, 1);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    ClearSelectedList();

    connect(cbxView, &QComboBox::currentIndexChanged, this, &TSitesSensorsFrame::cbxViewChange);
    connect(tvwLeftTree, &QTreeView::doubleClicked, this, &TSitesSensorsFrame::tvwLeftTreeDblClick);
    connect(tvwLeftTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TSitesSensorsFrame::tvwLeftTreeCurrentChange);
    connect(btnSetupSitesSensorsAddSite, &QToolButton::clicked, this,
            &TSitesSensorsFrame::btnSetupSitesSensorsAddSiteClick);
    connect(btnSetupSitesSensorsAddAllSites, &QToolButton::clicked, this, &TSitesSensorsFrame::AddAllSites);
    connect(btnSetupSitesSensorsDelSite, &QToolButton::clicked, this, &TSitesSensorsFrame::DeleteSelectedRows);
    connect(btnSetupSitesSensorsDelAllSites, &QToolButton::clicked, this, &TSitesSensorsFrame::DeleteAllRows);
}

TSitesSensorsFrame::~TSitesSensorsFrame()
{
    // The views let go of the models before the tree and cache they show go.
    tvwLeftTree->setModel(nullptr);
    lstSiteSensors->setModel(nullptr);
}

void TSitesSensorsFrame::SetReportLists(bool siteLists, bool sensorLists)
{
    if (siteLists == FSelected.SiteLists() && sensorLists == FSelected.SensorLists()) return;
    FListModel->Reset([&] { FSelected.SetReportLists(siteLists, sensorLists); });
}

void TSitesSensorsFrame::RefreshSites(const QString& filterFileText)
{
    LoadSiteCache(filterFileText);
    RebuildTree();
}

void TSitesSensorsFrame::LoadSiteCache(const QString& filterFileText)
{
    // Stamped before the load reads the file: a change made meanwhile then
    // shows as a difference at the next check, never the other way round.
    const std::string name = filterFileText.toStdString();
    FLoadedStamp = StampOf(std::string(TrimBlanks(name)));
    FTreeModel->Reset([&] {
        FTree.Clear();  // its nodes point into the cache
        FLoadedFilter = QString::fromStdString(mv::LoadSiteCache(FConnection, name, FCache));
    });
}

bool TSitesSensorsFrame::IsFilterLoaded(const QString& filterFileText) const
{
    const std::string name(TrimBlanks(filterFileText.toStdString()));
    return name == FLoadedFilter.toStdString() && StampOf(name) == FLoadedStamp;
}

TSitesSensorsFrame::TFileStamp TSitesSensorsFrame::StampOf(const std::string& fileName)
{
    TFileStamp stamp;
    if (fileName.empty()) return stamp;
    std::error_code ec;
    stamp.Time = std::filesystem::last_write_time(fileName, ec);
    if (ec) return {};
    stamp.Size = std::filesystem::file_size(fileName, ec);
    if (ec) return {};
    // The content too: a rewrite of the same size within the file system's
    // time granularity keeps both of the others.
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return {};
    stamp.Content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    stamp.Exists = true;
    return stamp;
}

void TSitesSensorsFrame::BuildSiteTree(int viewIndex)
{
    FTreeModel->Reset([&] {
        try {
            FTree.Build(FCache, static_cast<TSiteView>(viewIndex), FSelected.SensorLists());
        } catch (const std::exception&) {
            FTree.Clear();  // an unknown view shows nothing
        }
    });
}

void TSitesSensorsFrame::RebuildTree() { BuildSiteTree(cbxView->currentIndex()); }

void TSitesSensorsFrame::ClearSelectedList()
{
    FListModel->Reset([&] { FSelected.Clear(); });
    lstSiteSensors->setColumnWidth(0, 120);
    if (FSelected.SensorLists()) lstSiteSensors->setColumnWidth(1, 120);
}

bool TSitesSensorsFrame::AddSelectedEntry(const std::string& station, const TStationSensorItem& item)
{
    const std::size_t before = FSelected.Count();
    if (!FSelected.AddSelectedEntry(station, item)) return false;
    RowsAdded(before);
    return true;
}

void TSitesSensorsFrame::AddNodeToSelection(const QModelIndex& node)
{
    const std::size_t before = FSelected.Count();
    FSelected.AddNodeToSelection(NodeOf(node));
    RowsAdded(before);
}

void TSitesSensorsFrame::AddAllSites()
{
    const std::size_t before = FSelected.Count();
    for (const TSiteTreeNode* root : FTree.Roots()) FSelected.AddNodeToSelection(root);
    RowsAdded(before);
}

void TSitesSensorsFrame::RowsAdded(std::size_t countBefore)
{
    if (FSelected.Count() == countBefore) return;
    FListModel->ShowAppended();
    emit Changed();
}

void TSitesSensorsFrame::DeleteSelectedRows()
{
    std::vector<std::size_t> rows;
    for (const QModelIndex& i : lstSiteSensors->selectionModel()->selectedRows())
        rows.push_back(static_cast<std::size_t>(i.row()));
    if (rows.empty()) return;
    FListModel->Reset([&] { FSelected.DeleteRows(rows); });
    emit Changed();
}

void TSitesSensorsFrame::DeleteAllRows()
{
    ClearSelectedList();
    emit Changed();
}

void TSitesSensorsFrame::StoreRows(TVidUduzadevGroupItem& group) const { FSelected.StoreInto(group); }

void TSitesSensorsFrame::FillRows(const TVidUduzadevGroupItem& group)
{
    FListModel->Reset([&] { FSelected.FillFrom(group); });
    if (FSelected.Count() > 0) emit Changed();
}

void TSitesSensorsFrame::cbxViewChange(int index) { BuildSiteTree(index); }

void TSitesSensorsFrame::tvwLeftTreeDblClick(const QModelIndex& index) { AddNodeToSelection(index); }

void TSitesSensorsFrame::tvwLeftTreeCurrentChange(const QModelIndex& current, const QModelIndex& previous)
{
    // The selected node opens; the one left closes unless it holds the new one.
    for (QModelIndex p = current.parent(); p.isValid(); p = p.parent())
        if (p == previous) return tvwLeftTree->expand(current);
    if (previous.isValid()) tvwLeftTree->collapse(previous);
    if (current.isValid()) tvwLeftTree->expand(current);
}

void TSitesSensorsFrame::btnSetupSitesSensorsAddSiteClick() { AddNodeToSelection(tvwLeftTree->currentIndex()); }

bool TSitesSensorsFrame::AcceptsDragFrom(const QObject* source) const
{
    return source && source == tvwLeftTree;
}

}  // namespace mv::ui
