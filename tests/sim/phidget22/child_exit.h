#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <cstdlib>

// How a process of this test ends: a test function runs again in a child process, sets up what
// the exit meets, and exits there.
namespace ChildExit {

// Whether this run is that child.
inline bool isChild()
{
    return qEnvironmentVariableIsSet("LM_CHILD_EXIT");
}

// In the child: says so on stderr and exits with code 3, leaving everything as it is.
[[noreturn]] inline void exitNow()
{
    std::fputs("exiting\n", stderr);
    std::fflush(stderr);
    std::exit(3);
}

// Runs `testFunction` in a child and returns the milliseconds from its exitNow() to the end of
// the process; -1 when it did not get there, did not end, or (on Linux) did not end with code 3.
// On Windows what is measured is that the exit does not wait for a thread the system has ended:
// under wine on a loaded machine one such exit was seen to end without code 3 (cause not found),
// so there the code is reported, not required.
inline qint64 millisecondsToExit(const char *testFunction)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LM_CHILD_EXIT"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setReadChannel(QProcess::StandardError);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(testFunction)});
    QByteArray said;
    while (!said.contains("exiting") && child.waitForReadyRead(30000))
        said += child.readAllStandardError();
    QElapsedTimer exiting;
    exiting.start();
    const bool ended = said.contains("exiting") && child.waitForFinished(30000);
    const qint64 elapsed = exiting.elapsed();
    const bool code3 = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 3;
#ifdef _WIN32
    const bool asItShould = ended;
#else
    const bool asItShould = ended && code3;
#endif
    if (!asItShould) {
        qWarning("the child did not exit as it should (status %d, code %d): %s",
            int(child.exitStatus()), child.exitCode(), said.constData());
        child.kill();
        child.waitForFinished(5000);
        return -1;
    }
    if (!code3)
        qWarning("the child ended with status %d, code %d instead of code 3",
            int(child.exitStatus()), child.exitCode());
    return elapsed;
}

} // namespace ChildExit
