#include "DevHostGui.h"

#include "DevHost.h"
#include "DevHostWindow.h"
#include "Device.h"
#include "InstancePage.h"
#include "PropertyEditor.h"
#include "Show.h"
#include "ShowEditor.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

namespace DevHostGui {

namespace {

const QString kGuiName = QStringLiteral("gui");
const QString kOffscreenName = QStringLiteral("offscreen");
const QString kScreenshotName = QStringLiteral("screenshot");
const QString kInstanceName = QStringLiteral("instance");
const QString kSelectName = QStringLiteral("select");
const QString kSetupName = QStringLiteral("screenshot-setup");
const QString kPressName = QStringLiteral("screenshot-press");

// How long a dialog gets to appear, and to lay itself out and paint before it is shot.
constexpr int kDialogAppearMs = 3000;
constexpr int kDialogSettleMs = 400;
// Without --for, the window is shot and the run ends this long after the last dialog.
constexpr int kWindowSettleMs = 1000;

bool hasDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // An empty variable counts as unset, as it does for Qt itself.
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    // A platform chosen by name that draws into memory or onto the console needs neither.
    const QString platform
        = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0);
    return !platform.isEmpty() && platform != QLatin1String("xcb")
        && !platform.startsWith(QLatin1String("wayland"));
#else
    return true;
#endif
}

// "Select a Phidget Channel" -> "select-a-phidget-channel".
QString fileNameFor(const QWidget *widget)
{
    QString text = widget->windowTitle().isEmpty() ? widget->objectName() : widget->windowTitle();
    text = text.toLower().replace(
        QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    text = text.section(QLatin1Char('-'), 0, -1, QString::SectionSkipEmpty);
    return text.isEmpty() ? QStringLiteral("dialog") : text;
}

} // namespace

std::unique_ptr<QCoreApplication> createApplication(int &argc, char **argv)
{
    bool gui = false;
    bool offscreen = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--")
            break;
        gui = gui || argument == "--" + kGuiName.toLatin1();
        offscreen = offscreen || argument == "--" + kOffscreenName.toLatin1();
    }
    if (!gui)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (offscreen) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else if (!hasDisplay()) {
        QTextStream(stderr) << "lm_devhost: --gui needs a display, and neither DISPLAY nor "
                               "WAYLAND_DISPLAY is set (--offscreen runs the window without one)"
                            << Qt::endl;
        return nullptr;
    }
    return std::make_unique<QApplication>(argc, argv);
}

void addOptions(QCommandLineParser &parser)
{
    parser.addOptions({
        {kGuiName, QStringLiteral("Show the running show in a window.")},
        {kOffscreenName,
            QStringLiteral("With --gui: draw the window offscreen (no display needed).")},
        {kScreenshotName,
            QStringLiteral("With --gui: save screenshots (PNG) into this directory; without "
                           "--for the run ends once they are taken."),
            QStringLiteral("dir")},
        {kInstanceName, QStringLiteral("With --gui: the instance whose tab is shown first."),
            QStringLiteral("name")},
        {kSelectName, QStringLiteral("With --gui: select this node in that tab."),
            QStringLiteral("node")},
        {kSetupName,
            QStringLiteral("With --screenshot: open the setup dialog of this device (TYPE:NUMBER) "
                           "and shoot it."),
            QStringLiteral("device")},
        {kPressName,
            QStringLiteral("With --screenshot and --select: press this button (object name) of "
                           "the node's property editors and shoot the dialog it opens."),
            QStringLiteral("button")},
    });
}

bool readOptions(const QCommandLineParser &parser, Options *options, QString *error)
{
    options->enabled = parser.isSet(kGuiName);
    if (!options->enabled) {
        for (const QString &name :
            {kOffscreenName, kScreenshotName, kInstanceName, kSelectName, kSetupName, kPressName}) {
            if (parser.isSet(name)) {
                *error = QStringLiteral("--%1 needs --gui").arg(name);
                return false;
            }
        }
        return true;
    }
    // main's --for: it ends the run, and the window is shot then.
    options->timeLimited = parser.isSet(QStringLiteral("for"));
    options->screenshotDir = parser.value(kScreenshotName);
    options->instance = parser.value(kInstanceName);
    if (parser.isSet(kSelectName)) {
        bool ok = false;
        options->selectNode = parser.value(kSelectName).toInt(&ok);
        if (!ok || options->selectNode < 1) {
            *error = QStringLiteral("--select needs a node id of 1 or more");
            return false;
        }
    }
    for (const QString &name : {kSetupName, kPressName}) {
        if (parser.isSet(name) && options->screenshotDir.isEmpty()) {
            *error = QStringLiteral("--%1 needs --screenshot DIR").arg(name);
            return false;
        }
    }
    if (parser.isSet(kSetupName)) {
        const QStringList parts = parser.value(kSetupName).split(QLatin1Char(':'));
        bool ok = false;
        options->setupNumber = parts.size() == 2 ? parts[1].toInt(&ok) : -1;
        options->setupType = parts.value(0);
        if (!ok || options->setupType.isEmpty()) {
            *error = QStringLiteral("--screenshot-setup needs TYPE:NUMBER, for example Ping:1");
            return false;
        }
    }
    options->pressButton = parser.value(kPressName);
    if (!options->pressButton.isEmpty() && options->selectNode < 0) {
        *error = QStringLiteral("--screenshot-press needs --select NODE");
        return false;
    }
    return true;
}

void prepareHost(DevHost &host)
{
    ShowEditor::installCallbacks(host);
}

Session::Session(DevHost &host, const Options &options, const QString &savePath, QTextStream &out)
    : m_host(host)
    , m_options(options)
    , m_out(out)
    , m_window(std::make_unique<DevHostWindow>(host))
{
    // Opened once the host runs: a device set up here is started again.
    m_window->editor().setRunning(true);
    m_window->setSavePath(savePath);
    m_window->setSavesOnExit(!savePath.isEmpty());

    InstancePage *page = m_window->pages().value(0);
    if (!options.instance.isEmpty()) {
        page = m_window->page(options.instance);
        if (!page)
            m_out << "warning: no instance \"" << options.instance << "\"" << Qt::endl;
    }
    m_window->setCurrentPage(page);
    if (page && options.selectNode > 0 && !page->selectNode(options.selectNode))
        m_out << "warning: no node " << options.selectNode << Qt::endl;
    m_window->show();

    if (!options.screenshotDir.isEmpty()) {
        if (!QDir().mkpath(options.screenshotDir))
            m_out << "warning: cannot create " << options.screenshotDir << Qt::endl;
        // The window is shot as the run ends, however it ends (--for, closed, quit).
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, m_window.get(),
            [this] { saveShot(m_window.get(), QStringLiteral("window")); });
        // Once the window has been laid out and the first ticks have run.
        QTimer::singleShot(kDialogSettleMs, m_window.get(), [this] { takeShots(); });
    }
}

Session::~Session() = default;

void Session::takeShots()
{
    InstancePage *page = m_window->currentPage();
    Show *show = page ? page->show() : nullptr;
    if (!m_options.setupType.isEmpty()) {
        Device *device
            = show ? show->findDevice(m_options.setupType, m_options.setupNumber) : nullptr;
        if (!device) {
            m_out << "warning: no device " << m_options.setupType << ":" << m_options.setupNumber
                  << Qt::endl;
        } else {
            // Through the device, as the Setup button runs it.
            shootNextDialog(
                [this, show, device] {
                    m_window->editor().setupDevice(show, device, m_window.get());
                },
                QStringLiteral("the setup dialog of %1:%2")
                    .arg(m_options.setupType)
                    .arg(m_options.setupNumber));
        }
    }
    if (!m_options.pressButton.isEmpty() && page) {
        auto *button = page->propertyEditor()->findChild<QPushButton *>(m_options.pressButton);
        if (!button) {
            m_out << "warning: the property editor has no button \"" << m_options.pressButton
                  << "\"" << Qt::endl;
        } else {
            shootNextDialog([button] { button->click(); },
                QStringLiteral("the dialog of button %1").arg(m_options.pressButton));
        }
    }
    // Without a time limit the run ends once the shots are taken and the script has run
    // out, so that the window shows its results.
    if (m_options.timeLimited)
        return;
    if (m_host.scriptDone()) {
        QTimer::singleShot(kWindowSettleMs, qApp, &QCoreApplication::quit);
        return;
    }
    QObject::connect(&m_host, &DevHost::scriptEnded, qApp,
        [] { QTimer::singleShot(kWindowSettleMs, qApp, &QCoreApplication::quit); });
}

bool Session::shootNextDialog(const std::function<void()> &open, const QString &what)
{
    // The dialog runs its own event loop inside open(); this timer, served by that loop,
    // shoots it once it has settled and closes it again.
    QTimer poll;
    poll.setInterval(50);
    QElapsedTimer waited;
    waited.start();
    // Shared with the shot, which may come after open() returned (closed by the user).
    auto shot = std::make_shared<bool>(false);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == m_window.get()) {
            if (waited.elapsed() > kDialogAppearMs)
                poll.stop();
            return;
        }
        poll.stop();
        QTimer::singleShot(kDialogSettleMs, modal, [this, modal, shot] {
            saveShot(modal, fileNameFor(modal));
            *shot = true;
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                dialog->reject();
            else
                modal->close();
        });
    });
    poll.start();
    open();
    poll.stop();
    if (!*shot)
        m_out << "warning: " << what << " opened no dialog" << Qt::endl;
    return *shot;
}

void Session::saveShot(QWidget *widget, const QString &name)
{
    const QString path = QDir(m_options.screenshotDir).filePath(name + QStringLiteral(".png"));
    if (widget->grab().save(path, "PNG"))
        m_out << "screenshot " << path << Qt::endl;
    else
        m_out << "warning: cannot write " << path << Qt::endl;
}

bool Session::finish(QString *error)
{
    // Not after File > Open: the --save file was meant for the show given at the start.
    if (!m_window->savesOnExit() || m_window->savePath().isEmpty())
        return true;
    if (!m_window->saveTo(m_window->savePath(), error))
        return false;
    m_out << "saved " << m_window->savePath() << Qt::endl;
    return true;
}

} // namespace DevHostGui
