#include "StopSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written by the signal handler, read by the notifier on the main thread.
int s_stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    // Async-signal-safe; a full pipe already holds a stop.
    [[maybe_unused]] const ssize_t written = ::write(s_stopPipe[1], &byte, 1);
}

} // namespace

void StopSignals::install(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_stopPipe) != 0)
        return;
    for (const int fd : s_stopPipe)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    auto *notifier = new QSocketNotifier(s_stopPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char buffer[16];
        while (::read(s_stopPipe[0], buffer, sizeof buffer) > 0) { }
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}
