#pragma once
// "&Connect": the dialog "MVReport Database Login", in which the operator
// picks an ODBC data source and gives a user name and password.

#include "ui/app/SchedulerPort.h"

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace mv::ui {

class TMyLoginForm : public QDialog, public ILoginDialog {
    Q_OBJECT
public:
    // `dataSources` fills the list once.
    TMyLoginForm(QWidget* parent, const QStringList& dataSources);

    // Every data source name the ODBC driver manager knows; empty when it
    // cannot list them.
    static QStringList DataSourceNames();

    // Shows `values` and runs modally; on OK `values` takes the selected
    // data source, the user name and the password.
    bool Execute(TLoginValues& values) override;
    // Hands in the values shown the next time the dialog becomes active.
    void SetValues(const TLoginValues& values) { FIn = values; }
    // The results of OK.
    const TLoginValues& Results() const { return FOut; }

    void btnOKClick();

    QComboBox* cboDBAlias = nullptr;
    QLineEdit* edtDBUserName = nullptr;
    QLineEdit* edtDBPassword = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* e) override;

private:
    TLoginValues FIn;
    TLoginValues FOut;
};

}  // namespace mv::ui
