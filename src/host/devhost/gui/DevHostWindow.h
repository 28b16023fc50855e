#pragma once

#include <QList>
#include <QMainWindow>

#include <memory>

class BoardPanel;
class DevHost;
class InstancePage;
class LogPanel;
class NodeEdits;
class QDockWidget;
class ScriptPanel;
class ShowEditor;
class TouchCanvas;
class TouchZones;

namespace Ui {
class DevHostWindow;
}

// The window of a running show: one tab per host instance. File > Save writes the
// show with what the dialogs and editors changed; File > Open and Reload put a show in
// place of the running one and run it. GUI thread only.
class DevHostWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit DevHostWindow(DevHost &host, QWidget *parent = nullptr);
    ~DevHostWindow() override;

    ShowEditor &editor() const { return *m_editor; }
    NodeEdits &nodeEdits() const { return *m_nodeEdits; }
    const QList<InstancePage *> &pages() const { return m_pages; }
    InstancePage *page(const QString &instanceName) const;
    InstancePage *currentPage() const;
    void setCurrentPage(InstancePage *page);

    // Where File > Save writes; empty: Save asks for a file.
    QString savePath() const { return m_savePath; }
    void setSavePath(const QString &path);
    // Changes are saved on exit anyway (--save): closing does not ask about them.
    void setSavesOnExit(bool saves) { m_savesOnExit = saves; }
    bool savesOnExit() const { return m_savesOnExit; }
    // Writes the show to `path`; on success the window is no longer modified.
    bool saveTo(const QString &path, QString *error);
    // Loads the show at `path` in place of the running one and runs it (the script of
    // the new show, the same tick). A show that does not load leaves the running one as
    // it was. Does not ask about unsaved changes; the menu's actions do.
    bool openShow(const QString &path, QString *error);
    // Where File > Open and Save As start: the folder of the show saved last, or else of
    // the show loaded.
    QString dialogDirectory() const;

    // One per media server output: a click is a touch stimulus.
    const QList<TouchCanvas *> &canvases() const { return m_canvases; }
    // One per board that the show's Phidget devices name.
    const QList<BoardPanel *> &boardPanels() const { return m_boards; }
    // The script's entries and results as the run goes.
    ScriptPanel *scriptPanel() const { return m_scriptPanel; }
    // The console lines and Qt messages of the run.
    LogPanel *logPanel() const { return m_logPanel; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool onSave();
    bool onSaveAs();
    void onOpen();
    void onReload();
    // False when the user cancels; true after a save or a discard, or without changes.
    bool maySetShowAside();
    void buildContents();
    void clearContents();
    void buildWorld();
    void refreshZones();
    void addWorldWidget(QWidget *widget);
    // Through the host's stimuli, as a scripted touch goes.
    void onCanvasTouched(int server, int output, const QPointF &pos);

    std::unique_ptr<Ui::DevHostWindow> m_ui;
    DevHost &m_host;
    ShowEditor *m_editor;
    NodeEdits *m_nodeEdits;
    std::unique_ptr<TouchZones> m_zones;
    QList<InstancePage *> m_pages;
    QList<TouchCanvas *> m_canvases;
    QList<BoardPanel *> m_boards;
    ScriptPanel *m_scriptPanel = nullptr;
    QDockWidget *m_scriptDock = nullptr;
    QDockWidget *m_logDock = nullptr;
    LogPanel *m_logPanel = nullptr;
    QString m_savePath;
    bool m_savesOnExit = false;
};
