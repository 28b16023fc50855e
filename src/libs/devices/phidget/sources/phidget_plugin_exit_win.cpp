#include "phidget_plugin_exit.h"

#include <windows.h>

namespace {
using ShutdownQuery = BOOLEAN(NTAPI *)();

// Resolved when the plug-in is loaded: at exit, the lookup could take a loader lock that an
// ended thread held.
const ShutdownQuery s_dllShutdownInProgress
    = reinterpret_cast<ShutdownQuery>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
} // namespace

bool processIsExiting()
{
    return s_dllShutdownInProgress && s_dllShutdownInProgress();
}
