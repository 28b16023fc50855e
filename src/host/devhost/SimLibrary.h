#pragma once

#include <QString>

// The Phidget22 library of this process, in which the host looks up the simulation's control
// calls at run time (it does not link the library, so that it also runs on the vendor's).
// Platform seam: SimLibrary_unix.cpp (dlopen/dlsym), SimLibrary_win.cpp
// (GetModuleHandleW/LoadLibraryW/GetProcAddress).
namespace SimLibrary {

// A function of the library; cast to its real type before calling it.
using Function = void (*)();

// The library's file name on this system: what the plug-in loads and the messages name.
QString fileName();

// The library the Phidget plug-in loaded; without the plug-in, the one the system's loader
// finds. nullptr with the reason when there is none. Never unloaded: the simulation's thread
// lives as long as the process.
void *open(QString *reason);

// The exported function `name` of `library`; nullptr when it has none.
Function resolve(void *library, const char *name);

} // namespace SimLibrary
