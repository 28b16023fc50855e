#include "LinkTestUtil.h"
#include "LogTestUtil.h"

#include <LMFile.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <utime.h>

namespace {
// Gives every created entry a distinct age: index 0 is the newest.
void setAge(const QString &path, int minutesOld)
{
    const qint64 seconds = QDateTime::currentSecsSinceEpoch() - 60 * qint64(minutesOld);
    utimbuf times {time_t(seconds), time_t(seconds)};
    ::utime(QFile::encodeName(path).constData(), &times);
}
} // namespace

class TestLMFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keepsNewestOfAllGenerations();
    void keepZeroDeletesAllMatches();
    void keepAllDeletesNothing();
    void nonMatchingNeverTouched();
    void missingDirectoryIsHarmless();
    void lastLinkCountsAsLog();
    void lastLinkGoesWithItsTarget_data();
    void lastLinkGoesWithItsTarget();
    void unremovableEntryDoesNotStopTheRest();
    void logHeldOpenStays();

private:
    // Creates the files, the first named being the newest.
    void create(const QStringList &names);
    QStringList remaining() const
    {
        QStringList names
            = QDir(m_dir->path())
                  .entryList(
                      QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
        return names;
    }
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLMFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLMFile::cleanup()
{
    m_dir.reset();
}

void TestLMFile::create(const QStringList &names)
{
    for (int i = 0; i < names.size(); ++i) {
        QFile file(path(names.at(i)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x\n");
        file.close();
        setAge(file.fileName(), i + 1);
    }
}

void TestLMFile::keepsNewestOfAllGenerations()
{
    create({"app-3.log", "app-2.log.old1", "app-2.log", "app-1.log.old5", "app-1.log.old",
        "app-1.log"});
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 3);
    QCOMPARE(remaining(), QStringList({"app-2.log", "app-2.log.old1", "app-3.log"}));
}

void TestLMFile::keepZeroDeletesAllMatches()
{
    create({"app-1.log", "app-1.log.old1", "app-1.log.old2", "app-1.log.old3", "app-1.log.old4"});
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 0);
    QVERIFY(remaining().isEmpty());
}

void TestLMFile::keepAllDeletesNothing()
{
    const QStringList names {"app-1.log", "app-2.log", "app-2.log.old1"};
    create(names);
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 3);
    QCOMPARE(remaining().size(), 3);
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 1000);
    QCOMPARE(remaining().size(), 3);
}

void TestLMFile::nonMatchingNeverTouched()
{
    // The old, non-matching files come last in age, so they would go first.
    create(
        {"app-1.log", "other-1.log", "app-1.txt", "app-1.log.old6", "app-1.log.bak", "xapp-1.log"});
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 0);
    QCOMPARE(remaining(),
        QStringList({"app-1.log.bak", "app-1.log.old6", "app-1.txt", "other-1.log", "xapp-1.log"}));
}

void TestLMFile::missingDirectoryIsHarmless()
{
    create({"app-1.log"});
    LMFile::removeOldLogs(path("missing"), QStringLiteral("app"), QStringLiteral(".log"), 0);
    QCOMPARE(remaining(), QStringList({"app-1.log"}));
}

void TestLMFile::lastLinkCountsAsLog()
{
    // The link's age is its target's: make it the newest of the family.
    LM_SKIP_WITHOUT_SYMLINKS(m_dir->path());
    create({"current.txt", "app-2.log", "app-1.log"});
    QVERIFY(makeSymLink(QStringLiteral("current.txt"), path("app-last.log")));
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 1);
    QCOMPARE(remaining(), QStringList({"app-last.log", "current.txt"}));
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 0);
    QCOMPARE(remaining(), QStringList({"current.txt"}));
}

void TestLMFile::lastLinkGoesWithItsTarget_data()
{
    QTest::addColumn<quint32>("keep");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("keep 0") << 0u << QStringList();
    QTest::newRow("keep 1") << 1u << QStringList({"app-2.log", "app-last.log"});
    QTest::newRow("keep 2") << 2u << QStringList({"app-1.log", "app-2.log", "app-last.log"});
}

void TestLMFile::lastLinkGoesWithItsTarget()
{
    // The link shares its target's time, so it must not take the target's
    // place among the kept, nor outlive it.
    QFETCH(quint32, keep);
    QFETCH(QStringList, left);
    LM_SKIP_WITHOUT_SYMLINKS(m_dir->path());
    create({"app-2.log", "app-1.log"});
    QVERIFY(makeSymLink(QStringLiteral("app-2.log"), path("app-last.log")));
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), keep);
    QCOMPARE(remaining(), left);
}

void TestLMFile::unremovableEntryDoesNotStopTheRest()
{
    create({"app-1.log", "app-2.log"});
    QFile old(path("app-0.log"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.close();
    setAge(old.fileName(), 30);
    // The newest entry, first in the list: a directory that matched.
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("app-dir.log")));
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 0);
    // The directory could not be removed; every file after it still went.
    QCOMPARE(remaining(), QStringList({"app-dir.log"}));
}

void TestLMFile::logHeldOpenStays()
{
#ifdef Q_OS_WIN
    // A log viewer holds the log open without delete sharing: Windows
    // refuses to delete it, and the older logs after it still go.
    create({"app-3.log", "app-2.log", "app-1.log"});
    HeldOpen viewer(path("app-2.log"));
    QVERIFY(viewer.isHeld());
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 0);
    QCOMPARE(remaining(), QStringList({"app-2.log"}));
    viewer.release();
    LMFile::removeOldLogs(m_dir->path(), QStringLiteral("app"), QStringLiteral(".log"), 0);
    QVERIFY(remaining().isEmpty());
#else
    QSKIP("only Windows refuses to delete a file that another program holds open");
#endif
}

QTEST_GUILESS_MAIN(TestLMFile)
#include "tst_lmfile.moc"
