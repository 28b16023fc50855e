// The helper's Windows seams through the system's own calls (wine's under the test command):
// the event log entry as ReportEventA receives it, and the command line split into the ANSI
// code page.
#include "CommandLine.h"
#include "EventLog.h"

#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <cstring>

#include <windows.h>

extern "C" {
// The import slot through which the event log seam calls ReportEventA.
extern decltype(&ReportEventA) __imp_ReportEventA;
}

namespace {

struct ReportedEvent
{
    int calls = 0;
    WORD type = 0;
    WORD category = 0;
    DWORD id = 0;
    WORD strings = 0;
    DWORD dataSize = 0;
    QByteArray text; // the first string, up to its NUL, as ReportEventA reads it
};

ReportedEvent s_reported;
decltype(&ReportEventA) s_realReportEventA = nullptr;

// Records the call, then hands it on to the system, which logs it (wine traces the strings
// on its eventlog channel).
BOOL WINAPI recordReportEventA(HANDLE source, WORD type, WORD category, DWORD id, PSID user,
    WORD count, DWORD dataSize, LPCSTR *strings, LPVOID data)
{
    ++s_reported.calls;
    s_reported.type = type;
    s_reported.category = category;
    s_reported.id = id;
    s_reported.strings = count;
    s_reported.dataSize = dataSize;
    s_reported.text = count > 0 && strings && strings[0] ? QByteArray(strings[0]) : QByteArray();
    return s_realReportEventA(source, type, category, id, user, count, dataSize, strings, data);
}

bool setImportSlot(decltype(&ReportEventA) function)
{
    DWORD oldProtection = 0;
    if (!VirtualProtect(
            &__imp_ReportEventA, sizeof(__imp_ReportEventA), PAGE_READWRITE, &oldProtection))
        return false;
    __imp_ReportEventA = function;
    VirtualProtect(&__imp_ReportEventA, sizeof(__imp_ReportEventA), oldProtection, &oldProtection);
    return true;
}

constexpr char kPrintArguments[] = "LM_TEST_PRINT_ARGUMENTS";

} // namespace

class TestHelperWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        s_realReportEventA = __imp_ReportEventA;
        QVERIFY(setImportSlot(&recordReportEventA));
    }

    void cleanupTestCase() { setImportSlot(s_realReportEventA); }

    void reportEventHandsTheEscapedBoundedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArray>("tail");
        // A C string ends at the first NUL: unescaped, "b" would never reach the log.
        QTest::newRow("NUL") << QString::fromUtf8("a\0b", 3) << QByteArray("a\\x00b")
                             << QByteArray("a\\x00b");
        // ReportEventA refuses strings of about 31,800 characters and more.
        QTest::newRow("40000 characters")
            << QString(40000, QLatin1Char('x')) << QByteArray(1000, 'x')
            << QByteArray("x [cut, 40000 bytes in all]");
    }

    void reportEventHandsTheEscapedBoundedText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, head);
        QFETCH(QByteArray, tail);
        s_reported = ReportedEvent();
        reportEvent(text);
        QCOMPARE(s_reported.calls, 1);
        QCOMPARE(s_reported.type, WORD(EVENTLOG_INFORMATION_TYPE));
        QCOMPARE(s_reported.category, WORD(0));
        QCOMPARE(s_reported.id, DWORD(0));
        QCOMPARE(s_reported.strings, WORD(1));
        QCOMPARE(s_reported.dataSize, DWORD(0));
        QVERIFY2(s_reported.text.startsWith(head), s_reported.text.left(80).constData());
        QVERIFY2(s_reported.text.endsWith(tail), s_reported.text.right(80).constData());
        QVERIFY(s_reported.text.size() <= kEventTextLimit);
    }

    void processArgumentsSplitsIntoTheAnsiCodePage()
    {
        if (GetACP() != 1252)
            QSKIP("the expected bytes are those of code page 1252, wine's with an English or C "
                  "locale; this system's ANSI code page differs");
        // The program's own command line, as Windows hands it to a child started with these.
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kPrintArguments), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
            {QString::fromUtf8("caf\u00e9"), QString::fromUtf8("\u20ac"),
                QString::fromUtf8("\u4e2d"), QStringLiteral("a b")});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitCode(), 0);
        // The child's stdout is in text mode: its lines end in CR LF.
        QList<QByteArray> lines
            = child.readAllStandardOutput().replace('\r', "").trimmed().split('\n');
        QCOMPARE(lines.size(), 5);
        lines.removeFirst(); // the program's path
        // é and € are in code page 1252 (€ at 0x80, unlike Latin-1); 中 is not, and becomes
        // the default character; a quoted argument with a space stays one argument.
        QCOMPARE(lines, (QList<QByteArray> {"636166e9", "80", "3f", "612062"}));
    }
};

int main(int argc, char *argv[])
{
    // The child of processArgumentsSplitsIntoTheAnsiCodePage: its arguments in hexadecimal,
    // one a line.
    if (qEnvironmentVariableIsSet(kPrintArguments)) {
        std::vector<std::string> arguments;
        if (!processArguments(argc, argv, arguments))
            return 2;
        for (const std::string &argument : arguments)
            std::printf("%s\n", QByteArray::fromStdString(argument).toHex().constData());
        std::fflush(stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestHelperWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_helper_windows.moc"
