// Lines per second through LMLog::qtLogHandler against spdlog writing the same
// kind of line (time, thread, level, source, message) to a basic file sink
// with a flush after every line. Both use a 10 MB limit where they have one.
#include <LMLog.h>

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

constexpr quint32 kSizeLimit = 10 * 1024 * 1024;
constexpr char kFile[] = "src/libs/devices/Ping/sources/PingWorker.cpp";
constexpr int kLine = 123;
constexpr char kMessage[] = "[PING] host 127.0.0.1 unreachable after 3 attempts (code 42)";

std::unique_ptr<QTemporaryDir> s_dir;
std::unique_ptr<LMLog> s_lmlog;
std::shared_ptr<spdlog::logger> s_spdlog;

void BM_LMLog_qtLogHandler(benchmark::State &state)
{
    if (state.thread_index() == 0) {
        s_dir = std::make_unique<QTemporaryDir>();
        s_lmlog
            = std::make_unique<LMLog>(s_dir->filePath(QStringLiteral("bench-1.log")), kSizeLimit);
    }
    const QMessageLogContext context(kFile, kLine, "PingWorker::probe", "lm.default");
    const QString message = QString::fromLatin1(kMessage);
    for (auto _ : state)
        s_lmlog->qtLogHandler(QtWarningMsg, context, message);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        s_lmlog.reset();
        s_dir.reset();
    }
}

void BM_spdlog_basicFileSink(benchmark::State &state)
{
    if (state.thread_index() == 0) {
        s_dir = std::make_unique<QTemporaryDir>();
        const std::string path = s_dir->filePath(QStringLiteral("bench-spdlog.log")).toStdString();
        s_spdlog = spdlog::basic_logger_mt("bench", path, true);
        s_spdlog->set_pattern("%H:%M:%S:%e  T%t [%l] %s:%4# %v");
        s_spdlog->set_level(spdlog::level::trace);
        s_spdlog->flush_on(spdlog::level::trace);
    }
    const spdlog::source_loc where {kFile, kLine, "PingWorker::probe"};
    const std::string message = kMessage;
    for (auto _ : state)
        s_spdlog->log(where, spdlog::level::warn, message);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        spdlog::drop("bench");
        s_spdlog.reset();
        s_dir.reset();
    }
}

BENCHMARK(BM_LMLog_qtLogHandler)->Threads(1)->Threads(4)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_spdlog_basicFileSink)->Threads(1)->Threads(4)->UseRealTime()->MinTime(1.0);

// Prints the usual table, then LMLog's rate as a multiple of spdlog's.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const auto rate = run.counters.find("items_per_second");
            if (rate == run.counters.end())
                continue;
            const bool lm = run.benchmark_name().rfind("BM_LMLog", 0) == 0;
            (lm ? m_lmlog : m_spdlog)[run.threads] = rate->second.value;
        }
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const auto &[threads, lmRate] : m_lmlog) {
            const auto other = m_spdlog.find(threads);
            if (other == m_spdlog.end() || other->second <= 0)
                continue;
            std::printf("LMLog / spdlog, %d thread%s: %.0f / %.0f lines/s = %.2f\n", threads,
                threads == 1 ? "" : "s", lmRate, other->second, lmRate / other->second);
        }
    }

private:
    std::map<int, double> m_lmlog;
    std::map<int, double> m_spdlog;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
