#include "ui/app/AppShell.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace mv::ui {

std::string AppDirOf(const std::string& exePath) {
    const auto slash = exePath.rfind('/');
    if (slash == std::string::npos) return "./";
    return exePath.substr(0, slash + 1);
}

bool PrepareHeadless() {
    const auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v != nullptr && *v != '\0';
    };
    if (set("DISPLAY") || set("WAYLAND_DISPLAY")) return false;
    if (!set("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return true;
}

bool HasDebugArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "/debug" || a == "-debug" || a == "--debug") return true;
    }
    return false;
}

// --- TSingleInstance ---------------------------------------------------------

TSingleInstance::TSingleInstance(QString name, QObject* parent)
    : QObject(parent), FName(std::move(name)) {}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::NameFor(const std::string& appDir) {
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(appDir), QCryptographicHash::Sha1).toHex().left(12);
    return QStringLiteral("mvscheduler-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool TSingleInstance::SendRestore() const {
    QLocalSocket socket;
    socket.connectToServer(FName);
    if (!socket.waitForConnected(1000)) return false;
    socket.write(kRestoreCommand);
    socket.write("\n");
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}

bool TSingleInstance::Start() {
    if (SendRestore()) return false;
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!FServer->listen(FName)) {
        // A socket file left by a copy that crashed: nobody answered above,
        // so it is stale.
        QLocalServer::removeServer(FName);
        if (!FServer->listen(FName)) return true;  // runs without the restore channel
    }
    connect(FServer, &QLocalServer::newConnection, this, &TSingleInstance::OnNewConnection);
    return true;
}

void TSingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            const QByteArray line = socket->readAll().trimmed();
            if (line == kRestoreCommand) emit restoreRequested();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

// --- TShutdownSignals --------------------------------------------------------

namespace {

int gSignalPipe[2] = {-1, -1};

extern "C" void OnShutdownSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const auto n = ::write(gSignalPipe[1], &b, 1);
    errno = saved;
}

}  // namespace

TShutdownSignals::TShutdownSignals(QObject* parent) : QObject(parent) {
    if (gSignalPipe[0] >= 0) throw std::logic_error("TShutdownSignals exists already");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0)
        throw std::runtime_error(std::string("Cannot create the signal pipe: ") + std::strerror(errno));
    FNotifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TShutdownSignals::OnReadable);
    struct sigaction sa {};
    sa.sa_handler = OnShutdownSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

TShutdownSignals::~TShutdownSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    delete FNotifier;
    ::close(gSignalPipe[0]);
    ::close(gSignalPipe[1]);
    gSignalPipe[0] = gSignalPipe[1] = -1;
}

void TShutdownSignals::Simulate() {
    if (gSignalPipe[1] >= 0) OnShutdownSignal(SIGTERM);
}

void TShutdownSignals::OnReadable() {
    unsigned char b = 0;
    int last = 0;
    while (::read(gSignalPipe[0], &b, 1) == 1) last = b;
    if (last != 0) emit shutdownRequested(last);
}

}  // namespace mv::ui
