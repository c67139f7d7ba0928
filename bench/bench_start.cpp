// Start and memory of the real executable against the floor program, watched from outside
// on an X display (Xvfb): the time from starting the process to the warning box being
// mapped, the time from closing the box to the window being mapped, then the peak resident
// memory once the window shows. Neither program knows it is watched.
//
//   bench_start --tool PATH --floor PATH [--runner PATH] [--label TEXT] [--repeats N] [--warm-up N]
//               [--read-ms N]
// With --read-ms the box stays open N ms after it is mapped, as long as someone takes to read
// it, before it is closed; without it, it is closed at once.
// The display is the one in DISPLAY, with or without a window manager. With --runner, each
// program is started by it (as "wine64 PATH"), and the peak memory is not measured: it
// would be the runner's.

#include "figures.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const char* const kBoxTitle = "Orvalis Upgrade";
const char* const kWindowTitle = "Open Upgrade File From...";
constexpr double kTimeoutMs = 30000;

struct Run {
    double startMs{0};
    double windowMs{0};
    double peakMiB{0};
};

// Windows come and go while they are looked at: one gone meanwhile is no fault.
int ignoreError(::Display*, XErrorEvent*)
{
    return 0;
}

class XDisplay {
public:
    XDisplay() : m_display(XOpenDisplay(nullptr))
    {
        if (m_display == nullptr)
            throw std::runtime_error("cannot open the X display in DISPLAY");
        XSetErrorHandler(ignoreError);
        // A window manager maps the programs' windows inside frames of its own: each new
        // top-level window is watched itself, so that its own map is heard either way.
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
        m_deleteWindow = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
        m_protocols = XInternAtom(m_display, "WM_PROTOCOLS", False);
        XSync(m_display, False);
    }
    ~XDisplay() { XCloseDisplay(m_display); }
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    // Waits until a top-level window titled `title` is mapped; returns it, or 0 on timeout.
    Window waitForMap(const char* title, double deadline)
    {
        while (bench::NowMs() < deadline) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == CreateNotify && event.xcreatewindow.parent == DefaultRootWindow(m_display))
                    XSelectInput(m_display, event.xcreatewindow.window, StructureNotifyMask);
                if (event.type == MapNotify && titleOf(event.xmap.window) == title)
                    return event.xmap.window;
            }
            const int fd = ConnectionNumber(m_display);
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(fd, &readable);
            timeval wait{0, 2000};
            select(fd + 1, &readable, nullptr, nullptr, &wait);
        }
        return 0;
    }

    // Asks the window to close, as the title bar's close button would.
    void close(Window window)
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = m_protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(m_deleteWindow);
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

private:
    std::string titleOf(Window window)
    {
        char* name = nullptr;
        if (XFetchName(m_display, window, &name) == 0 || name == nullptr)
            return {};
        std::string title(name);
        XFree(name);
        return title;
    }

    ::Display* m_display;
    Atom m_deleteWindow;
    Atom m_protocols;
};

double peakMiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void reap(pid_t pid)
{
    const double deadline = bench::NowMs() + 5000;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (bench::NowMs() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return;
        }
        usleep(2000);
    }
}

Run runOnce(XDisplay& display, const std::string& runner, const std::string& program, int readMs)
{
    // The working folder is the program's own, as when started from its folder.
    const std::string folder = program.substr(0, program.find_last_of('/'));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    std::vector<char*> argv;
    if (!runner.empty())
        argv.push_back(const_cast<char*>(runner.c_str()));
    argv.push_back(const_cast<char*>(program.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const double started = bench::NowMs();
    const int err = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0)
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(err));

    Run run;
    const Window box = display.waitForMap(kBoxTitle, started + kTimeoutMs);
    if (box == 0) {
        kill(pid, SIGKILL);
        reap(pid);
        throw std::runtime_error(program + " showed no warning box");
    }
    run.startMs = bench::NowMs() - started;
    if (readMs > 0)
        usleep(static_cast<useconds_t>(readMs) * 1000);
    const double closed = bench::NowMs();
    display.close(box);

    const Window window = display.waitForMap(kWindowTitle, closed + kTimeoutMs);
    if (window == 0) {
        kill(pid, SIGKILL);
        reap(pid);
        throw std::runtime_error(program + " showed no window after the box");
    }
    run.windowMs = bench::NowMs() - closed;
    if (runner.empty()) {
        // The peak settles once the window has drawn itself; wait until it stops growing.
        double peak = peakMiB(pid);
        for (int quiet = 0; quiet < 15;) {
            usleep(20000);
            const double now = peakMiB(pid);
            quiet = now == peak ? quiet + 1 : 0;
            peak = now;
        }
        run.peakMiB = peak;
    }
    display.close(window);
    reap(pid);
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string tool = bench::ArgText(argc, argv, "--tool", "");
    const std::string floor = bench::ArgText(argc, argv, "--floor", "");
    const std::string runner = bench::ArgText(argc, argv, "--runner", "");
    const std::string label = bench::ArgText(argc, argv, "--label", "Start");
    const int repeats = static_cast<int>(bench::ArgNumber(argc, argv, "--repeats", 10));
    const int warmUp = static_cast<int>(bench::ArgNumber(argc, argv, "--warm-up", 2));
    const int readMs = static_cast<int>(bench::ArgNumber(argc, argv, "--read-ms", 0));
    if (tool.empty() || floor.empty()) {
        std::fprintf(stderr, "usage: bench_start --tool PATH --floor PATH [--runner PATH] [--label TEXT] "
                             "[--repeats N] [--warm-up N] [--read-ms N]\n");
        return 2;
    }
    try {
        XDisplay display;
        // The window's times and the peaks are kept in the order the runs were made, so
        // that each pairs up as the box's times do.
        std::vector<double> toolPeak, floorPeak;
        bench::Pairs windows;
        const bench::Pairs starts = bench::RunInTurns(
            warmUp, repeats,
            [&] {
                const Run run = runOnce(display, runner, tool, readMs);
                toolPeak.push_back(run.peakMiB);
                windows.tool.push_back(run.windowMs);
                return run.startMs;
            },
            [&] {
                const Run run = runOnce(display, runner, floor, readMs);
                floorPeak.push_back(run.peakMiB);
                windows.floor.push_back(run.windowMs);
                return run.startMs;
            });
        // The warm-up runs are left out, as their times are.
        for (auto* samples : {&toolPeak, &floorPeak, &windows.tool, &windows.floor})
            samples->erase(samples->begin(), samples->begin() + warmUp);
        std::printf(
            "%s\n",
            bench::PairedRow(label + ": process start to the warning box shown", starts, 1.15, 0).c_str());
        const std::string read = readMs > 0 ? " (the box read for " + std::to_string(readMs) + " ms)"
                                            : " (the box closed at once)";
        std::printf(
            "%s\n",
            bench::PairedRow(label + ": box closed to the window shown" + read, windows, 1.25, 0).c_str());
        if (runner.empty())
            std::printf("%s\n", bench::TableRow(label + ": peak memory while the window shows", "MiB",
                                                bench::Summarise(toolPeak), bench::Summarise(floorPeak), 1.15)
                                    .c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_start: %s\n", e.what());
        return 1;
    }
    return 0;
}
