#include "ShowEditor.h"

#include "DevHost.h"
#include "Device.h"
#include "DeviceFactoryInterface.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"
#include "ValueText.h"

#include <QDomDocument>
#include <XmlWriter.h>

#include <LMLog.h>

namespace {

// The editor of the window on screen; the plug-ins' callbacks ask it.
QPointer<ShowEditor> s_active;

QString xmlOf(Device &device)
{
    QString xml;
    {
        XmlWriter writer(&xml);
        device.writeXml(writer);
    }
    return xml;
}

// Whether the value designates that device, as its stored form says ("deviceType",
// "deviceId"): the host knows no plug-in's data types.
bool designates(const ANodeData &value, const QString &type, int number)
{
    QDomDocument document;
    if (!document.setContent(ValueText::storedXml(value)))
        return false;
    const QDomElement e = document.documentElement();
    bool ok = false;
    const int id = e.attribute(QStringLiteral("deviceId")).toInt(&ok);
    return ok && id == number && e.attribute(QStringLiteral("deviceType")) == type;
}

} // namespace

ShowEditor::ShowEditor(DevHost &host, QObject *parent)
    : QObject(parent)
    , m_host(host)
{ }

ShowEditor::~ShowEditor() = default;

void ShowEditor::installCallbacks(DevHost &host)
{
    HostCallbacks callbacks = host.registry().callbacks();
    // A plug-in keeps the first record it is given for as long as it is loaded, which
    // may outlive this host: these callables therefore hold no pointer to it.
    callbacks.currentShow = []() -> Show * { return s_active ? s_active->editedShow() : nullptr; };
    callbacks.mainWindow
        = []() -> QWidget * { return s_active ? s_active->mainWindow() : nullptr; };
    callbacks.markShowModified = [] {
        if (s_active)
            s_active->setModified(true);
    };
    host.registry().setCallbacks(callbacks);
}

ShowEditor *ShowEditor::active()
{
    return s_active;
}

void ShowEditor::setActive()
{
    s_active = this;
}

Show *ShowEditor::editedShow() const
{
    if (m_editedShow)
        return m_editedShow;
    return m_host.instances().empty() ? nullptr : m_host.instances().front().get();
}

void ShowEditor::setEditedShow(Show *show)
{
    m_editedShow = show;
}

void ShowEditor::setModified(bool modified)
{
    if (modified == m_modified)
        return;
    m_modified = modified;
    emit modifiedChanged(modified);
}

bool ShowEditor::setupDevice(Show *show, Device *device, QWidget *parent)
{
    if (!show || !device)
        return false;
    setEditedShow(show);
    const QString type = device->typeName();
    const int number = device->deviceNumber();
    if (!device->showSetupDialog(parent))
        return false;
    // The dialog may have run a nested event loop in which the show went away.
    Device *edited = show->findDevice(type, number);
    if (edited != device)
        return false;

    const QString xml = xmlOf(*device);
    QDomDocument document;
    const bool readable = document.setContent(xml);
    if (!readable && LMLog::modeContains(LOG::WARNING)) {
        qCWarning(LMLog::s_lmLogCat).noquote()
            << "[DEVHOST] device" << type << number
            << "wrote XML that does not read back; its other copies are left as they were";
    }
    for (const std::unique_ptr<Show> &copy : m_host.instances()) {
        Device *target = copy->findDevice(type, number);
        if (!target)
            continue;
        if (target != device && readable)
            target = copyConfiguration(*copy, target, document.documentElement(), xml);
        if (!target)
            continue;
        // Started as DevHost::start starts it.
        if (m_running && (copy->isMaster() || !target->isActiveOnMasterOnly()))
            target->init();
    }
    setModified(true);
    emit deviceChanged(type, number);
    return true;
}

Device *ShowEditor::copyConfiguration(
    Show &copy, Device *target, const QDomElement &element, const QString &xml)
{
    target->readDom(element);
    if (xmlOf(*target) == xml)
        return target;
    // readDom may merge into what the device holds, as a show file is loaded (the Phidget
    // device keeps the channels that the element does not name): a copy that still
    // differs is replaced by a device that starts fresh and reads the same element.
    const QString type = target->typeName();
    const int number = target->deviceNumber();
    DeviceFactoryInterface *factory = m_host.registry().deviceFactory(type);
    Device *fresh = factory ? factory->createDevice(copy.isMaster()) : nullptr;
    if (fresh)
        fresh->readDom(element);
    if (!fresh || fresh->typeName() != type || fresh->deviceNumber() != number
        || xmlOf(*fresh) != xml) {
        delete fresh;
        if (LMLog::modeContains(LOG::WARNING)) {
            qCWarning(LMLog::s_lmLogCat).noquote()
                << "[DEVHOST] device" << type << number << "on" << copy.instanceName()
                << "does not take the edited configuration; it keeps what it read of it";
        }
        return target;
    }
    copy.removeDevice(type, number);
    QString reason;
    if (!copy.addDevice(fresh, &reason)) {
        // Not expected: the number was just freed.
        if (LMLog::modeContains(LOG::WARNING))
            qCWarning(LMLog::s_lmLogCat).noquote() << "[DEVHOST]" << reason;
        return nullptr;
    }
    // The controllers followed the deleted device: they look the device up again, as
    // they do when a show is loaded.
    for (Node *node : copy.graph().nodes()) {
        INodeController *controller = node->controller();
        if (!controller)
            continue;
        const auto &properties = controller->propertyValues();
        for (size_t i = 0; i < properties.size(); ++i) {
            if (properties[i] && designates(*properties[i], type, number))
                controller->onPropertyChanged(int(i));
        }
    }
    emit deviceReplaced(&copy, fresh);
    return fresh;
}

bool ShowEditor::setProperty(int nodeId, int index, const ANodeData &value)
{
    if (!setNodeValue(nodeId, NodeValues::Properties, index, value,
            [index](INodeController &controller, ANodeData &) {
                controller.onPropertyChanged(index);
            })) {
        return false;
    }
    setModified(true);
    emit propertyChanged(nodeId, index);
    return true;
}

bool ShowEditor::setNodeValue(int nodeId, NodeValues list, int index, const ANodeData &value,
    const std::function<void(INodeController &, ANodeData &)> &changed)
{
    bool any = false;
    for (const std::unique_ptr<Show> &copy : m_host.instances()) {
        const NodeValue target = nodeValue(copy.get(), nodeId, list, index);
        // setValue copies from a value of its own kind only.
        if (!target.value || target.value->dataType != value.dataType)
            continue;
        target.value->setValue(value);
        changed(*target.controller, *target.value);
        any = true;
    }
    if (!any && LMLog::modeContains(LOG::WARNING)) {
        const bool inputs = list == NodeValues::Inputs;
        qCWarning(LMLog::s_lmLogCat).noquote()
            << "[DEVHOST]" << (inputs ? "input" : "property") << index << "of node" << nodeId
            << "not changed: no such" << (inputs ? "input value" : "property") << "of that kind";
    }
    return any;
}

NodeValue nodeValue(const Show *show, int nodeId, NodeValues list, int index)
{
    Node *node = show ? show->graph().node(nodeId) : nullptr;
    INodeController *controller = node ? node->controller() : nullptr;
    if (!controller || index < 0)
        return {};
    const size_t i = size_t(index);
    if (list == NodeValues::Inputs) {
        const auto &values = controller->inputValues();
        return i < values.size() ? NodeValue {controller, values[i].get()} : NodeValue();
    }
    const auto &values = controller->propertyValues();
    return i < values.size() ? NodeValue {controller, values[i].get()} : NodeValue();
}
