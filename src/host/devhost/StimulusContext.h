#pragma once

#include "ShowFile.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <memory>
#include <vector>

class BoardSim;
class INodeController;
class Show;

// What a stimulus kind may reach of the running host: the copies of the show, what the show
// file says of its instances, a touch, the board simulation, the firings counted so far and
// the console. The host implements it; the kinds see nothing else of it, so that a new kind
// is one file against this interface.
//
// Threads: the host's thread.
class StimulusContext
{
public:
    virtual ~StimulusContext() = default;

    // One copy of the show per instance, the producer's first; empty before a show is loaded.
    virtual const std::vector<std::unique_ptr<Show>> &instances() const = 0;
    // The instances as the show file gives them (media servers, their outputs, addresses).
    virtual const QList<InstanceConfig> &instanceConfigs() const = 0;
    // Reports a touch on output `output` of media server `server` to every touch screen
    // device of the instance that runs that server; the number of devices reached.
    virtual int touch(int server, int output, const QPointF &pos) = 0;
    // How often trigger `trigger` of node `nodeId` fired on `show` since the show was loaded.
    virtual int firedCount(const Show *show, int nodeId, int trigger) const = 0;
    virtual BoardSim &boards() = 0;
    virtual const BoardSim &boards() const = 0;
    // A console line.
    virtual void print(const QString &line) = 0;

    // The copy of the instance named `name`, or null.
    Show *instance(const QString &name) const;
    // The instance that runs media server `server`, or null.
    Show *mediaServerInstance(int server) const;
    // The show file's entry of the instance named `name`, or null.
    const InstanceConfig *instanceConfig(const QString &name) const;
    // The copies an expectation looks at: the named one, or every one for an empty name.
    QList<const Show *> selectedInstances(const QString &instance) const;

    // The node that `ref` gives by id or name, in *id; otherwise what is wrong.
    QString resolveNode(const QString &ref, int *id) const;
    // What is wrong with an instance name (empty: every instance), else empty.
    QString instanceProblem(const QString &instance) const;
    // The node's controller in the producer's copy, which stands for every copy (all are
    // built from the same file); null when the show has no such node.
    INodeController *controllerOf(int nodeId) const;
    // `node 2 "Zone"`, or `node 2` for a node without a name.
    QString nodeText(int nodeId) const;
};
