#pragma once

#include <QStringList>
#include <QWidget>

class DevHost;
class QPlainTextEdit;

// The run's log as it comes: the host's console lines and the Qt messages of the process
// (the plug-ins' "[PHIDGET]", "[PING]" lines), the oldest dropped beyond kMaxLines.
// Qt messages come from any thread; they reach the panel queued, on the GUI thread that
// owns it. While panels exist, a message handler of theirs passes every message on to
// the one that was installed before (the console, or the --log file).
class LogPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kMaxLines = 5000;

    explicit LogPanel(DevHost &host, QWidget *parent = nullptr);
    ~LogPanel() override;

    // The lines shown, oldest first.
    QStringList lines() const;
    void appendLine(const QString &line);

private:
    QPlainTextEdit *m_text;
};
