#pragma once

#include <QTimer>
#include <QWidget>

class DevHost;
class QLabel;
class QTreeWidget;

// The script of the run as it goes: each entry with its time, line and kind, what
// became of it (applied; met, not met, pending or not checked), the run's time and,
// once the script has run out, the summary of its expectations. GUI thread only.
class ScriptPanel : public QWidget
{
    Q_OBJECT
public:
    explicit ScriptPanel(DevHost &host, QWidget *parent = nullptr);

    // The line above the entries ("Script: 2 of 5 entries run at 1.2 s", ...).
    QString statusText() const;
    // The result column of entry `index`.
    QString resultText(int index) const;

private:
    void onEntryRun(int index);
    void updateStatus();

    DevHost &m_host;
    QLabel *m_status;
    QTreeWidget *m_entries;
    // Refreshes the run's time while the script runs.
    QTimer m_clock;
};
