#include "EdidCheck.h"
#include "HelperClient.h"
#include "HelperRecords.h"
#include "InventoryFormat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTextStream>
#include <QThread>

#include <algorithm>

namespace {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // the helper answered, but the operation failed (partly)
constexpr int kExitUsage = 2;
constexpr int kExitNoReply = 3;
constexpr int kExitBadReply = 4;
constexpr int kExitTooLarge = 5; // the request or its reply does not fit one datagram
// The connector list of "loadEdid\n" must fit the 127 bytes its length byte can announce.
constexpr int kMaxLoadListBytes = 127;
// The smallest EDID is one 128-byte block; its export reply carries the length word too.
constexpr qsizetype kSmallestEdidBlock = 4 + 128;
// Any word the helper does not know is answered "UnknownCmd": a probe without driver work.
const QByteArray kProbe = QByteArrayLiteral("areYouThere\n");
// How long one probe waits while we watch the helper end after "exit\n".
constexpr int kGoneProbeMs = 200;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(int code, const QString &message)
{
    err() << "lm_helper_client: " << message << Qt::endl;
    return code;
}

int exitCodeOf(HelperClient::Result result)
{
    switch (result) {
    case HelperClient::Result::UnexpectedReply:
        return kExitBadReply;
    case HelperClient::Result::TooLarge:
        return kExitTooLarge;
    default:
        return kExitNoReply;
    }
}

// Decimal, or hexadecimal after "0x"; a leading zero does not make it octal.
bool parseId(const QString &text, quint32 &value)
{
    const QString t = text.trimmed();
    const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    bool ok = false;
    const qulonglong parsed = hex ? t.mid(2).toULongLong(&ok, 16) : t.toULongLong(&ok, 10);
    if (!ok || parsed > 0xFFFFFFFFull)
        return false;
    value = quint32(parsed);
    return true;
}

struct Options
{
    QCommandLineParser parser;
    QCommandLineOption source {QStringLiteral("source"),
        QStringLiteral("Start of the source name the helper forwards its replies to; each "
                       "request adds \"-<process id>-<request number>\"."),
        QStringLiteral("NAME"), QStringLiteral("cli")};
    QCommandLineOption timeout {QStringLiteral("timeout"),
        QStringLiteral("Milliseconds to wait for each reply."), QStringLiteral("MS"),
        QStringLiteral("2000")};
    QCommandLineOption table {
        QStringLiteral("table"), QStringLiteral("gpus: print a readable table instead of JSON.")};
    QCommandLineOption gpu {QStringLiteral("gpu"),
        QStringLiteral("GPU id of the inventory the connectors must be on (default: the GPU "
                       "that lists them)."),
        QStringLiteral("G")};
    QCommandLineOption connector {QStringLiteral("connector"),
        QStringLiteral("Connector (NVAPI display id, decimal or 0x hex); repeatable."),
        QStringLiteral("C")};
    QCommandLineOption outFile {QStringLiteral("out"),
        QStringLiteral("export-edid: file to write the EDID to."), QStringLiteral("FILE")};
    QCommandLineOption inFile {QStringLiteral("in"),
        QStringLiteral("load-edid: file holding the EDID to load."), QStringLiteral("FILE")};
    QCommandLineOption force {QStringLiteral("force"),
        QStringLiteral("load-edid: load the file even if it is not a sound EDID.")};
};

// The connector references named on the command line, their GPU not yet known: kExitOk, or
// kExitUsage with the reason reported.
int connectorRefs(Options &o, ConnectorList &list)
{
    if (o.parser.isSet(o.gpu)) {
        quint32 gpuId = 0;
        if (!parseId(o.parser.value(o.gpu), gpuId))
            return fail(kExitUsage,
                QStringLiteral("invalid --gpu value \"%1\"").arg(o.parser.value(o.gpu)));
    }
    const QStringList values = o.parser.values(o.connector);
    if (values.isEmpty())
        return fail(kExitUsage, QStringLiteral("--connector is required"));
    for (const QString &v : values) {
        ConnectorRef ref;
        if (!parseId(v, ref.connectorId))
            return fail(kExitUsage, QStringLiteral("invalid --connector value \"%1\"").arg(v));
        list.connectors.append(ref);
    }
    return kExitOk;
}

// One exchange whose reply block is a `what` record: kExitOk when `record` holds it. Where
// emptyMessage is given, an empty block (the helper could not do it) fails with it.
template<typename T>
int exchangeRecord(HelperClient &client, const QByteArray &request, const QByteArray &replyWord,
    qsizetype smallestBlock, const char *what, T &record, const QString &emptyMessage = {})
{
    QByteArray block;
    const HelperClient::Result result = client.exchange(request, replyWord, block, smallestBlock);
    if (result != HelperClient::Result::Ok)
        return fail(exitCodeOf(result), client.errorString());
    if (block.isEmpty() && !emptyMessage.isEmpty())
        return fail(kExitFailed, emptyMessage);
    if (!decodeWholeBlock(block, record))
        return fail(kExitBadReply,
            QStringLiteral("undecodable %1 (%2 bytes)").arg(QLatin1String(what)).arg(block.size()));
    return kExitOk;
}

int fetchInventory(HelperClient &client, GpuList &list)
{
    return exchangeRecord(client, QByteArrayLiteral("getGpusInfo\n"), QByteArrayLiteral("gpusInfo"),
        encodeBlock(GpuList()).size(), "GPU list", list);
}

// Gives each reference the id of the GPU that lists its connector; refuses a GPU or a
// connector that the helper's inventory does not list.
int placeOnGpus(Options &o, HelperClient &client, ConnectorList &refs)
{
    GpuList inventory;
    if (const int code = fetchInventory(client, inventory))
        return code;
    const bool gpuNamed = o.parser.isSet(o.gpu);
    quint32 named = 0;
    if (gpuNamed) {
        parseId(o.parser.value(o.gpu), named); // checked by connectorRefs
        const bool listed = std::any_of(inventory.gpus.cbegin(), inventory.gpus.cend(),
            [named](const GpuInfo &g) { return g.id == named; });
        if (!listed)
            return fail(kExitUsage,
                QStringLiteral("GPU %1 is not in the helper's inventory").arg(idText(named)));
    }
    for (ConnectorRef &ref : refs.connectors) {
        const GpuInfo *owner = nullptr;
        for (const GpuInfo &g : inventory.gpus) {
            for (const ConnectorInfo &c : g.connectors) {
                if (c.mainId == ref.connectorId
                    || (c.isDualSupported && c.alternativeId == ref.connectorId))
                    owner = &g;
            }
            if (owner && (!gpuNamed || owner->id == named))
                break;
        }
        if (!owner)
            return fail(kExitUsage,
                QStringLiteral("connector %1 is not in the helper's inventory")
                    .arg(idText(ref.connectorId)));
        if (gpuNamed && owner->id != named)
            return fail(kExitUsage,
                QStringLiteral("connector %1 is not on GPU %2 in the helper's inventory")
                    .arg(idText(ref.connectorId), idText(named)));
        ref.gpuId = owner->id;
    }
    return kExitOk;
}

QString placeText(const ConnectorRef &ref)
{
    return QStringLiteral("connector %1 of GPU %2").arg(idText(ref.connectorId), idText(ref.gpuId));
}

int runGpus(Options &o, HelperClient &client)
{
    GpuList list;
    if (const int code = fetchInventory(client, list))
        return code;
    // Flushed now: under wine the C runtime's stdout is gone by the time static streams die.
    if (o.parser.isSet(o.table))
        out() << gpuListToTable(list) << Qt::flush;
    else
        out() << QJsonDocument(gpuListToJson(list)).toJson(QJsonDocument::Indented) << Qt::flush;
    return kExitOk;
}

int runExport(Options &o, HelperClient &client)
{
    ConnectorList refs;
    if (const int code = connectorRefs(o, refs))
        return code;
    if (refs.connectors.size() != 1)
        return fail(kExitUsage, QStringLiteral("export-edid takes exactly one --connector"));
    if (!o.parser.isSet(o.outFile))
        return fail(kExitUsage, QStringLiteral("export-edid needs --out FILE"));
    if (const int code = placeOnGpus(o, client, refs))
        return code;
    const ConnectorRef ref = refs.connectors.first();
    EdidBlock edid;
    if (const int code
        = exchangeRecord(client, QByteArrayLiteral("exportEdid\n") + encodeBlock(ref),
            QByteArrayLiteral("edidExported"), kSmallestEdidBlock, "EDID block", edid,
            QStringLiteral("the helper could not read the EDID of connector %1")
                .arg(idText(ref.connectorId))))
        return code;
    QFile file(o.parser.value(o.outFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(edid.edid) != edid.edid.size() || !file.flush())
        return fail(kExitFailed,
            QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    out() << "Wrote " << edid.edid.size() << " EDID bytes of " << placeText(ref) << " to "
          << file.fileName() << Qt::endl;
    return kExitOk;
}

// Runs one of the connector-list commands and reports, in the form of the export, which
// connectors were done: `done` gives the line's start for one of them.
template<typename DoneText>
int runListCommand(HelperClient &client, const QByteArray &request, const ConnectorList &requested,
    const QByteArray &replyWord, DoneText doneText)
{
    ConnectorList done;
    if (const int code = exchangeRecord(
            client, request, replyWord, encodeBlock(requested).size(), "connector list", done))
        return code;
    for (const ConnectorRef &ref : done.connectors)
        out() << doneText(ref) << Qt::endl;
    int code = kExitOk;
    for (const ConnectorRef &ref : requested.connectors) {
        if (!done.connectors.contains(ref)) {
            err() << "lm_helper_client: " << replyWord << " failed for connector "
                  << idText(ref.connectorId) << Qt::endl;
            code = kExitFailed;
        }
    }
    return code;
}

int runLoad(Options &o, HelperClient &client)
{
    ConnectorList refs;
    if (const int code = connectorRefs(o, refs))
        return code;
    if (!o.parser.isSet(o.inFile))
        return fail(kExitUsage, QStringLiteral("load-edid needs --in FILE"));
    if (encodeBlock(refs).size() > kMaxLoadListBytes)
        return fail(
            kExitUsage, QStringLiteral("too many connectors for one load-edid (at most 9)"));
    QFile file(o.parser.value(o.inFile));
    if (!file.open(QIODevice::ReadOnly))
        return fail(kExitUsage,
            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
    // Read no more than can ever travel: a larger file is refused by its size.
    const QByteArray edid = file.read(kMaxDatagramBytes + 1);
    if (edid.size() > kMaxDatagramBytes)
        return fail(kExitTooLarge,
            QStringLiteral("%1 has %2 bytes, more than one UDP datagram holds (%3 bytes)")
                .arg(file.fileName())
                .arg(file.size())
                .arg(kMaxDatagramBytes));
    if (edid.isEmpty())
        return fail(kExitUsage, QStringLiteral("%1 is empty").arg(file.fileName()));
    const QString problem = edidProblem(edid);
    if (!problem.isEmpty() && !o.parser.isSet(o.force))
        return fail(kExitUsage,
            QStringLiteral("%1 is not a valid EDID: %2; --force loads it anyway")
                .arg(file.fileName(), problem));
    if (const int code = placeOnGpus(o, client, refs))
        return code;
    const QByteArray list = encodeBlock(refs);
    const QByteArray request = QByteArrayLiteral("loadEdid\n") + char(list.size()) + list + edid;
    const QString loaded
        = QStringLiteral("Loaded %1 EDID bytes of %2 onto ").arg(edid.size()).arg(file.fileName());
    return runListCommand(client, request, refs, QByteArrayLiteral("edidLoaded"),
        [&loaded](const ConnectorRef &ref) { return loaded + placeText(ref); });
}

int runPlainList(Options &o, HelperClient &client, const QByteArray &word,
    const QByteArray &replyWord, const QString &verb)
{
    ConnectorList refs;
    if (const int code = connectorRefs(o, refs))
        return code;
    if (const int code = placeOnGpus(o, client, refs))
        return code;
    return runListCommand(
        client, word + encodeBlock(refs), refs, replyWord, [&verb](const ConnectorRef &ref) {
            return QStringLiteral("%1 the EDID of %2").arg(verb, placeText(ref));
        });
}

HelperClient::Result probe(HelperClient &client, int timeoutMs)
{
    QByteArray block;
    const HelperClient::Result result
        = client.exchange(kProbe, QByteArrayLiteral("UnknownCmd"), block, 0, timeoutMs);
    // Any answer at all means somebody serves the command port.
    return result == HelperClient::Result::UnexpectedReply ? HelperClient::Result::Ok : result;
}

// "exit\n" has no reply: ask the helper before and after, to tell whether it was there and
// whether it went.
int runExit(HelperClient &client)
{
    const HelperClient::Result before = probe(client, client.timeoutMs());
    if (before == HelperClient::Result::Timeout)
        return fail(kExitNoReply,
            QStringLiteral("no elevated helper answered on UDP port %1 within %2 ms; nothing "
                           "to end")
                .arg(HelperClient::kCommandPort)
                .arg(client.timeoutMs()));
    if (before != HelperClient::Result::Ok)
        return fail(exitCodeOf(before), client.errorString());
    if (client.send(QByteArrayLiteral("exit\n")) != HelperClient::Result::Ok)
        return fail(kExitNoReply, client.errorString());
    // The helper quits at its next turn of the event loop; a probe that reaches it before
    // then is still answered, so keep asking until the time-out.
    QDeadlineTimer deadline(client.timeoutMs());
    do {
        QThread::msleep(20);
        const HelperClient::Result after = probe(client, kGoneProbeMs);
        if (after == HelperClient::Result::Timeout) {
            out() << "The elevated helper answered and has ended." << Qt::endl;
            return kExitOk;
        }
        if (after != HelperClient::Result::Ok)
            return fail(exitCodeOf(after), client.errorString());
    } while (!deadline.hasExpired());
    return fail(kExitFailed,
        QStringLiteral("the elevated helper still answers %1 ms after \"exit\"")
            .arg(client.timeoutMs()));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lm_helper_client"));

    Options o;
    QCommandLineParser &parser = o.parser;
    parser.setApplicationDescription(QStringLiteral(
        "Talks to lm_elevated_helper on 127.0.0.1 (requests to UDP port 3064, replies on 3060).\n"
        "Commands:\n"
        "  gpus [--table]                                   GPU and connector inventory\n"
        "  export-edid [--gpu G] --connector C --out FILE   save a display's EDID\n"
        "  load-edid [--force] --in FILE --connector C...   load an EDID onto displays\n"
        "  lock-edid --connector C...                       lock the present EDIDs\n"
        "  unload-edid --connector C...                     remove loaded EDIDs\n"
        "  exit                                             end the helper and say so\n"
        "Exit codes: 0 done, 1 operation failed, 2 usage, 3 no reply, 4 undecodable reply,\n"
        "5 request or reply too large for one UDP datagram."));
    parser.addHelpOption();
    parser.addOptions(
        {o.source, o.timeout, o.table, o.gpu, o.connector, o.outFile, o.inFile, o.force});
    parser.addPositionalArgument(
        QStringLiteral("command"), QStringLiteral("What to ask the helper."));
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return fail(kExitUsage, QStringLiteral("expected one command; see --help"));
    bool ok = false;
    const int timeoutMs = parser.value(o.timeout).toInt(&ok);
    if (!ok || timeoutMs <= 0)
        return fail(kExitUsage,
            QStringLiteral("invalid --timeout value \"%1\"").arg(parser.value(o.timeout)));
    const QByteArray source = parser.value(o.source).toUtf8();
    if (source.isEmpty() || source.contains(']'))
        return fail(kExitUsage, QStringLiteral("--source must be non-empty and hold no \"]\""));

    HelperClient client(source, timeoutMs);
    const QString command = positional.first();
    if (command == QLatin1String("gpus"))
        return runGpus(o, client);
    if (command == QLatin1String("export-edid"))
        return runExport(o, client);
    if (command == QLatin1String("load-edid"))
        return runLoad(o, client);
    if (command == QLatin1String("lock-edid"))
        return runPlainList(o, client, QByteArrayLiteral("lockEdid\n"),
            QByteArrayLiteral("edidLocked"), QStringLiteral("Locked"));
    if (command == QLatin1String("unload-edid"))
        return runPlainList(o, client, QByteArrayLiteral("unloadEdid\n"),
            QByteArrayLiteral("edidUnloaded"), QStringLiteral("Unloaded"));
    if (command == QLatin1String("exit"))
        return runExit(client);
    return fail(kExitUsage, QStringLiteral("unknown command \"%1\"; see --help").arg(command));
}
