#include "Stimuli.h"

#include "BoardSim.h"
#include "DevHost.h"
#include "INodeController.h"
#include "NodeGraph.h"
#include "Show.h"

#include <QDomNamedNodeMap>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <climits>
#include <cmath>
#include <memory>

namespace {

using Fields = QMap<QString, QString>;

// Coordinates and the like beyond this are typing errors, not positions.
constexpr double MaxMagnitude = 1e9;

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'g', QLocale::FloatingPointShortest)
        + QStringLiteral(" s");
}

bool failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

bool intField(const Fields &f, const QString &name, int min, int *value, QString *error)
{
    bool ok = false;
    const qlonglong v = f.value(name).trimmed().toLongLong(&ok);
    if (!ok || v < min || v > INT_MAX) {
        return failWith(error,
            QStringLiteral("\"%1\" needs an integer of %2 or more, not \"%3\"")
                .arg(name)
                .arg(min)
                .arg(f.value(name)));
    }
    *value = int(v);
    return true;
}

// A field that gives a number (of `min` or more) or a name, resolved against the show
// when the entry is checked.
bool refField(const Fields &f, const QString &name, int min, QString *ref, QString *error)
{
    const QString text = f.value(name).trimmed();
    bool isNumber = false;
    const qlonglong v = text.toLongLong(&isNumber);
    // What begins like a number is one: "1.5" is a typing error, not a name.
    const bool numeric = !text.isEmpty()
        && (text[0].isDigit() || text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+'));
    if (text.isEmpty() || (numeric && (!isNumber || v < min || v > INT_MAX))) {
        return failWith(error,
            QStringLiteral("\"%1\" needs an integer of %2 or more, or a name, not \"%3\"")
                .arg(name)
                .arg(min)
                .arg(f.value(name)));
    }
    *ref = text;
    return true;
}

// The one of `candidates` (id, name) that `ref` gives by number or by name, in *id;
// otherwise what is wrong. A number is taken as an id even when it is also a name.
QString resolveRef(
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

// Entries are checked against the show before they run: the check resolves a name
// and the run uses what it found (shared by the entry's copies).
using Resolved = std::shared_ptr<int>;

QString resolveNode(const DevHost &host, const QString &ref, int *id)
{
    QList<QPair<int, QString>> nodes;
    if (!host.instances().empty()) {
        for (const Node *node : host.instances().front()->graph().nodes())
            nodes.append({node->id(), node->name()});
    }
    return resolveRef(ref, nodes, QStringLiteral("node"), id);
}

bool realField(const Fields &f, const QString &name, double *value, QString *error)
{
    bool ok = false;
    const double v = f.value(name).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || std::fabs(v) > MaxMagnitude) {
        return failWith(error,
            QStringLiteral("\"%1\" needs a number (at most %2 in size), not \"%3\"")
                .arg(name)
                .arg(MaxMagnitude)
                .arg(f.value(name)));
    }
    *value = v;
    return true;
}

// A slot given by its index or by its name; -1 when there is none.
template<class Descriptors>
int slotIndex(const QString &ref, const Descriptors &descriptors)
{
    bool isNumber = false;
    const int index = ref.toInt(&isNumber);
    if (isNumber)
        return index >= 0 && size_t(index) < descriptors.size() ? index : -1;
    for (size_t i = 0; i < descriptors.size(); ++i) {
        if (QString::fromStdString(descriptors[i].name) == ref)
            return int(i);
    }
    return -1;
}

// The instances an expectation looks at: the named one, or every one.
QList<const Show *> selectedInstances(const DevHost &host, const QString &instance)
{
    QList<const Show *> shows;
    for (const std::unique_ptr<Show> &show : host.instances()) {
        if (instance.isEmpty() || show->instanceName() == instance)
            shows.append(show.get());
    }
    return shows;
}

QString instanceCheck(const DevHost &host, const QString &instance)
{
    if (instance.isEmpty() || host.instance(instance))
        return QString();
    QStringList names;
    for (const std::unique_ptr<Show> &show : host.instances())
        names.append(show->instanceName());
    return QStringLiteral("the show has no instance \"%1\" (it has %2)")
        .arg(instance, names.join(QStringLiteral(", ")));
}

INodeController *controllerIn(const Show &show, int nodeId)
{
    Node *node = show.graph().node(nodeId);
    return node ? node->controller() : nullptr;
}

// The producer's copy stands for every copy: all are built from the same file.
INodeController *controllerOf(const DevHost &host, int nodeId)
{
    return host.instances().empty() ? nullptr : controllerIn(*host.instances().front(), nodeId);
}

// What an expectation's instance and node lack, else empty with the node's controller.
QString nodeCheck(
    const DevHost &host, const QString &instance, int nodeId, INodeController **controller)
{
    const QString problem = instanceCheck(host, instance);
    if (!problem.isEmpty())
        return problem;
    *controller = controllerOf(host, nodeId);
    if (!*controller)
        return QStringLiteral("the show has no node %1").arg(nodeId);
    return QString();
}

QString nodeText(const DevHost &host, int nodeId)
{
    Node *node
        = host.instances().empty() ? nullptr : host.instances().front()->graph().node(nodeId);
    if (!node || node->name().isEmpty())
        return QStringLiteral("node %1").arg(nodeId);
    return QStringLiteral("node %1 \"%2\"").arg(QString::number(nodeId), node->name());
}

QString whereText(const QString &instance)
{
    return instance.isEmpty() ? QStringLiteral("every instance") : instance;
}

bool parseTouch(const Fields &f, ScriptEntry *entry, QString *error)
{
    QString serverRef;
    QString outputRef;
    double x = 0;
    double y = 0;
    if (!refField(f, QStringLiteral("server"), 1, &serverRef, error)
        || !refField(f, QStringLiteral("output"), 0, &outputRef, error)
        || !realField(f, QStringLiteral("x"), &x, error)
        || !realField(f, QStringLiteral("y"), &y, error)) {
        return false;
    }
    const Resolved server = std::make_shared<int>(0);
    const Resolved output = std::make_shared<int>(0);
    entry->check = [serverRef, outputRef, server, output](const DevHost &host) -> QString {
        QList<QPair<int, QString>> servers;
        for (const InstanceConfig &inst : host.showFile().instances()) {
            if (!inst.isProducer)
                servers.append({inst.mediaServerId, inst.name});
        }
        QString problem
            = resolveRef(serverRef, servers, QStringLiteral("media server"), server.get());
        if (!problem.isEmpty())
            return problem;
        QStringList serverIds;
        for (const InstanceConfig &inst : host.showFile().instances()) {
            if (inst.isProducer)
                continue;
            serverIds.append(QString::number(inst.mediaServerId));
            if (inst.mediaServerId != *server)
                continue;
            QList<QPair<int, QString>> outputs;
            for (const InstanceConfig::Output &o : inst.outputs)
                outputs.append({o.id, o.name});
            problem = resolveRef(outputRef, outputs, QStringLiteral("output"), output.get());
            // A media server without a list of outputs takes any output id.
            if (inst.outputs.isEmpty())
                return problem;
            if (!problem.isEmpty())
                return QStringLiteral("media server %1: %2").arg(QString::number(*server), problem);
            QStringList ids;
            for (const InstanceConfig::Output &o : inst.outputs) {
                if (o.id == *output)
                    return QString();
                ids.append(QString::number(o.id));
            }
            return QStringLiteral("media server %1 has no output %2 (it has %3)")
                .arg(QString::number(*server), QString::number(*output),
                    ids.join(QStringLiteral(", ")));
        }
        return QStringLiteral("the show has no media server %1 (%2)")
            .arg(QString::number(*server),
                serverIds.isEmpty()
                    ? QStringLiteral("it has none")
                    : QStringLiteral("it has ") + serverIds.join(QStringLiteral(", ")));
    };
    entry->apply = [server, output, x, y](DevHost &host) { host.touch(*server, *output, {x, y}); };
    return true;
}

bool parseExpectOutput(const Fields &f, ScriptEntry *entry, QString *error)
{
    QString nodeRef;
    if (!refField(f, QStringLiteral("node"), 1, &nodeRef, error))
        return false;
    const Resolved node = std::make_shared<int>(0);
    const QString output = f.value(QStringLiteral("output")).trimmed();
    const QString expected = f.value(QStringLiteral("value")).trimmed();
    const QString instance = f.value(QStringLiteral("instance")).trimmed();
    const qint64 atMs = entry->atMs;
    entry->check = [nodeRef, node, output, instance](const DevHost &host) -> QString {
        QString problem = resolveNode(host, nodeRef, node.get());
        if (!problem.isEmpty())
            return problem;
        INodeController *c = nullptr;
        problem = nodeCheck(host, instance, *node, &c);
        if (!problem.isEmpty())
            return problem;
        if (slotIndex(output, c->outputSlots()) < 0)
            return QStringLiteral("%1 has no output \"%2\"").arg(nodeText(host, *node), output);
        return QString();
    };
    entry->verify = [=](const DevHost &host) -> std::optional<QString> {
        const int nodeId = *node;
        QStringList found;
        QString slotName = output;
        for (const Show *show : selectedInstances(host, instance)) {
            INodeController *c = controllerIn(*show, nodeId);
            const int index = c ? slotIndex(output, c->outputSlots()) : -1;
            if (index < 0) {
                found.append(QStringLiteral("no such output on %1").arg(show->instanceName()));
                continue;
            }
            slotName = QString::fromStdString(c->outputSlots()[size_t(index)].name);
            const auto &values = c->outputValues();
            const QString actual = size_t(index) < values.size()
                ? DevHost::describe(values[size_t(index)].get())
                : DevHost::describe(nullptr);
            if (!Script::valueMatches(expected, actual))
                found.append(QStringLiteral("%1 on %2").arg(actual, show->instanceName()));
        }
        if (found.isEmpty())
            return std::nullopt;
        return QStringLiteral("at %1, %2 output \"%3\" on %4: expected %5, found %6")
            .arg(seconds(atMs), nodeText(host, nodeId), slotName, whereText(instance), expected,
                found.join(QStringLiteral(", ")));
    };
    return true;
}

bool parseExpectFired(const Fields &f, ScriptEntry *entry, QString *error)
{
    QString nodeRef;
    int count = 0;
    if (!refField(f, QStringLiteral("node"), 1, &nodeRef, error)
        || !intField(f, QStringLiteral("count"), 0, &count, error)) {
        return false;
    }
    const Resolved node = std::make_shared<int>(0);
    const QString trigger = f.value(QStringLiteral("trigger")).trimmed();
    const QString instance = f.value(QStringLiteral("instance")).trimmed();
    const qint64 atMs = entry->atMs;
    entry->check = [nodeRef, node, trigger, instance](const DevHost &host) -> QString {
        QString problem = resolveNode(host, nodeRef, node.get());
        if (!problem.isEmpty())
            return problem;
        INodeController *c = nullptr;
        problem = nodeCheck(host, instance, *node, &c);
        if (!problem.isEmpty())
            return problem;
        if (slotIndex(trigger, c->outputTriggers()) < 0) {
            return QStringLiteral("%1 has no output trigger \"%2\"")
                .arg(nodeText(host, *node), trigger);
        }
        return QString();
    };
    entry->verify = [=](const DevHost &host) -> std::optional<QString> {
        const int nodeId = *node;
        QStringList found;
        QString triggerName = trigger;
        for (const Show *show : selectedInstances(host, instance)) {
            INodeController *c = controllerIn(*show, nodeId);
            const int index = c ? slotIndex(trigger, c->outputTriggers()) : -1;
            if (index >= 0)
                triggerName = QString::fromStdString(c->outputTriggers()[size_t(index)].name);
            const int fired = host.firedCount(show, nodeId, index);
            if (fired != count) {
                found.append(
                    QStringLiteral("%1 on %2").arg(QString::number(fired), show->instanceName()));
            }
        }
        if (found.isEmpty())
            return std::nullopt;
        return QStringLiteral("by %1, trigger \"%2\" of %3 on %4: expected %5 firing(s), found %6")
            .arg(seconds(atMs), triggerName, nodeText(host, nodeId), whereText(instance),
                QString::number(count), found.join(QStringLiteral(", ")));
    };
    return true;
}

// Words of a text line; a word may hold double-quoted parts (\" and \\ inside them).
bool splitWords(const QString &line, QStringList *words, QString *error)
{
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < line.size()
                && (line[i + 1] == QLatin1Char('"') || line[i + 1] == QLatin1Char('\\'))) {
                word += line[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                word += c;
            }
            continue;
        }
        if (c.isSpace()) {
            if (inWord)
                words->append(word);
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('"'))
            quoted = true;
        else
            word += c;
    }
    if (quoted)
        return failWith(error, QStringLiteral("a quoted value is not closed"));
    if (inWord)
        words->append(word);
    return true;
}

bool splitFields(const QStringList &words, Fields *fields, QString *error)
{
    for (const QString &word : words) {
        const qsizetype eq = word.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return failWith(error, QStringLiteral("FIELD=VALUE expected, not \"%1\"").arg(word));
        const QString name = word.left(eq);
        if (fields->contains(name))
            return failWith(error, QStringLiteral("\"%1\" given twice").arg(name));
        fields->insert(name, word.mid(eq + 1));
    }
    return true;
}

QString kindNames()
{
    QStringList names;
    for (const Script::Kind &kind : Script::kinds())
        names.append(kind.name);
    return names.join(QStringLiteral(", "));
}

// The kind's fields are there and no others; then its own parser.
bool parseFields(const Script::Kind &kind, const Fields &fields, ScriptEntry *entry, QString *error)
{
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (!kind.required.contains(it.key()) && !kind.optional.contains(it.key())) {
            return failWith(error,
                QStringLiteral("%1 takes no field \"%2\" (it takes %3)")
                    .arg(kind.name, it.key(),
                        (kind.required + kind.optional).join(QStringLiteral(", "))));
        }
    }
    for (const QString &name : kind.required) {
        if (!fields.contains(name))
            return failWith(
                error, QStringLiteral("%1 needs the field \"%2\"").arg(kind.name, name));
    }
    entry->kind = kind.name;
    entry->expectation = kind.expectation;
    QString reason;
    if (!kind.parse(fields, entry, &reason))
        return failWith(error, QStringLiteral("%1: %2").arg(kind.name, reason));
    return true;
}

} // namespace

const QList<Script::Kind> &Script::kinds()
{
    static const QList<Kind> table = QList<Kind> {
        {QStringLiteral("touch"), false,
            {QStringLiteral("server"), QStringLiteral("output"), QStringLiteral("x"),
                QStringLiteral("y")},
            {}, parseTouch},
        {QStringLiteral("expectOutput"), true,
            {QStringLiteral("node"), QStringLiteral("output"), QStringLiteral("value")},
            {QStringLiteral("instance")}, parseExpectOutput},
        {QStringLiteral("expectFired"), true,
            {QStringLiteral("node"), QStringLiteral("trigger"), QStringLiteral("count")},
            {QStringLiteral("instance")}, parseExpectFired},
    } + BoardSim::kinds();
    return table;
}

const Script::Kind *Script::findKind(const QString &name)
{
    for (const Kind &kind : kinds()) {
        if (kind.name == name)
            return &kind;
    }
    return nullptr;
}

bool Script::fail(int line, const QString &text, QString *error) const
{
    return failWith(error, QStringLiteral("%1, line %2: %3").arg(m_origin).arg(line).arg(text));
}

bool Script::add(int line, const QString &timeText, const QString &kindName, const Fields &fields,
    QString *error)
{
    if (m_entries.size() >= size_t(MaxEntries))
        return fail(line, QStringLiteral("more than %1 entries").arg(MaxEntries), error);
    const Kind *kind = findKind(kindName);
    if (!kind) {
        return fail(line,
            QStringLiteral("unknown kind \"%1\" (known: %2)").arg(kindName, kindNames()), error);
    }
    bool ok = false;
    const double at = timeText.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(at) || at < 0 || at > MaxSeconds) {
        return fail(line,
            QStringLiteral("the time \"%1\" is not a number of seconds from 0 to %2")
                .arg(timeText)
                .arg(MaxSeconds),
            error);
    }
    ScriptEntry entry;
    entry.line = line;
    entry.atMs = std::llround(at * 1000.0);
    if (!m_entries.empty() && entry.atMs < m_entries.back().atMs) {
        return fail(line,
            QStringLiteral("%1 comes before %2 of line %3 (times must not go back)")
                .arg(seconds(entry.atMs), seconds(m_entries.back().atMs))
                .arg(m_entries.back().line),
            error);
    }
    QString reason;
    if (!parseFields(*kind, fields, &entry, &reason))
        return fail(line, reason, error);
    m_entries.push_back(std::move(entry));
    return true;
}

bool Script::parseText(const QByteArray &text, const QString &origin, QString *error)
{
    m_origin = origin;
    m_entries.clear();
    if (text.size() > MaxTextSize) {
        return failWith(
            error, QStringLiteral("%1 is larger than %2 bytes").arg(origin).arg(MaxTextSize));
    }
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int line = i + 1;
        QString content = lines[i];
        if (content.endsWith(QLatin1Char('\r')))
            content.chop(1);
        if (content.size() > MaxLineLength) {
            return fail(
                line, QStringLiteral("longer than %1 characters").arg(MaxLineLength), error);
        }
        const QString trimmed = content.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        QStringList words;
        Fields fields;
        QString reason;
        if (!splitWords(trimmed, &words, &reason))
            return fail(line, reason, error);
        if (words.size() < 2)
            return fail(line, QStringLiteral("TIME KIND FIELD=VALUE... expected"), error);
        if (!splitFields(words.mid(2), &fields, &reason))
            return fail(line, reason, error);
        if (!add(line, words[0], words[1], fields, error))
            return false;
    }
    return true;
}

bool Script::loadFile(const QString &path, QString *error)
{
    m_origin = QStringLiteral("script %1").arg(path);
    m_entries.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return failWith(
            error, QStringLiteral("cannot read script %1: %2").arg(path, file.errorString()));
    }
    if (file.size() > MaxTextSize) {
        return failWith(
            error, QStringLiteral("script %1 is larger than %2 bytes").arg(path).arg(MaxTextSize));
    }
    return parseText(file.read(MaxTextSize + 1), m_origin, error);
}

bool Script::parseSection(const QDomElement &section, const QString &origin, QString *error)
{
    m_origin = origin;
    m_entries.clear();
    for (QDomElement e = section.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const int line = e.lineNumber();
        Fields fields;
        const QDomNamedNodeMap attributes = e.attributes();
        for (int i = 0; i < attributes.count(); ++i) {
            const QDomAttr a = attributes.item(i).toAttr();
            if (a.value().size() > MaxLineLength) {
                return fail(line,
                    QStringLiteral("\"%1\" is longer than %2 characters")
                        .arg(a.name())
                        .arg(MaxLineLength),
                    error);
            }
            if (a.name() != QLatin1String("at"))
                fields.insert(a.name(), a.value());
        }
        if (!e.hasAttribute(QStringLiteral("at"))) {
            return fail(
                line, QStringLiteral("<%1> needs the attribute \"at\"").arg(e.tagName()), error);
        }
        if (!add(line, e.attribute(QStringLiteral("at")), e.tagName(), fields, error))
            return false;
    }
    return true;
}

bool Script::parseCommand(const QString &command, ScriptEntry *entry, QString *error)
{
    if (command.size() > MaxLineLength)
        return failWith(error, QStringLiteral("longer than %1 characters").arg(MaxLineLength));
    QStringList words;
    Fields fields;
    if (!splitWords(command, &words, error))
        return false;
    if (words.isEmpty())
        return failWith(error, QStringLiteral("KIND FIELD=VALUE... expected"));
    const Kind *kind = findKind(words[0]);
    if (!kind) {
        return failWith(
            error, QStringLiteral("unknown kind \"%1\" (known: %2)").arg(words[0], kindNames()));
    }
    if (kind->expectation)
        return failWith(
            error, QStringLiteral("%1 is checked in a script, not pushed").arg(kind->name));
    return splitFields(words.mid(1), &fields, error) && parseFields(*kind, fields, entry, error);
}

bool Script::check(const DevHost &host, QString *error) const
{
    for (const ScriptEntry &entry : m_entries) {
        if (!entry.check)
            continue;
        const QString problem = entry.check(host);
        if (!problem.isEmpty())
            return fail(entry.line, QStringLiteral("%1: %2").arg(entry.kind, problem), error);
    }
    return true;
}

int Script::expectationCount() const
{
    int count = 0;
    for (const ScriptEntry &entry : m_entries)
        count += entry.expectation ? 1 : 0;
    return count;
}

bool Script::valueMatches(const QString &expected, const QString &actual)
{
    static const QRegularExpression number(
        QStringLiteral("[-+]?(?:\\d+(?:\\.\\d*)?|\\.\\d+)(?:[eE][-+]?\\d+)?"));
    const auto split = [](const QString &text, QStringList *pieces, QStringList *numbers) {
        qsizetype from = 0;
        QRegularExpressionMatchIterator it = number.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch m = it.next();
            pieces->append(text.mid(from, m.capturedStart() - from));
            numbers->append(m.captured());
            from = m.capturedEnd();
        }
        pieces->append(text.mid(from));
    };
    QStringList expectedPieces, expectedNumbers, actualPieces, actualNumbers;
    split(expected.trimmed(), &expectedPieces, &expectedNumbers);
    split(actual.trimmed(), &actualPieces, &actualNumbers);
    if (expectedPieces != actualPieces || expectedNumbers.size() != actualNumbers.size())
        return false;
    for (qsizetype i = 0; i < expectedNumbers.size(); ++i) {
        // As precise as the expected number is written, and at least "%g" (6 digits).
        QString mantissa
            = expectedNumbers[i].section(QRegularExpression(QStringLiteral("[eE]")), 0, 0);
        mantissa.remove(QRegularExpression(QStringLiteral("[^0-9]")));
        while (mantissa.startsWith(QLatin1Char('0')))
            mantissa.remove(0, 1);
        const int digits = int(qBound(qsizetype(6), mantissa.size(), qsizetype(17)));
        if (QString::number(expectedNumbers[i].toDouble(), 'g', digits)
            != QString::number(actualNumbers[i].toDouble(), 'g', digits)) {
            return false;
        }
    }
    return true;
}
