#pragma once

#include "Show.h"
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class ANodeData;
class DevHost;
class Device;
class INodeController;
class QDomElement;

// A node's value list that the window edits.
enum class NodeValues { Inputs, Properties };

// Entry `index` of a node's value list in one show. `controller` is null when the show has
// no such node, controller or entry; `value` is null also when the entry holds no value.
struct NodeValue
{
    INodeController *controller = nullptr;
    ANodeData *value = nullptr;
};
NodeValue nodeValue(const Show *show, int nodeId, NodeValues list, int index);

// What the window changes in a running show. A change made on one instance's copy
// reaches the same device or node on every copy, as the application distributes an
// edited show, so that the copies stay alike and saving (the producer's copy) keeps it.
// GUI thread only, like the shows it edits.
class ShowEditor : public QObject
{
    Q_OBJECT
public:
    explicit ShowEditor(DevHost &host, QObject *parent = nullptr);
    ~ShowEditor() override;

    // Replaces the host's callbacks with ones that ask the active editor (the
    // window's): the show being edited and the window. Before the plug-ins are loaded,
    // as each plug-in keeps the record it was given.
    static void installCallbacks(DevHost &host);
    static ShowEditor *active();
    void setActive();

    DevHost &host() const { return m_host; }
    // The instance whose copy the user edits now: descriptors chosen in editors are
    // resolved there. Null until set; then the producer when that copy goes away.
    Show *editedShow() const;
    void setEditedShow(Show *show);
    QWidget *mainWindow() const { return m_mainWindow; }
    void setMainWindow(QWidget *window) { m_mainWindow = window; }

    // The devices have been started: a device changed by its dialog is started again.
    void setRunning(bool running) { m_running = running; }
    bool isRunning() const { return m_running; }

    // Runs the device's setup dialog; when accepted, the device's configuration goes to
    // its copies on the other instances and each copy that was running is started again.
    // Every copy ends with the configuration the dialog left, deletions included.
    bool setupDevice(Show *show, Device *device, QWidget *parent);
    // Copies the value into property `index` of node `nodeId` on every instance and
    // announces it to each controller. False when the node, the index or the kind of
    // value does not match.
    bool setProperty(int nodeId, int index, const ANodeData &value);
    // Copies the value into entry `index` of the node's `list` on every instance where that
    // holds a value of the same kind, then calls `changed` with it. False, with a warning,
    // when no instance has such an entry.
    bool setNodeValue(int nodeId, NodeValues list, int index, const ANodeData &value,
        const std::function<void(INodeController &, ANodeData &)> &changed);

    bool isModified() const { return m_modified; }
    void setModified(bool modified);

signals:
    void deviceChanged(const QString &typeName, int number);
    // The copy of a device on `show` is a new object now (its old one is deleted): views
    // that held the old one take this one.
    void deviceReplaced(Show *show, Device *device);
    void propertyChanged(int nodeId, int index);
    void modifiedChanged(bool modified);

private:
    // Gives the copy `target` on `copy` the configuration that `element` (the edited
    // device's `xml`) holds; returns the device that holds it afterwards.
    Device *copyConfiguration(
        Show &copy, Device *target, const QDomElement &element, const QString &xml);

    DevHost &m_host;
    QPointer<Show> m_editedShow;
    QPointer<QWidget> m_mainWindow;
    bool m_running = false;
    bool m_modified = false;
};
