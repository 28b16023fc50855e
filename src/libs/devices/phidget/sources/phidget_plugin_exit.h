#pragma once

// Whether the process is exiting, as opposed to the plug-in being unloaded while the process
// goes on. Destructors that wait for other threads ask it: at exit on Windows the system has
// ended every other thread before they run.
bool processIsExiting();
