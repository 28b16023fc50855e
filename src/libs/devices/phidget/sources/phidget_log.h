#pragma once

#include <phidget22.h>

#include <QtGlobal>

// Reports a failed Phidget22 call as "[PHIDGET] <message> Error <code>: <description>", an
// information message with the caller's source location. Any thread.
void logPhidgetCallFailure(
    const char *file, int line, const char *function, const char *message, PhidgetReturnCode code);

#define PHIDGET_LOG_FAILURE(message, code)                                                         \
    logPhidgetCallFailure(QT_MESSAGELOG_FILE, QT_MESSAGELOG_LINE, QT_MESSAGELOG_FUNC, message, code)
