#include "ui/app/ScheduleMain.h"

#include "core/runtime/StatusMessages.h"
#include "core/schedule/ScheduleDataDef.h"
#include "core/schedule/ScheduleFile.h"
#include "ui/app/HelpViewer.h"
#include "ui/app/MessageBoxes.h"
#include "ui/app/PollForm.h"
#include "ui/db/MyLogin.h"
#include "ui/dialogs/AboutForm.h"
#include "ui/dialogs/ExitConfirm.h"
#include "ui/select/SelectReports.h"
#include "ui/setup/ScheduleSetup.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <QToolBar>
#include <QVBoxLayout>

#include <exception>
#include <stdexcept>
#include <utility>

namespace mv::ui {

QString LongHint(const QString& hint) {
    const auto bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.mid(bar + 1);
}

QString ShortHint(const QString& hint) {
    const auto bar = hint.indexOf(QLatin1Char('|'));
    return bar < 0 ? hint : hint.left(bar);
}

namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Stand-ins used until the real runtime is plugged in: nothing is scheduled
// and the database is never connected, and both say so.
class TIdleScheduler final : public ISchedulerPort {
public:
    explicit TIdleScheduler(INextGroupView& view) : FView(view) {}
    void RebuildRunQueue() override { FView.ShowNextGroup("Disabled", "Disabled"); }
    void RunTimerTick() override {}
    void StartProcessNow(IGroupChooser&) override {}
    void StopProcess() override {}
    void RemoveGroup(const TVidUduzadevGroupItem&) override {}
    void Shutdown() override {}

private:
    INextGroupView& FView;
};

class TNoDatabase final : public IDatabasePort {
public:
    explicit TNoDatabase(TStatusLog& log) : FLog(log) {}
    bool IsDatabaseConnected() const override { return false; }
    bool StartupConnect() override {
        FLog.PostStatus("Database NOT connected.");
        return false;
    }
    bool Connect(ILoginDialog&) override {
        FLog.PostStatus("Database NOT connected.");
        return false;
    }
    void Disconnect() override {}
    std::string DataSource() const override { return {}; }

private:
    TStatusLog& FLog;
};

// Runs `body`; an exception becomes the status message "Error 1700: ...".
template <class F>
void GuardStatus(TStatusLog& log, F&& body) {
    try {
        body();
    } catch (const std::exception& ex) {
        log.PostStatus(std::string("Error 1700: ") + ex.what());
    } catch (...) {
        log.PostStatus("Error 1700: unknown error");
    }
}

}  // namespace

// Status messages posted on other threads are drained by a queued call on
// the window's event loop; posting never waits here.
class TfrmVidUduzadevrMain::TWaker final : public IStatusWaker {
public:
    explicit TWaker(TfrmVidUduzadevrMain* window) : FWindow(window) {}
    void RequestDrain() override {
        QMetaObject::invokeMethod(
            FWindow, [w = FWindow] { w->FStatusLog->DrainStatus(); }, Qt::QueuedConnection);
    }

private:
    TfrmVidUduzadevrMain* FWindow;
};

// The file-save dialog of "&Log Status Messages"; lives with the window so
// that it remembers its folder between uses.
class TfrmVidUduzadevrMain::TLogDialog final : public ILogFileDialog {
public:
    explicit TLogDialog(QWidget* parent) : FParent(parent) {}
    std::string InitialDir() const override { return FInitialDir; }
    void SetInitialDir(const std::string& dir) override { FInitialDir = dir; }
    std::optional<std::string> Execute(std::string_view title, std::string_view filter,
                                       std::string_view defaultExt) override {
        QFileDialog dialog(FParent, Q(title), Q(FLastDir.empty() ? FInitialDir : FLastDir));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(QtFileFilters(filter));
        dialog.setDefaultSuffix(Q(defaultExt));
        dialog.setOption(QFileDialog::DontConfirmOverwrite);  // the log is appended to
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        FLastDir = dialog.directory().absolutePath().toStdString();
        return dialog.selectedFiles().first().toStdString();
    }

private:
    QWidget* FParent;
    std::string FInitialDir;
    std::string FLastDir;
};

QStringList QtFileFilters(std::string_view filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (patterns == QLatin1String("*.*")) patterns = QStringLiteral("*");
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return out;
}

TfrmVidUduzadevrMain::TfrmVidUduzadevrMain(TMainWindowOptions options, QWidget* parent)
    : QMainWindow(parent), FOptions(std::move(options)) {
    // 3. Controls with their design values; the timers tick once the event
    //    loop runs.
    CreateControls();
    // 4.
    FFirstShow = true;
    // 5. The status log, with the memo and the waker.
    FStatusLog = std::make_shared<TStatusLog>();
    FWaker = std::make_unique<TWaker>(this);
    FStatusLog->Attach(this, FWaker.get());
    if (FOptions.Headless) FStatusLog->SetEcho(TStatusLog::StdErrEcho());
    // 6. Hints go to the status bar through event().
    // 7. Files beside the executable.
    FAppDir = FOptions.AppDir;
    if (FAppDir.empty()) FAppDir = QCoreApplication::applicationDirPath().toStdString();
    if (FAppDir.back() != '/') FAppDir += '/';
    FScheduleFileName = FAppDir + TScheduleFile::kFileName;
    FHelpFile = FAppDir + kHelpFileName;
    FLogDialog = std::make_unique<TLogDialog>(this);
    // 8. The report selection window, hidden, with the report catalog, and
    //    the report engine of its bindings. An engine that cannot be opened
    //    is shown; the scheduler still starts, because every report job opens
    //    its own engine binding and reports the failure for its group while
    //    keeping the period. Nothing is missing then: the selection window
    //    and its catalog exist, only its bindings are closed and try again
    //    when they are used (report properties then show error 1216).
    FSelectReports = std::make_unique<TfrmSelectReports>(FAppDir, this);
    if (!FSelectReports->CatalogError().empty())
        FStatusLog->PostStatus("Error 1700: " + FSelectReports->CatalogError());
    FSelectReports->SetOnViewStyleTaken([this](int style) {
        if (FScheduleFile) FScheduleFile->SetListViewStyle(style);
    });
    if (FOptions.OpenReportEngine) {
        try {
            FOptions.OpenReportEngine(FSelectReports->rpeMain);
            FOptions.OpenReportEngine(FSelectReports->rpeViewer);
        } catch (const std::exception& ex) {
            FStartupError = ex.what();
            ShowMessage(this, TMessageKind::Error, QString(), QString::fromStdString(FStartupError));
        }
    }
    // 9 to 15.
    LoadStartup();
    ConnectHandlers();
    UpdateActions();
}

TfrmVidUduzadevrMain::~TfrmVidUduzadevrMain() {
    if (!FClosed) FinishClose();
}

void TfrmVidUduzadevrMain::CreateControls() {
    setWindowTitle(QString::fromLatin1(kMainCaption));
    setFont(QFont(QStringLiteral("Arial"), 8));
    move(kDefaultLeft, kDefaultTop);
    resize(kDefaultWidth, kDefaultHeight);

    CreateActions();

    auto* fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(actExit);
    auto* dbMenu = menuBar()->addMenu(tr("Database"));
    dbMenu->addAction(actConnect);
    dbMenu->addAction(actDisconnect);
    auto* processMenu = menuBar()->addMenu(tr("Process"));
    processMenu->addAction(actStartProcessNow);
    processMenu->addAction(actStopProcess);
    auto* optionsMenu = menuBar()->addMenu(tr("&Options"));
    optionsMenu->addAction(actSetup);
    optionsMenu->addSeparator();
    optionsMenu->addAction(actClearMessages);
    optionsMenu->addAction(actLogMessages);
    auto* helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->addAction(actHelp);
    helpMenu->addAction(actContents);
    helpMenu->addSeparator();
    helpMenu->addAction(actAbout);

    tbrMain = addToolBar(tr("Tools"));
    tbrMain->setObjectName(QStringLiteral("tbrMain"));
    tbrMain->setMovable(false);
    tbrMain->setIconSize(QSize(16, 16));
    for (QAction* a : {actStartProcessNow, actStopProcess, actSetup}) tbrMain->addAction(a);
    tbrMain->addSeparator();
    for (QAction* a : {actClearMessages, actLogMessages, actHelp}) tbrMain->addAction(a);
    for (QAction* a : tbrMain->actions()) {
        if (QWidget* button = tbrMain->widgetForAction(a); button && !a->isSeparator()) {
            button->setFixedWidth(28);
            // Tool buttons show their hints in the status bar only.
            button->setToolTip(QString());
            button->installEventFilter(this);
        }
    }

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* pnlTop = new QFrame(central);
    pnlTop->setFrameShape(QFrame::StyledPanel);
    pnlTop->setFrameShadow(QFrame::Raised);
    auto* top = new QHBoxLayout(pnlTop);
    top->setContentsMargins(6, 3, 6, 3);
    top->addWidget(new QLabel(tr("Status"), pnlTop));
    top->addSpacing(24);
    top->addWidget(new QLabel(tr("Data Source:"), pnlTop));
    lblDataSource = new QLabel(pnlTop);
    lblDataSource->setObjectName(QStringLiteral("lblDataSource"));
    top->addWidget(lblDataSource, 1);
    layout->addWidget(pnlTop);

    memoStatus = new QPlainTextEdit(central);
    memoStatus->setObjectName(QStringLiteral("memoStatus"));
    memoStatus->setReadOnly(true);
    memoStatus->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoStatus->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoStatus->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoStatus->setUndoRedoEnabled(false);
    layout->addWidget(memoStatus, 1);

    auto* pnlBottom = new QFrame(central);
    pnlBottom->setFrameShape(QFrame::StyledPanel);
    pnlBottom->setFrameShadow(QFrame::Raised);
    auto* bottom = new QGridLayout(pnlBottom);
    bottom->setContentsMargins(8, 4, 8, 4);
    bottom->setHorizontalSpacing(16);
    bottom->setVerticalSpacing(2);
    bottom->addWidget(new QLabel(tr("Next Group:"), pnlBottom), 0, 0);
    bottom->addWidget(new QLabel(tr("Next Time: "), pnlBottom), 0, 1);
    const QString groupHint = tr("The group that is processed next.");
    const QString timeHint = tr("Next process time");
    lblPollGroup = new QLabel(tr("Disabled"), pnlBottom);
    lblPollGroup->setObjectName(QStringLiteral("lblPollGroup"));
    lblPollGroup->setToolTip(groupHint);
    lblPollGroup->setStatusTip(groupHint);
    lblPollTime = new QLabel(tr("Disabled"), pnlBottom);
    lblPollTime->setObjectName(QStringLiteral("lblPollTime"));
    lblPollTime->setToolTip(timeHint);
    lblPollTime->setStatusTip(timeHint);
    lblPollTime->setMinimumWidth(QFontMetrics(QFont(QStringLiteral("Arial"), 8))
                                     .horizontalAdvance(QStringLiteral("00/00/0000 00:00:00 ")));
    bottom->addWidget(lblPollGroup, 1, 0);
    bottom->addWidget(lblPollTime, 1, 1);

    radDetail = new QGroupBox(tr("Detail Level"), pnlBottom);
    radDetail->setObjectName(QStringLiteral("radDetail"));
    const QString detailHint = tr("Detail level of status messages.");
    radDetail->setToolTip(detailHint);
    radDetail->setStatusTip(detailHint);
    auto* radios = new QHBoxLayout(radDetail);
    radios->setContentsMargins(6, 2, 6, 2);
    FDetailButtons = new QButtonGroup(radDetail);
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(Q(kDetailLevelNames[i]), radDetail);
        b->setStatusTip(detailHint);
        FDetailButtons->addButton(b, i);
        radios->addWidget(b);
    }
    FDetailButtons->button(dlMedium)->setChecked(true);
    bottom->addWidget(radDetail, 0, 2, 2, 1, Qt::AlignRight);
    bottom->setColumnStretch(2, 1);
    layout->addWidget(pnlBottom);
    setCentralWidget(central);

    pnlStatus0 = new QLabel(this);
    pnlStatus0->setFixedWidth(120);
    pnlStatus0->setFrameShape(QFrame::Panel);
    pnlStatus0->setFrameShadow(QFrame::Sunken);
    pnlStatus1 = new QLabel(this);
    pnlStatus1->setMinimumWidth(100);
    pnlStatus1->setFrameShape(QFrame::Panel);
    pnlStatus1->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(pnlStatus0);
    statusBar()->addWidget(pnlStatus1, 1);

    tmrRunReport = new QTimer(this);
    tmrRunReport->setInterval(kRunTimerInterval);
    tmrINISaver = new QTimer(this);
    tmrINISaver->setInterval(kSaveTimerInterval);
    tmrRunReport->start();
    tmrINISaver->start();
}

void TfrmVidUduzadevrMain::CreateActions() {
    const auto make = [this](const QString& text, const QString& hint, QStyle::StandardPixmap icon) {
        auto* a = new QAction(text, this);
        a->setStatusTip(hint);
        a->setToolTip(ShortHint(hint));
        if (icon != QStyle::SP_CustomBase) a->setIcon(style()->standardIcon(icon));
        return a;
    };
    actExit = make(tr("E&xit"), tr("Exit|Quits the application"), QStyle::SP_DialogCloseButton);
    actConnect = make(tr("&Connect"), tr("Connect to database"), QStyle::SP_CustomBase);
    actDisconnect = make(tr("&Disconnect"), tr("Disconnect from database."), QStyle::SP_CustomBase);
    actStartProcessNow = make(tr("&Start Process Now..."), tr("Will process the groups immediately"),
                              QStyle::SP_MediaPlay);
    actStopProcess = make(tr("Stop &Process"), tr("Stop process  now"), QStyle::SP_MediaStop);
    actSetup = make(tr("Edit &Setup Parameters"), tr("Edit setup parameters|Edit setup parameters."),
                    QStyle::SP_FileDialogDetailedView);
    actClearMessages = make(tr("Clear Status &Messages"), tr("Clear messages|Clear status messages."),
                            QStyle::SP_LineEditClearButton);
    actLogMessages = make(tr("&Log Status Messages"),
                          tr("Log all status and error messages|Log status and error messages to disk."),
                          QStyle::SP_DialogSaveButton);
    actLogMessages->setCheckable(true);
    actHelp = make(tr("&Help"), QString(), QStyle::SP_MessageBoxQuestion);
    actContents = make(tr("&Contents"), QString(), QStyle::SP_CustomBase);
    actAbout = make(tr("About..."), QString(), QStyle::SP_CustomBase);
}

void TfrmVidUduzadevrMain::ConnectHandlers() {
    connect(actExit, &QAction::triggered, this, &TfrmVidUduzadevrMain::actExitExecute);
    connect(actConnect, &QAction::triggered, this, &TfrmVidUduzadevrMain::actConnectExecute);
    connect(actDisconnect, &QAction::triggered, this, &TfrmVidUduzadevrMain::actDisconnectExecute);
    connect(actStartProcessNow, &QAction::triggered, this, &TfrmVidUduzadevrMain::actStartProcessNowExecute);
    connect(actStopProcess, &QAction::triggered, this, &TfrmVidUduzadevrMain::actStopProcessExecute);
    connect(actSetup, &QAction::triggered, this, &TfrmVidUduzadevrMain::actSetupExecute);
    connect(actClearMessages, &QAction::triggered, this, &TfrmVidUduzadevrMain::actClearMessagesExecute);
    connect(actLogMessages, &QAction::triggered, this, &TfrmVidUduzadevrMain::actLogMessagesExecute);
    connect(actHelp, &QAction::triggered, this, &TfrmVidUduzadevrMain::actHelpExecute);
    connect(actContents, &QAction::triggered, this, &TfrmVidUduzadevrMain::actContentsExecute);
    connect(actAbout, &QAction::triggered, this, &TfrmVidUduzadevrMain::actAboutExecute);
    connect(FDetailButtons, &QButtonGroup::idClicked, this, &TfrmVidUduzadevrMain::radDetailClick);
    connect(tmrRunReport, &QTimer::timeout, this, &TfrmVidUduzadevrMain::tmrRunReportTimer);
    connect(tmrINISaver, &QTimer::timeout, this, &TfrmVidUduzadevrMain::tmrINISaverTimer);
}

void TfrmVidUduzadevrMain::LoadStartup() {
    // 9.
    FScheduleGroups = std::make_unique<TVidUduzadevGroups>();
    // 10. A schedule file that cannot be read leaves the groups read so far
    //     and the design position and size.
    FScheduleFile = std::make_unique<TScheduleFile>(
        FScheduleFileName, *FScheduleGroups, *FSelectReports,
        [log = FStatusLog](const std::string& text) { log->PostStatus(text); });
    try {
        FScheduleFile->Open();
        FScheduleFile->LoadStartupSettings();
        TIniFile& ini = FScheduleFile->Ini();
        const char* s = TScheduleFile::kWindowSection;
        const int left = ini.ReadInteger(s, "Left", x());
        const int top = ini.ReadInteger(s, "Top", y());
        const int width = ini.ReadInteger(s, "Width", this->width());
        const int height = ini.ReadInteger(s, "Height", this->height());
        move(left, top);
        resize(width, height);
    } catch (...) {
        // Said at once: the groups are missing until the file can be read.
        if (!FScheduleFile->IsOpen()) FStatusLog->PostStatus("Error 1700: " + FScheduleFile->NotOpenReason());
    }
    // 11. The schedule file keeps the list view style; the selection window
    //     gives it back at OK.
    FSelectReports->SetViewStyle(FScheduleFile->ListViewStyle());
    // 12 to 14. The run queue and the jobs live behind the scheduler port.
    FContext = std::make_unique<TRuntimeContext>(TRuntimeContext{
        *FScheduleGroups, FScheduleFile.get(), *FStatusLog, *this, FAppDir, FOptions.Debug});
    FDatabase = FOptions.MakeDatabase ? FOptions.MakeDatabase(*FContext) : nullptr;
    if (!FDatabase) FDatabase = std::make_unique<TNoDatabase>(*FStatusLog);
    FScheduler = FOptions.MakeScheduler ? FOptions.MakeScheduler(*FContext) : nullptr;
    if (!FScheduler) FScheduler = std::make_unique<TIdleScheduler>(static_cast<INextGroupView&>(*this));
    GuardStatus(*FStatusLog, [this] { FScheduler->RebuildRunQueue(); });
    // 15.
    const int level = FScheduleFile->DetailLevel();
    FStatusLog->SetDetailLevel(level);
    // A level above High (a hand-edited file) counts as High, and shows so.
    if (QAbstractButton* b = FDetailButtons->button(std::clamp(level, 0, 2))) b->setChecked(true);
}

void TfrmVidUduzadevrMain::UpdateActions() {
    const bool connected = FDatabase && FDatabase->IsDatabaseConnected();
    actConnect->setEnabled(!connected);
    actDisconnect->setEnabled(connected);
    actSetup->setEnabled(connected);
    actLogMessages->setChecked(FStatusLog && FStatusLog->Logging());
}

bool TfrmVidUduzadevrMain::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        pnlStatus1->setText(LongHint(static_cast<QStatusTipEvent*>(e)->tip()));
        return true;
    }
    return QMainWindow::event(e);
}

bool TfrmVidUduzadevrMain::eventFilter(QObject* watched, QEvent* e) {
    // Tool buttons show their hints in the status bar only, never as tooltips.
    if (e->type() == QEvent::ToolTip) return true;
    return QMainWindow::eventFilter(watched, e);
}

void TfrmVidUduzadevrMain::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!FFirstShow) return;
    FFirstShow = false;
    // Let the window paint before the connection attempt, which may take a
    // while when the database does not answer.
    QTimer::singleShot(0, this, &TfrmVidUduzadevrMain::FirstShow);
}

void TfrmVidUduzadevrMain::FirstShow() {
    if (FClosed) return;
    GuardStatus(*FStatusLog, [this] {
        if (FDatabase->StartupConnect()) lblDataSource->setText(QString::fromStdString(FDatabase->DataSource()));
    });
    UpdateActions();
}

void TfrmVidUduzadevrMain::closeEvent(QCloseEvent* e) {
    if (!FClosed && !FForceClose) {
        // A shutdown from outside may end the question while it is open; it
        // sets FForceClose, and the window then closes without an answer.
        if (!ConfirmExit(FOptions.ExitConfirmTimeout) && !FForceClose) {
            e->ignore();
            return;
        }
        if (!FForceClose && !SavedBeforeExit()) {
            e->ignore();
            return;
        }
    }
    if (!FClosed) FinishClose();
    e->accept();
}

bool TfrmVidUduzadevrMain::SavedBeforeExit() {
    // The operator is there (they just answered OK): a schedule that cannot
    // be saved is said before anything is lost, while the jobs still run.
    if (!FScheduleFile || !FScheduleFile->IsOpen()) return true;
    FScheduleFile->SetLogging(FStatusLog->Logging());
    if (FScheduleFile->SaveScheduleFile() || FScheduleFile->LastSaveError().empty()) return true;
    const QString text =
        tr("The schedule could not be saved:\n%1\n\nIf the program ends now, the changes since the last save "
           "are lost. Free disk space or make the folder writable, then exit again.\n\nExit anyway?")
            .arg(QString::fromStdString(FScheduleFile->LastSaveError()));
    return ShowMessage(this, {TMessageKind::Warning, tr("Exit"), text, QMessageBox::Yes | QMessageBox::No}) ==
           QMessageBox::Yes;
}

void TfrmVidUduzadevrMain::FinishClose() {
    FClosed = true;
    tmrRunReport->stop();
    tmrINISaver->stop();
    // The jobs are asked to stop and given a bounded time; their run state
    // is kept, then the schedule file is written.
    try {
        if (FScheduler) FScheduler->Shutdown();
    } catch (...) {
    }
    if (FScheduleFile) {
        FScheduleFile->SetLogging(FStatusLog->Logging());
        FScheduleFile->SaveScheduleFile();
        try {
            TIniFile& ini = FScheduleFile->Ini();
            const char* s = TScheduleFile::kWindowSection;
            // Left and Top are the frame's corner (start-up restores them with
            // move()); the normal geometry of a maximized or minimized window
            // is its client area, one frame's width and title bar further in.
            const QPoint frame = geometry().topLeft() - pos();
            const QRect g = isMaximized() || isMinimized()
                                ? QRect(normalGeometry().topLeft() - frame, normalGeometry().size())
                                : QRect(pos(), size());
            ini.WriteInteger(s, "Left", g.x());
            ini.WriteInteger(s, "Top", g.y());
            ini.WriteInteger(s, "Width", g.width());
            ini.WriteInteger(s, "Height", g.height());
            FScheduleFile->Flush();
        } catch (...) {
        }
    }
    FScheduler.reset();
    try {
        FDatabase.reset();  // closes an open connection
    } catch (...) {
    }
    FStatusLog->StopLogging();
    FStatusLog->Detach();
}

void TfrmVidUduzadevrMain::ShutdownNow() {
    if (FClosed) return;
    FForceClose = true;
    AbortExitConfirm();
    if (FScheduleFile) {
        FScheduleFile->SetLogging(FStatusLog->Logging());
        FScheduleFile->SaveScheduleFile();
    }
    close();
}

void TfrmVidUduzadevrMain::RestoreAndRaise() {
    // Back to what it was before it was minimized (maximized stays maximized).
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

IReportChooser* TfrmVidUduzadevrMain::ReportChooser() { return FSelectReports.get(); }

void TfrmVidUduzadevrMain::BeginGroupEdit() { FGroupEditOpen = true; }

void TfrmVidUduzadevrMain::EndGroupEdit(bool groupsChanged) {
    FGroupEditOpen = false;
    if (!groupsChanged || FClosed) return;
    GuardStatus(*FStatusLog, [this] {
        FScheduler->StopProcess();
        FScheduler->RebuildRunQueue();
    });
}

void TfrmVidUduzadevrMain::tmrRunReportTimer() {
    UpdateActions();
    if (FGroupEditOpen || FClosed) return;
    GuardStatus(*FStatusLog, [this] { FScheduler->RunTimerTick(); });
}

void TfrmVidUduzadevrMain::tmrINISaverTimer() {
    if (FSaving || FClosed || !FScheduleFile) return;
    FSaving = true;
    try {
        FScheduleFile->SetLogging(FStatusLog->Logging());
        FScheduleFile->SaveScheduleFile();
    } catch (...) {
    }
    FSaving = false;
}

void TfrmVidUduzadevrMain::actExitExecute() { close(); }

void TfrmVidUduzadevrMain::actConnectExecute() {
    GuardStatus(*FStatusLog, [this] {
        if (!FLoginForm) FLoginForm = new TMyLoginForm(this, TMyLoginForm::DataSourceNames());
        const bool connected = FDatabase->Connect(*FLoginForm);
        // After OK the dialog goes: the next one lists the data sources anew
        // (one added meanwhile is there without a restart).
        if (FLoginForm->result() == QDialog::Accepted) {
            delete FLoginForm;
            FLoginForm = nullptr;
        }
        if (connected) lblDataSource->setText(QString::fromStdString(FDatabase->DataSource()));
    });
    UpdateActions();
}

void TfrmVidUduzadevrMain::actDisconnectExecute() {
    GuardStatus(*FStatusLog, [this] { FDatabase->Disconnect(); });
    UpdateActions();
}

void TfrmVidUduzadevrMain::actStartProcessNowExecute() {
    GuardStatus(*FStatusLog, [this] {
        TPollChooser chooser(this);
        FScheduler->StartProcessNow(chooser);
    });
}

void TfrmVidUduzadevrMain::actStopProcessExecute() {
    GuardStatus(*FStatusLog, [this] { FScheduler->StopProcess(); });
}

void TfrmVidUduzadevrMain::actSetupExecute() {
    BeginGroupEdit();
    bool changed = false;
    GuardStatus(*FStatusLog, [this, &changed] {
        IReportChooser* chooser = ReportChooser();
        if (!chooser) throw std::runtime_error("The report selection window is not available.");
        TfrmOptionSetup editor(
            this, *FScheduleGroups, *chooser,
            [this](int topic) {
                if (FOptions.ShowHelp) FOptions.ShowHelp(FHelpFile, topic);
                else OpenHelp(FHelpFile, topic, *FStatusLog);
            },
            FDatabase ? FDatabase->Connection() : nullptr);
        // A job ending while the editor is open must not find a deleted group.
        editor.OnGroupDeleting = [this](const TVidUduzadevGroupItem& group) {
            if (FScheduler) FScheduler->RemoveGroup(group);
        };
        // Whatever happens from here on, the groups may have changed.
        changed = true;
        editor.exec();
        changed = editor.FGroupsChanged;
    });
    EndGroupEdit(changed);
}

void TfrmVidUduzadevrMain::actClearMessagesExecute() { memoStatus->clear(); }

void TfrmVidUduzadevrMain::actLogMessagesExecute() {
    FStatusLog->ToggleLogging(*FLogDialog, FAppDir);
    UpdateActions();
}

void TfrmVidUduzadevrMain::actHelpExecute() {
    if (FOptions.ShowHelp) FOptions.ShowHelp(FHelpFile, kHelpTableOfContents);
    else OpenHelp(FHelpFile, kHelpTableOfContents, *FStatusLog);
}

void TfrmVidUduzadevrMain::actContentsExecute() {
    if (FOptions.ShowHelp) FOptions.ShowHelp(FHelpFile, kHelpIndex);
    else OpenHelp(FHelpFile, kHelpIndex, *FStatusLog);
}

void TfrmVidUduzadevrMain::actAboutExecute() {
    TfmAbout box(this, QCoreApplication::applicationFilePath().toStdString());
    box.exec();
}

void TfrmVidUduzadevrMain::radDetailClick(int index) { FStatusLog->SetDetailLevel(index); }

// --- IStatusMemo -------------------------------------------------------------

int TfrmVidUduzadevrMain::LineCount() const { return memoStatus->document()->blockCount(); }

void TfrmVidUduzadevrMain::DeleteLastLines(int count) {
    QTextDocument* doc = memoStatus->document();
    const int total = doc->blockCount();
    if (count <= 0) return;
    if (count >= total) {
        memoStatus->clear();
        return;
    }
    // From the end of the last kept line to the end of the text.
    QTextCursor cursor(doc->findBlockByNumber(total - count - 1));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void TfrmVidUduzadevrMain::InsertFirstLine(const std::string& line) {
    QTextCursor cursor(memoStatus->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())) + QLatin1Char('\n'));
}

void TfrmVidUduzadevrMain::ShowFirstLine() {
    QTextCursor cursor(memoStatus->document());
    cursor.movePosition(QTextCursor::Start);
    memoStatus->setTextCursor(cursor);
    memoStatus->ensureCursorVisible();
    memoStatus->horizontalScrollBar()->setValue(0);
}

void TfrmVidUduzadevrMain::ShowNextGroup(std::string_view group, std::string_view time) {
    lblPollGroup->setText(Q(group));
    lblPollTime->setText(Q(time));
}

}  // namespace mv::ui
