#pragma once

#include <QString>

#include <functional>
#include <memory>

class DevHost;
class DevHostWindow;
class QCommandLineParser;
class QCoreApplication;
class QTextStream;
class QWidget;

// The window mode of lm_devhost (--gui), as main.cpp drives it.
namespace DevHostGui {

// Before anything else of Qt: a QApplication when the arguments hold --gui (on the
// offscreen platform with --offscreen), else a QCoreApplication. Null, with the reason
// printed, when --gui is asked for without a display.
std::unique_ptr<QCoreApplication> createApplication(int &argc, char **argv);

void addOptions(QCommandLineParser &parser);

struct Options
{
    bool enabled = false;
    // --for is given: the run ends then, not after the screenshots.
    bool timeLimited = false;
    // Screenshots go there; empty: none.
    QString screenshotDir;
    // The tab shown first (an instance name); empty: the first.
    QString instance;
    // The node selected in that tab; -1: none.
    int selectNode = -1;
    // With --screenshot: the device whose setup dialog is shot (type and number).
    QString setupType;
    int setupNumber = -1;
    // With --screenshot: the push button (object name) of the selected node's
    // property editor that is pressed, and the dialog it opens shot.
    QString pressButton;
};

// False with *error for options that do not fit together or do not parse.
bool readOptions(const QCommandLineParser &parser, Options *options, QString *error);

// Before the plug-ins are loaded: the host's callbacks that the window answers.
void prepareHost(DevHost &host);

// The window over a started host, with the screenshots asked for. Ends the event
// loop by itself only when screenshots are taken and no time limit was given.
class Session
{
public:
    Session(DevHost &host, const Options &options, const QString &savePath, QTextStream &out);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    DevHostWindow &window() const { return *m_window; }
    // After the event loop: saves to the --save file when one was given.
    bool finish(QString *error);

private:
    void takeShots();
    bool shootNextDialog(const std::function<void()> &open, const QString &what);
    void saveShot(QWidget *widget, const QString &name);

    DevHost &m_host;
    Options m_options;
    QTextStream &m_out;
    std::unique_ptr<DevHostWindow> m_window;
};

} // namespace DevHostGui
