#include "ShowEditor.h"

#include "DevHost.h"
#include "Device.h"
#include "INodeController.h"
#include "NodeData.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QDomDocument>
#include <QIODevice> // XmlWriter.h needs it
#include <XmlWriter.h>

#include <LMLog.h>

namespace {

// The editor of the window on screen; the plug-ins' callbacks ask it.
QPointer<ShowEditor> s_active;

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

    QString xml;
    {
        XmlWriter writer(&xml);
        device->writeXml(writer);
    }
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
            target->readDom(document.documentElement());
        // Started as DevHost::start starts it.
        if (m_running && (copy->isMaster() || !target->isActiveOnMasterOnly()))
            target->init();
    }
    setModified(true);
    emit deviceChanged(type, number);
    return true;
}

bool ShowEditor::setProperty(int nodeId, int index, const ANodeData &value)
{
    bool changed = false;
    for (const std::unique_ptr<Show> &copy : m_host.instances()) {
        Node *node = copy->graph().node(nodeId);
        INodeController *controller = node ? node->controller() : nullptr;
        if (!controller || index < 0 || size_t(index) >= controller->propertyValues().size())
            continue;
        ANodeData *property = controller->propertyValues()[size_t(index)].get();
        // setValue copies from a value of its own kind only.
        if (!property || property->dataType != value.dataType)
            continue;
        property->setValue(value);
        controller->onPropertyChanged(index);
        changed = true;
    }
    if (!changed) {
        if (LMLog::modeContains(LOG::WARNING)) {
            qCWarning(LMLog::s_lmLogCat).noquote()
                << "[DEVHOST] property" << index << "of node" << nodeId
                << "not changed: no such property of that kind";
        }
        return false;
    }
    setModified(true);
    emit propertyChanged(nodeId, index);
    return true;
}
