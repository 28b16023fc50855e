#include "phidget_test_support.h"

#include "phidget_channel_data.h"
#include "phidget_controllers.h"

#include <DevicePluginTraits.h>
#include <HostRegistry.h>
#include <LMLog.h>
#include <NodeGraph.h>
#include <phidget22_sim.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>
#include <mutex>

NodeTypeRegistry makePhidgetRegistry()
{
    NodeTypeRegistry r;
    HostRegistry::registerHostTypes(r);
    DevicePlugin::fillNodeTypeRegistry(r, HostCallbacks());
    return r;
}

std::unique_ptr<Show> makeInstance(const NodeTypeRegistry &registry, int localId)
{
    auto show = std::make_unique<Show>(registry);
    if (localId > 0) {
        show->setAppMode(Show::MediaServerMode);
        show->setLocalMediaServerId(localId);
        show->setMaster(false);
    }
    show->addMediaServer(std::make_unique<Screen>(1, QStringLiteral("MS1"), "127.0.0.2"));
    return show;
}

PhidgetDevice *addPhidgetDevice(
    Show &show, int number, const PhidgetDeviceConfig &config, const QString &name)
{
    auto *device = new PhidgetDevice(show.isMaster());
    device->setDeviceNumber(number);
    device->setName(name);
    device->setConfig(config);
    return show.addDevice(device) ? device : nullptr;
}

LM_PhidgetChannel phidgetChannel(
    LM_PhidgetChannelType type, int channelNumber, int hubPort, bool vint)
{
    LM_PhidgetChannel channel;
    channel.name = QStringLiteral("ch%1").arg(channelNumber);
    channel.type = type;
    channel.channelNumber = channelNumber;
    channel.hubPort = hubPort;
    channel.isVINTDigital = vint;
    return channel;
}

template<class Controller>
Controller *addChannelNode(Show &show, int deviceNumber, int channelId)
{
    Node *node = show.graph().createNode(Controller::s_controllerType);
    auto *controller = node ? dynamic_cast<Controller *>(node->controller()) : nullptr;
    if (!controller)
        return nullptr;
    auto *channel = controller->template propertyData<PhidgetChannelData>(0);
    channel->device = DeviceDescriptorData(PhidgetDevice::s_typeName, deviceNumber);
    channel->channelID = channelId;
    controller->onPropertyChanged(0);
    return controller;
}
template PhidgetDigitalInputController *addChannelNode(Show &, int, int);
template PhidgetEncoderController *addChannelNode(Show &, int, int);
template PhidgetDigitalOutputController *addChannelNode(Show &, int, int);

QStringList simCalls(const QStringList &names)
{
    const int size = lmsim_phidget_log_text(nullptr, 0);
    QByteArray text(size + 1, '\0');
    lmsim_phidget_log_text(text.data(), size + 1);
    QStringList calls;
    for (const QString &line :
        QString::fromUtf8(text.constData()).split('\n', Qt::SkipEmptyParts)) {
        if (names.isEmpty() || names.contains(line.section('(', 0, 0)))
            calls << line;
    }
    return calls;
}

QStringList simCallNames(const QStringList &names)
{
    QStringList calls = simCalls(names);
    for (QString &call : calls)
        call = call.section('(', 0, 0);
    return calls;
}

void simClear()
{
    lmsim_phidget_log_clear();
}

void deliverEvents()
{
    QCOMPARE(lmsim_phidget_wait_idle(5000), int(EPHIDGET_OK));
    QCoreApplication::sendPostedEvents();
}

namespace {
std::mutex s_captureMutex;
QList<QPair<QtMsgType, QString>> s_captured;
QtMessageHandler s_previous = nullptr;

void captureHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const std::lock_guard<std::mutex> lock(s_captureMutex);
    s_captured.append({type, message});
}

// setMode changes the process-wide mask; any logger will do.
void enableInfo()
{
    static QTemporaryDir dir;
    static LMLog log(dir.filePath(QStringLiteral("phidget-test.log")), 1 << 20);
    log.setMode(lmlog::Encodage);
}
} // namespace

MessageCapture::MessageCapture()
{
    enableInfo();
    const std::lock_guard<std::mutex> lock(s_captureMutex);
    s_captured.clear();
    s_previous = qInstallMessageHandler(captureHandler);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(s_previous);
}

QList<QPair<QtMsgType, QString>> MessageCapture::messages() const
{
    const std::lock_guard<std::mutex> lock(s_captureMutex);
    return s_captured;
}

QStringList MessageCapture::texts() const
{
    QStringList texts;
    for (const auto &message : messages())
        texts << message.second;
    return texts;
}

QString MessageCapture::failure(const char *message, PhidgetReturnCode code)
{
    const char *description = nullptr;
    Phidget_getErrorDescription(code, &description);
    return QStringLiteral("[PHIDGET] %1 Error %2: %3")
        .arg(QString::fromLatin1(message), QString::number(int(code)),
            QString::fromUtf8(description ? description : ""));
}
