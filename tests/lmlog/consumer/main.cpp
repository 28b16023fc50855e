// Both include forms work: the directory-qualified one and the bare one.
#include <LMFile.h>
#include <lmlog/LMLog.h>

#include <QFile>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    {
        LMLog log(QString::fromLocal8Bit(argv[1]), 1000);
        log.qtLogHandler(QtWarningMsg, QMessageLogContext(), QStringLiteral("from the consumer"));
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    return file.readAll().contains("[WARNING]   :   0 from the consumer") ? 0 : 1;
}
