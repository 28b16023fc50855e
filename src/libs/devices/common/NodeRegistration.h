#pragma once

#include "NodeTypeRegistry.h"

#include <QColor>
#include <QUuid>

#include <string>
#include <type_traits>

class Node;

// The colour of every device node.
inline QColor deviceNodeColor()
{
    return QColor(153, 102, 204, 255);
}

// Registers a controller class: its factory, name, category and colour, in this
// order. The factory constructs the controller (from (type, node) or from the node
// alone), then runs initValues; the caller owns the result.
template<class Controller>
void registerController(NodeTypeRegistry &registry, const QUuid &type, const std::string &name,
    const std::string &category, const QColor &color = deviceNodeColor())
{
    registry.controllerFactories.insert(type, [type](Node &node) -> INodeController * {
        Controller *controller = nullptr;
        Q_UNUSED(type)
        if constexpr (std::is_constructible_v<Controller, const QUuid &, Node &>)
            controller = new Controller(type, node);
        else
            controller = new Controller(node);
        controller->initValues();
        return controller;
    });
    registry.controllerNames.insert(type, name);
    registry.controllerCategories.insert(type, category);
    registry.controllerColors.insert(type, color);
}
