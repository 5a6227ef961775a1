// Start-up of the real program, measured from outside: the executable of a
// fresh copy of the program folder is started on the X display in DISPLAY
// (Xvfb, xcb platform), and the clock runs until the X server maps its window
// "Vantorix V3.0" (and, beside it, until the Start picture has been drawn into
// it). Once with no file and once with 20 files on the command line; the
// resident memory of the idle window, nothing played, is read one and five
// seconds after it appeared.
// Usage: startup_bench PROGRAM_FOLDER [ROUNDS]
#include "benchutil.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const char *const WindowTitle = "Vantorix V3.0";
constexpr int MapTimeoutMs = 20000;
constexpr int PaintTimeoutMs = 5000;
// A line through the Start picture: 188 x 58 at (592, 8) in the bottom strip,
// the last 77 pixels of the 790 x 505 window.
constexpr int PictureLineX = 592;
constexpr int PictureLineY = 505 - 77 + 8 + 29;
constexpr int PictureLineWidth = 188;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class XDisplay
{
public:
    XDisplay()
    {
        m_connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        fcntl(xcb_get_file_descriptor(m_connection), F_SETFD, FD_CLOEXEC);
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        // Every top-level window's map reaches us as an event on the root.
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        m_netWmName = atom("_NET_WM_NAME");
        m_netWmPid = atom("_NET_WM_PID");
        m_utf8 = atom("UTF8_STRING");
        m_protocols = atom("WM_PROTOCOLS");
        m_deleteWindow = atom("WM_DELETE_WINDOW");
        xcb_flush(m_connection);
    }
    ~XDisplay() { xcb_disconnect(m_connection); }
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    bool isValid() const { return m_root != 0; }

    void drainEvents()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
            std::free(event);
    }

    // Waits for a window of `pid` titled WindowTitle to be mapped; 0 on timeout.
    xcb_window_t waitForMap(pid_t pid, Clock::time_point start)
    {
        const int fd = xcb_get_file_descriptor(m_connection);
        while (msSince(start) < MapTimeoutMs) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                xcb_window_t mapped = 0;
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                    mapped = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
                std::free(event);
                if (mapped && ownerPid(mapped) == pid && title(mapped) == WindowTitle)
                    return mapped;
            }
            if (xcb_connection_has_error(m_connection))
                return 0;
            pollfd watch{fd, POLLIN, 0};
            poll(&watch, 1, 50);
        }
        return 0;
    }

    // Polls the line through the Start picture until it holds the picture
    // (several colours, not a blank window); milliseconds since start, or
    // nothing on timeout.
    std::optional<double> waitForPicture(xcb_window_t window, Clock::time_point start)
    {
        const Clock::time_point mapped = Clock::now();
        while (msSince(mapped) < PaintTimeoutMs) {
            if (distinctColours(window) >= 3)
                return msSince(start);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return std::nullopt;
    }

    // Asks the window to close, as a window manager's close button does.
    void close(xcb_window_t window)
    {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = m_protocols;
        event.data.data32[0] = m_deleteWindow;
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&event));
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
        return result;
    }

    std::string property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type)
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, name, type, 0, 1024), nullptr);
        std::string value;
        if (reply) {
            value.assign(static_cast<const char *>(xcb_get_property_value(reply)),
                         static_cast<size_t>(xcb_get_property_value_length(reply)));
            std::free(reply);
        }
        return value;
    }

    std::string title(xcb_window_t window)
    {
        const std::string name = property(window, m_netWmName, m_utf8);
        return name.empty() ? property(window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY) : name;
    }

    pid_t ownerPid(xcb_window_t window)
    {
        const std::string value = property(window, m_netWmPid, XCB_ATOM_CARDINAL);
        if (value.size() < sizeof(uint32_t))
            return 0;
        uint32_t pid = 0;
        std::memcpy(&pid, value.data(), sizeof pid);
        return static_cast<pid_t>(pid);
    }

    size_t distinctColours(xcb_window_t window)
    {
        xcb_get_image_reply_t *reply = xcb_get_image_reply(
            m_connection,
            xcb_get_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, PictureLineX, PictureLineY,
                          PictureLineWidth, 1, ~0u),
            nullptr);
        if (!reply)
            return 0;
        const uint8_t *data = xcb_get_image_data(reply);
        const int length = xcb_get_image_data_length(reply);
        std::set<uint32_t> colours;
        for (int i = 0; i + 4 <= length; i += 4) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, data + i, 4);
            colours.insert(pixel & 0xffffffu);
        }
        std::free(reply);
        return colours.size();
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_netWmName = XCB_ATOM_NONE;
    xcb_atom_t m_netWmPid = XCB_ATOM_NONE;
    xcb_atom_t m_utf8 = XCB_ATOM_NONE;
    xcb_atom_t m_protocols = XCB_ATOM_NONE;
    xcb_atom_t m_deleteWindow = XCB_ATOM_NONE;
};

pid_t launch(const QString &executable, const QStringList &files, const QString &workFolder, const QString &log)
{
    std::vector<std::string> strings{executable.toStdString()};
    for (const QString &file : files)
        strings.push_back(file.toStdString());
    std::vector<char *> argv;
    for (std::string &s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string folder = workFolder.toStdString();
    const std::string logPath = log.toStdString();

    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        // A task list left by a start that was killed stays here.
        setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
        for (const char *name : {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID"})
            unsetenv(name);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Waits up to timeoutMs for the process to end; kills it if it does not.
bool reap(pid_t pid, int timeoutMs)
{
    const Clock::time_point start = Clock::now();
    while (msSince(start) < timeoutMs) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return false;
}

struct Launch
{
    bool ok = false;
    double mappedMs = 0;
    std::optional<double> pictureMs;
    long rssKb = -1;     // one second after the window appeared
    long lateRssKb = -1; // five seconds after
};

Launch measure(XDisplay &display, const QString &builtFolder, const QString &workFolder, const QStringList &files,
               bool readMemory)
{
    Launch result;
    // A fresh program folder for every start, as on a first run.
    QTemporaryDir program(workFolder + QStringLiteral("/program-XXXXXX"));
    if (!copyProgramFolder(builtFolder, program.path())) {
        std::fprintf(stderr, "could not copy the program folder\n");
        return result;
    }
    display.drainEvents();
    const Clock::time_point start = Clock::now();
    const pid_t pid = launch(program.filePath(QStringLiteral("vantorix")), files, workFolder,
                             workFolder + QStringLiteral("/program.log"));
    if (pid < 0)
        return result;
    const xcb_window_t window = display.waitForMap(pid, start);
    if (window == 0) {
        std::fprintf(stderr, "the window did not appear (see %s/program.log)\n", qPrintable(workFolder));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return result;
    }
    const Clock::time_point shown = Clock::now();
    result.mappedMs = msSince(start);
    result.pictureMs = display.waitForPicture(window, start);
    if (readMemory) {
        std::this_thread::sleep_until(shown + std::chrono::seconds(1));
        result.rssKb = statusKb(pid, "VmRSS");
        std::this_thread::sleep_until(shown + std::chrono::seconds(5));
        result.lateRssKb = statusKb(pid, "VmRSS");
    }
    display.close(window);
    if (!reap(pid, 10000))
        std::fprintf(stderr, "warning: the program did not end when its window closed\n");
    result.ok = true;
    return result;
}

std::string pictureText(const std::vector<double> &values, size_t expected)
{
    if (values.size() != expected)
        return "picture not seen in every round";
    char text[64];
    std::snprintf(text, sizeof text, "Start picture drawn at %.1f ms", median(values));
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const OtherLoad otherLoad;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM_FOLDER [ROUNDS]\n", argv[0]);
        return 2;
    }
    const QString builtFolder = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const bool verbose = qEnvironmentVariableIsSet("VANTORIX_BENCH_VERBOSE");

    XDisplay display;
    if (!display.isValid()) {
        std::fprintf(stderr, "cannot open the X display (DISPLAY=%s)\n", qgetenv("DISPLAY").constData());
        return 1;
    }
    QTemporaryDir work;
    const QString engine = QDir(builtFolder).filePath(QStringLiteral("wmaspi.dll"));
    const QString clip = work.filePath(QStringLiteral("clip.avi"));
    if (!makeClip(engine, clip, 1, QStringLiteral("160x120"))) {
        std::fprintf(stderr, "could not make the test clip\n");
        return 1;
    }
    const QStringList files = copyClip(clip, work.filePath(QStringLiteral("clips")), QStringLiteral("clip "), 20);

    // One start first, not counted: the libraries come into the page cache.
    const Launch first = measure(display, builtFolder, work.path(), {}, false);
    if (!first.ok)
        return 1;
    if (verbose)
        std::printf("  first start, not counted: %.1f ms\n", first.mappedMs);

    std::vector<double> empty, emptyPicture, full, fullPicture, memory, lateMemory;
    for (int round = 0; round < rounds; ++round) {
        const Launch none = measure(display, builtFolder, work.path(), {}, true);
        const Launch twenty = measure(display, builtFolder, work.path(), files, false);
        if (!none.ok || !twenty.ok)
            return 1;
        empty.push_back(none.mappedMs);
        full.push_back(twenty.mappedMs);
        if (none.pictureMs)
            emptyPicture.push_back(*none.pictureMs);
        if (twenty.pictureMs)
            fullPicture.push_back(*twenty.pictureMs);
        if (none.rssKb >= 0)
            memory.push_back(none.rssKb / 1024.0);
        if (none.lateRssKb >= 0)
            lateMemory.push_back(none.lateRssKb / 1024.0);
        if (verbose)
            std::printf("  round %d: 0 files %.1f ms (picture %.1f ms, %ld kB at 1 s, %ld kB at 5 s), 20 files %.1f ms "
                        "(picture %.1f ms)\n",
                        round + 1, none.mappedMs, none.pictureMs.value_or(-1), none.rssKb, none.lateRssKb,
                        twenty.mappedMs, twenty.pictureMs.value_or(-1));
    }
    std::printf("start-up to the window shown, 0 files: %.1f ms (median of %d; %s), target <= 300 ms\n",
                median(empty), rounds, pictureText(emptyPicture, empty.size()).c_str());
    std::printf("start-up to the window shown, 20 files: %.1f ms (median of %d; %s)\n", median(full), rounds,
                pictureText(fullPicture, full.size()).c_str());
    if (memory.size() != empty.size() || lateMemory.size() != empty.size()) {
        std::fprintf(stderr, "could not read the resident memory\n");
        return 1;
    }
    std::printf("resident memory of the idle window, 0 files, nothing played: %.1f MB at 1 s, %.1f MB at 5 s "
                "(medians of %d), target <= 60 MB at 5 s\n",
                median(memory), median(lateMemory), rounds);
    otherLoad.print();
    return 0;
}
