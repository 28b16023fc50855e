// The touch stimulus: a touch at (x, y) on an output of a media server.
#include "StimulusContext.h"
#include "StimulusFields.h"
#include "StimulusKind.h"

#include <memory>

using namespace StimulusFields;

namespace {

// The check resolves a name and the run uses what it found (shared by the entry's copies).
using Resolved = std::shared_ptr<int>;

// What is wrong with the media server and output references, else empty with their ids.
QString checkTouch(const StimulusContext &host, const QString &serverRef, const QString &outputRef,
    int *server, int *output)
{
    QList<QPair<int, QString>> servers;
    for (const InstanceConfig &inst : host.instanceConfigs()) {
        if (!inst.isProducer)
            servers.append({inst.mediaServerId, inst.name});
    }
    QString problem = resolveRef(serverRef, servers, QStringLiteral("media server"), server);
    if (!problem.isEmpty())
        return problem;
    QStringList serverIds;
    for (const InstanceConfig &inst : host.instanceConfigs()) {
        if (inst.isProducer)
            continue;
        serverIds.append(QString::number(inst.mediaServerId));
        if (inst.mediaServerId != *server)
            continue;
        QList<QPair<int, QString>> outputs;
        for (const InstanceConfig::Output &o : inst.outputs)
            outputs.append({o.id, o.name});
        problem = resolveRef(outputRef, outputs, QStringLiteral("output"), output);
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
            .arg(
                QString::number(*server), QString::number(*output), ids.join(QStringLiteral(", ")));
    }
    return QStringLiteral("the show has no media server %1 (%2)")
        .arg(QString::number(*server),
            serverIds.isEmpty() ? QStringLiteral("it has none")
                                : QStringLiteral("it has ") + serverIds.join(QStringLiteral(", ")));
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
    entry->check = [serverRef, outputRef, server, output](const StimulusContext &host) {
        return checkTouch(host, serverRef, outputRef, server.get(), output.get());
    };
    entry->apply = [server, output, x, y](StimulusContext &host) {
        host.touch(*server, *output, {x, y});
    };
    return true;
}

} // namespace

QList<StimulusKind> touchStimulusKinds()
{
    return {
        {QStringLiteral("touch"), false,
            {QStringLiteral("server"), QStringLiteral("output"), QStringLiteral("x"),
                QStringLiteral("y")},
            {}, parseTouch},
    };
}
