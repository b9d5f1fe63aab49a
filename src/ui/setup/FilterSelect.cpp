#include "ui/setup/FilterSelect.h"

#include "core/sites/SiteQuery.h"
#include "platform/odbc/Odbc.h"
#include "ui/app/MessageBoxes.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace mv::ui {

namespace {

constexpr const char* kNoneDefined = "<None Defined>";

// "Filter Files(*.flt)|*.flt" in the form Qt's file dialogs take.
QString QtNameFilter()
{
    const QString types = QString::fromLatin1(kFilterFileTypes);
    const QString description = types.section('|', 0, 0);
    const QString patterns = types.section('|', 1);
    return description.contains('(') ? description : description + " (" + patterns + ")";
}

}  // namespace

TfrmFilterSelect::TfrmFilterSelect(QWidget* owner, odbc::TConnection* connection)
    : QDialog(owner), FConnection(connection)
{
    setWindowTitle(tr("Filters"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    cboFilterItem = new QComboBox;
    cboFilterItem->setMaxVisibleItems(12);
    cboFilterItem->setMinimumWidth(240);
    cboFilterCondition = new QComboBox;
    for (const char* c : kFilterConditions) cboFilterCondition->addItem(QString::fromLatin1(c));
    cboFilterCondition->setCurrentIndex(0);
    cboFilterValue = new QComboBox;
    cboFilterValue->setEditable(true);
    cboFilterValue->setInsertPolicy(QComboBox::NoInsert);
    cboFilterValue->setMaxVisibleItems(12);
    cboFilterValue->setMinimumWidth(180);
    edtText = new QPlainTextEdit;
    edtText->setLineWrapMode(QPlainTextEdit::NoWrap);
    edtText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edtText->setMinimumHeight(110);
    btnAdd = new QPushButton(tr("&Add"));
    btnNew = new QPushButton(tr("&New"));
    btnOpen = new QPushButton(tr("&Open"));
    btnSave = new QPushButton(tr("&Save"));
    btnSaveAs = new QPushButton(tr("Sa&ve As"));
    edtFilterFile = new QLineEdit;
    edtFilterFile->setReadOnly(true);
    edtFilterFile->setFrame(false);
    edtFilterFile->setToolTip(tr("This file contains the filters specified in MVDesktop"));
    lstSiteSensors = new QTreeWidget;
    lstSiteSensors->setHeaderLabels({tr("StationID"), tr("SensorName")});
    lstSiteSensors->setColumnWidth(0, 150);
    lstSiteSensors->setColumnWidth(1, 150);
    lstSiteSensors->setRootIsDecorated(false);
    lstSiteSensors->setUniformRowHeights(true);
    lstSiteSensors->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstSiteSensors->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstSiteSensors->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstSiteSensors->setMinimumHeight(160);
    btnExec = new QPushButton(tr("&Execute"));
    btnOK = new QPushButton(tr("&OK"));
    btnCancel = new QPushButton(tr("&Cancel"));

    auto* edit = new QGroupBox(tr("Edit Filter"));
    auto* grid = new QGridLayout(edit);
    auto label = [](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(tr("Field:"), cboFilterItem), 0, 0);
    grid->addWidget(label(tr("Condition:"), cboFilterCondition), 0, 1);
    grid->addWidget(label(tr("Value:"), cboFilterValue), 0, 2);
    grid->addWidget(cboFilterItem, 1, 0);
    grid->addWidget(cboFilterCondition, 1, 1);
    grid->addWidget(cboFilterValue, 1, 2);
    grid->addWidget(btnAdd, 1, 3);
    grid->addWidget(edtText, 2, 0, 1, 3);
    auto* fileButtons = new QVBoxLayout;
    for (QPushButton* b : {btnNew, btnOpen, btnSave, btnSaveAs}) fileButtons->addWidget(b);
    fileButtons->addStretch(1);
    grid->addLayout(fileButtons, 2, 3);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(new QLabel(tr("Filter File:")));
    fileRow->addWidget(edtFilterFile, 1);
    grid->addLayout(fileRow, 3, 0, 1, 4);

    auto* data = new QGroupBox(tr("Data"));
    auto* dataLayout = new QVBoxLayout(data);
    dataLayout->addWidget(lstSiteSensors);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btnExec);
    bottom->addStretch(1);
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(edit);
    layout->addWidget(data, 1);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(cboFilterItem, &QComboBox::currentIndexChanged, this, &TfrmFilterSelect::cboFilterItemChange);
    connect(btnAdd, &QPushButton::clicked, this, &TfrmFilterSelect::btnAddClick);
    connect(btnNew, &QPushButton::clicked, this, &TfrmFilterSelect::btnNewClick);
    connect(btnOpen, &QPushButton::clicked, this, &TfrmFilterSelect::btnOpenClick);
    connect(btnSave, &QPushButton::clicked, this, &TfrmFilterSelect::btnSaveClick);
    connect(btnSaveAs, &QPushButton::clicked, this, &TfrmFilterSelect::btnSaveAsClick);
    connect(btnExec, &QPushButton::clicked, this, &TfrmFilterSelect::btnExecClick);
    connect(btnOK, &QPushButton::clicked, this, &TfrmFilterSelect::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    // Any edit of the text leaves it unlike the file; a load sets the flag after.
    connect(edtText, &QPlainTextEdit::textChanged, this, [this] { FFileSaved = false; });

    ReadFields();
    lstSiteSensors->setFocus();
}

TfrmFilterSelect::~TfrmFilterSelect() = default;

void TfrmFilterSelect::ReadFields()
{
    cboFilterItem->clear();
    FFields.clear();
    try {
        if (!FConnection || !FConnection->Connected())
            throw std::runtime_error("The database is not connected.");
        for (const char* table : {"MV_SITES", "MV_SITESENSORS"}) ReadFilterFields(*FConnection, table, FFields);
    } catch (const std::exception& e) {
        ShowMessage(this, TMessageKind::Error, QString(), QString::fromStdString(e.what()));
    }
    {
        const QSignalBlocker block(cboFilterItem);
        for (const TDataList& f : FFields) cboFilterItem->addItem(QString::fromStdString(f.Field));
    }
    if (!FFields.empty()) {
        cboFilterItem->setCurrentIndex(0);
        cboFilterItemChange();
    }
}

bool TfrmFilterSelect::GetFilterFileName(QString& name) const
{
    if (FFileSaved) name = edtFilterFile->text();
    return FFileSaved;
}

void TfrmFilterSelect::LoadFilterFile(const QString& name)
{
    std::vector<std::string> lines;
    try {
        ReadTextLines(name.toStdString(), lines);
        edtText->setPlainText(QString::fromStdString(JoinTextLines(lines)));
        FFileSaved = true;
    } catch (const std::exception&) {
        FFileSaved = false;
    }
}

void TfrmFilterSelect::WriteFilterFile(const QString& name)
{
    try {
        WriteTextLines(name.toStdString(), SplitTextLines(edtText->toPlainText().toStdString()));
        edtFilterFile->setText(name);
        FFileSaved = true;
    } catch (const std::exception&) {
        FFileSaved = false;
    }
}

void TfrmFilterSelect::cboFilterItemChange()
{
    cboFilterValue->clear();
    const int i = cboFilterItem->currentIndex();
    if (i >= 0 && static_cast<std::size_t>(i) < FFields.size() && !FFields[static_cast<std::size_t>(i)].Values.empty()) {
        QStringList values;
        for (const auto& v : FFields[static_cast<std::size_t>(i)].Values) values << QString::fromStdString(v);
        cboFilterValue->addItems(values);
    } else {
        cboFilterValue->addItem(QString::fromLatin1(kNoneDefined));
    }
}

void TfrmFilterSelect::btnAddClick()
{
    const int field = cboFilterItem->currentIndex();
    const int condition = cboFilterCondition->currentIndex();
    const QString value = cboFilterValue->currentText();
    if (field < 0 || static_cast<std::size_t>(field) >= FFields.size() || condition < 0 || value.trimmed().isEmpty())
        return;
    const TDataList& f = FFields[static_cast<std::size_t>(field)];
    const std::string comparison = FilterComparison(f.Field, kFilterConditions[static_cast<std::size_t>(condition)],
                                                    value.toStdString(), f.FDataType);
    edtText->setPlainText(
        QString::fromStdString(AppendComparison(edtText->toPlainText().toStdString(), comparison)));
    FFileSaved = false;
}

void TfrmFilterSelect::btnNewClick()
{
    edtText->clear();
    edtFilterFile->clear();
    FFileSaved = false;
}

void TfrmFilterSelect::btnOpenClick()
{
    const QString name = AskOpenFileName();
    if (name.isEmpty()) return;
    edtFilterFile->setText(name);
    LoadFilterFile(name);
}

void TfrmFilterSelect::btnSaveClick()
{
    if (!edtFilterFile->text().isEmpty())
        WriteFilterFile(edtFilterFile->text());
    else
        btnSaveAsClick();
}

void TfrmFilterSelect::btnSaveAsClick()
{
    const QString name = AskSaveFileName();
    if (!name.isEmpty()) WriteFilterFile(name);
}

void TfrmFilterSelect::btnExecClick()
{
    lstSiteSensors->clear();
    std::vector<TSitePair> rows;
    ExecuteSitePairs(FConnection, edtText->toPlainText().toStdString(), rows);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& r : rows)
        items << new QTreeWidgetItem(QStringList{QString::fromStdString(r.StationID), QString::fromStdString(r.SensorName)});
    lstSiteSensors->addTopLevelItems(items);
    lstSiteSensors->sortItems(0, Qt::AscendingOrder);
}

void TfrmFilterSelect::btnOKClick()
{
    if (FFileSaved) {
        accept();
        return;
    }
    ShowMessage(this, TMessageKind::Information, QString(), tr("Please save the filter file before selecting it"));
}

QString TfrmFilterSelect::AskOpenFileName()
{
    QFileDialog dialog(this, QStringLiteral(" Open Filter File"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QtNameFilter());
    dialog.setDefaultSuffix(QString::fromLatin1(kFilterFileExtension));
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                   : QString();
}

QString TfrmFilterSelect::AskSaveFileName()
{
    QFileDialog dialog(this, QStringLiteral("Save Filter File As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QtNameFilter());
    dialog.setDefaultSuffix(QString::fromLatin1(kFilterFileExtension));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                   : QString();
}

}  // namespace mv::ui
