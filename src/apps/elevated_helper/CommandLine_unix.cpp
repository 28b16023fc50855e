#include "CommandLine.h"

bool processArguments(int argc, char **argv, std::vector<std::string> &arguments)
{
    arguments.clear();
    if (argc < 0 || (argc > 0 && !argv))
        return false;
    for (int i = 0; i < argc; ++i)
        arguments.emplace_back(argv[i] ? argv[i] : "");
    return true;
}
