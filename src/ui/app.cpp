#include "app.h"

#include "backend.h"
#include "chapter_list.h"
#include "track_list.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QtQml>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace perlane {

void register_qml_types() {
    qmlRegisterType<Backend>("perlane", 0, 2, "Backend");
    qmlRegisterType<track_list::TrackList>("perlane", 0, 2, "TrackList");
    qmlRegisterType<chapter_list::ChapterList>("perlane", 0, 2, "ChapterList");
}

namespace {
QList<QByteArray> startup_files;
}

void set_startup_files(QList<QByteArray> files) { startup_files = std::move(files); }
QList<QByteArray> take_startup_files() { return std::exchange(startup_files, {}); }

namespace {
int signal_pipe[2] = {-1, -1};

void on_signal(int) {
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] auto written = ::write(signal_pipe[1], &byte, 1);
}
} // namespace

void quit_on_termination_signals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_pipe) != 0)
        return;
    auto *notifier =
        new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte;
        [[maybe_unused]] auto got = ::read(signal_pipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

} // namespace perlane
