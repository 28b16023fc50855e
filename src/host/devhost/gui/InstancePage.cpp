#include "InstancePage.h"

#include "ConnectionsView.h"
#include "Device.h"
#include "DeviceCard.h"
#include "DeviceFactoryInterface.h"
#include "HostRegistry.h"
#include "NodeEdits.h"
#include "NodeGraph.h"
#include "NodeTableModel.h"
#include "PropertyEditor.h"
#include "Show.h"
#include "ShowEditor.h"
#include "ui_InstancePage.h"

#include <QHeaderView>
#include <QSortFilterProxyModel>

InstancePage::InstancePage(
    ShowEditor &editor, NodeEdits &edits, Show &show, const HostRegistry &registry, QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::InstancePage>())
    , m_show(&show)
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("instance_%1").arg(show.instanceName()));
    const QString role = show.appMode() == Show::ProducerMode
        ? tr("producer")
        : tr("media server %1").arg(show.localMediaServerId());
    m_ui->instanceLabel->setText(tr("<b>%1</b>: %2%3")
                                     .arg(show.instanceName().toHtmlEscaped(), role,
                                         show.isMaster() ? tr(", master") : QString()));

    const QList<Device *> devices = show.allDevices();
    for (Device *device : devices) {
        DeviceFactoryInterface *factory = registry.deviceFactory(device->typeName());
        auto *card = new DeviceCard(editor, show, *device,
            factory ? factory->deviceIcon() : QIcon(), m_ui->devicesContents);
        // Before the spacer that keeps the cards at the top.
        m_ui->devicesLayout->insertWidget(m_ui->devicesLayout->count() - 1, card);
        m_cards.append(card);
    }
    // Direct: the editor runs on this thread, and the old card's device is gone already.
    connect(&editor, &ShowEditor::deviceReplaced, this,
        [this, &editor, &registry](Show *replacedOn, Device *device) {
            if (replacedOn != m_show)
                return;
            const QString name = QStringLiteral("device_%1_%2")
                                     .arg(device->typeName())
                                     .arg(device->deviceNumber());
            for (qsizetype i = 0; i < m_cards.size(); ++i) {
                DeviceCard *old = m_cards[i];
                if (old->objectName() != name)
                    continue;
                DeviceFactoryInterface *factory = registry.deviceFactory(device->typeName());
                auto *card = new DeviceCard(editor, *m_show, *device,
                    factory ? factory->deviceIcon() : QIcon(), m_ui->devicesContents);
                // The layout hands back the item that held the old card: it is ours to delete.
                delete m_ui->devicesLayout->replaceWidget(old, card);
                m_cards[i] = card;
                delete old;
                return;
            }
        });
    if (devices.isEmpty()) {
        auto *none = new QLabel(tr("This show has no devices."), m_ui->devicesContents);
        none->setEnabled(false);
        m_ui->devicesLayout->insertWidget(0, none);
    }

    m_model = new NodeTableModel(show, show.graph().registry(), this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_model);
    m_ui->nodesView->setModel(m_proxy);
    m_ui->nodesView->sortByColumn(NodeTableModel::IdColumn, Qt::AscendingOrder);
    m_ui->nodesView->horizontalHeader()->setSectionResizeMode(
        NodeTableModel::IdColumn, QHeaderView::ResizeToContents);
    m_ui->nodesView->setColumnWidth(NodeTableModel::NameColumn, 100);
    m_ui->nodesView->setColumnWidth(NodeTableModel::TypeColumn, 150);
    m_ui->nodesView->setColumnWidth(NodeTableModel::InputsColumn, 150);
    m_ui->nodesView->setColumnWidth(NodeTableModel::OutputsColumn, 200);
    // An edit shows at once, not at the next tick.
    connect(&edits, &NodeEdits::nodeRenamed, m_model, &NodeTableModel::refresh);
    connect(&edits, &NodeEdits::inputChanged, m_model, &NodeTableModel::refresh);

    m_properties = new PropertyEditor(editor, edits, show, m_ui->propertiesArea);
    m_ui->propertiesArea->setWidget(m_properties);
    connect(m_ui->nodesView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        &InstancePage::onCurrentRowChanged);

    m_connections = new ConnectionsView(show, m_ui->connectionsGroup);
    m_ui->connectionsGroupLayout->addWidget(m_connections);
    connect(&edits, &NodeEdits::nodeRenamed, m_connections, &ConnectionsView::reload);
    // A double click on a connection selects the node it feeds.
    connect(m_connections, &QTreeWidget::itemDoubleClicked, this,
        [this](QTreeWidgetItem *item, int column) {
            selectNode(
                item->data(ConnectionsView::FromColumn,
                        column == ConnectionsView::FromColumn ? ConnectionsView::kFromNodeRole
                                                              : ConnectionsView::kToNodeRole)
                    .toInt());
        });

    m_ui->horizontalSplitter->setStretchFactor(0, 1);
    m_ui->horizontalSplitter->setStretchFactor(1, 2);
    m_ui->nodeSplitter->setStretchFactor(0, 1);
    m_ui->nodeSplitter->setStretchFactor(1, 1);
    m_ui->lowerSplitter->setStretchFactor(0, 3);
    m_ui->lowerSplitter->setStretchFactor(1, 2);
}

InstancePage::~InstancePage() = default;

QTableView *InstancePage::nodeView() const
{
    return m_ui->nodesView;
}

bool InstancePage::selectNode(int nodeId)
{
    const int row = m_model->rowOfNode(nodeId);
    if (row < 0)
        return false;
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
    m_ui->nodesView->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_ui->nodesView->scrollTo(index);
    return true;
}

void InstancePage::onCurrentRowChanged(const QModelIndex &current)
{
    m_properties->showNode(
        current.isValid() ? current.data(NodeTableModel::kNodeIdRole).toInt() : -1);
}
