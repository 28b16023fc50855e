#pragma once

#include <QTextStream>

class HostRegistry;

// What the loaded plug-ins offer, as `--list-plugins --verbose` prints it.
namespace PluginListing {

// Every node type with its slots (inputs, outputs, properties, triggers), their data
// types and defaults, read from a controller that the type's own factory makes. Types
// in category and name order; defaults as the show file stores them.
void printSlots(QTextStream &out, const HostRegistry &registry);

} // namespace PluginListing
