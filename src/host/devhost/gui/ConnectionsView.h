#pragma once

#include "Show.h"
#include <QPointer>
#include <QTreeWidget>

// The connections of one show copy, one row each: the output (or output trigger) of a
// node and the input (or input trigger) of the node it feeds, with slot names. Built
// from the graph; reload() after a node is renamed. GUI thread only, like the graph.
class ConnectionsView : public QTreeWidget
{
    Q_OBJECT
public:
    enum Column { FromColumn, ToColumn, KindColumn };
    // On a row's first column: the node it feeds and the node it comes from.
    static constexpr int kToNodeRole = Qt::UserRole;
    static constexpr int kFromNodeRole = Qt::UserRole + 1;

    explicit ConnectionsView(Show &show, QWidget *parent = nullptr);

    void reload();
    // "From -> To (kind)" per row, for a reader that has no eyes.
    QStringList rowTexts() const;

private:
    QPointer<Show> m_show;
};
