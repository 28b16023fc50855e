#pragma once

#include "HostRegistry.h"
#include "ShowFile.h"
#include "SyncBus.h"

#include <QHash>
#include <QObject>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <vector>

class ANodeData;
class Node;
class Show;

// The development host: loads plug-ins and a show, runs one Show per instance
// joined by the sync bus and reports every output change and every trigger fired.
// Stimuli and a window hook in through instances() and the show file's other sections.
class DevHost : public QObject
{
    Q_OBJECT
public:
    explicit DevHost(QTextStream &out, QObject *parent = nullptr);
    ~DevHost() override;

    HostRegistry &registry() { return m_registry; }
    SyncBus &bus() { return m_bus; }

    // Loads every plug-in of the directory and reports each failure with its reason.
    // False when the directory cannot be read.
    bool loadPlugins(const QString &directory, QString *error);
    bool loadShow(const QString &path, QString *error);
    bool loadShowText(const QByteArray &xml, QString *error);
    // The producer's copy as a show file.
    QString showText() const;
    bool saveShow(const QString &path, QString *error) const;

    const std::vector<std::unique_ptr<Show>> &instances() const { return m_shows; }
    Show *instance(const QString &name) const;
    const ShowFile &showFile() const { return m_file; }

    // init() on the devices (on the master only for those active there only), the
    // master's full state to the others, then the evaluation every tickMs.
    void start(int tickMs);
    void stop();
    // One evaluation of every instance's graph, with the report of what changed.
    void evaluateAll();
    // Prints every sync message as it leaves its instance.
    void traceSync();

    // The text by which the console shows a value.
    static QString describe(const ANodeData *value);

private:
    bool buildInstances(QString *error);
    void watch(Show *show);
    void reportOutputs(Show *show, Node *node);
    void print(const QString &line);

    QTextStream &m_out;
    HostRegistry m_registry;
    SyncBus m_bus;
    ShowFile m_file;
    std::vector<std::unique_ptr<Show>> m_shows;
    QTimer m_tickTimer;
    // Per show and node, the last reported text of every output.
    QHash<const Show *, QHash<int, QStringList>> m_reported;
};
