// lm_devhost as a user runs it: exit codes, messages, saving and a short run.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_WIN
#include <qt_windows.h>

#include <string>
#endif

namespace {

const char *const show = R"(<lumoraShow version="1" name="Cli">
  <instances><producer/><mediaServer id="1" name="Left" address="127.0.0.1"/></instances>
  <devices><device type="TestDevice" id="1" name="One" setting="x"/></devices>
  <nodes><node id="1" type="5d0c7f1e-2b7a-4c55-9a10-3f1d2e4c6b01" name="source"/></nodes>
</lumoraShow>
)";

#ifdef Q_OS_WIN
// Whether a symbolic link can be made in dir, as the logger makes its "-last.log" link.
bool makesSymLinks(const QString &dir)
{
    const std::wstring probe
        = QDir::toNativeSeparators(QDir(dir).filePath(QStringLiteral("symlink-probe")))
              .toStdWString();
    ::CreateSymbolicLinkW(probe.c_str(), L"nothing", SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    const bool made = QFileInfo(QString::fromStdWString(probe)).isSymLink();
    ::DeleteFileW(probe.c_str());
    return made;
}
#endif

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
    // Whether it exited with `code`, its output ending in `s`; `said` for a failed check.
    bool ended(int code, const QString &s) const { return exitCode == code && out.endsWith(s); }
    QByteArray said() const { return "exit " + QByteArray::number(exitCode) + ": " + out.toUtf8(); }
};

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

} // namespace

class TestDevhostCli : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_show;
    const QString m_plugins = QFileInfo(QStringLiteral(LM_TEST_PLUGIN_FILE)).absolutePath();

    Run run(const QStringList &arguments)
    {
        QProcess process;
        // A Windows program ends its console lines with \r\n; read in text mode they end in \n.
        process.start(
            QStringLiteral(LM_DEVHOST), arguments, QIODevice::ReadWrite | QIODevice::Text);
        Run result;
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // This test's plug-in with its show, or `show`.
    Run runShow(const QStringList &more, const QString &show = QString())
    {
        return run(
            QStringList {show.isEmpty() ? m_show : show, QStringLiteral("--plugins"), m_plugins}
            + more);
    }
    // An example show on virtual time.
    Run runExample(const char *name, const char *plugins, const QStringList &more)
    {
        return run(QStringList {QStringLiteral(LM_EXAMPLES_DIR "/shows/") + QLatin1String(name),
                       QStringLiteral("--plugins"), QString::fromUtf8(plugins),
                       QStringLiteral("--virtual-time")}
            + more);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_show = path(QStringLiteral("show.xml"));
        QVERIFY(writeFile(m_show, show));
        QVERIFY(writeFile(path(QStringLiteral("script.txt")),
            "0.1 expectFired node=1 trigger=Changed count=0\n"
            "0.2 expectOutput node=1 output=0 value=7 instance=Left\n"));
        QVERIFY(writeFile(path(QStringLiteral("bad.txt")),
            "# the media server is 1\n1 touch server=2 output=0 x=1 y=1\n"));
    }

    void expectationsDecideTheExitCode()
    {
        const QStringList base {QStringLiteral("--virtual-time"), QStringLiteral("--script"),
            path(QStringLiteral("script.txt"))};
        Run r = runShow(base);
        QVERIFY2(
            r.ended(5,
                QStringLiteral("stopped\nexpectation not met: line 2: at 0.2 s, node 1 "
                               "\"source\" output \"Level\" on Left: expected 7, found "
                               "(undefined) on Left\nexpectations: 1 met, 1 not met (of 2)\n")),
            r.said());
        // Within its length the run checks the first only: the second is not counted as met.
        r = runShow(base + QStringList {QStringLiteral("--for"), QStringLiteral("0.15")});
        QVERIFY2(r.ended(6,
                     QStringLiteral("expectation not checked: line 2: expectOutput at 0.2 s: the "
                                    "run ended at 0.15 s\nexpectations: 1 met, 1 not checked (of "
                                    "2)\n")),
            r.said());
    }

    // A window shot without --for ended after its shots and counted the expectations it
    // never reached as met (exit 0); it now runs its script out first.
    void windowRunChecksTheWholeScript()
    {
        const QString script = path(QStringLiteral("late.txt"));
        QVERIFY(writeFile(script,
            "0.1 expectFired node=1 trigger=Changed count=0\n"
            "2 expectOutput node=1 output=0 value=7 instance=Left\n"));
        const QString shots = path(QStringLiteral("shots"));
        const Run r = runShow({QStringLiteral("--gui"), QStringLiteral("--offscreen"),
            QStringLiteral("--screenshot"), shots, QStringLiteral("--script"), script});
        QVERIFY2(r.ended(5, QStringLiteral("expectations: 1 met, 1 not met (of 2)\n")), r.said());
        QVERIFY2(r.out.contains(QStringLiteral("expectation not met: line 2: at 2 s")),
            qPrintable(r.out));
        QVERIFY(QFile::exists(shots + QStringLiteral("/window.png")));
    }

#ifdef LM_TOUCH_PLUGIN_DIR
    void touchShowMeetsItsExpectations()
    {
        const Run r
            = runExample("touch.xml", LM_TOUCH_PLUGIN_DIR, {QStringLiteral("--trace-sync")});
        QVERIFY2(r.ended(0, QStringLiteral("expectations: all 10 met\n")), r.said());
        // Reported on Left, relayed by the master to Right, rounded to 6 digits on the way.
        QVERIFY(r.out.contains(QStringLiteral("[Left] node 2 \"Zone\": output \"Position\" = "
                                              "(100.12346, 200.65433)")));
        QCOMPARE(
            r.out.count(QStringLiteral(
                "[Producer] sync TouchScreen #1: {e7c14b2a-3f85-4d91-a6e0-8b2c5f1d0e43}*100.123*"
                "200.654")),
            1);
        QCOMPARE(
            r.out.count(QStringLiteral("[Right] node 2 \"Zone\": trigger \"On Touch\" fired")), 1);
        QCOMPARE(
            r.out.count(QStringLiteral("[Right] node 1 \"Any touch\": trigger \"On Touch\" fired")),
            2);
    }
#endif

#ifdef LM_PING_PLUGIN_DIR
    // The probe's result landed on whatever virtual tick the real process allowed: now
    // and then "found (undefined)".
    void virtualTimeIsRepeatableWithAPingDevice()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("ping")).isEmpty())
            QSKIP("no ping command");
        const QString script = path(QStringLiteral("ping.txt"));
        QVERIFY(writeFile(script,
            "0.1 expectOutput node=1 output=Reachable value=true\n"
            "5 expectOutput node=1 output=Reachable value=true\n"));
        const auto runPing = [this, &script] {
            return runExample("ping.xml", LM_PING_PLUGIN_DIR,
                {QStringLiteral("--trace-sync"), QStringLiteral("--script"), script});
        };
        const Run first = runPing();
        QVERIFY2(first.ended(0,
                     QStringLiteral(
                         "[Producer] node 1 \"Loopback status\": output \"Reachable\" = true\n"
                         "[Stage] node 1 \"Loopback status\": output \"Reachable\" = true\n"
                         "stopped\nexpectations: all 2 met\n")),
            first.said());
        for (int i = 0; i < 9; ++i)
            QCOMPARE(runPing().out, first.out);
    }
#endif

#ifdef LM_PHIDGET_PLUGIN_DIR
    void phidgetShowMeetsItsExpectations()
    {
        const Run r = runExample(
            "phidget.xml", LM_PHIDGET_PLUGIN_DIR, {QStringLiteral("--trace-phidget22")});
        QVERIFY2(r.ended(0, QStringLiteral("expectations: all 12 met\n")), r.said());
        QVERIFY(
            r.out.contains(QStringLiteral("[Stage] node 1 \"Button 0\": output \"Value\" = true")));
        QCOMPARE(r.out.count(QStringLiteral("[board 12345] digital output 0 = true\n")), 1);
        // Both instances open the outputs; only the hosting producer writes, one handle.
        QCOMPARE(r.out.count(QStringLiteral("] PhidgetDigitalOutput_create(")), 8);
        const QStringList writes
            = r.out.split(QLatin1Char('\n'))
                  .filter(QStringLiteral("PhidgetDigitalOutput_setState_async("));
        QCOMPARE(writes.size(), 3);
        QCOMPARE(writes.filter(writes.first().section(QLatin1Char(','), 0, 0)).size(), 3);
    }
#endif

    void runsForTheGivenTime()
    {
        const Run r = runShow({QStringLiteral("--for"), QStringLiteral("0.3")});
        QVERIFY2(r.ended(0, QStringLiteral("stopped\n")), r.said());
        QVERIFY2(r.out.contains(QStringLiteral("device type \"TestDevice\"")), qPrintable(r.out));
        QVERIFY(r.out.contains(QStringLiteral("2 instance(s)")));
        // Ends before the event loop would have had a first turn.
        QVERIFY(runShow({QStringLiteral("--for"), QStringLiteral("0")})
                    .out.endsWith(QStringLiteral("stopped\n")));
    }

    // Stopped from outside (SIGTERM; Ctrl+C on Windows), the run reports as the end of --for
    // does; it died silently.
    void stopSignalEndsTheRunAsForDoes()
    {
#ifdef Q_OS_WIN
        // Ctrl+C reaches a console program through a console that it shares with this test.
        if (!::GetConsoleWindow() && !::AllocConsole())
            QSKIP("no console to send Ctrl+C through (wine run without a terminal has none)");
#endif
        const QString script = path(QStringLiteral("long.txt"));
        QVERIFY(writeFile(script,
            "0 expectFired node=1 trigger=Changed count=0\n"
            "600 expectFired node=1 trigger=Changed count=0\n"));
        QProcess process;
        process.start(QStringLiteral(LM_DEVHOST),
            {m_show, QStringLiteral("--plugins"), m_plugins, QStringLiteral("--script"), script},
            QIODevice::ReadWrite | QIODevice::Text);
        QVERIFY(process.waitForStarted());
        QByteArray out;
        while (!out.contains("instance(s)") && process.waitForReadyRead(10000))
            out += process.readAllStandardOutput();
        QTest::qWait(300);
#ifdef Q_OS_WIN
        // Every process of the console gets it: this one ignores it meanwhile.
        ::SetConsoleCtrlHandler(nullptr, TRUE);
        const bool sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        const bool finished = sent && process.waitForFinished(10000);
        ::SetConsoleCtrlHandler(nullptr, FALSE);
        QVERIFY(sent);
        QVERIFY(finished);
#else
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
#endif
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 6);
        QVERIFY2(out.contains("stopped\nexpectation not checked: line 2: expectFired at 600 s"),
            out.constData());
        QVERIFY(out.endsWith("expectations: 1 met, 1 not checked (of 2)\n"));
    }

    void saveWithoutForSavesAndExits()
    {
        const QString first = path(QStringLiteral("first.xml"));
        const QString second = path(QStringLiteral("second.xml"));
        QCOMPARE(runShow({QStringLiteral("--save"), first}).exitCode, 0);
        const Run r = runShow({QStringLiteral("--save"), second}, first);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!r.out.contains(QStringLiteral("stopped")));
        QFile a(first);
        QFile b(second);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        const QByteArray saved = a.readAll();
        QCOMPARE(b.readAll(), saved);
        QVERIFY(saved.contains("setting=\"x\""));
    }

    void logFileReceivesTheMessages()
    {
        const QString log = path(QStringLiteral("logs/devhost-test.log"));
        // The logger makes its directory and the "-last.log" link.
        const Run r
            = runShow({QStringLiteral("--for"), QStringLiteral("0.1"), QStringLiteral("--log"), log,
                QStringLiteral("--log-mode"), QStringLiteral("Developer")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QFile::exists(log));
#ifdef Q_OS_WIN
        if (!makesSymLinks(path(QStringLiteral("logs"))))
            QSKIP("this Windows makes no symbolic links (no developer mode or administrator "
                  "rights, or wine before 10.20, whose CreateSymbolicLinkW is a stub)");
#endif
        QVERIFY(QFileInfo(path(QStringLiteral("logs/devhost-last.log"))).isSymLink());
    }

    void announcedMessagesArePrinted()
    {
        const QString critical = path(QStringLiteral("critical.xml"));
        QVERIFY(
            writeFile(critical, QByteArray(show).replace("setting=\"x\"", "setting=\"critical\"")));
        const QString log = path(QStringLiteral("logs/critical-run.log"));
        const Run r = runShow(
            {QStringLiteral("--for"), QStringLiteral("0.1"), QStringLiteral("--log"), log},
            critical);
        QCOMPARE(r.exitCode, 0);
        // Not active on the master only: both instances run init().
        QCOMPARE(r.out.count(QStringLiteral("message [CRITICAL] [TEST] critical from One")), 2);
        QFile written(log);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll().count("[TEST] critical from One"), 2);
    }

    void errorsExitNonZero_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no show") << QStringList {} << 1 << "no show file given";
        QTest::newRow("bad --for") << QStringList {QStringLiteral("x.xml"), QStringLiteral("--for"),
            QStringLiteral("soon")} << 1
                                   << "--for needs a number";
        QTest::newRow("mode without log") << QStringList {QStringLiteral("x.xml"),
            QStringLiteral("--log-mode"), QStringLiteral("Show")}
                                          << 1 << "--log-mode needs --log";
        QTest::newRow("unknown mode") << QStringList {QStringLiteral("x.xml"),
            QStringLiteral("--log"), QStringLiteral("/dev/null"), QStringLiteral("--log-mode"),
            QStringLiteral("show")} << 1
                                      << "unknown log mode \"show\"";
        QTest::newRow("unreadable show") << QStringList {QStringLiteral("/nonexistent/show.xml"),
            QStringLiteral("--plugins"), QString()}
                                         << 2 << "cannot read show /nonexistent/show.xml";
        QTest::newRow("missing plug-in")
            << QStringList {QString(), QStringLiteral("--plugins"), QStringLiteral("EMPTY")} << 2
            << "device type \"TestDevice\" at line 3: no loaded plug-in provides it";
        QTest::newRow("plug-in directory")
            << QStringList {QString(), QStringLiteral("--plugins"),
                   QStringLiteral("/nonexistent/plugins")}
            << 3 << "plug-in directory /nonexistent/plugins cannot be read";
        QTest::newRow("script") << QStringList {QString(), QStringLiteral("--plugins"), QString(),
            QStringLiteral("--script"), QStringLiteral("BAD")}
                                << 2 << "bad.txt, line 2: touch: the show has no media server 2";
        QTest::newRow("virtual time without end")
            << QStringList {QString(), QStringLiteral("--plugins"), QString(),
                   QStringLiteral("--virtual-time")}
            << 1 << "--virtual-time needs --for or scripted entries";
        QTest::newRow("log not writable") << QStringList {QString(), QStringLiteral("--plugins"),
            QString(), QStringLiteral("--for"), QStringLiteral("0.1"), QStringLiteral("--log"),
            QStringLiteral("UNDERFILE")} << 1
                                          << "cannot write the log file";
        QTest::newRow("save") << QStringList {QString(), QStringLiteral("--plugins"), QString(),
            QStringLiteral("--save"), QStringLiteral("/nonexistent/dir/out.xml")}
                              << 4 << "cannot write /nonexistent/dir/out.xml";
    }

    void errorsExitNonZero()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        // Empty entries stand for this test's show and plug-in directory.
        for (int i = 0; i < arguments.size(); ++i) {
            if (arguments[i].isEmpty())
                arguments[i] = i == 0 ? m_show : m_plugins;
            // A directory that is a file: the log cannot be made there.
            if (arguments[i] == QLatin1String("UNDERFILE"))
                arguments[i] = m_show + QStringLiteral("/run.log");
            if (arguments[i] == QLatin1String("BAD"))
                arguments[i] = path(QStringLiteral("bad.txt"));
            if (arguments[i] == QLatin1String("EMPTY")) {
                QDir(m_dir.path()).mkpath(QStringLiteral("empty"));
                arguments[i] = path(QStringLiteral("empty"));
            }
        }
        const Run r = run(arguments);
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    }
};

QTEST_GUILESS_MAIN(TestDevhostCli)
#include "tst_devhost_cli.moc"
