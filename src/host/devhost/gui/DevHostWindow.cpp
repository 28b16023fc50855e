#include "DevHostWindow.h"

#include "BoardPanel.h"
#include "DevHost.h"
#include "InstancePage.h"
#include "NodeGraph.h"
#include "ScriptPanel.h"
#include "Show.h"
#include "ShowEditor.h"
#include "TouchCanvas.h"
#include "ui_DevHostWindow.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>

DevHostWindow::DevHostWindow(DevHost &host, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::DevHostWindow>())
    , m_host(host)
    , m_editor(new ShowEditor(host, this))
{
    m_ui->setupUi(this);
    const QString showName = host.showFile().showName();
    setWindowTitle(
        showName.isEmpty() ? tr("lm_devhost[*]") : tr("%1 - lm_devhost[*]").arg(showName));
    m_editor->setMainWindow(this);
    m_editor->setActive();

    for (const std::unique_ptr<Show> &show : host.instances()) {
        auto *page = new InstancePage(*m_editor, *show, host.registry(), m_ui->instanceTabs);
        m_ui->instanceTabs->addTab(page, show->instanceName());
        m_pages.append(page);
    }
    connect(m_ui->instanceTabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < m_pages.size())
            m_editor->setEditedShow(m_pages[index]->show());
    });
    if (!m_pages.isEmpty())
        m_editor->setEditedShow(m_pages.first()->show());

    buildWorld();

    auto *scriptDock = new QDockWidget(tr("Script"), this);
    scriptDock->setObjectName(QStringLiteral("scriptDock"));
    scriptDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_scriptPanel = new ScriptPanel(host, scriptDock);
    scriptDock->setWidget(m_scriptPanel);
    addDockWidget(Qt::RightDockWidgetArea, scriptDock);
    // Beside the nodes, not at their expense.
    resizeDocks({scriptDock}, {300}, Qt::Horizontal);
    // Direct: the host runs on this thread.
    connect(&host, &DevHost::scriptEnded, this, [this] {
        m_ui->mainStatusBar->showMessage(
            tr("Script ended: %1")
                .arg(m_host.expectationSummary().isEmpty() ? tr("no expectations")
                                                           : m_host.expectationSummary()));
    });

    connect(m_editor, &ShowEditor::modifiedChanged, this, &QWidget::setWindowModified);
    connect(m_editor, &ShowEditor::deviceChanged, this, [this](const QString &type, int number) {
        m_ui->mainStatusBar->showMessage(
            tr("%1 #%2 set up on every instance").arg(type).arg(number), 5000);
    });
    connect(m_ui->actionSave, &QAction::triggered, this, &DevHostWindow::onSave);
    connect(m_ui->actionSaveAs, &QAction::triggered, this, &DevHostWindow::onSaveAs);
    connect(m_ui->actionQuit, &QAction::triggered, this, &QWidget::close);
    m_ui->mainStatusBar->showMessage(tr("%n instance(s) running", nullptr, int(m_pages.size())));
}

DevHostWindow::~DevHostWindow() = default;

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
                inst.mediaServerId, output.id, title, TouchCanvas::DefaultPixels, this);
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
    // The lamps follow the boards once per tick; every instance ticks together.
    if (!m_boards.isEmpty() && !m_host.instances().empty()) {
        connect(&m_host.instances().front()->graph(), &NodeGraph::evaluated, this, [this] {
            for (BoardPanel *panel : std::as_const(m_boards))
                panel->refreshOutputs();
        });
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
    QString start = m_savePath;
    if (start.isEmpty() && !m_host.showPath().isEmpty())
        start = QFileInfo(m_host.showPath()).absolutePath();
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save show"), start, tr("Show files (*.xml);;All files (*)"));
    if (path.isEmpty())
        return false;
    m_savePath = path;
    return onSave();
}

void DevHostWindow::closeEvent(QCloseEvent *event)
{
    if (m_savesOnExit || !m_editor->isModified()) {
        event->accept();
        return;
    }
    const QMessageBox::StandardButton answer
        = QMessageBox::question(this, tr("Quit"), tr("The show has unsaved changes."),
            QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !onSave()))
        event->ignore();
    else
        event->accept();
}
