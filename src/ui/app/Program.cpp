#include "ui/app/Program.h"

#include "engine/TRpe.h"
#include "ui/app/AppShell.h"
#include "ui/app/MessageBoxes.h"
#include "ui/app/RuntimeAdapter.h"
#include "ui/app/ScheduleMain.h"

#include <QApplication>

#include <cstdio>

namespace mv::ui {

int RunScheduler(QApplication& app, bool headless, bool debug) {
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    const std::string appDir = QCoreApplication::applicationDirPath().toStdString() + "/";

    TSingleInstance instance(TSingleInstance::NameFor(appDir));
    if (!instance.Start()) {
        std::fprintf(stderr, "%s is already running from %s; it was asked to come to the front.\n",
                     kApplicationTitle, appDir.c_str());
        return 0;
    }
    if (headless) {
        // Nobody can press a button: boxes go to standard error and answer
        // with their first button.
        SetMessageHandler([](const TMessageRequest& r) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(r.Title.isEmpty() ? QString::fromLatin1(kApplicationTitle) : r.Title),
                         qPrintable(r.Text));
            return r.Buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok;
        });
    }

    TMainWindowOptions options;
    options.AppDir = appDir;
    options.Headless = headless;
    options.Debug = debug;
    options.OpenReportEngine = [](TRpe& binding) { binding.OpenPrintEngine(); };
    UseSchedulerRuntime(options);
    TfrmVidUduzadevrMain window(std::move(options));

    TShutdownSignals shutdownSignals;
    QObject::connect(&shutdownSignals, &TShutdownSignals::shutdownRequested, &window, [&window](int) { window.ShutdownNow(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&window] { window.ShutdownNow(); });
    QObject::connect(&instance, &TSingleInstance::restoreRequested, &window, &TfrmVidUduzadevrMain::RestoreAndRaise);

    window.show();
    return app.exec();
}

}  // namespace mv::ui
