#pragma once

#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class Node;
class Show;
class SyncBus;
class QTextStream;

// The console of a run: every line goes out through print(); every change of a node output
// and every trigger fired on a watched copy of the show becomes a line, and the firings are
// counted for the expectations.
//
// Threads: the host's thread, as every copy of the show is evaluated there.
class Reporter : public QObject
{
    Q_OBJECT
public:
    explicit Reporter(QTextStream &out, QObject *parent = nullptr);

    void print(const QString &line);
    // Reports what changes on `show` from now on: its graph's evaluations and firings.
    void watch(Show *show);
    // Forgets the reported values and firings of the copies that are gone.
    void clear();
    // How often trigger `trigger` of node `nodeId` fired on `show` since it was watched.
    int firedCount(const Show *show, int nodeId, int trigger) const;
    // Prints every sync message of `bus` as it leaves its instance.
    void traceSync(SyncBus &bus);

signals:
    // A console line, as print() writes it (for a window's log).
    void printed(const QString &line);

private:
    void reportOutputs(Show *show, Node *node);

    QTextStream &m_out;
    // Per show and node, the last reported text of every output.
    QHash<const Show *, QHash<int, QStringList>> m_reported;
    // Per show, (node id, trigger) to the number of firings.
    QHash<const Show *, QHash<QPair<int, int>, int>> m_fired;
};
