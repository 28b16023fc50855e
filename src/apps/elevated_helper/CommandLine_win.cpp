#include "CommandLine.h"

#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

bool processArguments(int, char **, std::vector<std::string> &arguments)
{
    arguments.clear();
    int count = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return false;
    for (int i = 0; i < count; ++i) {
        const int size = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string ansi(size > 0 ? size_t(size) : 1u, '\0');
        if (size > 0)
            WideCharToMultiByte(CP_ACP, 0, wide[i], -1, ansi.data(), size, nullptr, nullptr);
        ansi.resize(ansi.size() - 1); // drop the terminator
        arguments.push_back(ansi);
    }
    LocalFree(wide);
    return true;
}
