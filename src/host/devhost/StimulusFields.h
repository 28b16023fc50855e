#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

// Reading the fields of a scripted entry (FIELD=VALUE, or an element's attributes): the
// kinds share these, so that a field of one type is read and refused alike in every kind.
// Each reader gives false with the reason in *error (when given) and leaves *value alone.
namespace StimulusFields {

using Fields = QMap<QString, QString>;

// Sets *error to `text`; false, for `return failWith(...)`.
bool failWith(QString *error, const QString &text);

// An integer from `min` to INT_MAX.
bool intAtLeast(const Fields &f, const QString &name, int min, int *value, QString *error);
// An integer from `min` to `max`; `fallback` when the field is absent.
bool intInRange(const Fields &f, const QString &name, int min, int max, int fallback, int *value,
    QString *error);
// A finite number of moderate size (coordinates and the like).
bool realField(const Fields &f, const QString &name, double *value, QString *error);
// 0, 1, false or true.
bool stateField(const Fields &f, const QString &name, bool *state, QString *error);
// A number (of `min` or more) or a name, resolved against the show when the entry is
// checked (resolveRef).
bool refField(const Fields &f, const QString &name, int min, QString *ref, QString *error);

// The one of `candidates` (id, name) that `ref` gives by number or by name, in *id;
// otherwise what is wrong. A number is taken as an id even when it is also a name.
QString resolveRef(
    const QString &ref, const QList<QPair<int, QString>> &candidates, const QString &what, int *id);

// "1.5 s": a time of the script as messages give it.
QString secondsText(qint64 ms);

} // namespace StimulusFields
