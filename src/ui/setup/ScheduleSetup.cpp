#include "ui/setup/ScheduleSetup.h"

#include "core/schedule/ScheduleDataDef.h"
#include "core/timing/DateTime.h"
#include "core/timing/TimeExpression.h"
#include "core/timing/TimeScale.h"
#include "engine/TRpePrinterList.h"
#include "ui/app/MessageBoxes.h"
#include "ui/setup/FilterSelect.h"
#include "ui/setup/ReportChooser.h"
#include "ui/setup/SitesSensorsFrame.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimeEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

namespace mv::ui {

namespace {

constexpr const char* kGroupNamePrefix = "RptSchGroup:";
constexpr const char* kHelpTopicProperty = "helpTopic";
constexpr int kIntervalAsEntered = 6;     // "As Entered:"
constexpr int kIntervalDaily = 3;
constexpr int kMaxGroupNumber = 999;
constexpr int kMaxDayCount = 365;         // the up/down buttons wrap 365 <-> 0
constexpr const char* kTimeOfDayFormat = "hh:nn:ss";

const QStringList kIntervalKinds{"1 Hour", "6 Hours", "12 Hours", "Daily", "Weekly", "Monthly", "As Entered:"};
const QStringList kFormats{"PDF", "XLS", "HTML", "Word", "CSV", "XML"};
const QStringList kStartFromKeywords{
    "Last Year",    "Last Month",   "Last Week",    "This Year",    "This Month", "This Week", "Yesterday",
    "Today",        "Last 12 Hours", "Last 6 Hours", "Last 3 Hours", "Last 2 Hours", "Last Hour", "This Hour",
    "Now",          "Next Hour",    "Tomorrow",     "Next Week",    "Next Month", "Next Year"};
// Item 0 is kAsEnteredBelow; the pickers below the list then hold the value.
const QStringList kRangeKeywords{
    "As Entered Below:", "Last Month", "This Month",  "Last Week",    "This Week",    "Yesterday",
    "Today",             "Last 12 Hours", "Last 6 Hours", "Last 3 Hours", "Last 2 Hours", "Last Hour",
    "This Hour",         "Now",          "Next Hour",   "Tomorrow",     "Next Week",    "Next Month"};

std::optional<std::string>& ApplicationPrinterOverride() {
    static std::optional<std::string> name;  // main thread only
    return name;
}

std::string ApplicationPrinterIn(const std::vector<TRpeInstalledPrinter>& printers) {
    if (ApplicationPrinterOverride()) return *ApplicationPrinterOverride();
    for (const TRpeInstalledPrinter& p : printers)
        if (p.IsDefault) return p.Name;
    return {};
}

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

QDate ToQDate(TDateTime t) {
    int y = 0, m = 0, d = 0;
    DecodeDate(t, y, m, d);
    return QDate(y, m, d);
}

QTime ToQTime(TDateTime t) {
    int h = 0, n = 0, s = 0, ms = 0;
    DecodeTime(t, h, n, s, ms);
    return QTime(h, n, s);
}

TDateTime FromPickers(const QDateEdit* date, const QTimeEdit* time) {
    const QDate d = date->date();
    const QTime t = time->time();
    return EncodeDate(d.year(), d.month(), d.day()) + EncodeTime(t.hour(), t.minute(), t.second(), 0);
}

std::optional<int> ReadInteger(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
}

// Index of the item whose text equals `text` without regard to case; -1 when none.
int FindItemNoCase(const QComboBox* list, const std::string& text) {
    for (int i = 0; i < list->count(); ++i)
        if (list->itemText(i).compare(Q(text), Qt::CaseInsensitive) == 0) return i;
    return -1;
}

void SetHelpTopic(QWidget* w, int topic) { w->setProperty(kHelpTopicProperty, topic); }

// A label whose mnemonic moves the focus to `buddy`.
QLabel* MakeLabel(const QString& text, QWidget* buddy, const QString& hint = {}) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    if (!hint.isEmpty()) label->setToolTip(hint);
    return label;
}

}  // namespace

std::string ApplicationPrinter() { return ApplicationPrinterIn(TRpeCupsPrinters().Printers()); }

void SetApplicationPrinter(const std::string& name) {
    if (name.empty()) ApplicationPrinterOverride().reset();
    else ApplicationPrinterOverride() = name;
}

int FreeGroupNumber(const std::vector<std::string>& taken) {
    for (int n = 1; n <= kMaxGroupNumber; ++n)
        if (std::find(taken.begin(), taken.end(), std::to_string(n)) == taken.end()) return n;
    return 0;
}

// --- Construction --------------------------------------------------------------

TfrmOptionSetup::TfrmOptionSetup(QWidget* owner, TVidUduzadevGroups& groups, IReportChooser& chooser,
                                 THelpHandler showHelp, odbc::TConnection* database)
    : QDialog(owner), FGroups(groups), FChooser(chooser), FShowHelp(std::move(showHelp)), FDatabase(database) {
    FSaved = true;
    FGroupsChanged = false;
    setWindowTitle(tr("Setup"));
    // A fixed border with the system menu only: no minimize, maximize or resize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    CreateActions();
    CreateControls();
    ConnectHandlers();
    Open();
}

TfrmOptionSetup::~TfrmOptionSetup() = default;

void TfrmOptionSetup::CreateActions() {
    auto make = [this](const QString& caption, const QString& hint) {
        auto* a = new QAction(caption, this);
        a->setToolTip(hint);
        return a;
    };
    actNew = make(tr("&New"), tr("Create a new Report Group."));
    actDelete = make(tr("&Delete"), tr("Delete the Report Group."));
    actDeleteAll = make(tr("Delete &All"), {});
    actSave = make(tr("&Save"), tr("Save the current settings."));
    actCopy = make(tr("&Copy"), tr("Copy the current Report Group to a new group."));
    mnuPopup = new QMenu(this);
    for (QAction* a : {actNew, actSave, actDelete, actDeleteAll}) mnuPopup->addAction(a);
}

void TfrmOptionSetup::CreateControls() {
    auto* root = new QVBoxLayout(this);
    root->setSizeConstraint(QLayout::SetFixedSize);

    // Groups: selector and the action buttons.
    auto* top = new QHBoxLayout;
    cbxGroup = new QComboBox;
    cbxGroup->setToolTip(tr("List of Report Groups created."));
    cbxGroup->setMinimumContentsLength(6);
    cbxGroup->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    top->addWidget(MakeLabel(tr("&Groups:"), cbxGroup, cbxGroup->toolTip()));
    top->addWidget(cbxGroup);
    top->addSpacing(12);
    auto bind = [top](QAction* action) {
        auto* b = new QPushButton(action->text());
        b->setToolTip(action->toolTip());
        b->setEnabled(action->isEnabled());
        QObject::connect(b, &QPushButton::clicked, action, &QAction::trigger);
        QObject::connect(action, &QAction::changed, b, [b, action] { b->setEnabled(action->isEnabled()); });
        top->addWidget(b);
        return b;
    };
    btnNew = bind(actNew);
    btnDelete = bind(actDelete);
    btnDeleteAll = bind(actDeleteAll);
    btnSave = bind(actSave);
    btnCopy = bind(actCopy);
    top->addStretch(1);
    root->addLayout(top);

    // Group Details: the report and the two pages.
    grpDetails = new QGroupBox(tr("Group Details"));
    auto* details = new QVBoxLayout(grpDetails);
    auto* reportRow = new QHBoxLayout;
    edtReportName = new QLineEdit;
    edtReportName->setReadOnly(true);
    edtReportName->setMaxLength(8192);
    edtReportName->setToolTip(tr("Select report name by clicking ... on the right."));
    edtReportName->installEventFilter(this);
    btnBrowseReport = new QPushButton(tr("..."));
    btnBrowseReport->setToolTip(tr("Select a report file from the Dialog box."));
    btnBrowseReport->setFixedWidth(btnBrowseReport->fontMetrics().horizontalAdvance("...") + 24);
    chkEnable = new QCheckBox(tr("Enable"));
    chkEnable->setToolTip(tr("If checked, the Report Group will be run on schedule."));
    SetHelpTopic(chkEnable, kHelpTopicSetup);
    reportRow->addWidget(MakeLabel(tr("&Report:"), edtReportName, edtReportName->toolTip()));
    reportRow->addWidget(edtReportName, 1);
    reportRow->addWidget(btnBrowseReport);
    reportRow->addSpacing(8);
    reportRow->addWidget(chkEnable);
    details->addLayout(reportRow);

    pgcPages = new QTabWidget;
    details->addWidget(pgcPages);
    root->addWidget(grpDetails);

    // --- Page "Schedule" ---
    tabSchedule = new QWidget;
    auto* schedulePage = new QVBoxLayout(tabSchedule);
    grpSchedule = new QGroupBox(tr("Schedule"));
    auto* sched = new QGridLayout(grpSchedule);
    edtBase = new QLineEdit;
    edtBase->setInputMask("99:99:99");
    edtBase->setToolTip(tr("Base Time or Start time for each report group."));
    SetHelpTopic(edtBase, kHelpTopicSetup);
    const int timeWidth = edtBase->fontMetrics().horizontalAdvance("00:00:00") + 20;
    edtBase->setFixedWidth(timeWidth);
    cbxInterval = new QComboBox;
    cbxInterval->addItems(kIntervalKinds);
    edtIntervalDay = new QLineEdit;
    edtIntervalDay->setFixedWidth(edtIntervalDay->fontMetrics().horizontalAdvance("0000") + 16);
    edtIntervalDay->setAlignment(Qt::AlignRight);
    spnbtnNoChangeInterval = new QWidget;
    auto* spin = new QVBoxLayout(spnbtnNoChangeInterval);
    spin->setContentsMargins(0, 0, 0, 0);
    spin->setSpacing(0);
    spnbtnUp = new QToolButton;
    spnbtnUp->setArrowType(Qt::UpArrow);
    spnbtnDown = new QToolButton;
    spnbtnDown->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {spnbtnUp, spnbtnDown}) {
        b->setFixedSize(18, 12);
        b->setFocusPolicy(Qt::NoFocus);
        spin->addWidget(b);
    }
    lblDays = new QLabel(tr("day(s)"));
    edtInterval = new QLineEdit;
    edtInterval->setInputMask("99:99:99");
    edtInterval->setToolTip(tr("Intervals"));
    edtInterval->setFixedWidth(timeWidth);
    SetHelpTopic(edtInterval, kHelpTopicSetup);
    edtAfterRun = new QLineEdit;
    edtAfterRun->setToolTip(tr("The program to run after complete the report."));
    SetHelpTopic(edtAfterRun, kHelpTopicAfterRun);
    sched->addWidget(MakeLabel(tr("&Base Time: "), edtBase, edtBase->toolTip()), 0, 0);
    sched->addWidget(edtBase, 0, 1, Qt::AlignLeft);
    sched->addWidget(MakeLabel(tr("&Interval:"), cbxInterval, tr("Report running interval")), 1, 0);
    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(cbxInterval);
    intervalRow->addSpacing(8);
    intervalRow->addWidget(edtIntervalDay);
    intervalRow->addWidget(spnbtnNoChangeInterval);
    intervalRow->addWidget(lblDays);
    intervalRow->addSpacing(8);
    intervalRow->addWidget(edtInterval);
    intervalRow->addStretch(1);
    sched->addLayout(intervalRow, 1, 1);
    sched->addWidget(MakeLabel(tr("R&un:"), edtAfterRun, edtAfterRun->toolTip()), 2, 0);
    sched->addWidget(edtAfterRun, 2, 1);
    sched->setColumnStretch(1, 1);
    schedulePage->addWidget(grpSchedule);

    grpOutput = new QGroupBox(tr("Output"));
    auto* out = new QGridLayout(grpOutput);
    rdoOutputPrinter = new QRadioButton(tr("&Printer"));
    rdoOutputPrinter->setToolTip(tr("Output to printer"));
    rdoOutputFile = new QRadioButton(tr("&File"));
    rdoOutputFile->setToolTip(tr("Output to files"));
    auto* printTo = new QLabel(tr("Print To:"));
    printTo->setToolTip(tr("Output destination"));
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(rdoOutputPrinter);
    kindRow->addSpacing(12);
    kindRow->addWidget(rdoOutputFile);
    kindRow->addStretch(1);
    cboPrinters = new QComboBox;
    cboPrinters->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboPrinters->setMinimumContentsLength(24);
    btnSetupPrinter = new QPushButton(tr("&Setup..."));
    auto* printerRow = new QHBoxLayout;
    printerRow->addWidget(cboPrinters, 1);
    printerRow->addWidget(btnSetupPrinter);
    edtOutputDir = new QLineEdit;
    edtOutputDir->setToolTip(tr("Specify direcotry where the report will be stored."));
    SetHelpTopic(edtOutputDir, kHelpTopicOutputFile);
    btnOutput = new QPushButton(tr("..."));
    btnOutput->setToolTip(tr("Create an Output file from the Dialog box."));
    btnOutput->setFixedWidth(btnBrowseReport->width());
    SetHelpTopic(btnOutput, kHelpTopicOutputFile);
    auto* dirRow = new QHBoxLayout;
    dirRow->addWidget(edtOutputDir, 1);
    dirRow->addWidget(btnOutput);
    edtFileName = new QLineEdit;
    edtFileName->setToolTip(tr("Report file name"));
    SetHelpTopic(edtFileName, kHelpTopicOutputFile);
    cboFormat = new QComboBox;
    cboFormat->addItems(kFormats);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(edtFileName, 1);
    nameRow->addSpacing(8);
    nameRow->addWidget(MakeLabel(tr("Forma&t:"), cboFormat, tr("Output file format")));
    nameRow->addWidget(cboFormat);
    out->addWidget(printTo, 0, 0);
    out->addLayout(kindRow, 0, 1);
    out->addWidget(MakeLabel(tr("Print&er:"), cboPrinters, tr("Printer name")), 1, 0);
    out->addLayout(printerRow, 1, 1);
    out->addWidget(MakeLabel(tr("&Output Dir:"), edtOutputDir, edtOutputDir->toolTip()), 2, 0);
    out->addLayout(dirRow, 2, 1);
    out->addWidget(MakeLabel(tr("Na&me:"), edtFileName, edtFileName->toolTip()), 3, 0);
    out->addLayout(nameRow, 3, 1);
    out->setColumnStretch(1, 1);
    schedulePage->addWidget(grpOutput);
    schedulePage->addStretch(1);
    pgcPages->addTab(tabSchedule, tr("Schedule"));

    // --- Page "Params" ---
    tabParams = new QWidget;
    auto* params = new QVBoxLayout(tabParams);
    cbxDateFrom = new QComboBox;
    cbxDateFrom->setEditable(true);
    cbxDateFrom->setInsertPolicy(QComboBox::NoInsert);
    cbxDateFrom->addItems(kStartFromKeywords);
    cbxDateFrom->lineEdit()->setMaxLength(19);
    cbxDateFrom->setMinimumContentsLength(19);
    cbxDateFrom->setToolTip(tr("Start Date/Time for processin.  The time can be picked from the list or should "
                               "be in the form mm/dd/yyyy HH:MM:SS"));
    SetHelpTopic(cbxDateFrom, kHelpTopicSetup);
    lblDateFrom = MakeLabel(tr("S&tart From:"), cbxDateFrom, cbxDateFrom->toolTip());
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(lblDateFrom);
    startRow->addWidget(cbxDateFrom);
    startRow->addStretch(1);
    params->addLayout(startRow);

    grpTimeRange = new QGroupBox(tr("Time Range"));
    auto* range = new QGridLayout(grpTimeRange);
    auto makeEnd = [&](QComboBox*& list, QDateEdit*& date, QTimeEdit*& time, const QString& caption,
                       const QString& hint, int column) {
        list = new QComboBox;
        list->addItems(kRangeKeywords);
        date = new QDateEdit;
        date->setDisplayFormat("MM/dd/yyyy");
        date->setCalendarPopup(true);
        time = new QTimeEdit;
        time->setDisplayFormat("HH:mm:ss");
        auto* pickers = new QHBoxLayout;
        pickers->addWidget(date);
        pickers->addWidget(time);
        range->addWidget(MakeLabel(caption, list, hint), 0, column);
        range->addWidget(list, 0, column + 1);
        range->addLayout(pickers, 1, column + 1);
    };
    makeEnd(cboSinceTime, tpPeriodStartsDate, tpPeriodStartsTime, tr("Fro&m:"), tr("Select start time"), 0);
    range->setColumnMinimumWidth(2, 16);
    makeEnd(cboUntilTime, tpPeriodEndsDate, tpPeriodEndsTime, tr("T&o:"), tr("Select end time"), 3);
    range->setColumnStretch(1, 1);
    range->setColumnStretch(4, 1);
    params->addWidget(grpTimeRange);

    edtFilterFile = new QLineEdit;
    edtFilterFile->setToolTip(tr("Select filter file to narrow down the station, sensor lists."));
    SetHelpTopic(edtFilterFile, kHelpTopicSetup);
    btnFilter = new QPushButton(tr("..."));
    btnFilter->setToolTip(tr("Select a Filter file from the Dialog box."));
    btnFilter->setFixedWidth(btnBrowseReport->width());
    auto* filterRow = new QHBoxLayout;
    lblFilterFile = MakeLabel(tr("F&ilter File:"), edtFilterFile, edtFilterFile->toolTip());
    filterRow->addWidget(lblFilterFile);
    filterRow->addWidget(edtFilterFile, 1);
    filterRow->addWidget(btnFilter);
    params->addLayout(filterRow);

    auto* lower = new QHBoxLayout;
    // The station and sensor selection fills this frame.
    grpSitesSensors = new QGroupBox(tr("Sites and Sensors"));
    grpSitesSensors->setMinimumSize(360, 180);
    frmSitesSensors = new TSitesSensorsFrame;
    frmSitesSensors->setObjectName("frmSitesSensors");
    frmSitesSensors->SetConnection(FDatabase);
    (new QVBoxLayout(grpSitesSensors))->addWidget(frmSitesSensors);
    grpCustomParams = new QGroupBox(tr("Custom Params"));
    auto* custom = new QVBoxLayout(grpCustomParams);
    vlOtherParams = new QTableWidget(0, 2);
    vlOtherParams->setHorizontalHeaderLabels({tr("Param"), tr("Value")});
    vlOtherParams->verticalHeader()->hide();
    vlOtherParams->horizontalHeader()->setStretchLastSection(true);
    vlOtherParams->setSelectionMode(QAbstractItemView::SingleSelection);
    vlOtherParams->setTabKeyNavigation(false);  // Tab leaves the grid; arrows move in it
    vlOtherParams->setMinimumWidth(220);
    custom->addWidget(vlOtherParams);
    lower->addWidget(grpSitesSensors, 3);
    lower->addWidget(grpCustomParams, 2);
    params->addLayout(lower, 1);
    pgcPages->addTab(tabParams, tr("Params"));

    // Close and Help.
    auto* bottom = new QHBoxLayout;
    btnClose = new QPushButton(tr("Close"));
    btnClose->setToolTip(tr("Closes the setup dialog."));
    btnClose->setAutoDefault(false);
    btnHelp = new QPushButton(tr("Help"));
    btnHelp->setToolTip(tr("Help"));
    btnHelp->setAutoDefault(false);
    SetHelpTopic(btnHelp, kHelpTopicSetup);
    bottom->addStretch(1);
    bottom->addWidget(btnClose);
    bottom->addWidget(btnHelp);
    root->addLayout(bottom);

    // Object names as the members, for tests and style sheets.
    const std::pair<QObject*, const char*> names[] = {
        {cbxGroup, "cbxGroup"}, {btnNew, "btnNew"}, {btnDelete, "btnDelete"}, {btnDeleteAll, "btnDeleteAll"},
        {btnSave, "btnSave"}, {btnCopy, "btnCopy"}, {grpDetails, "grpDetails"}, {edtReportName, "edtReportName"},
        {btnBrowseReport, "btnBrowseReport"}, {chkEnable, "chkEnable"}, {pgcPages, "pgcPages"}, {tabSchedule, "tabSchedule"},
        {tabParams, "tabParams"}, {grpSchedule, "grpSchedule"}, {edtBase, "edtBase"}, {cbxInterval, "cbxInterval"},
        {edtIntervalDay, "edtIntervalDay"}, {spnbtnNoChangeInterval, "spnbtnNoChangeInterval"}, {lblDays, "lblDays"}, {edtInterval, "edtInterval"},
        {edtAfterRun, "edtAfterRun"}, {grpOutput, "grpOutput"}, {rdoOutputPrinter, "rdoOutputPrinter"}, {rdoOutputFile, "rdoOutputFile"},
        {cboPrinters, "cboPrinters"}, {btnSetupPrinter, "btnSetupPrinter"}, {edtOutputDir, "edtOutputDir"}, {btnOutput, "btnOutput"},
        {edtFileName, "edtFileName"}, {cboFormat, "cboFormat"}, {lblDateFrom, "lblDateFrom"}, {cbxDateFrom, "cbxDateFrom"},
        {grpTimeRange, "grpTimeRange"}, {cboSinceTime, "cboSinceTime"}, {tpPeriodStartsDate, "tpPeriodStartsDate"}, {tpPeriodStartsTime, "tpPeriodStartsTime"},
        {cboUntilTime, "cboUntilTime"}, {tpPeriodEndsDate, "tpPeriodEndsDate"}, {tpPeriodEndsTime, "tpPeriodEndsTime"}, {lblFilterFile, "lblFilterFile"},
        {edtFilterFile, "edtFilterFile"}, {btnFilter, "btnFilter"}, {grpSitesSensors, "grpSitesSensors"}, {grpCustomParams, "grpCustomParams"},
        {vlOtherParams, "vlOtherParams"}, {btnClose, "btnClose"}, {btnHelp, "btnHelp"},
    };
    for (const auto& [object, name] : names) object->setObjectName(QString::fromLatin1(name));

    // Enter in a text box must not press a button of the window.
    for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);

    setContextMenuPolicy(Qt::CustomContextMenu);
    cbxGroup->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TfrmOptionSetup::ConnectHandlers() {
    connect(actNew, &QAction::triggered, this, &TfrmOptionSetup::actNewExecute);
    connect(actDelete, &QAction::triggered, this, &TfrmOptionSetup::actDeleteExecute);
    connect(actDeleteAll, &QAction::triggered, this, &TfrmOptionSetup::actDeleteAllExecute);
    connect(actSave, &QAction::triggered, this, &TfrmOptionSetup::actSaveExecute);
    connect(actCopy, &QAction::triggered, this, &TfrmOptionSetup::actCopyExecute);
    auto popup = [this](QWidget* w) {
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& p) { mnuPopup->popup(w->mapToGlobal(p)); });
    };
    popup(this);
    popup(cbxGroup);

    // Re-picking the shown group is no change of group.
    connect(cbxGroup, &QComboBox::activated, this, [this](int index) {
        if (index != FShownIndex) cbxGroupChange();
    });
    connect(btnBrowseReport, &QPushButton::clicked, this, &TfrmOptionSetup::btnBrowseReportClick);
    connect(chkEnable, &QCheckBox::toggled, this, [this] {
        FSaved = false;
        UpdateActions();
    });
    connect(cbxInterval, &QComboBox::currentIndexChanged, this, [this] {
        UpdateIntervalControls();
        OnChange();
    });
    connect(spnbtnUp, &QToolButton::clicked, this, [this] { spnbtnNoChangeIntervalClick(true); });
    connect(spnbtnDown, &QToolButton::clicked, this, [this] { spnbtnNoChangeIntervalClick(false); });
    connect(rdoOutputPrinter, &QRadioButton::clicked, this, &TfrmOptionSetup::rdoOutputClick);
    connect(rdoOutputFile, &QRadioButton::clicked, this, &TfrmOptionSetup::rdoOutputClick);
    connect(btnSetupPrinter, &QPushButton::clicked, this, &TfrmOptionSetup::btnSetupPrinterClick);
    connect(btnOutput, &QPushButton::clicked, this, &TfrmOptionSetup::btnOutputClick);
    connect(btnFilter, &QPushButton::clicked, this, &TfrmOptionSetup::btnFilterClick);
    connect(frmSitesSensors, &TSitesSensorsFrame::Changed, this, &TfrmOptionSetup::OnChange);
    // Leaving the filter box with another file name in it, or the same name
    // of a file changed since, loads the stations anew.
    connect(edtFilterFile, &QLineEdit::editingFinished, this, [this] { StationsRefreshIfStale(); });
    connect(cboSinceTime, &QComboBox::currentIndexChanged, this, [this] {
        PreviewTimeKeyword(cboSinceTime, tpPeriodStartsDate, tpPeriodStartsTime);
        OnChange();
    });
    connect(cboUntilTime, &QComboBox::currentIndexChanged, this, [this] {
        PreviewTimeKeyword(cboUntilTime, tpPeriodEndsDate, tpPeriodEndsTime);
        OnChange();
    });
    for (QLineEdit* e : {edtBase, edtIntervalDay, edtInterval, edtAfterRun, edtOutputDir, edtFileName, edtFilterFile})
        connect(e, &QLineEdit::textChanged, this, &TfrmOptionSetup::OnChange);
    connect(cbxDateFrom, &QComboBox::currentTextChanged, this, &TfrmOptionSetup::OnChange);
    connect(cboPrinters, &QComboBox::currentIndexChanged, this, &TfrmOptionSetup::OnChange);
    connect(cboFormat, &QComboBox::currentIndexChanged, this, &TfrmOptionSetup::OnChange);
    for (QDateEdit* d : {tpPeriodStartsDate, tpPeriodEndsDate})
        connect(d, &QDateEdit::dateChanged, this, &TfrmOptionSetup::OnChange);
    for (QTimeEdit* t : {tpPeriodStartsTime, tpPeriodEndsTime})
        connect(t, &QTimeEdit::timeChanged, this, &TfrmOptionSetup::OnChange);
    connect(vlOtherParams, &QTableWidget::itemChanged, this, &TfrmOptionSetup::OnChange);
    connect(btnClose, &QPushButton::clicked, this, &TfrmOptionSetup::close);
    connect(btnHelp, &QPushButton::clicked, this, &TfrmOptionSetup::btnHelpClick);
    auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
    connect(f1, &QShortcut::activated, this, [this] {
        for (QWidget* w = QApplication::focusWidget(); w && w != this; w = w->parentWidget()) {
            const QVariant topic = w->property(kHelpTopicProperty);
            if (topic.isValid()) return ShowHelpTopic(topic.toInt());
        }
        ShowHelpTopic(kHelpTopicSetup);
    });
}

void TfrmOptionSetup::Open() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct TRestoreCursor {
        ~TRestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    pgcPages->setCurrentWidget(tabSchedule);
    StationsRefreshCache();
    FillPrinters();
    if (FGroups.Count() == 0) {
        FPendingGroup = std::make_unique<TVidUduzadevGroupItem>();
        ShowGroup(-1);
    } else {
        for (int i = 0; i < FGroups.Count(); ++i) cbxGroup->addItem(QString::number(FGroups.Items(i).RGIndex));
        cbxGroup->setCurrentIndex(0);
        ShowGroup(0);
    }
    UpdateActions();
    cbxGroup->setFocus();
}

// --- Operations -------------------------------------------------------------

void TfrmOptionSetup::OnChange() {
    FSaved = false;
    FGroupsChanged = true;
    UpdateActions();
}

void TfrmOptionSetup::UpdateActions() {
    const bool any = FGroups.Count() > 0;
    const bool groupShown = (any && cbxGroup->currentIndex() >= 0) || FPendingGroup != nullptr;
    actDelete->setEnabled(any);
    actDeleteAll->setEnabled(any);
    actSave->setEnabled(!FSaved && groupShown);
    actCopy->setEnabled(FShownIndex >= 0);
}

void TfrmOptionSetup::UpdateIntervalControls() {
    const bool asEntered = cbxInterval->currentIndex() == kIntervalAsEntered;
    edtIntervalDay->setEnabled(asEntered);
    spnbtnNoChangeInterval->setEnabled(asEntered);
    edtInterval->setEnabled(asEntered);
}

void TfrmOptionSetup::PreviewTimeKeyword(QComboBox* list, QDateEdit* date, QTimeEdit* time) {
    const int index = list->currentIndex();
    if (index > 0) {
        try {
            const TDateTime value =
                EpochSecondsToDateTime(EvalTimeExpression(S(list->currentText()), EpochSeconds(0)));
            date->setDate(ToQDate(DateOf(value)));
            time->setTime(ToQTime(value));
        } catch (const std::exception&) {
            // Beyond the time scale: the pickers keep what they show.
        }
    }
    date->setEnabled(index == 0);
    time->setEnabled(index == 0);
}

void TfrmOptionSetup::ClearControls() {
    edtReportName->clear();
    chkEnable->setChecked(false);
    edtBase->setText("00:00:00");
    cbxInterval->setCurrentIndex(kIntervalDaily);
    UpdateIntervalControls();
    edtIntervalDay->setText("0");
    edtInterval->setText("00:00:00");
    edtAfterRun->clear();
    cbxDateFrom->setCurrentText("Now");
    rdoOutputPrinter->setChecked(true);
    rdoOutputClick();
    SelectApplicationPrinter();
    edtOutputDir->clear();
    edtFileName->clear();
    grpTimeRange->setEnabled(false);
    cboSinceTime->setCurrentIndex(kRangeKeywords.indexOf("Yesterday"));
    cboUntilTime->setCurrentIndex(kRangeKeywords.indexOf("Today"));
    PreviewTimeKeyword(cboSinceTime, tpPeriodStartsDate, tpPeriodStartsTime);
    PreviewTimeKeyword(cboUntilTime, tpPeriodEndsDate, tpPeriodEndsTime);
    cboSinceTime->setEnabled(false);
    cboUntilTime->setEnabled(false);
    StationsClearSelected();
    StationsSetEnabled(false);
    SetFilterEnabled(false);
    FillParamGrid({});
    SetParamGridEnabled(false);
}

void TfrmOptionSetup::ShowGroup(int index) {
    TVidUduzadevGroupItem* g =
        index >= 0 && index < cbxGroup->count() ? &FGroups.Items(index) : FPendingGroup.get();
    if (g) {
        FReport.Assign(g->Report);
        ClearControls();
        edtReportName->setText(Q(FReport.Title));
        chkEnable->setChecked(g->Enabled);
        edtBase->setText(Q(FormatDateTime(kTimeOfDayFormat, g->BaseTime)));
        cbxInterval->setCurrentIndex(g->IntType >= 0 && g->IntType < cbxInterval->count() ? g->IntType
                                                                                          : kIntervalDaily);
        UpdateIntervalControls();
        // Whole milliseconds first, so that 2.9999999999 days shows as 3 days
        // 00:00:00 rather than 2 days and a time that rounds up to 24:00:00.
        const double ms = std::round(g->Interval * kMSecsPerDay);
        const double days = std::floor(ms / kMSecsPerDay);
        edtIntervalDay->setText(QString::number(static_cast<long long>(days)));
        edtInterval->setText(Q(FormatDateTime(kTimeOfDayFormat, (ms - days * kMSecsPerDay) / kMSecsPerDay)));
        edtAfterRun->setText(Q(g->AfterRun));
        cbxDateFrom->setCurrentText(Q(g->StartFrom));
        FShownStartFrom = cbxDateFrom->currentText();
        if (g->Output == 0 || g->Output == 1) rdoOutputPrinter->setChecked(true);
        else if (g->Output == 2) rdoOutputFile->setChecked(true);
        rdoOutputClick();
        if (!SelectPrinter(Q(g->Printer))) SelectApplicationPrinter();
        edtOutputDir->setText(Q(g->OutputDir));
        edtFileName->setText(Q(g->OutputName));
        // A format outside the list exports as PDF.
        cboFormat->setCurrentIndex(g->OutputFormat >= 0 && g->OutputFormat < cboFormat->count() ? g->OutputFormat
                                                                                                : 0);
        if (FReport.TimeRange) {
            grpTimeRange->setEnabled(true);
            cboSinceTime->setEnabled(true);
            cboUntilTime->setEnabled(true);
            cboSinceTime->setCurrentIndex(FindItemNoCase(cboSinceTime, g->TimeFrom));
            cboUntilTime->setCurrentIndex(FindItemNoCase(cboUntilTime, g->TimeTo));
            tpPeriodStartsDate->setDate(ToQDate(g->AbsTimeFrom));
            tpPeriodStartsTime->setTime(ToQTime(g->AbsTimeFrom));
            tpPeriodEndsDate->setDate(ToQDate(g->AbsTimeTo));
            tpPeriodEndsTime->setTime(ToQTime(g->AbsTimeTo));
            PreviewTimeKeyword(cboSinceTime, tpPeriodStartsDate, tpPeriodStartsTime);
            PreviewTimeKeyword(cboUntilTime, tpPeriodEndsDate, tpPeriodEndsTime);
        }
        if (FReport.Filter) {
            SetFilterEnabled(true);
            if (edtFilterFile->text() != Q(g->Filter)) edtFilterFile->setText(Q(g->Filter));
        } else if (!edtFilterFile->text().isEmpty()) {
            edtFilterFile->clear();
        }
        StationsRefreshIfStale();
        if (FReport.SiteLists || FReport.SensorLists) {
            StationsSetEnabled(true);
            StationsRebuildTree();
        }
        StationsFillFromGroup(*g);
        // The report file decides which parameters are offered; the group's
        // own lists change only when the operator saves, so that opening a
        // group whose report file is out of reach drops none of its values.
        std::vector<std::string> params = g->OtherParams;
        std::vector<std::string> special = g->SpecialParams;
        FChooser.DiscoverReportParameters(g->Report, params, special);
        FillParamGrid(params);
        SetParamGridEnabled(!params.empty());
        FSpecialParams = special;
        ApplyStartFromCapability(FSpecialParams);
    }
    FShownIndex = cbxGroup->currentIndex();
    FSaved = true;
    UpdateActions();
}

void TfrmOptionSetup::ValidateControls() const {
    if (edtReportName->text().trimmed().isEmpty()) throw ESetupError("Please select a report.");
    if (!rdoOutputPrinter->isChecked() && !rdoOutputFile->isChecked())
        throw ESetupError("Please select printer or file output.");
}

void TfrmOptionSetup::SaveGroup() {
    ValidateControls();
    TVidUduzadevGroupItem* target = ShownGroup();
    if (!target) return;
    TVidUduzadevGroupItem& g = *target;
    g.Report.Assign(FReport);
    g.Enabled = chkEnable->isChecked();
    if (const auto base = TryStrToTime(S(edtBase->text()))) g.BaseTime = *base;
    g.IntType = static_cast<std::int8_t>(cbxInterval->currentIndex());
    // Each part keeps its stored value when its text does not read, so a
    // typing slip never changes the other part.
    const double oldDays = std::floor(g.Interval);
    const TDateTime time = TryStrToTime(S(edtInterval->text())).value_or(g.Interval - oldDays);
    const std::optional<int> days = ReadInteger(edtIntervalDay->text());
    g.Interval = (days ? *days : oldDays) + time;
    g.AfterRun = S(edtAfterRun->text());
    if (cbxDateFrom->currentText() != FShownStartFrom) {
        g.StartFrom = S(cbxDateFrom->currentText());
    } else {
        // Unchanged since the group's value was put in: that value may have
        // moved on meanwhile (a job ended), and writing the old text back
        // would run delivered periods again. Show the current one instead.
        const QSignalBlocker quiet(cbxDateFrom);
        cbxDateFrom->setCurrentText(Q(g.StartFrom));
    }
    FShownStartFrom = cbxDateFrom->currentText();
    g.Output = rdoOutputPrinter->isChecked() ? 1 : rdoOutputFile->isChecked() ? 2 : 0;
    g.Printer = S(cboPrinters->currentText());
    g.OutputDir = S(edtOutputDir->text());
    g.OutputName = S(edtFileName->text());
    g.OutputFormat = cboFormat->currentIndex();
    if (FReport.TimeRange) {
        g.TimeFrom = S(cboSinceTime->currentText());
        g.TimeTo = S(cboUntilTime->currentText());
        g.AbsTimeFrom = FromPickers(tpPeriodStartsDate, tpPeriodStartsTime);
        g.AbsTimeTo = FromPickers(tpPeriodEndsDate, tpPeriodEndsTime);
    }
    g.Filter = S(edtFilterFile->text());
    g.Stations.clear();
    g.Sensors.clear();
    g.OtherParams.clear();
    g.SpecialParams.clear();
    StationsStoreIntoGroup(g);
    g.OtherParams = ParamGridLines();
    g.SpecialParams = FSpecialParams;
    if (FShownIndex == -1) {
        if (const int n = FreeGroupNumber(SelectorTexts())) {
            g.RGIndex = n;
            g.GroupName = kGroupNamePrefix + std::to_string(n);
            FGroups.Add(std::move(FPendingGroup));
            cbxGroup->addItem(QString::number(n));
            cbxGroup->setCurrentIndex(cbxGroup->count() - 1);
            FShownIndex = cbxGroup->currentIndex();
        }
    }
    FSaved = true;
    UpdateActions();
}

void TfrmOptionSetup::ApplyReportCapabilities() {
    grpTimeRange->setEnabled(FReport.TimeRange);
    cboSinceTime->setEnabled(FReport.TimeRange);
    cboUntilTime->setEnabled(FReport.TimeRange);
    PreviewTimeKeyword(cboSinceTime, tpPeriodStartsDate, tpPeriodStartsTime);
    PreviewTimeKeyword(cboUntilTime, tpPeriodEndsDate, tpPeriodEndsTime);
    SetFilterEnabled(FReport.Filter);
    const bool stations = FReport.SiteLists || FReport.SensorLists;
    StationsSetEnabled(stations);
    StationsClearSelected();
    if (stations) StationsRebuildTree();
    std::vector<std::string> params, special;
    FChooser.DiscoverReportParameters(FReport, params, special);
    FillParamGrid(params);
    SetParamGridEnabled(!params.empty());
    FSpecialParams.clear();
    ApplyStartFromCapability(special);
    if (cbxDateFrom->isEnabled()) FSpecialParams = special;
    if (edtFileName->text().trimmed().isEmpty()) edtFileName->setText(Q(FReport.Title) + " yy-mm-dd");
    OnChange();
}

// --- Actions ----------------------------------------------------------------

void TfrmOptionSetup::actNewExecute() {
    if (!ConfirmLeaveGroup()) return;
    const int n = FreeGroupNumber(SelectorTexts());
    if (n == 0) return;
    AppendNumberedGroup(n);
    FPendingGroup.reset();
    ClearControls();
    cbxGroup->setCurrentIndex(cbxGroup->count() - 1);
    ShowGroup(cbxGroup->currentIndex());
    FSaved = true;
    UpdateActions();
}

void TfrmOptionSetup::actCopyExecute() {
    const int source = FShownIndex;
    if (!ConfirmLeaveGroup()) return;
    const int n = FreeGroupNumber(SelectorTexts());
    if (n == 0) return;
    TVidUduzadevGroupItem& copy = AppendNumberedGroup(n);
    FPendingGroup.reset();
    ClearControls();
    cbxGroup->setCurrentIndex(cbxGroup->count() - 1);
    if (source >= 0) {
        copy.Assign(FGroups.Items(source));
        copy.GroupName = kGroupNamePrefix + std::to_string(n);
        copy.RGIndex = n;
    }
    ShowGroup(cbxGroup->currentIndex());
    FSaved = false;  // offer Save: the copy is what the operator works on next
    UpdateActions();
}

void TfrmOptionSetup::actDeleteExecute() {
    const int i = cbxGroup->currentIndex();
    if (i < 0) return;
    if (ShowMessage(this, {TMessageKind::Question, tr("Confirm"), tr("Are you sure you want to delete this Group?"),
                           QMessageBox::Ok | QMessageBox::Cancel}) != QMessageBox::Ok)
        return;
    const int count = cbxGroup->count();
    cbxGroup->removeItem(i);
    if (OnGroupDeleting) OnGroupDeleting(FGroups.Items(i));
    FGroups.Delete(i);
    cbxGroup->setCurrentIndex(i < count - 1 ? i : cbxGroup->count() - 1);
    FSaved = true;
    cbxGroupChange();
}

void TfrmOptionSetup::actDeleteAllExecute() {
    if (ShowMessage(this, {TMessageKind::Question, tr("Confirm"), tr("Are you sure you want to delete all the Groups?"),
                           QMessageBox::Ok | QMessageBox::Cancel}) != QMessageBox::Ok)
        return;
    for (int i = cbxGroup->count() - 1; i >= 0; --i) {
        cbxGroup->removeItem(i);
        if (OnGroupDeleting) OnGroupDeleting(FGroups.Items(i));
        FGroups.Delete(i);
    }
    FSaved = true;
    cbxGroup->setCurrentIndex(-1);
    cbxGroupChange();
}

void TfrmOptionSetup::actSaveExecute() {
    try {
        SaveGroup();
    } catch (const std::exception& e) {
        ShowSetupError(e);
    }
    UpdateActions();
}

void TfrmOptionSetup::cbxGroupChange() {
    const int wanted = cbxGroup->currentIndex();
    if (!ConfirmLeaveGroup()) {
        cbxGroup->setCurrentIndex(FShownIndex);
        return;
    }
    // Saving a pending group adds it to the selector: go to the entry picked.
    if (wanted < cbxGroup->count()) cbxGroup->setCurrentIndex(wanted);
    FSaved = true;
    FShownIndex = cbxGroup->currentIndex();
    if (FShownIndex < 0) {
        FPendingGroup = std::make_unique<TVidUduzadevGroupItem>();
        ShowGroup(-1);
    } else {
        FPendingGroup.reset();
        ShowGroup(FShownIndex);
    }
}

void TfrmOptionSetup::btnBrowseReportClick() {
    if (!FChooser.ChooseReport()) return;
    const TReportItem& picked = FChooser.SelectedReport();
    if (picked.Key == FReport.Key) return;
    FReport.Assign(picked);
    edtReportName->setText(Q(FReport.Title));
    ApplyReportCapabilities();
    OnChange();
}

void TfrmOptionSetup::spnbtnNoChangeIntervalClick(bool up) {
    const std::optional<int> count = ReadInteger(edtIntervalDay->text());
    if (!count) {
        ShowMessage(this, TMessageKind::Error, tr("Error"), tr("Error 1504: Invalid day value"));
        return;
    }
    int next = 0;
    if (up) next = *count == kMaxDayCount ? 0 : *count + 1;
    else next = *count == 0 ? kMaxDayCount : *count - 1;
    edtIntervalDay->setText(QString::number(next));
    OnChange();
}

void TfrmOptionSetup::rdoOutputClick() {
    const bool printer = rdoOutputPrinter->isChecked();
    cboPrinters->setEnabled(printer);
    btnSetupPrinter->setEnabled(printer);
    edtOutputDir->setEnabled(!printer);
    btnOutput->setEnabled(!printer);
    edtFileName->setEnabled(!printer);
    cboFormat->setEnabled(!printer);
    OnChange();
}

void TfrmOptionSetup::btnSetupPrinterClick() {
    const QString before = cboPrinters->currentText();
    QPrinter printer;
    const std::string current = ApplicationPrinter();
    if (!current.empty()) printer.setPrinterName(Q(current));
    QPrintDialog dialog(&printer, this);
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (accepted && !printer.printerName().isEmpty()) SetApplicationPrinter(S(printer.printerName()));
    FillPrinters();
    // A cancelled dialog leaves the group's printer as it was chosen.
    if (accepted || !SelectPrinter(before)) SelectApplicationPrinter();
    OnChange();
}

void TfrmOptionSetup::btnOutputClick() {
    const QString preset = edtOutputDir->text();
    QFileDialog dialog(this, tr("Output Dir"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (!preset.isEmpty() && QDir(preset).exists()) dialog.setDirectory(preset);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString picked = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    if (picked.compare(preset, Qt::CaseInsensitive) == 0) return;
    edtOutputDir->setText(picked);
    OnChange();
}

void TfrmOptionSetup::btnFilterClick() {
    TfrmFilterSelect window(this, FDatabase);
    if (window.exec() != QDialog::Accepted) return;
    QString name;
    if (!window.GetFilterFileName(name)) return;
    edtFilterFile->setText(name);
    StationsRefreshIfStale();  // the file may have been saved anew under the same name
}

void TfrmOptionSetup::btnHelpClick() { ShowHelpTopic(kHelpTopicSetup); }

void TfrmOptionSetup::reject() {
    if (!ConfirmLeaveGroup()) return;
    QDialog::reject();
}

bool TfrmOptionSetup::eventFilter(QObject* watched, QEvent* e) {
    if (watched == edtReportName && e->type() == QEvent::MouseButtonDblClick && btnBrowseReport->isEnabled()) {
        btnBrowseReportClick();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

// --- Helpers ------------------------------------------------------------------

bool TfrmOptionSetup::ConfirmLeaveGroup() {
    if (FSaved) return true;
    switch (ShowMessage(this, {TMessageKind::Information, tr("Information"), tr("Save all current parameters?"),
                               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel})) {
    case QMessageBox::Yes:
        try {
            SaveGroup();
            return true;
        } catch (const std::exception& e) {
            ShowSetupError(e);
            return false;
        }
    case QMessageBox::No: return true;
    default: return false;
    }
}

void TfrmOptionSetup::ShowSetupError(const std::exception& e) {
    ShowMessage(this, TMessageKind::Error, tr("Error"), tr("Error 1700: ") + QString::fromUtf8(e.what()));
}

TVidUduzadevGroupItem* TfrmOptionSetup::ShownGroup() const {
    if (FShownIndex >= 0) return FShownIndex < FGroups.Count() ? &FGroups.Items(FShownIndex) : nullptr;
    return FPendingGroup.get();
}

std::vector<std::string> TfrmOptionSetup::SelectorTexts() const {
    std::vector<std::string> texts;
    for (int i = 0; i < cbxGroup->count(); ++i) texts.push_back(S(cbxGroup->itemText(i)));
    return texts;
}

TVidUduzadevGroupItem& TfrmOptionSetup::AppendNumberedGroup(int number) {
    auto group = std::make_unique<TVidUduzadevGroupItem>();
    group->RGIndex = number;
    group->GroupName = kGroupNamePrefix + std::to_string(number);
    TVidUduzadevGroupItem& added = FGroups.Add(std::move(group));
    cbxGroup->addItem(QString::number(number));
    return added;
}

void TfrmOptionSetup::FillPrinters() {
    cboPrinters->clear();
    for (const TRpeInstalledPrinter& p : TRpeCupsPrinters().Printers()) cboPrinters->addItem(Q(p.Name));
    SelectApplicationPrinter();
}

void TfrmOptionSetup::SelectApplicationPrinter() {
    if (cboPrinters->count() == 0) return;
    if (!SelectPrinter(Q(ApplicationPrinter()))) cboPrinters->setCurrentIndex(0);
}

bool TfrmOptionSetup::SelectPrinter(const QString& name) {
    if (name.isEmpty()) return false;
    for (int i = 0; i < cboPrinters->count(); ++i) {
        if (cboPrinters->itemText(i).compare(name, Qt::CaseInsensitive) == 0) {
            cboPrinters->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void TfrmOptionSetup::FillParamGrid(const std::vector<std::string>& lines) {
    const QSignalBlocker block(vlOtherParams);
    vlOtherParams->setRowCount(0);
    for (const std::string& line : lines) {
        const auto eq = line.find('=');
        auto* name = new QTableWidgetItem(Q(line.substr(0, eq)));
        name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        auto* value = new QTableWidgetItem(eq == std::string::npos ? QString() : Q(line.substr(eq + 1)));
        const int row = vlOtherParams->rowCount();
        vlOtherParams->insertRow(row);
        vlOtherParams->setItem(row, 0, name);
        vlOtherParams->setItem(row, 1, value);
    }
    vlOtherParams->resizeColumnToContents(0);
}

std::vector<std::string> TfrmOptionSetup::ParamGridLines() const {
    std::vector<std::string> lines;
    for (int row = 0; row < vlOtherParams->rowCount(); ++row) {
        const QTableWidgetItem* name = vlOtherParams->item(row, 0);
        const QTableWidgetItem* value = vlOtherParams->item(row, 1);
        lines.push_back(S(name ? name->text() : QString()) + "=" + S(value ? value->text() : QString()));
    }
    return lines;
}

void TfrmOptionSetup::ApplyStartFromCapability(const std::vector<std::string>& special) {
    // Without a time range and without "pReportTime" the report has no
    // period of its own: it always starts from now.
    const bool takesTime = FReport.TimeRange || std::find(special.begin(), special.end(), kReportTimeParam) !=
                                                    special.end();
    if (!takesTime) cbxDateFrom->setCurrentText("Now");
    cbxDateFrom->setEnabled(takesTime);
    lblDateFrom->setEnabled(takesTime);
}

void TfrmOptionSetup::SetFilterEnabled(bool enabled) {
    lblFilterFile->setEnabled(enabled);
    edtFilterFile->setEnabled(enabled);
    btnFilter->setEnabled(enabled);
}

void TfrmOptionSetup::SetParamGridEnabled(bool enabled) {
    grpCustomParams->setEnabled(enabled);
    vlOtherParams->setEnabled(enabled);
}

void TfrmOptionSetup::ShowHelpTopic(int topic) {
    if (FShowHelp) FShowHelp(topic);
}

// --- Station frame ------------------------------------------------------------

void TfrmOptionSetup::StationsRefreshCache() {
    frmSitesSensors->RefreshSites(edtFilterFile->text());
    FLoadedFilter = S(frmSitesSensors->LoadedFilter());
}

void TfrmOptionSetup::StationsRefreshIfStale() {
    if (!frmSitesSensors->IsFilterLoaded(edtFilterFile->text())) StationsRefreshCache();
}

void TfrmOptionSetup::StationsRebuildTree() { frmSitesSensors->RebuildTree(); }

void TfrmOptionSetup::StationsClearSelected() {
    frmSitesSensors->SetReportLists(FReport.SiteLists, FReport.SensorLists);
    frmSitesSensors->ClearSelectedList();
}

void TfrmOptionSetup::StationsFillFromGroup(const TVidUduzadevGroupItem& group) {
    frmSitesSensors->SetReportLists(FReport.SiteLists, FReport.SensorLists);
    frmSitesSensors->FillRows(group);
}

void TfrmOptionSetup::StationsStoreIntoGroup(TVidUduzadevGroupItem& group) const { frmSitesSensors->StoreRows(group); }

void TfrmOptionSetup::StationsSetEnabled(bool enabled) { grpSitesSensors->setEnabled(enabled); }

}  // namespace mv::ui
