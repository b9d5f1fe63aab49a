#include "ui/db/MyLogin.h"

#include "platform/odbc/Odbc.h"
#include "ui/app/MessageBoxes.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace mv::ui {

TMyLoginForm::TMyLoginForm(QWidget* parent, const QStringList& dataSources) : QDialog(parent) {
    setWindowTitle(tr("MVReport Database Login"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Arial"), 8));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(5);
    cboDBAlias = new QComboBox(this);
    cboDBAlias->setObjectName(QStringLiteral("cboDBAlias"));
    cboDBAlias->addItems(dataSources);
    cboDBAlias->setCurrentIndex(-1);
    edtDBUserName = new QLineEdit(this);
    edtDBUserName->setObjectName(QStringLiteral("edtDBUserName"));
    edtDBPassword = new QLineEdit(this);
    edtDBPassword->setObjectName(QStringLiteral("edtDBPassword"));
    edtDBPassword->setEchoMode(QLineEdit::Password);

    const auto addRow = [&](int row, const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
    };
    addRow(0, tr("&Database Alias:"), cboDBAlias);
    addRow(1, tr("&User Name:"), edtDBUserName);
    addRow(2, tr("&Password:"), edtDBPassword);
    grid->setColumnStretch(1, 1);

    btnOK = new QPushButton(tr("OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(tr("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    grid->addLayout(buttons, 3, 0, 1, 2);

    setTabOrder(cboDBAlias, edtDBUserName);
    setTabOrder(edtDBUserName, edtDBPassword);
    setTabOrder(edtDBPassword, btnCancel);
    setTabOrder(btnCancel, btnOK);

    connect(btnOK, &QPushButton::clicked, this, &TMyLoginForm::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    setFixedSize(303, 125);
}

QStringList TMyLoginForm::DataSourceNames() {
    QStringList names;
    try {
        for (const auto& ds : odbc::DataSources()) names << QString::fromStdString(ds.Name);
    } catch (...) {
    }
    return names;
}

bool TMyLoginForm::Execute(TLoginValues& values) {
    FIn = values;
    if (exec() != QDialog::Accepted) return false;
    values = FOut;
    return true;
}

void TMyLoginForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Each showing starts from the handed-in values: the first entry equal
    // to the data source ignoring case, or none.
    const QString wanted = QString::fromStdString(FIn.DataSource);
    int found = -1;
    for (int i = 0; i < cboDBAlias->count(); ++i) {
        if (cboDBAlias->itemText(i).compare(wanted, Qt::CaseInsensitive) == 0) {
            found = i;
            break;
        }
    }
    cboDBAlias->setCurrentIndex(found);
    edtDBUserName->setText(QString::fromStdString(FIn.UserName));
    edtDBPassword->setText(QString::fromStdString(FIn.Password));
    cboDBAlias->setFocus();
}

void TMyLoginForm::btnOKClick() {
    if (cboDBAlias->currentIndex() < 0) {
        ShowMessage(this, TMessageKind::Warning, windowTitle(), tr("Please select ODBC connection string"));
        cboDBAlias->setFocus();
        return;
    }
    FOut.DataSource = cboDBAlias->currentText().toStdString();
    FOut.UserName = edtDBUserName->text().toStdString();
    FOut.Password = edtDBPassword->text().toStdString();
    accept();
}

}  // namespace mv::ui
