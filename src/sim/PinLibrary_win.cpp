// A stand-in DLL that must stay loaded once loaded, as -z nodelete keeps it on Linux: its state
// (or its dispatcher thread) outlives a client's FreeLibrary.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE self = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
            reinterpret_cast<LPCWSTR>(&DllMain), &self);
    }
    return TRUE;
}
