#include "ScriptPanel.h"

#include "DevHost.h"

#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

enum Column { TimeColumn, LineColumn, KindColumn, ResultColumn };

QString secondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

} // namespace

ScriptPanel::ScriptPanel(DevHost &host, QWidget *parent)
    : QWidget(parent)
    , m_host(host)
    , m_status(new QLabel(this))
    , m_entries(new QTreeWidget(this))
{
    setObjectName(QStringLiteral("scriptPanel"));
    m_status->setObjectName(QStringLiteral("scriptStatus"));
    m_status->setWordWrap(true);
    m_entries->setObjectName(QStringLiteral("scriptEntries"));
    m_entries->setRootIsDecorated(false);
    m_entries->setHeaderLabels({tr("At"), tr("Line"), tr("Entry"), tr("Result")});
    m_entries->header()->setStretchLastSection(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_status);
    layout->addWidget(m_entries);

    for (const ScriptEntry &entry : host.script().entries()) {
        auto *item = new QTreeWidgetItem(m_entries);
        item->setText(TimeColumn, secondsText(entry.atMs));
        item->setText(LineColumn, QString::number(entry.line));
        item->setText(KindColumn, entry.kind);
    }
    for (int i = 0; i < m_entries->topLevelItemCount(); ++i)
        onEntryRun(i);
    m_entries->resizeColumnToContents(TimeColumn);
    m_entries->resizeColumnToContents(LineColumn);
    m_entries->resizeColumnToContents(KindColumn);

    // Direct: the host runs on this thread.
    connect(&host, &DevHost::entryRun, this, &ScriptPanel::onEntryRun);
    connect(&host, &DevHost::scriptEnded, this, &ScriptPanel::updateStatus);
    connect(&host, &DevHost::finished, this, &ScriptPanel::updateStatus);
    connect(&m_clock, &QTimer::timeout, this, &ScriptPanel::updateStatus);
    m_clock.start(200);
    updateStatus();
}

QString ScriptPanel::resultText(int index) const
{
    const std::vector<ScriptRunner::EntryResult> &results = m_host.results();
    const std::vector<ScriptEntry> &entries = m_host.script().entries();
    if (index < 0 || size_t(index) >= results.size() || size_t(index) >= entries.size())
        return QString();
    const ScriptRunner::EntryResult &result = results[size_t(index)];
    switch (result.outcome) {
    case ScriptRunner::Outcome::Pending:
        return entries[size_t(index)].expectation ? tr("pending") : tr("to come");
    case ScriptRunner::Outcome::Applied:
        return tr("applied");
    case ScriptRunner::Outcome::Met:
        return tr("met");
    case ScriptRunner::Outcome::NotMet:
        return tr("not met: %1").arg(result.problem);
    case ScriptRunner::Outcome::NotChecked:
        return tr("not checked: %1").arg(result.problem);
    }
    return QString();
}

void ScriptPanel::onEntryRun(int index)
{
    QTreeWidgetItem *item = m_entries->topLevelItem(index);
    if (!item)
        return;
    item->setText(ResultColumn, resultText(index));
    item->setToolTip(ResultColumn, resultText(index));
    QColor colour;
    switch (m_host.results()[size_t(index)].outcome) {
    case ScriptRunner::Outcome::Met:
        colour = QColor(0, 128, 0);
        break;
    case ScriptRunner::Outcome::NotMet:
        colour = QColor(192, 0, 0);
        break;
    case ScriptRunner::Outcome::NotChecked:
        colour = QColor(176, 112, 0);
        break;
    default:
        break;
    }
    if (colour.isValid())
        item->setForeground(ResultColumn, colour);
    updateStatus();
}

QString ScriptPanel::statusText() const
{
    const size_t total = m_host.script().entries().size();
    const QString time = secondsText(m_host.elapsedMs());
    if (total == 0)
        return tr("No script. At %1; the simulated world runs until you quit.").arg(time);
    if (!m_host.scriptDone()) {
        size_t run = 0;
        for (const ScriptRunner::EntryResult &r : m_host.results())
            run += r.outcome != ScriptRunner::Outcome::Pending ? 1 : 0;
        return tr("Script running: %1 of %2 entries run at %3.").arg(run).arg(total).arg(time);
    }
    QString text = tr("Script ended.");
    const QString summary = m_host.expectationSummary();
    if (!summary.isEmpty())
        text += QLatin1Char(' ') + summary.left(1).toUpper() + summary.mid(1) + QLatin1Char('.');
    if (m_host.isRunning())
        text += tr(" At %1; the simulated world keeps running until you quit.").arg(time);
    else
        text += tr(" The run ended at %1.").arg(time);
    return text;
}

void ScriptPanel::updateStatus()
{
    m_status->setText(statusText());
    if (!m_host.isRunning())
        m_clock.stop();
}
