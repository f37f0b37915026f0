// scene_run: measures the real saver ("/s") on the X server of $DISPLAY (bench/scene_run.sh runs
// it under Xvfb at the sizes it is given): time from the start of the process to the first frame
// on the screen, frames shown and clock ticks per second over a measured stretch, ticks dropped
// or late, CPU time of the saver process (and of the X server, given its process id) per second
// of animation and per frame, against a memcpy of one screen-sized 32-bit frame measured in the
// same run, and the saver's peak memory.
//
//   scene_run [--seconds N] [--warmup N] [--server-pid PID] <saver program> [saver arguments...]
//
// The saver reports its counters through PLENOVA_STATS (a file it rewrites once a second); the
// CPU time comes from /proc/<pid>/stat (all threads), the peak memory from VmHWM in
// /proc/<pid>/status just before the saver is ended by a key press (xdotool), as a user ends it.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::int64_t SteadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               Clock::now().time_since_epoch())
        .count();
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    for (const std::string& e : extraEnv) env.push_back(e);
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0].c_str(), nullptr, nullptr, args.data(), envp.data()) != 0) {
        return -1;
    }
    return pid;
}

std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(1ms);
    }
}

std::map<std::string, long long> ReadStats(const std::string& path) {
    std::map<std::string, long long> values;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = std::atoll(line.c_str() + eq + 1);
    }
    return values;
}

// User plus system CPU time of the process (all its threads), in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // Fields after the command: state is field 3; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long long StatusKb(pid_t pid, const char* key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key) + 1);
    }
    return -1;
}

// A strip of the screen's pixels across its middle.
std::vector<unsigned long> Strip(Display* display) {
    const Screen* screen = DefaultScreenOfDisplay(display);
    const int width = std::min(512, WidthOfScreen(screen));
    std::vector<unsigned long> pixels;
    XImage* image = XGetImage(display, DefaultRootWindow(display),
                              (WidthOfScreen(screen) - width) / 2, HeightOfScreen(screen) / 2,
                              static_cast<unsigned>(width), 1, AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    for (int x = 0; x < width; ++x) pixels.push_back(XGetPixel(image, x, 0));
    XDestroyImage(image);
    return pixels;
}

struct Snapshot {
    std::map<std::string, long long> stats;
    double cpu = 0;
    double serverCpu = 0;
    std::int64_t atNs = 0;
};

// Writes a buffer larger than any cache, so that what comes next reads and writes main memory,
// as a frame does that was last touched a tick ago.
void EmptyCaches() {
    static std::vector<std::uint8_t> buffer(std::size_t{256} << 20);
    static std::uint8_t fill = 0;
    std::memset(buffer.data(), ++fill, buffer.size());
}

// The time of one memcpy of `bytes` between two buffers, in milliseconds: the median of a few
// dozen copies; `cold`, from main memory, else from the caches where the buffers fit.
double FrameCopyMs(std::size_t bytes, bool cold) {
    std::vector<std::uint8_t> from(bytes, 0x5A), to(bytes, 0);
    std::vector<double> times;
    for (int i = 0; i < 41; ++i) {
        if (cold) EmptyCaches();
        const std::int64_t start = SteadyNs();
        std::memcpy(to.data(), from.data(), bytes);
        times.push_back(static_cast<double>(SteadyNs() - start) / 1e6);
        from[static_cast<std::size_t>(i) % bytes] = to[bytes - 1];  // kept, not optimised away
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// CPU time of all threads of `pid` in nanoseconds (the scheduler's own count, finer than the
// clock ticks of /proc/<pid>/stat); negative when it cannot be read.
double ThreadsCpuNs(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    bool any = false;
    for (const auto& entry : std::filesystem::directory_iterator(
             tasks, std::filesystem::directory_options::skip_permission_denied)) {
        std::ifstream in(entry.path() / "schedstat");
        double ns = 0;
        if (in >> ns) {
            total += ns;
            any = true;
        }
    }
    return any ? total : -1;
}

// The X server's own cost of one frame-sized copy from a pixmap to a window on the screen, from
// main memory, in milliseconds of its CPU: the least that showing a frame in which every pixel
// changed can cost it, measured before the saver runs. Negative without the server's process id.
double ServerFrameCopyMs(Display* display, pid_t serverPid) {
    if (serverPid <= 0) return -1;
    const int screenNumber = DefaultScreen(display);
    const auto width = static_cast<unsigned>(DisplayWidth(display, screenNumber));
    const auto height = static_cast<unsigned>(DisplayHeight(display, screenNumber));
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixmap = None;
    const Window window = XCreateWindow(display, RootWindow(display, screenNumber), 0, 0, width,
                                        height, 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWBackPixmap, &attributes);
    XMapWindow(display, window);
    const Pixmap pixmap = XCreatePixmap(display, window, width, height,
                                        static_cast<unsigned>(DefaultDepth(display, screenNumber)));
    const GC gc = XCreateGC(display, window, 0, nullptr);
    XSetGraphicsExposures(display, gc, False);
    XSetForeground(display, gc, 0x203040);
    XFillRectangle(display, pixmap, gc, 0, 0, width, height);
    const auto copies = [&](int n) {
        for (int i = 0; i < n; ++i) {
            EmptyCaches();
            XCopyArea(display, pixmap, window, gc, 0, 0, width, height, 0, 0);
            XSync(display, False);
        }
    };
    copies(10);  // every page of both made and warm
    constexpr int kCopies = 50;
    const double before = ThreadsCpuNs(serverPid);
    copies(kCopies);
    const double after = ThreadsCpuNs(serverPid);
    XFreeGC(display, gc);
    XFreePixmap(display, pixmap);
    XDestroyWindow(display, window);
    XSync(display, False);
    return before < 0 || after < 0 ? -1 : (after - before) / 1e6 / kCopies;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 30, warmup = 2;
    pid_t serverPid = 0;
    int arg = 1;
    for (; arg + 1 < argc && std::strncmp(argv[arg], "--", 2) == 0; arg += 2) {
        if (std::strcmp(argv[arg], "--seconds") == 0) seconds = std::atof(argv[arg + 1]);
        if (std::strcmp(argv[arg], "--warmup") == 0) warmup = std::atof(argv[arg + 1]);
        if (std::strcmp(argv[arg], "--server-pid") == 0) serverPid = std::atoi(argv[arg + 1]);
    }
    if (arg >= argc) {
        std::fprintf(stderr,
                     "usage: scene_run [--seconds N] [--warmup N] [--server-pid PID] <saver> "
                     "[args...]\n");
        return 2;
    }
    std::vector<std::string> saver(argv + arg, argv + argc);
    if (saver.size() == 1) saver.push_back("/s");

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "scene_run: no X display (run under xvfb-run)\n");
        return 2;
    }
    const Screen* screen = DefaultScreenOfDisplay(display);
    // The physical reference, before the saver runs: one 32-bit frame of the screen's size.
    const std::size_t frameBytes = static_cast<std::size_t>(WidthOfScreen(screen)) *
                                   static_cast<std::size_t>(HeightOfScreen(screen)) * 4;
    const double frameCopyMs = FrameCopyMs(frameBytes, false);
    const double coldFrameCopyMs = FrameCopyMs(frameBytes, true);
    const double serverCopyMs = ServerFrameCopyMs(display, serverPid);
    char statsPattern[] = "/tmp/plenova-scene-stats-XXXXXX";
    const int fd = ::mkstemp(statsPattern);
    if (fd < 0) return 2;
    ::close(fd);
    const std::string statsFile = statsPattern;

    const std::vector<unsigned long> before = Strip(display);
    const std::int64_t startNs = SteadyNs();
    const pid_t pid = Spawn(saver, {"PLENOVA_STATS=" + statsFile});
    if (pid <= 0) {
        std::fprintf(stderr, "scene_run: cannot start %s\n", saver[0].c_str());
        return 2;
    }
    // The first frame on the screen: the middle of the screen changes.
    std::int64_t onScreenNs = -1;
    while (SteadyNs() - startNs < 20'000'000'000LL) {
        if (Strip(display) != before) {
            onScreenNs = SteadyNs();
            break;
        }
        if (WaitExit(pid, 0ms)) {
            std::fprintf(stderr, "scene_run: the saver ended before showing anything\n");
            return 1;
        }
        std::this_thread::sleep_for(500us);
    }

    const auto snapshot = [&] {
        Snapshot s;
        s.stats = ReadStats(statsFile);
        s.cpu = CpuSeconds(pid);
        s.serverCpu = serverPid > 0 ? CpuSeconds(serverPid) : 0;
        s.atNs = SteadyNs();
        return s;
    };
    std::this_thread::sleep_for(std::chrono::duration<double>(warmup));
    const Snapshot a = snapshot();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const Snapshot b = snapshot();
    const long long peakKb = StatusKb(pid, "VmHWM:");
    const long long rssKb = StatusKb(pid, "VmRSS:");

    // The end, as a user makes it: a key (the saver's unload writes its final counters).
    const pid_t key = Spawn({"xdotool", "key", "--delay", "0", "a"}, {});
    if (key > 0) WaitExit(key, 5000ms);
    if (!WaitExit(pid, 5000ms)) {
        ::kill(pid, SIGKILL);
        WaitExit(pid, 5000ms);
    }
    const auto final = ReadStats(statsFile);
    std::remove(statsFile.c_str());
    XCloseDisplay(display);

    const auto delta = [&](const char* key) {
        return static_cast<double>(b.stats.at(key) - a.stats.at(key));
    };
    if (a.stats.count("steady_ns") == 0 || b.stats.count("steady_ns") == 0) {
        std::fprintf(stderr, "scene_run: the saver wrote no counters\n");
        return 1;
    }
    const double span =
        static_cast<double>(b.stats.at("steady_ns") - a.stats.at("steady_ns")) / 1e9;
    const double wall = static_cast<double>(b.atNs - a.atNs) / 1e9;
    const double firstFrameMs =
        final.count("first_frame_steady_ns")
            ? static_cast<double>(final.at("first_frame_steady_ns") - startNs) / 1e6
            : -1;

    std::printf("screen                     %d x %d\n", WidthOfScreen(screen),
                HeightOfScreen(screen));
    std::printf("measured stretch           %.2f s (after %.1f s of warm-up)\n", span, warmup);
    std::printf("frames shown per second    %.2f\n", delta("frames_shown") / span);
    std::printf("clock ticks per second     %.2f\n", delta("ticks") / span);
    std::printf("ticks dropped              %.0f\n", delta("ticks_dropped"));
    std::printf("ticks late (> 30 ms gap)   %.0f\n", delta("late_ticks"));
    std::printf("CPU per second of run      %.1f %% of one core\n", 100.0 * (b.cpu - a.cpu) / wall);
    const double frames = delta("frames_shown");
    const double saverMs = frames > 0 ? 1000.0 * (b.cpu - a.cpu) / frames : -1;
    const double serverMs = frames > 0 ? 1000.0 * (b.serverCpu - a.serverCpu) / frames : -1;
    if (serverPid > 0) {
        std::printf("X server CPU per second     %.1f %% of one core\n",
                    100.0 * (b.serverCpu - a.serverCpu) / wall);
        std::printf("CPU per frame              saver %.3f ms + X server %.3f ms = %.3f ms\n",
                    saverMs, serverMs, saverMs + serverMs);
    } else {
        std::printf("CPU per frame              saver %.3f ms\n", saverMs);
    }
    std::printf("one frame copy (memcpy)    %.3f ms (%d x %d x 4 bytes)\n", frameCopyMs,
                WidthOfScreen(screen), HeightOfScreen(screen));
    std::printf("CPU per frame / copy       %.2f x\n",
                (saverMs + std::max(serverMs, 0.0)) / frameCopyMs);
    std::printf("the same from memory       %.3f ms (caches emptied before each copy)\n",
                coldFrameCopyMs);
    if (serverCopyMs > 0) {
        std::printf(
            "one frame copy (X server)  %.3f ms of its CPU, pixmap to window, from memory\n",
            serverCopyMs);
    }
    std::printf("peak memory (VmHWM)        %.1f MB (resident at the end %.1f MB)\n",
                static_cast<double>(peakKb) / 1024.0, static_cast<double>(rssKb) / 1024.0);
    std::printf("first frame into window    %.1f ms after the start of the process\n",
                firstFrameMs);
    std::printf("first frame on the screen  %.1f ms after the start of the process\n",
                onScreenNs < 0 ? -1.0 : static_cast<double>(onScreenNs - startNs) / 1e6);
    std::printf("whole run                  %lld ticks, %lld dropped, %lld frames shown, copy %s\n",
                final.count("ticks") ? final.at("ticks") : -1,
                final.count("ticks_dropped") ? final.at("ticks_dropped") : -1,
                final.count("frames_shown") ? final.at("frames_shown") : -1,
                final.count("direct_copy") && final.at("direct_copy")
                    ? "straight into the window system's buffer"
                    : "through an image of its own");
    // One line for bench/scene_run.sh's table.
    std::printf(
        "summary\t%dx%d\t%.2f\t%.0f\t%.3f\t%.3f\t%.3f\t%.2f\t%.1f\t%.3f\n", WidthOfScreen(screen),
        HeightOfScreen(screen), frames / span, delta("ticks_dropped"), saverMs, serverMs,
        frameCopyMs, (saverMs + std::max(serverMs, 0.0)) / frameCopyMs,
        onScreenNs < 0 ? -1.0 : static_cast<double>(onScreenNs - startNs) / 1e6, serverCopyMs);
    return 0;
}
