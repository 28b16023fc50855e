#include "HelperClient.h"
#include "HelperRecords.h"
#include "InventoryFormat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QTextStream>

namespace {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1; // the helper answered, but the operation failed (partly)
constexpr int kExitUsage = 2;
constexpr int kExitNoReply = 3;
constexpr int kExitBadReply = 4;
// The connector list of "loadEdid\n" must fit the 127 bytes its length byte can announce.
constexpr int kMaxLoadListBytes = 127;

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
    return result == HelperClient::Result::UnexpectedReply ? kExitBadReply : kExitNoReply;
}

QString connectorText(quint32 id)
{
    return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
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
        QStringLiteral("Source name the helper forwards its reply to."), QStringLiteral("NAME"),
        QStringLiteral("cli")};
    QCommandLineOption timeout {QStringLiteral("timeout"),
        QStringLiteral("Milliseconds to wait for the reply."), QStringLiteral("MS"),
        QStringLiteral("2000")};
    QCommandLineOption table {
        QStringLiteral("table"), QStringLiteral("gpus: print a readable table instead of JSON.")};
    QCommandLineOption gpu {QStringLiteral("gpu"),
        QStringLiteral("GPU id of the inventory (default 0)."), QStringLiteral("G"),
        QStringLiteral("0")};
    QCommandLineOption connector {QStringLiteral("connector"),
        QStringLiteral("Connector (NVAPI display id, decimal or 0x hex); repeatable."),
        QStringLiteral("C")};
    QCommandLineOption outFile {QStringLiteral("out"),
        QStringLiteral("export-edid: file to write the EDID to."), QStringLiteral("FILE")};
    QCommandLineOption inFile {QStringLiteral("in"),
        QStringLiteral("load-edid: file holding the EDID to load."), QStringLiteral("FILE")};
};

// The connector references named on the command line.
bool connectorRefs(Options &o, ConnectorList &list, QString &error)
{
    quint32 gpuId = 0;
    if (!parseId(o.parser.value(o.gpu), gpuId)) {
        error = QStringLiteral("invalid --gpu value \"%1\"").arg(o.parser.value(o.gpu));
        return false;
    }
    const QStringList values = o.parser.values(o.connector);
    if (values.isEmpty()) {
        error = QStringLiteral("--connector is required");
        return false;
    }
    for (const QString &v : values) {
        ConnectorRef ref;
        ref.gpuId = gpuId;
        if (!parseId(v, ref.connectorId)) {
            error = QStringLiteral("invalid --connector value \"%1\"").arg(v);
            return false;
        }
        list.connectors.append(ref);
    }
    return true;
}

int runGpus(Options &o, HelperClient &client)
{
    QByteArray block;
    const HelperClient::Result result
        = client.exchange(QByteArrayLiteral("getGpusInfo\n"), QByteArrayLiteral("gpusInfo"), block);
    if (result != HelperClient::Result::Ok)
        return fail(exitCodeOf(result), client.errorString());
    GpuList list;
    if (!decodeWholeBlock(block, list))
        return fail(
            kExitBadReply, QStringLiteral("undecodable GPU list (%1 bytes)").arg(block.size()));
    if (o.parser.isSet(o.table))
        out() << gpuListToTable(list);
    else
        out() << QJsonDocument(gpuListToJson(list)).toJson(QJsonDocument::Indented);
    return kExitOk;
}

int runExport(Options &o, HelperClient &client)
{
    ConnectorList refs;
    QString error;
    if (!connectorRefs(o, refs, error))
        return fail(kExitUsage, error);
    if (refs.connectors.size() != 1)
        return fail(kExitUsage, QStringLiteral("export-edid takes exactly one --connector"));
    if (!o.parser.isSet(o.outFile))
        return fail(kExitUsage, QStringLiteral("export-edid needs --out FILE"));
    const ConnectorRef ref = refs.connectors.first();
    QByteArray block;
    const HelperClient::Result result
        = client.exchange(QByteArrayLiteral("exportEdid\n") + encodeBlock(ref),
            QByteArrayLiteral("edidExported"), block);
    if (result != HelperClient::Result::Ok)
        return fail(exitCodeOf(result), client.errorString());
    if (block.isEmpty())
        return fail(kExitFailed,
            QStringLiteral("the helper could not read the EDID of connector %1")
                .arg(connectorText(ref.connectorId)));
    EdidBlock edid;
    if (!decodeWholeBlock(block, edid))
        return fail(
            kExitBadReply, QStringLiteral("undecodable EDID block (%1 bytes)").arg(block.size()));
    QFile file(o.parser.value(o.outFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(edid.edid) != edid.edid.size() || !file.flush())
        return fail(kExitFailed,
            QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    out() << "Wrote " << edid.edid.size() << " EDID bytes of connector "
          << connectorText(ref.connectorId) << " to " << file.fileName() << Qt::endl;
    return kExitOk;
}

// Runs one of the connector-list commands and reports which connectors were done.
int runListCommand(HelperClient &client, const QByteArray &request, const ConnectorList &requested,
    const QByteArray &replyWord)
{
    QByteArray block;
    const HelperClient::Result result = client.exchange(request, replyWord, block);
    if (result != HelperClient::Result::Ok)
        return fail(exitCodeOf(result), client.errorString());
    ConnectorList done;
    if (!decodeWholeBlock(block, done))
        return fail(kExitBadReply,
            QStringLiteral("undecodable connector list (%1 bytes)").arg(block.size()));
    out() << QJsonDocument(connectorListToJson(done)).toJson(QJsonDocument::Indented);
    int code = kExitOk;
    for (const ConnectorRef &ref : requested.connectors) {
        if (!done.connectors.contains(ref)) {
            err() << "lm_helper_client: " << replyWord << " failed for connector "
                  << connectorText(ref.connectorId) << Qt::endl;
            code = kExitFailed;
        }
    }
    return code;
}

int runLoad(Options &o, HelperClient &client)
{
    ConnectorList refs;
    QString error;
    if (!connectorRefs(o, refs, error))
        return fail(kExitUsage, error);
    if (!o.parser.isSet(o.inFile))
        return fail(kExitUsage, QStringLiteral("load-edid needs --in FILE"));
    QFile file(o.parser.value(o.inFile));
    if (!file.open(QIODevice::ReadOnly))
        return fail(kExitUsage,
            QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString()));
    const QByteArray edid = file.readAll();
    if (edid.isEmpty())
        return fail(kExitUsage, QStringLiteral("%1 is empty").arg(file.fileName()));
    const QByteArray list = encodeBlock(refs);
    if (list.size() > kMaxLoadListBytes)
        return fail(
            kExitUsage, QStringLiteral("too many connectors for one load-edid (at most 9)"));
    const QByteArray request = QByteArrayLiteral("loadEdid\n") + char(list.size()) + list + edid;
    return runListCommand(client, request, refs, QByteArrayLiteral("edidLoaded"));
}

int runPlainList(
    Options &o, HelperClient &client, const QByteArray &word, const QByteArray &replyWord)
{
    ConnectorList refs;
    QString error;
    if (!connectorRefs(o, refs, error))
        return fail(kExitUsage, error);
    return runListCommand(client, word + encodeBlock(refs), refs, replyWord);
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
        "  export-edid --gpu G --connector C --out FILE     save a display's EDID\n"
        "  load-edid --in FILE --connector C...             load an EDID onto displays\n"
        "  lock-edid --connector C...                       lock the present EDIDs\n"
        "  unload-edid --connector C...                     remove loaded EDIDs\n"
        "  exit                                             end the helper\n"
        "Exit codes: 0 done, 1 operation failed, 2 usage, 3 no reply, 4 undecodable reply."));
    parser.addHelpOption();
    parser.addOptions({o.source, o.timeout, o.table, o.gpu, o.connector, o.outFile, o.inFile});
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
        return runPlainList(
            o, client, QByteArrayLiteral("lockEdid\n"), QByteArrayLiteral("edidLocked"));
    if (command == QLatin1String("unload-edid"))
        return runPlainList(
            o, client, QByteArrayLiteral("unloadEdid\n"), QByteArrayLiteral("edidUnloaded"));
    if (command == QLatin1String("exit")) {
        if (client.send(QByteArrayLiteral("exit\n")) != HelperClient::Result::Ok)
            return fail(kExitNoReply, client.errorString());
        return kExitOk;
    }
    return fail(kExitUsage, QStringLiteral("unknown command \"%1\"; see --help").arg(command));
}
