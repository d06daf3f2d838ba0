// How fast the window comes up, as a user sees it: the program started as a
// fresh process on a virtual display of its own, and the window watched from
// outside through the X server. Prints medians (and the range) of
//
//   launch -> mapped       the window is mapped (its MapNotify);
//   launch -> first paint  every part of the window outside the home page's
//                          web view shows what it finally shows;
//   CPU by first paint     the CPU time the program's own process had used
//                          by then, which a loaded machine stretches less;
//   launch -> home page    the web view too shows its final picture, and
//                          keeps it;
//   RSS                    the resident memory of the program and every
//                          process it started, at the end of the run;
//
// once with the update site served at the build's address (the home page
// loads, the version check finds the same version) and once with nothing
// answering there (the home page shows its failure, the version check's box
// comes up after about a second). "Finally" is the last picture of a run of
// five seconds; the parts a box covers are left out of the comparison. The
// window is read every few milliseconds, so the times are good to about as
// much. Checks nothing.
//
//   bench_window_start [--runs N] [--program PATH] [--compare PATH] [--nice N]
//
// --program: another build of the window (default: this build's). With
// --compare, the two programs run in turn, run by run, so that the load of a
// shared machine falls on both alike, and both columns are printed. --nice
// runs the display and the programs at that niceness (below 0 needs root):
// on a machine loaded by others, -10 comes near to what a quiet one gives.
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int g_niceness = 0; // of the display and the programs
// The display and the program running now, ended when the benchmark is
// interrupted (their sessions are their own, so a terminal's signal misses them).
volatile pid_t g_display = 0, g_running = 0;
extern "C" void interrupted(int) {
    if (g_running > 0)
        kill(-g_running, SIGKILL);
    if (g_display > 0)
        kill(g_display, SIGTERM);
    _exit(130);
}

constexpr double RunSeconds = 5.0;
constexpr int Tile = 16;
// The home page's web view in the window: the page below the navigation bar.
constexpr xcb_rectangle_t Web{8, 96, 720, 560};

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

std::string loadAverage() {
    char text[128] = {};
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (!std::fgets(text, sizeof text, f))
            text[0] = 0;
        std::fclose(f);
    }
    std::string s(text);
    const auto cut = s.find(' ', s.find(' ', s.find(' ') + 1) + 1);
    return s.substr(0, cut);
}

bool portAnswers(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// Starts argv with standard output and error into `log` (or /dev/null), in
// a session of its own; returns its process id.
pid_t start(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& log = "/dev/null", int keepFd = -1) {
    std::vector<char*> argv, envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        setpriority(PRIO_PROCESS, 0, g_niceness);
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        if (keepFd >= 0 && keepFd != 3) {
            dup2(keepFd, 3);
        }
        execve(argv[0], argv.data(), env.empty() ? environ : envp.data());
        _exit(127);
    }
    return pid;
}

// The process `root` and every process below it.
std::set<pid_t> processTree(pid_t root) {
    std::multimap<pid_t, pid_t> children;
    if (DIR* d = opendir("/proc")) {
        while (dirent* e = readdir(d)) {
            const pid_t pid = pid_t(std::atoi(e->d_name));
            if (pid <= 0)
                continue;
            char path[64], text[512] = {};
            std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
            FILE* f = std::fopen(path, "r");
            if (!f)
                continue;
            const size_t n = std::fread(text, 1, sizeof text - 1, f);
            std::fclose(f);
            const char* close = std::strrchr(text, ')');
            if (n == 0 || !close)
                continue;
            char state = 0;
            int parent = 0;
            if (std::sscanf(close + 1, " %c %d", &state, &parent) == 2)
                children.emplace(pid_t(parent), pid);
        }
        closedir(d);
    }
    std::set<pid_t> tree{root};
    std::vector<pid_t> todo{root};
    while (!todo.empty()) {
        const pid_t p = todo.back();
        todo.pop_back();
        for (auto [a, b] = children.equal_range(p); a != b; ++a)
            if (tree.insert(a->second).second)
                todo.push_back(a->second);
    }
    return tree;
}

long rssKb(pid_t pid) {
    char path[64], line[256];
    std::snprintf(path, sizeof path, "/proc/%d/status", pid);
    FILE* f = std::fopen(path, "r");
    long kb = 0;
    if (!f)
        return 0;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld", &kb) == 1)
            break;
    std::fclose(f);
    return kb;
}

void endTree(pid_t root) {
    std::set<pid_t> tree = processTree(root);
    for (pid_t p : tree)
        kill(p, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        int status;
        if (waitpid(root, &status, WNOHANG) == root)
            break;
        usleep(20000);
    }
    for (pid_t p : tree)
        kill(p, SIGKILL);
    waitpid(root, nullptr, WNOHANG);
}

struct Frame {
    double at;
    double cpu; // CPU seconds the program's own process had used
    std::vector<uint64_t> tiles;
};

// CPU seconds (user and system) that the process `pid` has used.
double cpuSeconds(pid_t pid) {
    char path[64], text[1024] = {};
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* f = std::fopen(path, "r");
    if (!f)
        return -1;
    const size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    const char* close = n ? std::strrchr(text, ')') : nullptr;
    unsigned long user = 0, system = 0;
    if (!close || std::sscanf(close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                              &user, &system) != 2)
        return -1;
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

struct Result {
    double mapped = -1, painted = -1, loaded = -1;
    double paintedCpu = -1; // CPU seconds of the program's process by the first paint
    long rssKb = 0;
    int processes = 0;
    long printed = 0; // bytes the program printed
    int remaps = 0;   // times the window was unmapped or destroyed
};

uint64_t hashBytes(const uint8_t* p, size_t n, uint64_t h) {
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

class Display {
public:
    bool open(const std::string& name) {
        m_c = xcb_connect(name.c_str(), nullptr);
        if (xcb_connection_has_error(m_c))
            return false;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        m_pidAtom = atom("_NET_WM_PID");
        xcb_flush(m_c);
        return true;
    }
    ~Display() {
        if (m_c)
            xcb_disconnect(m_c);
    }

    // One run: the program started, watched for RunSeconds.
    Result run(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const std::string& log) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c))
            std::free(e);
        Result r;
        const auto t0 = Clock::now();
        const pid_t pid = start(args, env, log);
        g_running = pid;
        xcb_window_t window = 0;
        int width = 0, height = 0;
        std::vector<std::pair<double, xcb_rectangle_t>> boxes; // other windows of the program
        std::vector<Frame> frames;
        while (since(t0) < RunSeconds) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const int type = e->response_type & 0x7F;
                if ((type == XCB_UNMAP_NOTIFY &&
                     reinterpret_cast<xcb_unmap_notify_event_t*>(e)->window == window) ||
                    (type == XCB_DESTROY_NOTIFY &&
                     reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window == window)) {
                    // The window went away: the next one of the program is
                    // the window made anew.
                    window = 0;
                    ++r.remaps;
                }
                if (type == XCB_MAP_NOTIFY) {
                    const auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                    if (!m->override_redirect && belongsTo(m->window, pid)) {
                        xcb_get_geometry_reply_t* g =
                            xcb_get_geometry_reply(m_c, xcb_get_geometry(m_c, m->window), nullptr);
                        if (g && !window) {
                            if (r.mapped < 0)
                                r.mapped = since(t0);
                            else
                                frames.clear(); // what the old window showed is gone
                            window = m->window;
                            width = g->width;
                            height = g->height;
                        } else if (g) {
                            boxes.push_back({since(t0), {g->x, g->y, g->width, g->height}});
                        }
                        std::free(g);
                    }
                }
                std::free(e);
            }
            if (!window || width == 0) {
                pollfd p{xcb_get_file_descriptor(m_c), POLLIN, 0};
                poll(&p, 1, 2);
                continue;
            }
            if (auto tiles = grab(window, width, height))
                frames.push_back({since(t0), cpuSeconds(pid), std::move(*tiles)});
            usleep(3000);
        }
        for (pid_t p : processTree(pid)) {
            r.rssKb += rssKb(p);
            ++r.processes;
        }
        endTree(pid);
        kill(-pid, SIGKILL); // what is left of its session
        g_running = 0;
        struct stat st {};
        if (stat(log.c_str(), &st) == 0)
            r.printed = long(st.st_size);
        if (frames.empty())
            return r;

        // The window's position on the screen, for the boxes over it.
        int wx = 0, wy = 0;
        if (auto* t = xcb_translate_coordinates_reply(
                m_c, xcb_translate_coordinates(m_c, window, m_root, 0, 0), nullptr)) {
            wx = t->dst_x;
            wy = t->dst_y;
            std::free(t);
        }
        const int columns = (width + Tile - 1) / Tile, rows = (height + Tile - 1) / Tile;
        std::vector<char> covered(size_t(columns * rows), 0);
        for (const auto& [at, b] : boxes)
            for (int ty = 0; ty < rows; ++ty)
                for (int tx = 0; tx < columns; ++tx) {
                    const int x = wx + tx * Tile, y = wy + ty * Tile;
                    if (x < b.x + b.width + 8 && x + Tile > b.x - 8 && y < b.y + b.height + 8 &&
                        y + Tile > b.y - 8)
                        covered[size_t(ty * columns + tx)] = 1;
                }
        const Frame& last = frames.back();
        const auto same = [&](const Frame& f, bool inWeb) {
            for (size_t i = 0; i < covered.size(); ++i)
                if (!covered[i] && f.tiles[2 * i + inWeb] != last.tiles[2 * i + inWeb])
                    return false;
            return true;
        };
        for (const Frame& f : frames)
            if (same(f, false)) {
                r.painted = f.at;
                r.paintedCpu = f.cpu;
                break;
            }
        for (size_t i = frames.size(); i-- > 0;) {
            if (!same(frames[i], true))
                break;
            r.loaded = frames[i].at;
        }
        return r;
    }

private:
    xcb_atom_t atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }

    bool belongsTo(xcb_window_t w, pid_t pid) {
        auto* reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        bool ours = false;
        if (reply && xcb_get_property_value_length(reply) == 4) {
            const pid_t owner = pid_t(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
            ours = processTree(pid).count(owner) > 0;
        }
        std::free(reply);
        return ours;
    }

    std::optional<std::vector<uint64_t>> grab(xcb_window_t w, int width, int height) {
        auto* img = xcb_get_image_reply(m_c,
                                        xcb_get_image(m_c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, 0, 0,
                                                      uint16_t(width), uint16_t(height), ~0u),
                                        nullptr);
        if (!img)
            return std::nullopt;
        const uint8_t* data = xcb_get_image_data(img);
        const int length = xcb_get_image_data_length(img);
        const int stride = height ? length / height : 0;
        const int columns = (width + Tile - 1) / Tile, rows = (height + Tile - 1) / Tile;
        // Two hashes a tile: of its pixels outside the web view, and inside.
        std::vector<uint64_t> tiles(size_t(2 * columns * rows), 1469598103934665603ull);
        const int bytesPerPixel = width ? stride / width : 4;
        for (int y = 0; y < height; ++y)
            for (int tx = 0; tx < columns; ++tx) {
                const uint8_t* row = data + size_t(y) * size_t(stride);
                const int x0 = tx * Tile, x1 = std::min(width, x0 + Tile);
                const bool webRow = y >= Web.y && y < Web.y + Web.height;
                const int w0 = webRow ? std::clamp(int(Web.x), x0, x1) : x1;
                const int w1 = webRow ? std::clamp(Web.x + Web.width, x0, x1) : x1;
                const size_t tile = size_t((y / Tile) * columns + tx);
                uint64_t& outside = tiles[2 * tile];
                uint64_t& inside = tiles[2 * tile + 1];
                outside =
                    hashBytes(row + x0 * bytesPerPixel, size_t((w0 - x0) * bytesPerPixel), outside);
                inside =
                    hashBytes(row + w0 * bytesPerPixel, size_t((w1 - w0) * bytesPerPixel), inside);
                outside =
                    hashBytes(row + w1 * bytesPerPixel, size_t((x1 - w1) * bytesPerPixel), outside);
            }
        std::free(img);
        return tiles;
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
};

double median(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return x < 0; }), v.end());
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string figure(const std::vector<double>& v) {
    std::vector<double> ok;
    for (double x : v)
        if (x >= 0)
            ok.push_back(x);
    if (ok.empty())
        return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.3f (%.3f-%.3f)%s", median(ok),
                  *std::min_element(ok.begin(), ok.end()), *std::max_element(ok.begin(), ok.end()),
                  ok.size() < v.size() ? "*" : "");
    return text;
}

struct Series {
    std::vector<double> mapped, painted, loaded, rss, paintedCpu;
    int processes = 0;
    long printed = 0;
    int remaps = 0;
    void add(const Result& r) {
        remaps += r.remaps;
        mapped.push_back(r.mapped);
        painted.push_back(r.painted);
        paintedCpu.push_back(r.paintedCpu);
        loaded.push_back(r.loaded);
        rss.push_back(double(r.rssKb) / 1024.0);
        processes = std::max(processes, r.processes);
        printed += r.printed;
    }
};

} // namespace

int main(int argc, char** argv) {
    int runs = 7;
    std::string program = ZENTRAQ_WINDOW, other;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--program" && i + 1 < argc)
            program = argv[++i];
        else if (a == "--compare" && i + 1 < argc)
            other = argv[++i];
        else if (a == "--nice" && i + 1 < argc)
            g_niceness = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: bench_window_start [--runs N] [--program PATH] [--compare "
                                 "PATH] [--nice N]\n");
            return 2;
        }
    }
    std::signal(SIGPIPE, SIG_IGN);
    char folder[] = "/tmp/bench-window-start.XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string work = folder;

    // A display of its own.
    int fds[2];
    if (pipe(fds) != 0)
        return 1;
    const pid_t xvfb = fork();
    if (xvfb == 0) {
        setsid();
        setpriority(PRIO_PROCESS, 0, g_niceness);
        dup2(fds[1], 3);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten",
               "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    g_display = xvfb;
    std::signal(SIGINT, interrupted);
    std::signal(SIGTERM, interrupted);
    std::signal(SIGHUP, interrupted);
    close(fds[1]);
    char number[16] = {};
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0 || read(fds[0], number, sizeof number - 1) <= 0) {
        std::fprintf(stderr, "bench_window_start: Xvfb did not start\n");
        return 1;
    }
    const std::string display = ":" + std::string(number).substr(0, std::strcspn(number, "\n"));
    Display x;
    if (!x.open(display)) {
        std::fprintf(stderr, "bench_window_start: cannot connect to %s\n", display.c_str());
        return 1;
    }

    // The update site at the build's address, when that is on this machine's
    // loopback and nothing answers there yet.
    const std::string base = ZENTRAQ_UPDATE_BASE_URL;
    int port = 0;
    if (std::sscanf(base.c_str(), "http://127.0.0.1:%d/", &port) != 1)
        port = 0;
    const bool portFree = port > 0 && !portAnswers(port);

    const std::string home = work + "/home", runtime = work + "/run";
    mkdir(home.c_str(), 0700);
    mkdir(runtime.c_str(), 0700);
    const std::vector<std::string> env{"HOME=" + home,       "XDG_RUNTIME_DIR=" + runtime,
                                       "DISPLAY=" + display, "PATH=/usr/bin:/bin",
                                       "USER=bench",         "LOGNAME=bench"};

    std::printf("bench_window_start: %d runs of %.0f s each, display %s, niceness %d, load average "
                "%s\n",
                runs, RunSeconds, display.c_str(), g_niceness, loadAverage().c_str());
    std::printf("  program: %s\n", program.c_str());
    if (!other.empty())
        std::printf("  compare: %s\n", other.c_str());
    if (!portFree)
        std::printf("  port %d answers already (another server): the case without the site is "
                    "skipped, the site there is used as it is\n",
                    port);

    std::vector<std::string> programs{program};
    if (!other.empty())
        programs.push_back(other);
    for (int served = 1; served >= 0; --served) {
        if (!served && !portFree)
            continue;
        pid_t server = 0;
        if (served && portFree) {
            server = start({"/usr/bin/python3", "-m", "http.server", std::to_string(port), "--bind",
                            "127.0.0.1", "--directory", ZENTRAQ_SITE_DIR},
                           {});
            for (int i = 0; i < 100 && !portAnswers(port); ++i)
                usleep(50000);
        }
        std::vector<Series> series(programs.size());
        // One run of each to warm the caches and the web engine's profile.
        for (const auto& prog : programs)
            x.run({prog}, env, work + "/warm.log");
        for (int i = 0; i < runs; ++i)
            for (size_t k = 0; k < programs.size(); ++k) {
                const std::string log = work + "/run.log";
                unlink(log.c_str());
                series[k].add(x.run({programs[k]}, env, log));
            }
        if (server)
            endTree(server);
        std::printf("\n%s (median, range in brackets; s, MiB):\n",
                    served ? "with the update site" : "without an update server");
        std::printf("  %-9s %-24s %-24s %-24s %-24s %-22s %s\n", "program", "launch -> mapped",
                    "launch -> first paint", "CPU by first paint", "launch -> home page",
                    "RSS of the tree", "processes");
        for (size_t k = 0; k < programs.size(); ++k) {
            std::printf("  %-9s %-24s %-24s %-24s %-24s %-22s %d%s%s\n", k ? "compare" : "program",
                        figure(series[k].mapped).c_str(), figure(series[k].painted).c_str(),
                        figure(series[k].paintedCpu).c_str(), figure(series[k].loaded).c_str(),
                        figure(series[k].rss).c_str(), series[k].processes,
                        series[k].printed ? "  (the program printed something)" : "",
                        series[k].remaps
                            ? "  (the window was made anew: its times are the new one's)"
                            : "");
        }
    }
    std::printf("\nload average at the end %s; * : some runs gave no figure\n",
                loadAverage().c_str());
    endTree(xvfb);
    std::string rm = "rm -rf '" + work + "'";
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
