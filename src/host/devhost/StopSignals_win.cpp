#include "StopSignals.h"

#include <QCoreApplication>

#include <qt_windows.h>

namespace {

BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        // Closing the console, logging off, shutting down: the system ends the process once
        // the handlers return, so the default handling stays.
        return FALSE;
    }
    // The system calls this on a thread of its own: the quit is queued to the main thread.
    // The application lives until the process ends.
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    return TRUE;
}

} // namespace

void StopSignals::install(QCoreApplication &)
{
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}
