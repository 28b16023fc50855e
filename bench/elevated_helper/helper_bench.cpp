// Requests per second of "getGpusInfo\n" answered by lm_elevated_helper (no driver),
// side by side with a bare QUdpSocket echo responder answering the same datagrams.
// One request is outstanding at a time, as the host sends them.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>
#include <QUdpSocket>

#include <cstdio>

namespace {

const QByteArray kRequest = QByteArrayLiteral("[SOURCE=bench]getGpusInfo\n");
constexpr quint16 kCommandPort = 3064;
constexpr quint16 kReplyPort = 3060;

double g_helperRate = 0;
double g_echoRate = 0;

// Answers every datagram with the same bytes, from its own thread.
class EchoResponder : public QThread
{
public:
    quint16 port() const { return m_port.loadAcquire(); }

protected:
    void run() override
    {
        QUdpSocket socket;
        socket.bind(QHostAddress::LocalHost, 0);
        QObject::connect(&socket, &QUdpSocket::readyRead, [&socket] {
            while (socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket.receiveDatagram();
                socket.writeDatagram(d.data(), QHostAddress::LocalHost, kReplyPort);
            }
        });
        m_port.storeRelease(socket.localPort());
        exec();
    }

private:
    QAtomicInteger<quint16> m_port = 0;
};

bool bindWithRetry(QUdpSocket &socket, quint16 port)
{
    QDeadlineTimer deadline(10000);
    while (!socket.bind(QHostAddress::LocalHost, port)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

bool roundTrip(QUdpSocket &socket, quint16 port)
{
    socket.writeDatagram(kRequest, QHostAddress::LocalHost, port);
    if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(2000))
        return false;
    socket.receiveDatagram();
    return true;
}

double measure(benchmark::State &state, QUdpSocket &socket, quint16 port)
{
    for (int i = 0; i < 50; ++i)
        roundTrip(socket, port); // warm up
    int64_t done = 0;
    QElapsedTimer timer;
    timer.start();
    for (auto _ : state) {
        if (!roundTrip(socket, port)) {
            state.SkipWithError("no reply");
            return 0;
        }
        ++done;
    }
    const double rate = double(done) * 1e9 / double(qMax<qint64>(1, timer.nsecsElapsed()));
    state.counters["req/s"] = benchmark::Counter(double(done), benchmark::Counter::kIsRate);
    return rate;
}

void BM_EchoResponder(benchmark::State &state)
{
    EchoResponder echo;
    echo.start();
    while (echo.port() == 0)
        QThread::msleep(1);
    QUdpSocket socket;
    if (!bindWithRetry(socket, kReplyPort)) {
        state.SkipWithError("cannot bind the reply port");
    } else {
        g_echoRate = measure(state, socket, echo.port());
    }
    echo.quit();
    echo.wait();
}

void BM_HelperGetGpusInfo(benchmark::State &state)
{
    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LM_NVAPI_LIBRARY", "/nonexistent/liblm_nvapi.so");
    env.remove("LM_HELPER_EVENT_LOG");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral(LM_HELPER_BINARY), {});
    QUdpSocket socket;
    if (!helper.waitForStarted() || !bindWithRetry(socket, kReplyPort)) {
        state.SkipWithError("cannot start the helper or bind the reply port");
        return;
    }
    // Wait until the helper answers.
    QDeadlineTimer ready(10000);
    while (!ready.hasExpired()) {
        socket.writeDatagram(kRequest, QHostAddress::LocalHost, kCommandPort);
        if (socket.waitForReadyRead(100))
            break;
    }
    while (socket.hasPendingDatagrams())
        socket.receiveDatagram();
    g_helperRate = measure(state, socket, kCommandPort);
    socket.writeDatagram("exit\n", QHostAddress::LocalHost, kCommandPort);
    if (!helper.waitForFinished(5000))
        helper.kill();
}

BENCHMARK(BM_EchoResponder)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_HelperGetGpusInfo)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_echoRate > 0 && g_helperRate > 0)
        std::printf("helper %.0f req/s, echo %.0f req/s, ratio %.2f (target >= 0.5)\n",
            g_helperRate, g_echoRate, g_helperRate / g_echoRate);
    return 0;
}
