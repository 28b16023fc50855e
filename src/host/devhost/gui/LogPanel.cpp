#include "LogPanel.h"

#include "DevHost.h"

#include <QList>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRecursiveMutex>
#include <QVBoxLayout>

namespace {

// Guards the panels and the handler they replaced; a message may come from any thread.
// Recursive: posting a call may itself log on this thread.
QRecursiveMutex s_mutex;
QList<LogPanel *> s_panels;
QtMessageHandler s_previous = nullptr;

// The message alone, its kind before it when it is more than information: the tags
// ("[PHIDGET]") say where it comes from, and the log file keeps the rest.
QString messageLine(QtMsgType type, const QString &message)
{
    switch (type) {
    case QtWarningMsg:
        return QStringLiteral("warning: ") + message;
    case QtCriticalMsg:
        return QStringLiteral("critical: ") + message;
    case QtFatalMsg:
        return QStringLiteral("fatal: ") + message;
    default:
        return message;
    }
}

void forwardMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    QtMessageHandler previous = nullptr;
    {
        const QMutexLocker lock(&s_mutex);
        previous = s_previous;
        const QString line = messageLine(type, message);
        for (LogPanel *panel : std::as_const(s_panels)) {
            // Queued: the panel lives on the GUI thread. A panel that goes away first
            // takes the call with it, as it is the call's context.
            QMetaObject::invokeMethod(
                panel, [panel, line] { panel->appendLine(line); }, Qt::QueuedConnection);
        }
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

LogPanel::LogPanel(DevHost &host, QWidget *parent)
    : QWidget(parent)
    , m_text(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("logPanel"));
    m_text->setObjectName(QStringLiteral("logText"));
    m_text->setReadOnly(true);
    m_text->setMaximumBlockCount(kMaxLines);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setFont(QFont(QStringLiteral("monospace"), font().pointSize() - 1));
    auto *clear = new QPushButton(tr("Clear"), this);
    clear->setObjectName(QStringLiteral("clearLogButton"));
    connect(clear, &QPushButton::clicked, m_text, &QPlainTextEdit::clear);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_text);
    layout->addWidget(clear, 0, Qt::AlignRight);

    // Direct: the host prints on this thread.
    connect(&host, &DevHost::printed, this, &LogPanel::appendLine);
    const QMutexLocker lock(&s_mutex);
    if (s_panels.isEmpty())
        s_previous = qInstallMessageHandler(forwardMessage);
    s_panels.append(this);
}

LogPanel::~LogPanel()
{
    const QMutexLocker lock(&s_mutex);
    s_panels.removeOne(this);
    if (s_panels.isEmpty()) {
        // Only when no one has put a handler of theirs over this one since.
        const QtMessageHandler current = qInstallMessageHandler(s_previous);
        if (current != forwardMessage)
            qInstallMessageHandler(current);
        s_previous = nullptr;
    }
}

QStringList LogPanel::lines() const
{
    return m_text->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void LogPanel::appendLine(const QString &line)
{
    m_text->appendPlainText(line);
}
