#pragma once
// What the program needs from its surroundings before and around the main
// window: its folder, the choice of a display, one running copy per folder,
// and an orderly end on SIGTERM and SIGINT.

#include <QObject>
#include <QString>

#include <string>

class QLocalServer;
class QSocketNotifier;

namespace mv::ui {

inline constexpr const char* kApplicationTitle = "MV Razova Vedozazez";
inline constexpr const char* kRestoreCommand = "restore";

// The folder of `exePath` with a trailing "/".
std::string AppDirOf(const std::string& exePath);

// Called before the QApplication exists. Without DISPLAY and WAYLAND_DISPLAY
// the program runs on Qt's offscreen platform (unless QT_QPA_PLATFORM names
// another) and answers true: status lines then also go to standard error.
bool PrepareHeadless();

// Whether "/debug" (or "-debug", "--debug") is among the arguments.
bool HasDebugArgument(int argc, char** argv);

// One running copy per user and program folder (two folders hold two
// schedule files, so each may run its own scheduler). The first copy listens
// on a local socket; a later one sends "restore" to it and should exit.
class TSingleInstance : public QObject {
    Q_OBJECT
public:
    explicit TSingleInstance(QString name, QObject* parent = nullptr);
    ~TSingleInstance() override;

    // The socket name for a program folder.
    static QString NameFor(const std::string& appDir);

    // True when this is the first copy (it now listens); false when another
    // copy answered, which has been asked to restore itself.
    bool Start();

signals:
    void restoreRequested();

private:
    void OnNewConnection();
    bool SendRestore() const;

    QString FName;
    QLocalServer* FServer = nullptr;
};

// Turns SIGTERM and SIGINT into a queued signal on the main thread (through
// a self-pipe, since almost nothing is allowed in a signal handler). Only
// one instance may exist at a time.
class TShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit TShutdownSignals(QObject* parent = nullptr);
    ~TShutdownSignals() override;  // restores the default handlers

    // For tests: raises the notification as a signal would.
    static void Simulate();

signals:
    void shutdownRequested(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier* FNotifier = nullptr;
};

}  // namespace mv::ui
