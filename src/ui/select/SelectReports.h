#pragma once
// The report selection window "Select Reports": the operator picks a report
// from the catalog by category and sees its properties read from the report
// file. The one instance is created hidden at start-up and lives as long as
// the main window; it also owns the catalog (the schedule file finds its
// groups' reports through it) and discovers the parameters of a report file
// for the group editor.

#include "core/schedule/ReportLookup.h"
#include "engine/TRpe.h"
#include "ui/setup/ReportChooser.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAbstractItemView;
class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListView;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QStandardItemModel;
class QTabWidget;
class QToolButton;
class QTreeView;

namespace mv {
class TReportCatalog;
class TReportItem;
struct TReportCategory;
}  // namespace mv

namespace mv::ui {

inline constexpr const char* kSelectReportsCaption = "Select Reports";
inline constexpr const char* kReportFileMissing = "Error 1201: Report file does not exist.";
inline constexpr const char* kReportNotListed = "Error 1214: Unable to add report file <%p> into list view.";
inline constexpr const char* kPropertiesFailed = "Error 1216: Unable to load/refresh report properties.";

// View styles of the report list, as the schedule file stores them.
enum TListViewStyle : int { vsLargeIcons = 0, vsSmallIcons = 1, vsList = 2, vsDetails = 3 };

class TfrmSelectReports : public QDialog, public IReportChooser, public IReportLookup {
    Q_OBJECT
public:
    // Reads both catalog files from `appDir` (the program's folder, with a
    // trailing "/") and fills the category selector and the list; failures
    // here leave what was filled. The engine bindings are not opened yet:
    // the owner opens them (OpenReportEngine) and decides what an engine that
    // cannot be opened means; unopened bindings try again on first use.
    explicit TfrmSelectReports(const std::string& appDir, QWidget* parent = nullptr);
    ~TfrmSelectReports() override;

    // Opens the engine of both bindings; throws ERpeError (100, 103, 104 or
    // the engine's own) when the engine library cannot be used.
    void OpenReportEngine();
    // Why the report catalog could not be read; empty when it was.
    const std::string& CatalogError() const { return FCatalogError; }

    // IReportChooser
    bool ChooseReport() override;
    const TReportItem& SelectedReport() const override;
    void DiscoverReportParameters(const TReportItem& entry, std::vector<std::string>& params,
                                  std::vector<std::string>& special) override;
    // IReportLookup: the schedule file's groups find their entries here.
    void FindReport(const std::string& key, TReportItem& item) const override;

    // The list's view style (TListViewStyle; other values show large icons).
    int ViewStyle() const { return FViewStyle; }
    void SetViewStyle(int style);
    // Told the list's style at every OK, so that the main window saves it.
    void SetOnViewStyleTaken(std::function<void(int)> onTaken) { FOnViewStyleTaken = std::move(onTaken); }

    int ReportKind() const { return FReportKind; }
    // The entries listed, in list (title) order.
    int ReportCount() const { return static_cast<int>(FEntries.size()); }
    const TReportItem& ReportAt(int row) const { return *FEntries.at(static_cast<std::size_t>(row)); }
    // Row of the selected entry; -1 when none is selected.
    int SelectedRow() const;
    // Selects `row` (-1: removes the selection), as a click would.
    void SelectRow(int row);
    // The view that shows the list in the current style.
    QAbstractItemView* ReportView() const;

    // Handlers, public for tests.
    void cboCategoryChange(int index);
    void actLargeIconsExecute();
    void actSmallIconsExecute();
    void actDetailsExecute();
    void actRefreshExecute();
    void btnClosePropertiesClick();
    void btnOKClick();
    void btnCancelClick();

    // The two engine bindings: summary information, parameter discovery.
    TRpe rpeMain;
    TRpe rpeViewer;

    // Controls, for tests.
    QMenuBar* mnuMain = nullptr;
    QMenu* mnuViews = nullptr;
    QMenu* pmnReports = nullptr;  // the list's context menu
    QAction* actLargeIcons = nullptr;
    QAction* actSmallIcons = nullptr;
    QAction* actDetails = nullptr;
    QAction* actRefresh = nullptr;
    QComboBox* cboCategory = nullptr;
    QTabWidget* pgcReports = nullptr;
    QSplitter* splReports = nullptr;
    QStackedWidget* lvwReports = nullptr;  // the list: icon/list view or details view
    QListView* lvwIcons = nullptr;
    QTreeView* lvwDetails = nullptr;
    QWidget* pnlProperties = nullptr;
    QToolButton* btnCloseProperties = nullptr;
    QLineEdit* edtTitle = nullptr;
    QLineEdit* edtSubject = nullptr;
    QLineEdit* edtAuthor = nullptr;
    QLineEdit* edtCategory = nullptr;
    QPlainTextEdit* memComments = nullptr;
    QLineEdit* edtKeywords = nullptr;
    QLineEdit* edtFileName = nullptr;
    QLineEdit* edtCreated = nullptr;
    QLineEdit* edtSaved = nullptr;
    QLineEdit* edtAccessed = nullptr;
    QCheckBox* chkEnabled = nullptr;
    QCheckBox* chkTimeRange = nullptr;
    QCheckBox* chkFilter = nullptr;
    QCheckBox* chkSiteLists = nullptr;
    QCheckBox* chkSensorLists = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void CreateControls();
    QWidget* CreatePropertiesPanel(QWidget* parent);
    void ConnectHandlers();
    void FillCategories();
    void FillReports(const std::string& section);
    void AddReport(std::unique_ptr<TReportItem> entry);
    void ReportSelectionChanged();
    void ShowProperties(int row);
    void ClearProperties();
    void FillProperties(const TReportItem& entry);
    void CheckViewAction();
    void ShowListPage();

    std::string FAppDir;
    std::unique_ptr<TReportCatalog> FCatalog;
    std::string FCatalogError;
    std::vector<TReportCategory> FCategories;  // by cboCategory's item data
    std::vector<std::unique_ptr<TReportItem>> FEntries;  // in list order
    std::unique_ptr<TReportItem> FSelectedReport;  // created at the first OK
    QStandardItemModel* FModel = nullptr;
    QActionGroup* FViewActions = nullptr;
    int FReportKind = 0;
    int FViewStyle = vsLargeIcons;
    unsigned FFillCount = 0;  // tells a fill that a newer one replaced its list
    std::function<void(int)> FOnViewStyleTaken;
};

}  // namespace mv::ui
