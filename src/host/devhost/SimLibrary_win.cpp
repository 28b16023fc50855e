#include "SimLibrary.h"

#include <qt_windows.h>

namespace {
// The vendor's name for the library, which the plug-in imports.
constexpr wchar_t kLibraryName[] = L"phidget22.dll";
} // namespace

QString SimLibrary::fileName()
{
    return QString::fromWCharArray(kLibraryName);
}

void *SimLibrary::open(QString *reason)
{
    // The module the plug-in loaded, with a reference of our own that outlives the plug-in.
    HMODULE library = nullptr;
    if (!::GetModuleHandleExW(0, kLibraryName, &library)) {
        // Not from the current folder or PATH: the program's folder and the system's only.
        library = ::LoadLibraryExW(kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    }
    if (!library && reason) {
        *reason = QStringLiteral("%1 cannot be loaded (Windows error %2)")
                      .arg(fileName())
                      .arg(::GetLastError());
    }
    return library;
}

SimLibrary::Function SimLibrary::resolve(void *library, const char *name)
{
    return reinterpret_cast<Function>(::GetProcAddress(static_cast<HMODULE>(library), name));
}
