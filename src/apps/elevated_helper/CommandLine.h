#pragma once

#include <string>
#include <vector>

// The program's arguments: on Windows split from the wide command line and converted to
// the ANSI code page; elsewhere argv as given. False when the command line cannot be split.
bool processArguments(int argc, char **argv, std::vector<std::string> &arguments);
