#pragma once

#include "TouchCanvas.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

class ANodeData;
class Device;
class Node;
class Show;

// Finds the "On Touch Zone" nodes that watch a media server output, with the corners
// they read now. The output a touch screen device watches is read from its stored
// attributes, kept until forget(): the host knows the show format, not the plug-in's
// class. GUI thread only, like the shows.
class TouchZones
{
public:
    QList<TouchCanvas::Zone> zonesOf(const Show &show, int server, int output);
    // A device was set up again: read its output anew.
    void forget() { m_watched.clear(); }

    // Input `input` of the node as the node reads it: the connected output, or its own
    // value. Null when there is none.
    static const ANodeData *effectiveInput(const Node &node, int input);

private:
    // (server, output) the device watches; (-1, -1) for none.
    QPair<int, int> watchedOutput(const Show &show, Device *device);

    QHash<QString, QPair<int, int>> m_watched;
};
