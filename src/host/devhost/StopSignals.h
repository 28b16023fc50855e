#pragma once

class QCoreApplication;

// Stopping a run from outside ends the event loop as the end of --for does, so that the run
// still prints "stopped" and its expectations report. Platform seam: StopSignals_unix.cpp
// (SIGINT, SIGTERM), StopSignals_win.cpp (Ctrl+C and Ctrl+Break of the console).
namespace StopSignals {

// Called once, on the main thread, before the event loop runs.
void install(QCoreApplication &app);

} // namespace StopSignals
