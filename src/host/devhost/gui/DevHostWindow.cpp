#include "DevHostWindow.h"

#include "BoardPanel.h"
#include "DevHost.h"
#include "InstancePage.h"
#include "LogPanel.h"
#include "NodeEdits.h"
#include "NodeGraph.h"
#include "ScriptPanel.h"
#include "Show.h"
#include "ShowEditor.h"
#include "ShowFile.h"
#include "TouchCanvas.h"
#include "TouchZones.h"
#include "ui_DevHostWindow.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

namespace {

const QString kShowFilter = QStringLiteral("Show files (*.xml);;All files (*)");

} // namespace

DevHostWindow::DevHostWindow(DevHost &host, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::DevHostWindow>())
    , m_host(host)
    , m_editor(new ShowEditor(host, this))
    , m_nodeEdits(new NodeEdits(*m_editor, this))
    , m_zones(std::make_unique<TouchZones>())
{
    m_ui->setupUi(this);
    m_editor->setMainWindow(this);
    m_editor->setActive();

    connect(m_ui->instanceTabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < m_pages.size())
            m_editor->setEditedShow(m_pages[index]->show());
    });

    m_scriptDock = new QDockWidget(tr("Script"), this);
    m_scriptDock->setObjectName(QStringLiteral("scriptDock"));
    m_scriptDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    addDockWidget(Qt::RightDockWidgetArea, m_scriptDock);
    // Beside the nodes, not at their expense.
    resizeDocks({m_scriptDock}, {270}, Qt::Horizontal);

    m_logDock = new QDockWidget(tr("Log"), this);
    m_logDock->setObjectName(QStringLiteral("logDock"));
    m_logDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_logPanel = new LogPanel(host, m_logDock);
    m_logDock->setWidget(m_logPanel);
    addDockWidget(Qt::BottomDockWidgetArea, m_logDock);
    // Right of the simulated world.
    splitDockWidget(m_ui->worldDock, m_logDock, Qt::Horizontal);

    // Direct: the host runs on this thread.
    connect(&host, &DevHost::scriptEnded, this, [this] {
        m_ui->mainStatusBar->showMessage(
            tr("Script ended: %1")
                .arg(m_host.expectationSummary().isEmpty() ? tr("no expectations")
                                                           : m_host.expectationSummary()));
    });
    // Scripted touches and clicks alike, once the host has reported them.
    connect(&host, &DevHost::touched, this, [this](int server, int output, const QPointF &pos) {
        for (TouchCanvas *canvas : std::as_const(m_canvases)) {
            if (canvas->server() == server && canvas->output() == output)
                canvas->showTouch(pos);
        }
    });

    connect(m_editor, &ShowEditor::modifiedChanged, this, &QWidget::setWindowModified);
    connect(m_editor, &ShowEditor::deviceChanged, this, [this](const QString &type, int number) {
        m_ui->mainStatusBar->showMessage(
            tr("%1 #%2 set up on every instance").arg(type).arg(number), 5000);
        // A touch screen device may watch another output now.
        m_zones->forget();
        refreshZones();
    });
    connect(m_nodeEdits, &NodeEdits::inputChanged, this, &DevHostWindow::refreshZones);
    connect(m_nodeEdits, &NodeEdits::nodeRenamed, this, &DevHostWindow::refreshZones);
    connect(m_ui->actionOpen, &QAction::triggered, this, &DevHostWindow::onOpen);
    connect(m_ui->actionReload, &QAction::triggered, this, &DevHostWindow::onReload);
    connect(m_ui->actionSave, &QAction::triggered, this, &DevHostWindow::onSave);
    connect(m_ui->actionSaveAs, &QAction::triggered, this, &DevHostWindow::onSaveAs);
    connect(m_ui->actionQuit, &QAction::triggered, this, &QWidget::close);

    buildContents();
}

DevHostWindow::~DevHostWindow() = default;

void DevHostWindow::buildContents()
{
    const QString showName = m_host.showFile().showName();
    setWindowTitle(
        showName.isEmpty() ? tr("lm_devhost[*]") : tr("%1 - lm_devhost[*]").arg(showName));
    for (const std::unique_ptr<Show> &show : m_host.instances()) {
        auto *page = new InstancePage(
            *m_editor, *m_nodeEdits, *show, m_host.registry(), m_ui->instanceTabs);
        m_ui->instanceTabs->addTab(page, show->instanceName());
        m_pages.append(page);
    }
    if (!m_pages.isEmpty())
        m_editor->setEditedShow(m_pages.first()->show());

    buildWorld();
    // The canvases and boards keep their width and the log takes the rest, once the
    // window has its size.
    QTimer::singleShot(0, this, [this] {
        const int worldWidth = m_ui->worldContents->sizeHint().width()
            + m_ui->worldDockLayout->contentsMargins().left()
            + m_ui->worldDockLayout->contentsMargins().right() + 16;
        resizeDocks({m_ui->worldDock, m_logDock}, {worldWidth, qMax(200, width() - worldWidth)},
            Qt::Horizontal);
    });
    m_scriptPanel = new ScriptPanel(m_host, m_scriptDock);
    m_scriptDock->setWidget(m_scriptPanel);

    // The lamps and zones follow the show once per tick; every instance ticks together.
    if (!m_host.instances().empty()) {
        connect(&m_host.instances().front()->graph(), &NodeGraph::evaluated, this, [this] {
            for (BoardPanel *panel : std::as_const(m_boards))
                panel->refreshOutputs();
            refreshZones();
        });
    }
    refreshZones();
    m_ui->actionReload->setEnabled(!m_host.showPath().isEmpty());
    m_ui->mainStatusBar->showMessage(tr("%n instance(s) running", nullptr, int(m_pages.size())));
}

void DevHostWindow::clearContents()
{
    // Before the shows they show go away.
    while (m_ui->instanceTabs->count() > 0) {
        QWidget *page = m_ui->instanceTabs->widget(0);
        m_ui->instanceTabs->removeTab(0);
        delete page;
    }
    m_pages.clear();
    qDeleteAll(m_canvases);
    m_canvases.clear();
    qDeleteAll(m_boards);
    m_boards.clear();
    m_ui->worldEmptyLabel->show();
    delete m_scriptPanel;
    m_scriptPanel = nullptr;
    m_zones->forget();
}

InstancePage *DevHostWindow::page(const QString &instanceName) const
{
    for (InstancePage *page : m_pages) {
        if (page->show() && page->show()->instanceName() == instanceName)
            return page;
    }
    return nullptr;
}

InstancePage *DevHostWindow::currentPage() const
{
    return qobject_cast<InstancePage *>(m_ui->instanceTabs->currentWidget());
}

void DevHostWindow::setCurrentPage(InstancePage *page)
{
    if (page)
        m_ui->instanceTabs->setCurrentWidget(page);
}

void DevHostWindow::setSavePath(const QString &path)
{
    m_savePath = path;
}

void DevHostWindow::addWorldWidget(QWidget *widget)
{
    m_ui->worldEmptyLabel->hide();
    // Before the spacer that keeps them to the left.
    m_ui->worldLayout->insertWidget(m_ui->worldLayout->count() - 1, widget);
}

void DevHostWindow::buildWorld()
{
    for (const InstanceConfig &inst : m_host.showFile().instances()) {
        for (const InstanceConfig::Output &output : inst.outputs) {
            QString title = QStringLiteral("%1 / %2").arg(inst.name, output.name);
            if (output.kind != 0)
                title += tr(" (kind %1)").arg(output.kind);
            // The show file gives no pixel size: the canvas's default stands for it.
            auto *canvas = new TouchCanvas(
                inst.mediaServerId, output.id, title, TouchCanvas::kDefaultPixels, this);
            connect(canvas, &TouchCanvas::touched, this, &DevHostWindow::onCanvasTouched);
            addWorldWidget(canvas);
            m_canvases.append(canvas);
        }
    }
    for (const BoardInfo &board : BoardInfo::fromShow(m_host)) {
        auto *panel = new BoardPanel(m_host, board, this);
        connect(panel, &BoardPanel::stimulusPushed, this,
            [this](const QString &command, const QString &error) {
                if (error.isEmpty())
                    m_ui->mainStatusBar->showMessage(command, 3000);
                else
                    m_ui->mainStatusBar->showMessage(tr("Refused: %1").arg(error), 5000);
            });
        addWorldWidget(panel);
        m_boards.append(panel);
    }
}

void DevHostWindow::refreshZones()
{
    for (TouchCanvas *canvas : std::as_const(m_canvases)) {
        // The copy of the instance whose device the touch reaches first.
        const Show *show = m_host.mediaServerInstance(canvas->server());
        canvas->setZones(show ? m_zones->zonesOf(*show, canvas->server(), canvas->output())
                              : QList<TouchCanvas::Zone>());
    }
}

void DevHostWindow::onCanvasTouched(int server, int output, const QPointF &pos)
{
    const auto number
        = [](qreal v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
    const QString command = QStringLiteral("touch server=%1 output=%2 x=%3 y=%4")
                                .arg(server)
                                .arg(output)
                                .arg(number(pos.x()), number(pos.y()));
    QString error;
    if (m_host.pushStimulus(command, &error))
        m_ui->mainStatusBar->showMessage(command, 3000);
    else
        m_ui->mainStatusBar->showMessage(tr("Touch refused: %1").arg(error), 5000);
}

bool DevHostWindow::saveTo(const QString &path, QString *error)
{
    if (!m_host.saveShow(path, error))
        return false;
    m_editor->setModified(false);
    m_ui->mainStatusBar->showMessage(tr("Saved %1").arg(path), 5000);
    return true;
}

bool DevHostWindow::openShow(const QString &path, QString *error)
{
    QString problem;
    // Read before anything is torn down: a file that is no show leaves the run alone.
    ShowFile probe;
    if (!probe.load(path, &problem)) {
        if (error)
            *error = problem;
        return false;
    }
    const QString previous = m_host.showPath();
    clearContents();
    const bool loaded = m_host.loadShow(path, &problem);
    if (!loaded && !previous.isEmpty()) {
        // Built from a file that read well but did not make a show: the previous one again.
        QString again;
        if (!m_host.loadShow(previous, &again)) {
            problem
                += tr("; the previous show %1 did not load again either: %2").arg(previous, again);
        }
    }
    m_host.print(loaded
            ? QStringLiteral("show %1: %2 instance(s)").arg(path).arg(m_host.instances().size())
            : QStringLiteral("show %1 not opened: %2").arg(path, problem));
    m_host.start(m_host.tickMs());
    m_editor->setModified(false);
    buildContents();
    if (!loaded && error)
        *error = problem;
    return loaded;
}

QString DevHostWindow::dialogDirectory() const
{
    if (!m_host.showPath().isEmpty())
        return QFileInfo(m_host.showPath()).absolutePath();
    if (!m_savePath.isEmpty())
        return QFileInfo(m_savePath).absolutePath();
    return QString();
}

bool DevHostWindow::maySetShowAside()
{
    if (!m_editor->isModified())
        return true;
    const QMessageBox::StandardButton answer = QMessageBox::question(this,
        windowTitle().remove(QStringLiteral("[*]")), tr("The show has unsaved changes."),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    return answer == QMessageBox::Discard || (answer == QMessageBox::Save && onSave());
}

void DevHostWindow::onOpen()
{
    if (!maySetShowAside())
        return;
    const QString path
        = QFileDialog::getOpenFileName(this, tr("Open show"), dialogDirectory(), kShowFilter);
    if (path.isEmpty())
        return;
    QString error;
    if (!openShow(path, &error)) {
        QMessageBox::warning(this, tr("Open"), error);
        return;
    }
    // Save writes the opened show where the user says, not over the --save file.
    m_savePath.clear();
    m_savesOnExit = false;
    m_ui->mainStatusBar->showMessage(tr("Opened %1").arg(path), 5000);
}

void DevHostWindow::onReload()
{
    const QString path = m_host.showPath();
    if (path.isEmpty() || !maySetShowAside())
        return;
    QString error;
    if (!openShow(path, &error)) {
        QMessageBox::warning(this, tr("Reload"), error);
        return;
    }
    m_ui->mainStatusBar->showMessage(tr("Reloaded %1").arg(path), 5000);
}

bool DevHostWindow::onSave()
{
    if (m_savePath.isEmpty())
        return onSaveAs();
    QString error;
    if (saveTo(m_savePath, &error))
        return true;
    QMessageBox::warning(this, tr("Save"), error);
    return false;
}

bool DevHostWindow::onSaveAs()
{
    // Where the show was saved last, or beside the show that was loaded.
    const QString start = m_savePath.isEmpty() ? dialogDirectory() : m_savePath;
    const QString path = QFileDialog::getSaveFileName(this, tr("Save show"), start, kShowFilter);
    if (path.isEmpty())
        return false;
    m_savePath = path;
    return onSave();
}

void DevHostWindow::closeEvent(QCloseEvent *event)
{
    if (m_savesOnExit || maySetShowAside())
        event->accept();
    else
        event->ignore();
}
