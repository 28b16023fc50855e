// lm_devhost: loads the device plug-ins and a show, and runs the show with one
// host instance per producer and media server.
#include "DevHost.h"
#include "DevHostGui.h"
#include "INodeController.h"
#include "NodeGraph.h"
#include "PluginListing.h"
#include "StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <LMLog.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitUsage = 1,
    ExitShow = 2,
    ExitPlugins = 3,
    ExitSave = 4,
    ExitExpectations = 5,
    // Every expectation checked was met, but the run ended before some were due.
    ExitNotChecked = 6
};

LMLog *s_logger = nullptr;

void routeToLogger(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (s_logger)
        s_logger->qtLogHandler(type, context, message);
}

// The logger opens its file quietly; a path that cannot be written is said here.
bool logFileWritable(const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error
            = QStringLiteral("cannot write the log file %1: cannot create its directory").arg(path);
        return false;
    }
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = QStringLiteral("cannot write the log file %1: %2")
                     .arg(path,
                         info.isDir() ? QStringLiteral("it is a directory") : file.errorString());
        return false;
    }
    return true;
}

int usageError(const QString &text)
{
    QTextStream(stderr) << "lm_devhost: " << text << Qt::endl;
    return ExitUsage;
}

void listRegistry(QTextStream &out, const HostRegistry &registry)
{
    const NodeTypeRegistry &r = registry.registry();
    QStringList lines;
    for (auto it = r.controllerNames.cbegin(); it != r.controllerNames.cend(); ++it) {
        lines.append(
            QStringLiteral("  controller %1 \"%2\" (%3)")
                .arg(it.key().toString(QUuid::WithoutBraces), QString::fromStdString(it.value()),
                    QString::fromStdString(r.controllerCategories.value(it.key()))));
    }
    lines.sort();
    out << "device types: " << registry.deviceTypes().join(QStringLiteral(", ")) << Qt::endl;
    for (const QString &line : std::as_const(lines))
        out << line << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    // --gui needs a QApplication, made before anything else of Qt.
    const std::unique_ptr<QCoreApplication> application = DevHostGui::createApplication(argc, argv);
    if (!application)
        return ExitUsage;
    QCoreApplication &app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("lm_devhost"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Development host: loads the device plug-ins and runs a show."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("show"), QStringLiteral("The show file."));
    const QCommandLineOption pluginsOption(QStringLiteral("plugins"),
        QStringLiteral("Directory of the device plug-ins (default: <program dir>/../plugins)."),
        QStringLiteral("dir"));
    const QCommandLineOption forOption(QStringLiteral("for"),
        QStringLiteral("Stop after this many seconds."), QStringLiteral("seconds"));
    const QCommandLineOption saveOption(QStringLiteral("save"),
        QStringLiteral("Write the loaded show to this file (without --for: save and exit)."),
        QStringLiteral("file"));
    const QCommandLineOption logOption(QStringLiteral("log"),
        QStringLiteral("Route every Qt message into this log file."), QStringLiteral("file"));
    const QCommandLineOption logModeOption(QStringLiteral("log-mode"),
        QStringLiteral("Log mode with --log: Developer, Encodage, Repetition, Filage or Show."),
        QStringLiteral("mode"));
    const QCommandLineOption tickOption(QStringLiteral("tick"),
        QStringLiteral("Graph evaluation interval (default 20)."), QStringLiteral("ms"),
        QStringLiteral("20"));
    const QCommandLineOption traceSyncOption(QStringLiteral("trace-sync"),
        QStringLiteral("Also print every sync message between the instances."));
    const QCommandLineOption listOption(
        QStringLiteral("list-plugins"), QStringLiteral("List the device types and node types."));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
        QStringLiteral("With --list-plugins: also every node type's slots, types and defaults."));
    const QCommandLineOption scriptOption(QStringLiteral("script"),
        QStringLiteral("Run the stimuli and expectations of this file instead of the show's."),
        QStringLiteral("file"));
    const QCommandLineOption virtualTimeOption(QStringLiteral("virtual-time"),
        QStringLiteral("Advance time tick by tick without waiting for the clock."));
    const QCommandLineOption tracePhidgetOption(QStringLiteral("trace-phidget22"),
        QStringLiteral("Also print the calls that reach the Phidget22 simulation."));
    parser.addOptions({pluginsOption, forOption, saveOption, logOption, logModeOption, tickOption,
        traceSyncOption, listOption, verboseOption, scriptOption, virtualTimeOption,
        tracePhidgetOption});
    DevHostGui::addOptions(parser);
    parser.process(app);
    DevHostGui::Options gui;
    if (QString error; !DevHostGui::readOptions(parser, &gui, &error))
        return usageError(error);

    const QStringList positional = parser.positionalArguments();
    const bool listOnly = parser.isSet(listOption);
    if (positional.size() > 1)
        return usageError(QStringLiteral("give one show file"));
    if (positional.isEmpty() && !listOnly)
        return usageError(QStringLiteral("no show file given (see --help)"));

    double seconds = -1;
    if (parser.isSet(forOption)) {
        bool ok = false;
        seconds = parser.value(forOption).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > Script::kMaxSeconds)
            return usageError(QStringLiteral("--for needs a number of seconds from 0 to %1")
                                  .arg(Script::kMaxSeconds));
    }
    bool tickOk = false;
    const int tickMs = parser.value(tickOption).toInt(&tickOk);
    if (!tickOk || tickMs < 1 || tickMs > 60000)
        return usageError(QStringLiteral("--tick needs 1 to 60000 milliseconds"));

    QTextStream out(stdout);

    std::unique_ptr<LMLog> logger;
    if (parser.isSet(logModeOption) && !parser.isSet(logOption))
        return usageError(QStringLiteral("--log-mode needs --log FILE"));
    if (parser.isSet(logOption)) {
        const QStringList modes {QStringLiteral("Developer"), QStringLiteral("Encodage"),
            QStringLiteral("Repetition"), QStringLiteral("Filage"), QStringLiteral("Show")};
        const QString mode = parser.value(logModeOption);
        if (parser.isSet(logModeOption) && !modes.contains(mode)) {
            return usageError(QStringLiteral("unknown log mode \"%1\" (one of %2)")
                                  .arg(mode, modes.join(QStringLiteral(", "))));
        }
        if (QString error; !logFileWritable(parser.value(logOption), &error))
            return usageError(error);
        logger = std::make_unique<LMLog>(parser.value(logOption), 10 * 1024 * 1024);
        if (parser.isSet(logModeOption))
            logger->setMode(LMLog::strToLogMode(mode.toStdString()));
        QObject::connect(
            logger.get(), &LMLog::messageLogged, &app, [&out](const LMLogMessage &message) {
                out << "message " << LMLog::toString(message.type()) << " " << message.message()
                    << Qt::endl;
            });
        s_logger = logger.get();
        qInstallMessageHandler(routeToLogger);
    }

    int exitCode = ExitOk;
    {
        DevHost host(out);
        if (gui.enabled)
            DevHostGui::prepareHost(host);
        const bool explicitPlugins = parser.isSet(pluginsOption);
        const QString pluginDir = explicitPlugins
            ? parser.value(pluginsOption)
            : QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../plugins"))
                  .absolutePath();
        QString error;
        if (!host.loadPlugins(pluginDir, &error)) {
            if (explicitPlugins) {
                QTextStream(stderr) << "lm_devhost: " << error << Qt::endl;
                exitCode = ExitPlugins;
            } else {
                out << "warning: " << error << Qt::endl;
            }
        }
        if (exitCode == ExitOk && listOnly) {
            listRegistry(out, host.registry());
            if (parser.isSet(verboseOption))
                PluginListing::printSlots(out, host.registry());
        }
        if (exitCode == ExitOk && !positional.isEmpty()) {
            if (!host.loadShow(positional.first(), &error)) {
                QTextStream(stderr) << "lm_devhost: " << error << Qt::endl;
                exitCode = ExitShow;
            } else {
                out << "show " << positional.first() << ": " << host.instances().size()
                    << " instance(s)" << Qt::endl;
            }
        }
        if (exitCode == ExitOk && !positional.isEmpty() && parser.isSet(scriptOption)) {
            Script script;
            if (!script.loadFile(parser.value(scriptOption), &error)
                || !host.setScript(script, &error)) {
                QTextStream(stderr) << "lm_devhost: " << error << Qt::endl;
                exitCode = ExitShow;
            }
        }
        if (exitCode == ExitOk && !positional.isEmpty() && parser.isSet(virtualTimeOption)
            && seconds < 0 && host.script().isEmpty()) {
            // It would spin for ever.
            QTextStream(stderr) << "lm_devhost: --virtual-time needs --for or scripted entries"
                                << Qt::endl;
            exitCode = ExitUsage;
        }
        // With --gui the show is saved when the window's run ends, with its changes.
        if (exitCode == ExitOk && parser.isSet(saveOption) && !gui.enabled) {
            if (!host.saveShow(parser.value(saveOption), &error)) {
                QTextStream(stderr) << "lm_devhost: " << error << Qt::endl;
                exitCode = ExitSave;
            } else {
                out << "saved " << parser.value(saveOption) << Qt::endl;
            }
        }
        const bool run = exitCode == ExitOk && !positional.isEmpty()
            && (seconds >= 0 || !parser.isSet(saveOption) || gui.enabled);
        if (run) {
            if (parser.isSet(traceSyncOption))
                host.traceSync();
            QString reason;
            if (parser.isSet(tracePhidgetOption) && !host.boards().available(&reason))
                out << "warning: --trace-phidget22: " << reason << Qt::endl;
            host.tracePhidgetCalls(parser.isSet(tracePhidgetOption));
            host.setVirtualTime(parser.isSet(virtualTimeOption));
            host.setRunLength(seconds >= 0 ? std::llround(seconds * 1000.0) : -1);
            // A window stays open after its script, its world running, until closed or
            // --for ends.
            host.setRunsAfterScript(gui.enabled && seconds < 0);
            if (!gui.enabled || seconds >= 0)
                QObject::connect(&host, &DevHost::finished, &app, &QCoreApplication::quit);
            StopSignals::install(app);
            host.start(tickMs);
            std::unique_ptr<DevHostGui::Session> window;
            if (gui.enabled)
                window = std::make_unique<DevHostGui::Session>(
                    host, gui, parser.value(saveOption), out);
            app.exec();
            // However the loop ended (--for, the script, the window, a signal).
            host.endRun();
            out << "stopped" << Qt::endl;
            for (const QString &line : host.expectationReport())
                out << line << Qt::endl;
            if (host.expectationCount(ScriptRunner::Outcome::NotMet) > 0)
                exitCode = ExitExpectations;
            else if (host.expectationCount(ScriptRunner::Outcome::NotChecked) > 0)
                exitCode = ExitNotChecked;
            if (window && !window->finish(&error)) {
                QTextStream(stderr) << "lm_devhost: " << error << Qt::endl;
                exitCode = ExitSave;
            }
        }
    }
    if (logger) {
        qInstallMessageHandler(nullptr);
        s_logger = nullptr;
        logger->flush();
    }
    return exitCode;
}
