#pragma once

// What both development host fuzzers share: one application object, quiet logging and a
// development host with the ping plug-in's device and node types registered.
#include "DevHost.h"
#include "PluginInterface.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzz {

inline void discardMessage(QtMsgType, const QMessageLogContext &, const QString &)
{ }

// Messages are still formatted (that code runs too), but not printed for every input.
inline void setUp(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(discardMessage);
}

// A development host whose registry holds the ping plug-in, as lm_devhost has it after
// loading the plug-in directory.
struct Host
{
    QString output;
    QTextStream stream {&output};
    DevHost host {stream};

    Host()
    {
        // The plug-in's registry is a static of its own; one entry object serves all hosts.
        static PluginInterface plugin;
        QString error;
        if (!host.registry().addFactory(&plugin, QStringLiteral("Ping_bridge"), &error)) {
            std::fprintf(stderr, "cannot register the ping plug-in: %s\n", qPrintable(error));
            std::abort();
        }
    }
};

// Delivers what the sync bus has queued.
inline void deliverQueued()
{
    QCoreApplication::sendPostedEvents();
}

[[noreturn]] inline void fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "%s\n%s\n", what, qPrintable(detail));
    std::abort();
}

} // namespace fuzz
