// The stand-in for ping that ScriptedPing starts: a plain program, so that Windows starts
// it as it starts ping. Reads its script from the folder in LM_SCRIPTED_PING_DIR
// ("exitcode", "delay" in seconds, "output" printed as ping's output) and appends its
// start, arguments and end there.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {
std::string g_dir;

long long processId()
{
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

std::string path(const char *name)
{
    return g_dir + "/" + name;
}

std::string readFile(const char *name)
{
    std::string content;
    if (FILE *f = std::fopen(path(name).c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            content.append(buffer, n);
        std::fclose(f);
    }
    return content;
}

void appendLine(const char *name, const std::string &line)
{
    if (FILE *f = std::fopen(path(name).c_str(), "ab")) {
        std::fputs((line + "\n").c_str(), f);
        std::fclose(f);
    }
}

std::string event(const char *what)
{
    const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return std::string(what) + " " + std::to_string(processId()) + " " + std::to_string(ns);
}
} // namespace

int main(int argc, char **argv)
{
    const char *dir = std::getenv("LM_SCRIPTED_PING_DIR");
    if (!dir || !*dir)
        return 100;
    g_dir = dir;
    const std::string code = readFile("exitcode");
    const std::string delay = readFile("delay");

    appendLine("events", event("start"));
    std::string args = std::to_string(processId()) + " " + std::to_string(argc - 1);
    for (int i = 1; i < argc; ++i)
        args += std::string("\n") + argv[i];
    appendLine("args", args);

    const std::string output = readFile("output");
    std::fwrite(output.data(), 1, output.size(), stdout);
    std::fflush(stdout);

    if (!delay.empty())
        std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(delay.c_str())));
    appendLine("events", event("end"));
    return code.empty() ? 0 : std::atoi(code.c_str());
}
