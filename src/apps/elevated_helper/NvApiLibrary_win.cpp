#include "NvApi.h"

#include <windows.h>

QString NvApi::libraryPath()
{
    return QStringLiteral("nvapi64.dll");
}

bool NvApi::loadLibrary()
{
    // The helper runs as administrator: the driver is looked up beside the program and in the
    // system folder only, never in the current folder or on PATH.
    m_library = LoadLibraryExW(L"nvapi64.dll", nullptr,
        LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    return m_library != nullptr;
}

void NvApi::unloadLibrary()
{
    if (m_library)
        FreeLibrary(static_cast<HMODULE>(m_library));
    m_library = nullptr;
}

QFunctionPointer NvApi::resolveSymbol(const char *name)
{
    return m_library
        ? reinterpret_cast<QFunctionPointer>(GetProcAddress(static_cast<HMODULE>(m_library), name))
        : nullptr;
}
