#include "HelperCommands.h"

#include "EdidOperations.h"
#include "GpuInventory.h"
#include "HelperRecords.h"
#include "NvApi.h"

namespace {

const QByteArray kSourcePrefix = QByteArrayLiteral("[SOURCE=");
// The connector list of "loadEdid\n" is announced by one signed length byte.
constexpr int kMaxLoadListBytes = 127;

QByteArray runGetGpusInfo(const QByteArray &, const EventReporter &)
{
    GpuList list;
    NvApi driver;
    buildGpuList(driver, list.gpus);
    return QByteArrayLiteral("gpusInfo") + encodeBlock(list);
}

// Runs `operation` on every reference inside one initialise/unload frame and lists the
// references for which it succeeded.
template<typename Operation>
ConnectorList runOnEach(const ConnectorList &requested, Operation operation)
{
    ConnectorList done;
    NvApi driver;
    driver.initialize();
    for (const ConnectorRef &ref : requested.connectors) {
        if (operation(driver, ref.connectorId))
            done.connectors.append(ref);
    }
    driver.unload();
    return done;
}

bool readConnectorList(
    const QByteArray &args, ConnectorList &list, const char *command, const EventReporter &report)
{
    if (args.isEmpty())
        return true;
    if (decodeBlock(args, list))
        return true;
    list = ConnectorList();
    report(QStringLiteral("Rejected %1: unreadable connector list (%2 bytes)")
               .arg(QLatin1String(command))
               .arg(args.size()));
    return false;
}

template<typename Operation>
QByteArray runListCommand(const QByteArray &args, const EventReporter &report, const char *command,
    const QByteArray &replyWord, Operation operation)
{
    ConnectorList requested;
    ConnectorList done;
    if (readConnectorList(args, requested, command, report))
        done = runOnEach(requested, operation);
    return replyWord + encodeBlock(done);
}

QByteArray runLockEdid(const QByteArray &args, const EventReporter &report)
{
    return runListCommand(args, report, "lockEdid", QByteArrayLiteral("edidLocked"), lockEdid);
}

QByteArray runUnloadEdid(const QByteArray &args, const EventReporter &report)
{
    return runListCommand(
        args, report, "unloadEdid", QByteArrayLiteral("edidUnloaded"), unloadEdid);
}

QByteArray runExportEdid(const QByteArray &args, const EventReporter &report)
{
    QByteArray reply = QByteArrayLiteral("edidExported");
    ConnectorRef ref;
    if (!args.isEmpty() && !decodeBlock(args, ref)) {
        report(QStringLiteral("Rejected exportEdid: unreadable connector reference (%1 bytes)")
                   .arg(args.size()));
        return reply;
    }
    NvApi driver;
    driver.initialize();
    EdidBlock block;
    if (readEdid(driver, ref.connectorId, block.edid))
        reply += encodeBlock(block);
    driver.unload();
    return reply;
}

QByteArray runLoadEdid(const QByteArray &args, const EventReporter &report)
{
    const QByteArray replyWord = QByteArrayLiteral("edidLoaded");
    auto reject = [&](const QString &why) {
        report(QStringLiteral("Rejected loadEdid: ") + why);
        return replyWord + encodeBlock(ConnectorList());
    };
    if (args.isEmpty())
        return reject(QStringLiteral("no length byte"));
    const int listBytes = int(qint8(args.at(0)));
    if (listBytes < 0 || listBytes > kMaxLoadListBytes)
        return reject(QStringLiteral("length byte %1 out of range").arg(listBytes));
    if (listBytes > args.size() - 1)
        return reject(QStringLiteral("length byte %1 beyond the %2 bytes that follow")
                          .arg(listBytes)
                          .arg(args.size() - 1));
    ConnectorList requested;
    if (listBytes > 0 && !decodeBlock(args.mid(1, listBytes), requested))
        return reject(QStringLiteral("unreadable connector list (%1 bytes)").arg(listBytes));
    const QByteArray edid = args.mid(1 + listBytes);
    const ConnectorList done = runOnEach(requested, [&edid](NvApi &driver, uint32_t displayId) {
        return setAndApplyEdid(driver, displayId, edid);
    });
    return replyWord + encodeBlock(done);
}

struct Command
{
    QByteArray word;
    QByteArray (*run)(const QByteArray &args, const EventReporter &report);
};

const Command kCommands[] = {
    {QByteArrayLiteral("getGpusInfo\n"), runGetGpusInfo},
    {QByteArrayLiteral("lockEdid\n"), runLockEdid},
    {QByteArrayLiteral("unloadEdid\n"), runUnloadEdid},
    {QByteArrayLiteral("exportEdid\n"), runExportEdid},
    {QByteArrayLiteral("loadEdid\n"), runLoadEdid},
};

} // namespace

HelperResponse respondToDatagram(const QByteArray &datagram, const EventReporter &report)
{
    HelperResponse response;
    QByteArray source;
    qsizetype start = 0;
    while (start < datagram.size() && datagram.at(start) == '[') {
        const qsizetype close = datagram.indexOf(']', start);
        if (close < 0) {
            report(QStringLiteral("Dropped request: prefix without closing bracket"));
            return response;
        }
        if (datagram.mid(start, kSourcePrefix.size()) == kSourcePrefix
            && close >= start + kSourcePrefix.size())
            source
                = datagram.mid(start + kSourcePrefix.size(), close - start - kSourcePrefix.size());
        start = close + 1;
    }
    const QByteArray rest = datagram.mid(start);

    if (rest == QByteArrayLiteral("exit\n")) {
        response.action = HelperResponse::Action::Quit;
        return response;
    }
    if (source.isEmpty()) {
        report(QStringLiteral("Ignored request without source"));
        return response;
    }

    QByteArray reply = QByteArrayLiteral("UnknownCmd");
    QByteArray commandName = QByteArrayLiteral("an unknown command");
    for (const Command &command : kCommands) {
        if (rest.startsWith(command.word)) {
            reply = command.run(rest.mid(command.word.size()), report);
            commandName = command.word.trimmed();
            break;
        }
    }
    const QByteArray replyDatagram = QByteArrayLiteral("[FORWARDTO=") + source + ']' + reply;
    // The command has been carried out; a reply that cannot travel must at least be seen.
    if (replyDatagram.size() > kMaxDatagramBytes) {
        report(QStringLiteral("Reply to %1 not sent: %2 bytes, more than one UDP datagram "
                              "holds (%3 bytes)")
                   .arg(QString::fromLatin1(commandName))
                   .arg(replyDatagram.size())
                   .arg(kMaxDatagramBytes));
        return response;
    }
    response.action = HelperResponse::Action::Reply;
    response.datagram = replyDatagram;
    return response;
}
