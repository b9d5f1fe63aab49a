#include "ui/select/SelectReports.h"

#include "core/catalog/ReportCatalog.h"
#include "core/catalog/ReportFile.h"
#include "core/catalog/ReportParameters.h"
#include "core/schedule/ReportItem.h"
#include "core/timing/DateTime.h"
#include "core/timing/FormatText.h"
#include "ui/app/MessageBoxes.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <stdexcept>

namespace mv::ui {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

constexpr int kPanelWidth = 270;

// Shows the hourglass until it goes.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

bool TitleBefore(const std::string& a, const std::string& b) {
    return Q(a).compare(Q(b), Qt::CaseInsensitive) < 0;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        if (!out.empty()) out += '\n';
        out += l;
    }
    return out;
}

QLineEdit* ReadOnlyField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    e->setFrame(false);
    // Long values scroll inside the field (and show in its tooltip) rather
    // than widening the panel.
    e->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    e->setMinimumWidth(40);
    // Read-only fields look like labels but keep their text selectable.
    e->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    return e;
}

}  // namespace

TfrmSelectReports::TfrmSelectReports(const std::string& appDir, QWidget* parent)
    : QDialog(parent), FAppDir(appDir) {
    if (!FAppDir.empty() && FAppDir.back() != '/') FAppDir += '/';
    CreateControls();
    ConnectHandlers();
    // A failure here leaves the window with what was filled before it.
    TWaitCursor wait;
    try {
        FCatalog = std::make_unique<TReportCatalog>(FAppDir);
        SetViewStyle(FViewStyle);
        FReportKind = FCatalog->UserCatalog().ReadInteger("Windows Settings", "Report Type", 0);
        FillCategories();
    } catch (const std::exception& e) {
        if (!FCatalog) FCatalogError = e.what();
    } catch (...) {
    }
}

TfrmSelectReports::~TfrmSelectReports() = default;

void TfrmSelectReports::OpenReportEngine() {
    rpeMain.OpenPrintEngine();
    rpeViewer.OpenPrintEngine();
}

void TfrmSelectReports::CreateControls() {
    setObjectName(QStringLiteral("frmSelectReports"));
    setWindowTitle(QString::fromLatin1(kSelectReportsCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    resize(756, 563);
    setMinimumSize(500, 400);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 0, 6, 6);

    mnuMain = new QMenuBar(this);
    mnuViews = mnuMain->addMenu(tr("&Views"));
    actLargeIcons = new QAction(tr("Lar&ge Icons"), this);
    actSmallIcons = new QAction(tr("S&mall Icons"), this);
    actDetails = new QAction(tr("&Details"), this);
    actRefresh = new QAction(tr("&Refresh"), this);
    actRefresh->setShortcut(QKeySequence::Refresh);
    FViewActions = new QActionGroup(this);
    // Optional: the list style (2) has no command, and then none is checked.
    FViewActions->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* a : {actLargeIcons, actSmallIcons, actDetails}) {
        a->setCheckable(true);
        FViewActions->addAction(a);
        mnuViews->addAction(a);
    }
    mnuViews->addSeparator();
    mnuViews->addAction(actRefresh);
    addAction(actRefresh);  // the shortcut works wherever the focus is
    layout->setMenuBar(mnuMain);

    // Top bar: "Report Manager" on the left, the category selector on the right.
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 6, 0, 6);
    auto* title = new QLabel(tr("Report Manager"), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    top->addWidget(title);
    top->addStretch(1);
    auto* lblCategory = new QLabel(tr("Category:"), this);
    top->addWidget(lblCategory);
    cboCategory = new QComboBox(this);
    cboCategory->setObjectName(QStringLiteral("cboCategory"));
    cboCategory->setEditable(false);
    cboCategory->setMinimumContentsLength(24);
    cboCategory->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    lblCategory->setBuddy(cboCategory);
    top->addWidget(cboCategory);
    layout->addLayout(top);

    // The one page "Reports": the list, and the properties panel behind a splitter.
    pgcReports = new QTabWidget(this);
    auto* page = new QWidget(pgcReports);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(4, 4, 4, 4);
    splReports = new QSplitter(Qt::Horizontal, page);
    splReports->setHandleWidth(4);
    splReports->setChildrenCollapsible(false);

    FModel = new QStandardItemModel(0, 3, this);
    FModel->setHorizontalHeaderLabels({tr("Title"), tr("Category"), tr("File Name")});
    lvwReports = new QStackedWidget(splReports);
    lvwReports->setObjectName(QStringLiteral("lvwReports"));
    lvwIcons = new QListView(lvwReports);
    lvwIcons->setObjectName(QStringLiteral("lvwIcons"));
    lvwIcons->setModel(FModel);
    lvwIcons->setMovement(QListView::Static);
    lvwIcons->setResizeMode(QListView::Adjust);
    lvwIcons->setUniformItemSizes(true);
    lvwDetails = new QTreeView(lvwReports);
    lvwDetails->setObjectName(QStringLiteral("lvwDetails"));
    lvwDetails->setModel(FModel);
    lvwDetails->setRootIsDecorated(false);
    lvwDetails->setItemsExpandable(false);
    lvwDetails->setUniformRowHeights(true);
    lvwDetails->setAllColumnsShowFocus(true);
    lvwDetails->header()->setSectionsMovable(false);
    lvwDetails->header()->setStretchLastSection(true);
    lvwDetails->setColumnWidth(0, 230);
    lvwDetails->setColumnWidth(1, 100);
    lvwDetails->setColumnWidth(2, 200);
    // Both views show one list with one selection.
    lvwDetails->setSelectionModel(lvwIcons->selectionModel());
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(lvwIcons), static_cast<QAbstractItemView*>(lvwDetails)}) {
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        lvwReports->addWidget(v);
    }
    pmnReports = new QMenu(this);
    pmnReports->addActions({actLargeIcons, actSmallIcons, actDetails});
    pmnReports->addSeparator();
    pmnReports->addAction(actRefresh);

    pnlProperties = CreatePropertiesPanel(splReports);
    splReports->addWidget(lvwReports);
    splReports->addWidget(pnlProperties);
    splReports->setStretchFactor(0, 1);
    splReports->setStretchFactor(1, 0);
    // Wide enough for its check boxes and a whole date and time in the
    // fonts this platform has (the operator may narrow it down to 160).
    const int panelWidth = kPanelWidth;
    splReports->setSizes({756 - panelWidth, panelWidth});
    pageLayout->addWidget(splReports);
    pgcReports->addTab(page, tr("Reports"));
    layout->addWidget(pgcReports, 1);

    // Bottom bar.
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    btnOK = new QPushButton(tr("&OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnOK->setToolTip(tr("Closes the setup dialog."));
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setToolTip(tr("Help"));
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);
    layout->addLayout(bottom);

    setTabOrder(cboCategory, lvwIcons);
    setTabOrder(lvwIcons, lvwDetails);
    setTabOrder(lvwDetails, btnOK);
    setTabOrder(btnOK, btnCancel);
}

QWidget* TfrmSelectReports::CreatePropertiesPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QStringLiteral("pnlProperties"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setMinimumWidth(160);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 2, 4, 4);
    layout->setSpacing(4);

    auto* titleBar = new QHBoxLayout;
    auto* caption = new QLabel(tr("Report Properties"), panel);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    titleBar->addWidget(caption, 1);
    btnCloseProperties = new QToolButton(panel);
    btnCloseProperties->setObjectName(QStringLiteral("btnCloseProperties"));
    btnCloseProperties->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    btnCloseProperties->setIconSize(QSize(10, 10));
    btnCloseProperties->setAutoRaise(true);
    btnCloseProperties->setToolTip(tr("Close the properties panel"));
    titleBar->addWidget(btnCloseProperties);
    layout->addLayout(titleBar);

    // The groups scroll when the window is too low to show them all, rather
    // than being squeezed over each other.
    auto* scroll = new QScrollArea(panel);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* body = new QWidget(scroll);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    bodyLayout->setSpacing(4);

    const auto form = [](QGroupBox* box) {
        auto* f = new QFormLayout(box);
        f->setContentsMargins(4, 4, 4, 4);
        f->setHorizontalSpacing(4);
        f->setVerticalSpacing(2);
        f->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
        f->setLabelAlignment(Qt::AlignLeft);
        return f;
    };

    auto* summary = new QGroupBox(tr("Summary"), body);
    QFormLayout* s = form(summary);
    edtTitle = ReadOnlyField(summary, "edtTitle");
    edtSubject = ReadOnlyField(summary, "edtSubject");
    edtAuthor = ReadOnlyField(summary, "edtAuthor");
    edtCategory = ReadOnlyField(summary, "edtCategory");
    memComments = new QPlainTextEdit(summary);
    memComments->setObjectName(QStringLiteral("memComments"));
    memComments->setReadOnly(true);
    memComments->setFrameShape(QFrame::NoFrame);
    memComments->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    memComments->setMinimumWidth(40);
    memComments->setFixedHeight(memComments->fontMetrics().lineSpacing() * 3 + 8);
    memComments->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    edtKeywords = ReadOnlyField(summary, "edtKeywords");
    s->addRow(tr("Title:"), edtTitle);
    s->addRow(tr("Subject:"), edtSubject);
    s->addRow(tr("Author:"), edtAuthor);
    s->addRow(tr("Category:"), edtCategory);
    s->addRow(tr("Comments:"), memComments);
    s->addRow(tr("Keywords:"), edtKeywords);
    bodyLayout->addWidget(summary);

    auto* statistics = new QGroupBox(tr("Statistics"), body);
    QFormLayout* t = form(statistics);
    edtFileName = ReadOnlyField(statistics, "edtFileName");
    edtCreated = ReadOnlyField(statistics, "edtCreated");
    edtSaved = ReadOnlyField(statistics, "edtSaved");
    edtAccessed = ReadOnlyField(statistics, "edtAccessed");
    t->addRow(tr("File Name:"), edtFileName);
    t->addRow(tr("Created:"), edtCreated);
    t->addRow(tr("Saved:"), edtSaved);
    t->addRow(tr("Accessed:"), edtAccessed);
    bodyLayout->addWidget(statistics);

    auto* settings = new QGroupBox(tr("Settings"), body);
    auto* c = new QVBoxLayout(settings);
    c->setContentsMargins(4, 4, 4, 4);
    c->setSpacing(2);
    const auto check = [&](const QString& text, const char* name) {
        auto* box = new QCheckBox(text, settings);
        box->setObjectName(QString::fromLatin1(name));
        box->setEnabled(false);
        c->addWidget(box);
        return box;
    };
    chkEnabled = check(tr("Enabled"), "chkEnabled");
    chkTimeRange = check(tr("Time Range Required"), "chkTimeRange");
    chkFilter = check(tr("Filter File Required"), "chkFilter");
    chkSiteLists = check(tr("Station Selection Required"), "chkSiteLists");
    chkSensorLists = check(tr("Sensor Selection Required"), "chkSensorLists");
    bodyLayout->addWidget(settings);
    bodyLayout->addStretch(1);
    scroll->setWidget(body);
    layout->addWidget(scroll, 1);
    return panel;
}

void TfrmSelectReports::ConnectHandlers() {
    connect(cboCategory, &QComboBox::activated, this, &TfrmSelectReports::cboCategoryChange);
    connect(actLargeIcons, &QAction::triggered, this, &TfrmSelectReports::actLargeIconsExecute);
    connect(actSmallIcons, &QAction::triggered, this, &TfrmSelectReports::actSmallIconsExecute);
    connect(actDetails, &QAction::triggered, this, &TfrmSelectReports::actDetailsExecute);
    connect(actRefresh, &QAction::triggered, this, &TfrmSelectReports::actRefreshExecute);
    connect(btnCloseProperties, &QToolButton::clicked, this, &TfrmSelectReports::btnClosePropertiesClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmSelectReports::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfrmSelectReports::btnCancelClick);
    connect(lvwIcons->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TfrmSelectReports::ReportSelectionChanged);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(lvwIcons), static_cast<QAbstractItemView*>(lvwDetails)}) {
        // A double-click picks the report, as OK does.
        connect(v, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
            if (index.isValid()) btnOKClick();
        });
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& pos) { pmnReports->popup(v->viewport()->mapToGlobal(pos)); });
    }
}

// --- Catalog and list -------------------------------------------------------

void TfrmSelectReports::FillCategories() {
    cboCategory->clear();
    FCategories.clear();
    if (!FCatalog) return;
    FCategories = FCatalog->ListCategories(FReportKind);
    // The selector is sorted by display name; equal names keep catalog order.
    std::vector<std::size_t> order(FCategories.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this](std::size_t a, std::size_t b) {
        return TitleBefore(FCategories[a].DisplayName, FCategories[b].DisplayName);
    });
    for (std::size_t i : order) cboCategory->addItem(Q(FCategories[i].DisplayName), QVariant::fromValue(i));
    if (cboCategory->count() == 0) return;

    const QString remembered = Q(FCatalog->UserCatalog().ReadString("Windows Settings", "Category", ""));
    int index = remembered.isEmpty() ? -1 : cboCategory->findText(remembered, Qt::MatchFixedString);
    if (index < 0) index = 0;
    cboCategory->setCurrentIndex(index);
    FillReports(FCategories[cboCategory->itemData(index).value<std::size_t>()].Section);
    pgcReports->setCurrentIndex(0);
}

void TfrmSelectReports::FillReports(const std::string& section) {
    const unsigned fill = ++FFillCount;
    ClearProperties();
    {
        const QSignalBlocker block(lvwIcons->selectionModel());
        FModel->removeRows(0, FModel->rowCount());
        FEntries.clear();
    }
    if (!FCatalog) return;
    for (TReportItem& entry : FCatalog->ListReports(section, FReportKind)) {
        const std::string fileName = entry.FileName;
        try {
            AddReport(std::make_unique<TReportItem>(std::move(entry)));
        } catch (const std::exception&) {
            ShowMessage(this, TMessageKind::Error, tr("Error"), Q(FormatText(kReportNotListed, {fileName})));
        }
        // A long catalog stays responsive while it is listed. Not while the
        // window is hidden: it is then still being created at start-up.
        if (isVisible()) {
            QCoreApplication::processEvents();
            if (fill != FFillCount) return;  // the operator chose again meanwhile
        }
    }
    if (!FEntries.empty()) SelectRow(0);
}

void TfrmSelectReports::AddReport(std::unique_ptr<TReportItem> entry) {
    static const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    // Sorted by title; equal titles keep the order they were read in.
    const auto at = std::upper_bound(FEntries.begin(), FEntries.end(), entry->Title,
                                     [](const std::string& title, const std::unique_ptr<TReportItem>& e) {
                                         return TitleBefore(title, e->Title);
                                     });
    const int row = static_cast<int>(at - FEntries.begin());
    QList<QStandardItem*> items{new QStandardItem(icon, Q(entry->Title)), new QStandardItem(Q(entry->CategoryName)),
                                new QStandardItem(Q(entry->FileName))};
    for (QStandardItem* i : items) i->setEditable(false);
    items[0]->setToolTip(Q(entry->Title));
    items[2]->setToolTip(Q(entry->FileName));
    FEntries.insert(at, std::move(entry));
    FModel->insertRow(row, items);
}

int TfrmSelectReports::SelectedRow() const {
    const QModelIndexList rows = lvwIcons->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TfrmSelectReports::SelectRow(int row) {
    QItemSelectionModel* sm = lvwIcons->selectionModel();
    if (row < 0 || row >= FModel->rowCount()) {
        sm->clearSelection();
        return;
    }
    sm->setCurrentIndex(FModel->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ReportView()->scrollTo(FModel->index(row, 0));
}

QAbstractItemView* TfrmSelectReports::ReportView() const {
    return FViewStyle == vsDetails ? static_cast<QAbstractItemView*>(lvwDetails)
                                   : static_cast<QAbstractItemView*>(lvwIcons);
}

void TfrmSelectReports::ShowListPage() {
    pgcReports->setCurrentIndex(0);
    ReportView()->setFocus();
}

void TfrmSelectReports::cboCategoryChange(int index) {
    if (index < 0 || index >= cboCategory->count()) return;
    const auto i = cboCategory->itemData(index).value<std::size_t>();
    if (i >= FCategories.size()) return;
    FillReports(FCategories[i].Section);
    ShowListPage();
}

void TfrmSelectReports::actRefreshExecute() {
    const int index = cboCategory->currentIndex();
    if (index < 0) return;
    cboCategoryChange(index);
}

// --- Properties -------------------------------------------------------------

void TfrmSelectReports::ReportSelectionChanged() {
    const int row = SelectedRow();
    if (row < 0) {
        ClearProperties();
        return;
    }
    // Read when the operator can see them; a hidden window reads them as it
    // is shown (showEvent), so that start-up neither reads report files nor
    // shows errors for a window nobody looks at.
    if (isVisible()) ShowProperties(row);
}

void TfrmSelectReports::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    ReportView()->setFocus();
    // After the window is up, so that an error box shows over it.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible()) return;
        if (const int row = SelectedRow(); row >= 0) ShowProperties(row);
    });
}

void TfrmSelectReports::ShowProperties(int row) {
    ClearProperties();
    TReportItem& entry = *FEntries.at(static_cast<std::size_t>(row));
    const std::string file = ResolveReportFile(entry.FileName, FAppDir);
    if (file.empty()) {
        ShowMessage(this, TMessageKind::Error, tr("Error"), QString::fromLatin1(kReportFileMissing));
        return;
    }
    try {
        TWaitCursor wait;
        // Closed first, so that a report file changed on disk is read anew.
        rpeMain.ClosePrintJob();
        rpeMain.SetReportName(file);
        TRpeSummaryInfo& summary = rpeMain.SummaryInfo();
        entry.PropTitle = summary.Title();
        entry.PropSubject = summary.Subject();
        entry.PropAuthor = summary.Author();
        entry.PropComments = JoinLines(summary.Comments());
        entry.PropKeywords = summary.Keywords();
        entry.PropFileName = std::filesystem::path(file).filename().string();
        const TReportFileTimes times = ReadReportFileTimes(file);
        entry.PropCreated = DateTimeToStr(times.Created);
        entry.PropSaved = DateTimeToStr(times.Saved);
        entry.PropAccessed = DateTimeToStr(times.Accessed);
    } catch (const std::exception& ex) {
        // The cause goes below the message: the operator can act on it.
        ShowMessage(this, TMessageKind::Error, tr("Error"),
                    QString::fromLatin1(kPropertiesFailed) + QStringLiteral("\n\n") + QString::fromUtf8(ex.what()));
    }
    // The selection may have moved on while the box was open.
    if (SelectedRow() == row && row < ReportCount() && FEntries[static_cast<std::size_t>(row)].get() == &entry)
        FillProperties(entry);
}

void TfrmSelectReports::ClearProperties() {
    for (QLineEdit* e : {edtTitle, edtSubject, edtAuthor, edtCategory, edtKeywords, edtFileName, edtCreated, edtSaved,
                         edtAccessed})
        e->clear();
    memComments->clear();
    for (QCheckBox* c : {chkEnabled, chkTimeRange, chkFilter, chkSiteLists, chkSensorLists}) c->setChecked(false);
}

void TfrmSelectReports::FillProperties(const TReportItem& entry) {
    const auto set = [](QLineEdit* e, const std::string& text) {
        e->setText(Q(text));
        e->setCursorPosition(0);
        e->setToolTip(Q(text));
    };
    set(edtTitle, entry.PropTitle);
    set(edtSubject, entry.PropSubject);
    set(edtAuthor, entry.PropAuthor);
    set(edtCategory, entry.CategoryName);
    memComments->setPlainText(Q(entry.PropComments));
    set(edtKeywords, entry.PropKeywords);
    set(edtFileName, entry.PropFileName);
    set(edtCreated, entry.PropCreated);
    set(edtSaved, entry.PropSaved);
    set(edtAccessed, entry.PropAccessed);
    chkEnabled->setChecked(entry.Enabled);
    chkTimeRange->setChecked(entry.TimeRange);
    chkFilter->setChecked(entry.Filter);
    chkSiteLists->setChecked(entry.SiteLists);
    chkSensorLists->setChecked(entry.SensorLists);
}

void TfrmSelectReports::btnClosePropertiesClick() {
    // Nothing brings the panel back until the program starts again; hiding
    // it also hides its splitter handle.
    pnlProperties->hide();
}

// --- Views ------------------------------------------------------------------

void TfrmSelectReports::SetViewStyle(int style) {
    if (style < vsLargeIcons || style > vsDetails) style = vsLargeIcons;
    const bool hadFocus = ReportView()->hasFocus();
    FViewStyle = style;
    if (style == vsDetails) {
        lvwReports->setCurrentWidget(lvwDetails);
    } else {
        const bool large = style == vsLargeIcons;
        lvwIcons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
        lvwIcons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
        lvwIcons->setFlow(style == vsList ? QListView::TopToBottom : QListView::LeftToRight);
        lvwIcons->setWrapping(true);
        lvwIcons->setWordWrap(large);
        lvwIcons->setTextElideMode(Qt::ElideRight);
        lvwIcons->setMovement(QListView::Static);
        lvwIcons->setSpacing(large ? 4 : 1);
        // A grid keeps icons in even columns; the list style sizes its
        // columns to the titles.
        lvwIcons->setGridSize(large ? QSize(120, 72) : style == vsSmallIcons ? QSize(180, 22) : QSize());
        lvwReports->setCurrentWidget(lvwIcons);
    }
    if (const int row = SelectedRow(); row >= 0) ReportView()->scrollTo(FModel->index(row, 0));
    if (hadFocus) ReportView()->setFocus();
    CheckViewAction();
}

void TfrmSelectReports::CheckViewAction() {
    actLargeIcons->setChecked(FViewStyle == vsLargeIcons);
    actSmallIcons->setChecked(FViewStyle == vsSmallIcons);
    actDetails->setChecked(FViewStyle == vsDetails);
}

void TfrmSelectReports::actLargeIconsExecute() { SetViewStyle(vsLargeIcons); }
void TfrmSelectReports::actSmallIconsExecute() { SetViewStyle(vsSmallIcons); }
void TfrmSelectReports::actDetailsExecute() { SetViewStyle(vsDetails); }

// --- OK / Cancel and the other callers --------------------------------------

void TfrmSelectReports::btnOKClick() {
    if (FOnViewStyleTaken) FOnViewStyleTaken(FViewStyle);
    const int row = SelectedRow();
    if (row < 0) return;
    if (!FSelectedReport) FSelectedReport = std::make_unique<TReportItem>();
    FSelectedReport->Assign(*FEntries.at(static_cast<std::size_t>(row)));
    accept();
}

void TfrmSelectReports::btnCancelClick() { reject(); }

bool TfrmSelectReports::ChooseReport() { return exec() == QDialog::Accepted; }

const TReportItem& TfrmSelectReports::SelectedReport() const {
    static const TReportItem none;
    return FSelectedReport ? *FSelectedReport : none;
}

void TfrmSelectReports::DiscoverReportParameters(const TReportItem& entry, std::vector<std::string>& params,
                                                 std::vector<std::string>& special) {
    mv::DiscoverReportParameters(rpeViewer, entry, FAppDir, params, special);
}

void TfrmSelectReports::FindReport(const std::string& key, TReportItem& item) const {
    // Not "not found": the groups of a catalog that could not be read keep their reports.
    if (!FCatalog) throw std::runtime_error(FCatalogError.empty() ? "The report catalog is not open." : FCatalogError);
    FCatalog->FindReport(key, item);
}

}  // namespace mv::ui
