#include "StimulusFields.h"

#include <QLocale>
#include <QStringList>

#include <climits>
#include <cmath>

namespace {

// Coordinates and the like beyond this are typing errors, not positions.
constexpr double kMaxMagnitude = 1e9;

using StimulusFields::Fields;

// Refuses the field: what it needs and what it holds.
bool refuse(const Fields &f, const QString &name, const QString &needs, QString *error)
{
    return StimulusFields::failWith(
        error, QStringLiteral("\"%1\" needs %2, not \"%3\"").arg(name, needs, f.value(name)));
}

// An integer from `min` to `max`, else refused as needing `needs`.
bool intField(const Fields &f, const QString &name, int min, int max, const QString &needs,
    int *value, QString *error)
{
    bool ok = false;
    const qlonglong v = f.value(name).trimmed().toLongLong(&ok);
    if (!ok || v < min || v > max)
        return refuse(f, name, needs, error);
    *value = int(v);
    return true;
}

} // namespace

bool StimulusFields::failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool StimulusFields::intAtLeast(
    const Fields &f, const QString &name, int min, int *value, QString *error)
{
    return intField(
        f, name, min, INT_MAX, QStringLiteral("an integer of %1 or more").arg(min), value, error);
}

bool StimulusFields::intInRange(const Fields &f, const QString &name, int min, int max,
    int fallback, int *value, QString *error)
{
    if (!f.contains(name)) {
        *value = fallback;
        return true;
    }
    return intField(f, name, min, max, QStringLiteral("an integer from %1 to %2").arg(min).arg(max),
        value, error);
}

bool StimulusFields::realField(const Fields &f, const QString &name, double *value, QString *error)
{
    bool ok = false;
    const double v = f.value(name).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > kMaxMagnitude) {
        return refuse(
            f, name, QStringLiteral("a number (at most %1 in size)").arg(kMaxMagnitude), error);
    }
    *value = v;
    return true;
}

bool StimulusFields::stateField(const Fields &f, const QString &name, bool *state, QString *error)
{
    const QString text = f.value(name).trimmed();
    if (text == QLatin1String("1") || text == QLatin1String("true"))
        *state = true;
    else if (text == QLatin1String("0") || text == QLatin1String("false"))
        *state = false;
    else
        return refuse(f, name, QStringLiteral("0, 1, false or true"), error);
    return true;
}

bool StimulusFields::refField(
    const Fields &f, const QString &name, int min, QString *ref, QString *error)
{
    const QString text = f.value(name).trimmed();
    bool isNumber = false;
    const qlonglong v = text.toLongLong(&isNumber);
    // What begins like a number is one: "1.5" is a typing error, not a name.
    const bool numeric = !text.isEmpty()
        && (text[0].isDigit() || text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+'));
    if (text.isEmpty() || (numeric && (!isNumber || v < min || v > INT_MAX))) {
        return refuse(
            f, name, QStringLiteral("an integer of %1 or more, or a name").arg(min), error);
    }
    *ref = text;
    return true;
}

QString StimulusFields::resolveRef(
    const QString &ref, const QList<QPair<int, QString>> &candidates, const QString &what, int *id)
{
    bool isNumber = false;
    const int number = ref.toInt(&isNumber);
    if (isNumber) {
        *id = number;
        return QString();
    }
    QStringList ids;
    for (const auto &c : candidates) {
        if (c.second == ref) {
            *id = c.first;
            ids.append(QString::number(c.first));
        }
    }
    if (ids.size() == 1)
        return QString();
    if (ids.isEmpty())
        return QStringLiteral("the show has no %1 named \"%2\"").arg(what, ref);
    return QStringLiteral("%1 %2s are named \"%3\" (%4): give the number")
        .arg(QString::number(ids.size()), what, ref, ids.join(QStringLiteral(", ")));
}

QString StimulusFields::secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'g', QLocale::FloatingPointShortest)
        + QStringLiteral(" s");
}
