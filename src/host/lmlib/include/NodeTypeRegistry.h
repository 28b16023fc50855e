#pragma once

#include <QColor>
#include <QHash>
#include <QPair>
#include <QUuid>

#include <functional>
#include <string>

class ANodeData;
class INodeController;
class INodeDataWidget;
class Node;
class QWidget;
class Show;

using DataConverterKey = QPair<QUuid, QUuid>; // (source type, target type)
using DataConverter = std::function<ANodeData *(const ANodeData &)>;
using ControllerFactory = std::function<INodeController *(Node &)>;
using DataFactory = std::function<ANodeData *()>;
using DataWidgetFactory = std::function<INodeDataWidget *(QWidget *parent)>;

// What a plug-in (or the host itself) contributes to the show graph. Every
// callable returns a new object whose sole ownership passes to the caller.
struct NodeTypeRegistry
{
    QHash<DataConverterKey, DataConverter> dataConverters;
    QHash<QUuid, ControllerFactory> controllerFactories;
    QHash<QUuid, DataFactory> dataFactories;
    QHash<QUuid, DataWidgetFactory> dataWidgetFactories;
    QHash<QUuid, QColor> dataColors;
    QHash<QUuid, std::string> controllerNames;
    // Category paths, levels joined by "/".
    QHash<QUuid, std::string> controllerCategories;
    QHash<QUuid, QColor> controllerColors;
    // Host only: a one-line description per controller type.
    QHash<QUuid, std::string> controllerDescriptions;
};

// What the host hands to a plug-in's registry. The plug-ins use only `currentShow`,
// the show in which device descriptors are resolved.
struct HostCallbacks
{
    std::function<void(const QString &message)> reportMessage;
    std::function<void()> markShowModified;
    std::function<QWidget *()> mainWindow;
    std::function<Show *()> currentShow;
};
