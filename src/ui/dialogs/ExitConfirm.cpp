#include "ui/dialogs/ExitConfirm.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace mv::ui {

namespace {
bool gConfirming = false;  // a question is open
QPointer<TfrmExitConfirm> gPending;
}  // namespace

TfrmExitConfirm::TfrmExitConfirm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Exit..."));
    // A title without buttons, above every other window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setFont(QFont(QStringLiteral("Arial"), 8));

    Image1 = new QLabel(this);
    Image1->setFixedSize(41, 41);
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    lblConfirm = new QLabel(tr("Are you sure you want to close this application?"), this);
    lblConfirm->setWordWrap(true);
    btnOK = new QPushButton(tr("&OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(tr("&Cancel"), this);
    tmTimeOut = new QTimer(this);
    tmTimeOut->setSingleShot(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(4);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addWidget(lblConfirm, 1);
    layout->addLayout(top);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(btnOK, &QPushButton::clicked, this, [this] { Finish(crOK); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { Finish(crCancel); });
    connect(tmTimeOut, &QTimer::timeout, this, [this] { Finish(crTimeOut); });
    setFixedSize(293, 79);
}

void TfrmExitConfirm::Finish(TResult result) {
    if (FResult != crNone) return;
    FResult = result;
    tmTimeOut->stop();
    hide();
    emit finished(result);
}

void TfrmExitConfirm::reject() { Finish(crCancel); }

bool ConfirmExit(std::chrono::milliseconds timeout) {
    if (gConfirming) return false;
    gConfirming = true;
    try {
        auto dialog = std::make_unique<TfrmExitConfirm>();
        gPending = dialog.get();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect r(QPoint(), dialog->size());
            r.moveCenter(screen->availableGeometry().center());
            dialog->move(r.topLeft());
        }
        QEventLoop loop;
        QObject::connect(dialog.get(), &QDialog::finished, &loop, &QEventLoop::quit);
        dialog->tmTimeOut->start(timeout);
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
        // Events keep flowing while we wait: timers, status messages, jobs.
        while (dialog->Result() == TfrmExitConfirm::crNone) loop.exec();
        const bool yes = dialog->Result() == TfrmExitConfirm::crOK;
        dialog.reset();
        gConfirming = false;
        return yes;
    } catch (...) {
        gConfirming = false;
        return true;
    }
}

TfrmExitConfirm* PendingExitConfirm() { return gPending.data(); }

void AbortExitConfirm() {
    if (gPending) gPending->Finish(TfrmExitConfirm::crCancel);
}

}  // namespace mv::ui
