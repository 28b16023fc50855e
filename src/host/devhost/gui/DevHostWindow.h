#pragma once

#include <QList>
#include <QMainWindow>

#include <memory>

class BoardPanel;
class DevHost;
class InstancePage;
class ScriptPanel;
class ShowEditor;
class TouchCanvas;

namespace Ui {
class DevHostWindow;
}

// The window of a running show: one tab per host instance. File > Save writes the
// show with what the dialogs and editors changed. GUI thread only.
class DevHostWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit DevHostWindow(DevHost &host, QWidget *parent = nullptr);
    ~DevHostWindow() override;

    ShowEditor &editor() const { return *m_editor; }
    const QList<InstancePage *> &pages() const { return m_pages; }
    InstancePage *page(const QString &instanceName) const;
    InstancePage *currentPage() const;
    void setCurrentPage(InstancePage *page);

    // Where File > Save writes; empty: Save asks for a file.
    QString savePath() const { return m_savePath; }
    void setSavePath(const QString &path);
    // Changes are saved on exit anyway (--save): closing does not ask about them.
    void setSavesOnExit(bool saves) { m_savesOnExit = saves; }
    // Writes the show to `path`; on success the window is no longer modified.
    bool saveTo(const QString &path, QString *error);

    // One per media server output: a click is a touch stimulus.
    const QList<TouchCanvas *> &canvases() const { return m_canvases; }
    // One per board that the show's Phidget devices name.
    const QList<BoardPanel *> &boardPanels() const { return m_boards; }
    // The script's entries and results as the run goes.
    ScriptPanel *scriptPanel() const { return m_scriptPanel; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    bool onSave();
    bool onSaveAs();
    void buildWorld();
    void addWorldWidget(QWidget *widget);
    // Through the host's stimuli, as a scripted touch goes.
    void onCanvasTouched(int server, int output, const QPointF &pos);

    std::unique_ptr<Ui::DevHostWindow> m_ui;
    DevHost &m_host;
    ShowEditor *m_editor;
    QList<InstancePage *> m_pages;
    QList<TouchCanvas *> m_canvases;
    QList<BoardPanel *> m_boards;
    ScriptPanel *m_scriptPanel = nullptr;
    QString m_savePath;
    bool m_savesOnExit = false;
};
