#include "CommandLine.h"
#include "ElevatedHelper.h"

#include <LMLog.h>

#include <QApplication>

#include <string>
#include <vector>

static DefaultQtFormatSetter s_formatSetter;

int main(int argc, char *argv[])
{
    std::vector<std::string> arguments;
    if (!processArguments(argc, argv, arguments))
        return -1;
    std::vector<char *> pointers;
    for (std::string &argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    int count = int(arguments.size());

#if defined(Q_OS_LINUX)
    // Run as a service when there is no display to talk to. An empty variable counts as
    // unset, as it does for Qt itself.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif

    QApplication app(count, pointers.data());
    ElevatedHelper helper;
    helper.hide();
    return app.exec();
}
