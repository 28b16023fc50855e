#pragma once

#include "Show.h"
#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QStringList>

struct NodeTypeRegistry;

// The nodes of one show copy with their names, the input values they read, their output
// values and the triggers they fired, refreshed after every evaluation of the graph. GUI thread
// only, like the graph.
class NodeTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        IdColumn,
        NameColumn,
        TypeColumn,
        InputsColumn,
        OutputsColumn,
        TriggersColumn,
        ColumnCount
    };
    // The node id of a row.
    static constexpr int kNodeIdRole = Qt::UserRole;

    NodeTableModel(Show &show, const NodeTypeRegistry &registry, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int rowOfNode(int nodeId) const;
    // Reads every name, input and output again and announces the cells whose text changed.
    void refresh();

private:
    struct Row
    {
        int nodeId = -1;
        QString name;
        QString type;
        QString inputs;
        QString outputs;
        // Per output trigger: how often it fired.
        QList<int> fired;
    };
    QString inputsText(int nodeId) const;
    QString outputsText(int nodeId) const;
    // Sets the cell's text; true when it changed.
    bool update(int row, int column, const QString &text);
    QString triggersText(const Row &row) const;
    void onTriggerFired(int nodeId, int trigger);

    QPointer<Show> m_show;
    QList<Row> m_rows;
    QHash<int, int> m_rowOfNode;
};
