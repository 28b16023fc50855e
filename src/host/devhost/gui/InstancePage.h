#pragma once

#include "Show.h"
#include <QList>
#include <QPointer>
#include <QWidget>

#include <memory>

class ConnectionsView;
class DeviceCard;
class HostRegistry;
class NodeEdits;
class NodeTableModel;
class PropertyEditor;
class QSortFilterProxyModel;
class ShowEditor;
class QTableView;

namespace Ui {
class InstancePage;
}

// One instance's tab: its devices, its nodes with their live inputs and outputs, the
// editor of the selected node and the connections between nodes. GUI thread only.
class InstancePage : public QWidget
{
    Q_OBJECT
public:
    InstancePage(ShowEditor &editor, NodeEdits &edits, Show &show, const HostRegistry &registry,
        QWidget *parent = nullptr);
    ~InstancePage() override;

    Show *show() const { return m_show; }
    const QList<DeviceCard *> &deviceCards() const { return m_cards; }
    NodeTableModel *nodeModel() const { return m_model; }
    PropertyEditor *propertyEditor() const { return m_properties; }
    ConnectionsView *connectionsView() const { return m_connections; }
    QTableView *nodeView() const;

    // Selects the node's row (and so shows its properties); false when there is none.
    bool selectNode(int nodeId);

private:
    void onCurrentRowChanged(const QModelIndex &current);

    std::unique_ptr<Ui::InstancePage> m_ui;
    QPointer<Show> m_show;
    QList<DeviceCard *> m_cards;
    NodeTableModel *m_model;
    QSortFilterProxyModel *m_proxy;
    PropertyEditor *m_properties;
    ConnectionsView *m_connections;
};
