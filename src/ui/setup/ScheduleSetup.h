#pragma once
// The group editor "Setup": creates, copies, edits and deletes the schedule
// groups of the main window's container, in place. It never writes the
// schedule file; the main window does that, and rebuilds its run queue when
// FGroupsChanged is true after the editor closed.

#include "core/schedule/ReportItem.h"
#include "ui/app/HelpViewer.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class QTimeEdit;
class QToolButton;
class QWidget;

namespace mv {
class TVidUduzadevGroupItem;
class TVidUduzadevGroups;
namespace odbc {
class TConnection;
}
}  // namespace mv

namespace mv::ui {

class IReportChooser;
class TSitesSensorsFrame;

// A value in the editor's controls that cannot be stored; the message says
// what to do ("Please select a report.").
class ESetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The printer the program prints to unless told otherwise: the CUPS default
// destination until the print dialog of "&Setup..." chose another one for
// the rest of the session. Empty when CUPS names no default.
std::string ApplicationPrinter();
// An empty name goes back to the CUPS default.
void SetApplicationPrinter(const std::string& name);

// First group number that none of `taken` uses (compared as whole decimal
// texts), 1..999; 0 when all are taken.
int FreeGroupNumber(const std::vector<std::string>& taken);

class TfrmOptionSetup : public QDialog {
    Q_OBJECT
public:
    using THelpHandler = std::function<void(int topic)>;

    // `groups` and `chooser` must outlive the window. `showHelp` gets the
    // topic of "Help" (and of F1 over a control); empty: no help. `database`
    // is the open connection the stations are read from (null: none listed).
    TfrmOptionSetup(QWidget* owner, TVidUduzadevGroups& groups, IReportChooser& chooser,
                    THelpHandler showHelp = {}, odbc::TConnection* database = nullptr);
    ~TfrmOptionSetup() override;

    // Set by every change notification, never cleared: the main window then
    // stops its jobs and rebuilds the run queue.
    bool FGroupsChanged = false;
    // Called with each group just before the editor deletes it, while it
    // still exists, so that a run queue or job referring to it can let go.
    std::function<void(const TVidUduzadevGroupItem&)> OnGroupDeleting;

    // State the tests look at.
    int ShownIndex() const { return FShownIndex; }
    bool IsSaved() const { return FSaved; }
    const TVidUduzadevGroupItem* PendingGroup() const { return FPendingGroup.get(); }
    const TReportItem& WorkingReport() const { return FReport; }
    const std::vector<std::string>& WorkingSpecialParams() const { return FSpecialParams; }

    // Operations.
    void ShowGroup(int index);
    void ClearControls();
    // Throws ESetupError when ValidateControls() does; nothing is stored then.
    void SaveGroup();
    void ValidateControls() const;
    void ApplyReportCapabilities();
    void UpdateIntervalControls();
    void PreviewTimeKeyword(QComboBox* list, QDateEdit* date, QTimeEdit* time);
    void OnChange();

    // Handlers, public for tests.
    void actNewExecute();
    void actCopyExecute();
    void actDeleteExecute();
    void actDeleteAllExecute();
    void actSaveExecute();
    void cbxGroupChange();
    void btnBrowseReportClick();
    void spnbtnNoChangeIntervalClick(bool up);
    void rdoOutputClick();
    void btnSetupPrinterClick();
    void btnOutputClick();
    void btnFilterClick();
    void btnHelpClick();
    // Re-evaluates the enabled state of the actions.
    void UpdateActions();

    // Controls, for tests.
    QComboBox* cbxGroup = nullptr;
    QAction* actNew = nullptr;
    QAction* actDelete = nullptr;
    QAction* actDeleteAll = nullptr;
    QAction* actSave = nullptr;
    QAction* actCopy = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnDelete = nullptr;
    QPushButton* btnDeleteAll = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCopy = nullptr;
    QMenu* mnuPopup = nullptr;
    QGroupBox* grpDetails = nullptr;
    QLineEdit* edtReportName = nullptr;
    QPushButton* btnBrowseReport = nullptr;
    QCheckBox* chkEnable = nullptr;
    QTabWidget* pgcPages = nullptr;
    QWidget* tabSchedule = nullptr;
    QWidget* tabParams = nullptr;
    QGroupBox* grpSchedule = nullptr;
    QLineEdit* edtBase = nullptr;
    QComboBox* cbxInterval = nullptr;
    QLineEdit* edtIntervalDay = nullptr;
    QWidget* spnbtnNoChangeInterval = nullptr;
    QToolButton* spnbtnUp = nullptr;
    QToolButton* spnbtnDown = nullptr;
    QLabel* lblDays = nullptr;
    QLineEdit* edtInterval = nullptr;
    QLineEdit* edtAfterRun = nullptr;
    QGroupBox* grpOutput = nullptr;
    QRadioButton* rdoOutputPrinter = nullptr;
    QRadioButton* rdoOutputFile = nullptr;
    QComboBox* cboPrinters = nullptr;
    QPushButton* btnSetupPrinter = nullptr;
    QLineEdit* edtOutputDir = nullptr;
    QPushButton* btnOutput = nullptr;
    QLineEdit* edtFileName = nullptr;
    QComboBox* cboFormat = nullptr;
    QLabel* lblDateFrom = nullptr;
    QComboBox* cbxDateFrom = nullptr;
    QGroupBox* grpTimeRange = nullptr;
    QComboBox* cboSinceTime = nullptr;
    QDateEdit* tpPeriodStartsDate = nullptr;
    QTimeEdit* tpPeriodStartsTime = nullptr;
    QComboBox* cboUntilTime = nullptr;
    QDateEdit* tpPeriodEndsDate = nullptr;
    QTimeEdit* tpPeriodEndsTime = nullptr;
    QLabel* lblFilterFile = nullptr;
    QLineEdit* edtFilterFile = nullptr;
    QPushButton* btnFilter = nullptr;
    QGroupBox* grpSitesSensors = nullptr;
    TSitesSensorsFrame* frmSitesSensors = nullptr;
    QGroupBox* grpCustomParams = nullptr;
    QTableWidget* vlOtherParams = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* btnHelp = nullptr;

public slots:
    // Closing goes through the unsaved-changes prompt (frame, Esc, "Close").
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void CreateControls();
    void CreateActions();
    void ConnectHandlers();
    void Open();

    // The unsaved-changes prompt; true when the operation may go on.
    bool ConfirmLeaveGroup();
    void ShowSetupError(const std::exception& e);
    // The group the controls show: the container's at FShownIndex, or the pending one.
    TVidUduzadevGroupItem* ShownGroup() const;
    std::vector<std::string> SelectorTexts() const;
    // Appends a new group numbered `number` to the container and the selector.
    TVidUduzadevGroupItem& AppendNumberedGroup(int number);

    void FillPrinters();
    void SelectApplicationPrinter();
    bool SelectPrinter(const QString& name);
    void FillParamGrid(const std::vector<std::string>& lines);
    std::vector<std::string> ParamGridLines() const;
    void ApplyStartFromCapability(const std::vector<std::string>& special);
    void SetFilterEnabled(bool enabled);     // "Filter File:", its box and its button
    void SetParamGridEnabled(bool enabled);  // the "Custom Params" frame and grid
    void ShowHelpTopic(int topic);

    // The "Sites and Sensors" frame and the filter window. Every call the
    // editor makes into them goes through these, so that the real frame
    // plugs in here.
    void StationsRefreshCache();     // reload the station cache and tree for the filter box's text
    // StationsRefreshCache when the box names another filter than the one
    // loaded, or that filter's file changed since it was loaded.
    void StationsRefreshIfStale();
    void StationsRebuildTree();      // rebuild the tree for the selected view
    void StationsClearSelected();    // empty the selected list
    void StationsFillFromGroup(const TVidUduzadevGroupItem& group);  // selected list := the group's rows
    void StationsStoreIntoGroup(TVidUduzadevGroupItem& group) const; // the group's rows := the selected list
    void StationsSetEnabled(bool enabled);  // the frame, its view list, tree and selected list

    TVidUduzadevGroups& FGroups;
    IReportChooser& FChooser;
    THelpHandler FShowHelp;
    int FShownIndex = -1;  // container/selector index of the shown group; -1: the pending group
    std::unique_ptr<TVidUduzadevGroupItem> FPendingGroup;  // only while the selector has no selection
    TReportItem FReport;                      // working copy of the shown group's report entry
    std::vector<std::string> FSpecialParams;  // working copy of the shown group's SpecialParams
    bool FSaved = true;                       // the controls hold no unsaved edits
    std::string FLoadedFilter;                // filter the station cache was last loaded with
    // "Start From:" as it read just after ShowGroup put the group's StartFrom
    // in. A finished job moves the group's StartFrom on while the editor is
    // open; unless the box was changed since (by the operator, or to "Now"
    // for a report without a period), Save keeps the group's current value.
    QString FShownStartFrom;
    odbc::TConnection* FDatabase = nullptr;   // not owned; the stations' and filters' database
};

}  // namespace mv::ui
