#pragma once

#include <QString>

class ANodeData;

// A node value as text: as the console prints it, and as a script expects it.
namespace ValueText {

// "true", "42", "(100.12346, 200.65433)", "Ping #2", "(undefined)", "(none)", or the stored
// attributes of another kind.
QString describe(const ANodeData *value);

// Expected and found value texts (as describe() gives them) agree: the text between the
// numbers is equal, and each number is equal at as many significant digits as the expected
// one is written with, and at least 6.
bool matches(const QString &expected, const QString &actual);

// The value as a show file stores it, written into an element "v" of an XML text.
QString storedXml(const ANodeData &value);

} // namespace ValueText
