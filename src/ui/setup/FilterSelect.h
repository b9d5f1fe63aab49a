#pragma once
// The filter window "Filters": builds, opens, saves and tries out filter
// files, the SQL conditions that narrow the station list of the group
// editor. The editor opens it from the "..." beside "Filter File:" and takes
// the file it returns on OK, which must be saved.

#include "core/sites/FilterFile.h"

#include <QDialog>
#include <QString>

#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace mv::odbc {
class TConnection;
}

namespace mv::ui {

class TfrmFilterSelect : public QDialog {
    Q_OBJECT
public:
    // Reads the columns and values of both sites tables on `connection`
    // (null: none). A table that cannot be read is reported in an error box;
    // the fields read before it stay.
    TfrmFilterSelect(QWidget* owner, odbc::TConnection* connection);
    ~TfrmFilterSelect() override;

    // The saved file's name into `name` when the text box holds what that
    // file holds; returns whether it does.
    bool GetFilterFileName(QString& name) const;
    // Reads the file into the text box; saved on success, unsaved on failure.
    void LoadFilterFile(const QString& name);
    // Writes the text box to the file, which becomes "Filter File:".
    void WriteFilterFile(const QString& name);
    bool FileSaved() const { return FFileSaved; }
    const std::vector<TDataList>& Fields() const { return FFields; }

    QComboBox* cboFilterItem = nullptr;
    QComboBox* cboFilterCondition = nullptr;
    QComboBox* cboFilterValue = nullptr;
    QPlainTextEdit* edtText = nullptr;
    QPushButton* btnAdd = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnOpen = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnSaveAs = nullptr;
    QLineEdit* edtFilterFile = nullptr;
    QTreeWidget* lstSiteSensors = nullptr;
    QPushButton* btnExec = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    void cboFilterItemChange();
    void btnAddClick();
    void btnNewClick();
    void btnOpenClick();
    void btnSaveClick();
    void btnSaveAsClick();
    void btnExecClick();
    void btnOKClick();

protected:
    // The file dialogs; an empty name when the operator cancels. Tests
    // answer them in a subclass.
    virtual QString AskOpenFileName();
    virtual QString AskSaveFileName();

private:
    void ReadFields();

    odbc::TConnection* FConnection;
    std::vector<TDataList> FFields;  // one per entry of "Field:", in its order
    bool FFileSaved = false;
};

}  // namespace mv::ui
