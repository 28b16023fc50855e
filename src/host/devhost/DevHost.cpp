#include "DevHost.h"

#include "Device.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QDir>
#include <QLocale>
#include <QSaveFile>

namespace {

const QString kStimuliTag = QStringLiteral("stimuli");
const QString kTouchScreenType = QStringLiteral("TouchScreen");

} // namespace

DevHost::DevHost(QTextStream &out, QObject *parent)
    : QObject(parent)
    , m_reporter(out)
    // What the boards' handlers set off has been queued here before a check.
    , m_runner(*this, m_clock, [this] {
        if (m_boards.inUse())
            m_boards.waitIdle();
    })
{
    connect(&m_reporter, &Reporter::printed, this, &DevHost::printed);
    HostCallbacks callbacks;
    callbacks.reportMessage = [this](const QString &message) { print(message); };
    callbacks.markShowModified = [] {};
    callbacks.mainWindow = []() -> QWidget * { return nullptr; };
    // Descriptors chosen in editors are resolved in the producer's copy.
    callbacks.currentShow
        = [this]() -> Show * { return m_shows.empty() ? nullptr : m_shows.front().get(); };
    m_registry.setCallbacks(callbacks);
    connect(&m_clock, &RunClock::ticked, this, &DevHost::onTick);
    connect(&m_clock, &RunClock::lengthReached, this, &DevHost::finish);
    connect(&m_runner, &ScriptRunner::entryRun, this, &DevHost::entryRun);
    connect(&m_runner, &ScriptRunner::scriptEnded, this, &DevHost::scriptEnded);
}

DevHost::~DevHost()
{
    stop();
    // Shows (devices, controllers) go before the plug-ins that made them.
    m_shows.clear();
}

void DevHost::print(const QString &line)
{
    m_reporter.print(line);
}

bool DevHost::loadPlugins(const QString &directory, QString *error)
{
    const QDir dir(directory);
    if (!dir.exists() || !dir.isReadable()) {
        if (error)
            *error = QStringLiteral("plug-in directory %1 cannot be read").arg(directory);
        return false;
    }
    const QList<HostRegistry::PluginLoad> loads
        = m_registry.loadPluginDirectory(dir.absolutePath());
    for (const HostRegistry::PluginLoad &load : loads) {
        const QString file = QFileInfo(load.fileName).fileName();
        if (load.ok)
            print(QStringLiteral("plug-in %1: device type \"%2\"").arg(file, load.deviceType));
        else
            print(QStringLiteral("plug-in %1 failed to load: %2").arg(file, load.error));
    }
    return true;
}

bool DevHost::loadShow(const QString &path, QString *error)
{
    m_showPath = path;
    return m_file.load(path, error) && buildInstances(error);
}

bool DevHost::loadShowText(const QByteArray &xml, QString *error)
{
    m_showPath.clear();
    return m_file.parse(xml, error) && buildInstances(error);
}

bool DevHost::buildInstances(QString *error)
{
    stop();
    m_reporter.clear();
    m_shows.clear();
    m_runner.dropScript();
    for (const InstanceConfig &inst : m_file.instances()) {
        auto show = std::make_unique<Show>(m_registry.registry());
        if (!m_file.populate(*show, inst, m_registry, error)) {
            m_shows.clear();
            return false;
        }
        m_bus.attach(show.get());
        m_reporter.watch(show.get());
        m_shows.push_back(std::move(show));
    }
    // The scripted entries are part of the show: refused with it, before any run.
    QDomElement stimuli;
    for (const QDomElement &section : m_file.otherSections()) {
        if (section.tagName() != kStimuliTag)
            continue;
        if (!stimuli.isNull()) {
            if (error)
                *error
                    = QStringLiteral("<stimuli> given twice (line %1)").arg(section.lineNumber());
            m_shows.clear();
            return false;
        }
        stimuli = section;
    }
    Script script;
    if (!script.parseSection(stimuli, QStringLiteral("stimuli"), error)
        || !setScript(script, error)) {
        m_shows.clear();
        return false;
    }
    return true;
}

bool DevHost::setScript(const Script &script, QString *error)
{
    return m_runner.setScript(script, error);
}

QString DevHost::showText() const
{
    if (m_shows.empty())
        return QString();
    return ShowFile::save(
        *m_shows.front(), m_file.showName(), m_file.instances(), m_file.otherSections());
}

bool DevHost::saveShow(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write(showText().toUtf8());
    if (!file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void DevHost::start(int tickMs)
{
    for (const std::unique_ptr<Show> &show : m_shows) {
        for (Device *device : show->allDevices()) {
            if (show->isMaster() || !device->isActiveOnMasterOnly())
                device->init();
        }
    }
    for (const std::unique_ptr<Show> &show : m_shows) {
        if (show->isMaster())
            m_bus.sendFullState(show.get());
    }
    m_runner.start();
    m_clock.start(tickMs, m_shows);
}

void DevHost::stop()
{
    m_clock.stop();
}

void DevHost::onTick()
{
    if (const QString warning = m_clock.advance(); !warning.isEmpty())
        print(warning);
    evaluateAll();
    if (m_tracePhidget) {
        for (const QString &line : m_boards.newLogLines())
            print(QStringLiteral("[phidget22] %1").arg(line));
    }
    // Writes the graphs made since the last tick have completed on the simulation's thread.
    if (m_boards.inUse())
        m_boards.waitIdle();
    for (const QString &line : m_boards.pollOutputs())
        print(line);
    m_runner.runDue(m_clock.dueTime());
    if (!m_clock.isRunning())
        return;
    if (m_clock.virtualLengthReached() || m_runner.settledAfterScript())
        finish();
}

void DevHost::finish()
{
    if (!m_clock.isRunning())
        return;
    endRun();
    emit finished();
}

void DevHost::endRun()
{
    if (!m_clock.isRunning())
        return;
    stop();
    m_runner.endRun();
}

bool DevHost::pushStimulus(const QString &command, QString *error)
{
    return m_runner.push(command, error);
}

int DevHost::touch(int server, int output, const QPointF &pos)
{
    Show *show = mediaServerInstance(server);
    if (!show)
        return 0;
    QString outputName;
    if (const Screen *screen = show->getMediaServers().value(server);
        screen && screen->screenSet()) {
        for (const ScreenOutput &o : screen->screenSet()->getScreenOutputs()) {
            if (o.id() == output)
                outputName = QStringLiteral(" \"%1\"").arg(o.getName());
        }
    }
    print(QStringLiteral("[%1] touch (%2, %3) on output %4%5")
              .arg(show->instanceName(),
                  QString::number(pos.x(), 'g', QLocale::FloatingPointShortest),
                  QString::number(pos.y(), 'g', QLocale::FloatingPointShortest),
                  QString::number(output), outputName));
    emit touched(server, output, pos);
    int reached = 0;
    for (Device *device : show->devicesOfType(kTouchScreenType)) {
        // By name: the host knows the slot, not the plug-in's class. Direct: the
        // device lives on this thread, as every instance does here.
        if (QMetaObject::invokeMethod(device, "onServerOutputTouched", Qt::DirectConnection,
                Q_ARG(int, server), Q_ARG(int, output), Q_ARG(QPointF, pos))) {
            ++reached;
        } else {
            print(QStringLiteral("[%1] touch screen device #%2 has no slot "
                                 "onServerOutputTouched(int, int, QPointF)")
                      .arg(show->instanceName(), QString::number(device->deviceNumber())));
        }
    }
    return reached;
}

int DevHost::firedCount(const Show *show, int nodeId, int trigger) const
{
    return m_reporter.firedCount(show, nodeId, trigger);
}

void DevHost::evaluateAll()
{
    for (const std::unique_ptr<Show> &show : m_shows)
        show->graph().evaluate();
}

void DevHost::traceSync()
{
    m_reporter.traceSync(m_bus);
}
