// The dialog on screen: the time from starting printdialog to the first frame of its window,
// beside a minimal Qt Widgets program that shows a window of the same size, both on an X server
// of their own (Xvfb) in the same run. See bench/README.md.
//
// A frame is what a program draws into its window: the benchmark watches the server, makes a
// damage record (the X DAMAGE extension) for every window as soon as it is created, and takes
// the first damage to a window as its first frame. Qt gives its windows no background of the
// server's to paint, so nothing but the program's own drawing is damage.
#include <benchmark/benchmark.h>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// No frame within this long is a failure, not a slow run.
constexpr auto kLongestWait = std::chrono::seconds(20);

pid_t spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> variables(extraEnvironment);
    for (char** variable = environ; *variable; ++variable) {
        if (strncmp(*variable, "DISPLAY=", 8) != 0)
            variables.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &quiet, nullptr, argv.data(), envp.data()) != 0)
        child = 0;
    posix_spawn_file_actions_destroy(&quiet);
    return child;
}

void stop(pid_t child)
{
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
}

// An X server of the benchmark's own, and a connection that watches every window made on it.
class Screen {
public:
    Screen()
    {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        m_server = spawn({ "/usr/bin/Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp" }, {});
        close(ready[1]);
        char number[16] = {};
        struct pollfd wait = { ready[0], POLLIN, 0 };
        if (m_server && poll(&wait, 1, 10000) == 1 && read(ready[0], number, sizeof number - 1) > 0)
            m_display = ":" + std::string(number, strcspn(number, "\n"));
        close(ready[0]);
        if (m_display.empty())
            return;
        m_connection = xcb_connect(m_display.c_str(), nullptr);
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(m_connection, &xcb_damage_id);
        if (!damage || !damage->present)
            return;
        m_damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(m_connection, xcb_damage_query_version(m_connection, 1, 1), nullptr));
        xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, root, XCB_CW_EVENT_MASK, &events);
        xcb_flush(m_connection);
        m_usable = true;
    }

    ~Screen()
    {
        if (m_connection)
            xcb_disconnect(m_connection);
        if (m_server)
            stop(m_server);
    }

    bool usable() const { return m_usable; }

    struct Frame {
        Clock::duration after { 0 };
        int width { 0 };
        int height { 0 };
    };

    // Starts the program on this screen and waits for its first frame; the program is stopped
    // then. False when it drew nothing within kLongestWait.
    bool firstFrame(const std::vector<std::string>& program, Frame& frame)
    {
        const Clock::time_point started = Clock::now();
        pid_t child = spawn(program, { "DISPLAY=" + m_display });
        if (!child)
            return false;
        bool drawn = false;
        while (!drawn && Clock::now() - started < kLongestWait) {
            std::unique_ptr<xcb_generic_event_t, decltype(&free)> event(xcb_poll_for_event(m_connection), free);
            if (!event) {
                struct pollfd wait = { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
                poll(&wait, 1, 100);
                continue;
            }
            const uint8_t type = event->response_type & 0x7F;
            if (type == XCB_CREATE_NOTIFY) {
                auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event.get());
                xcb_damage_create(m_connection, xcb_generate_id(m_connection), created->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                xcb_flush(m_connection);
            } else if (type == m_damageEvent) {
                auto* damaged = reinterpret_cast<xcb_damage_notify_event_t*>(event.get());
                frame = { Clock::now() - started, damaged->geometry.width, damaged->geometry.height };
                drawn = true;
            }
        }
        stop(child);
        // The windows went with the program, and their damage records with them; what the
        // server still reports of them belongs to no later run.
        discardWhatIsLeft();
        return drawn;
    }

private:
    void discardWhatIsLeft()
    {
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
        while (xcb_generic_event_t* stale = xcb_poll_for_event(m_connection))
            free(stale);
    }

    pid_t m_server { 0 };
    std::string m_display;
    xcb_connection_t* m_connection { nullptr };
    uint8_t m_damageEvent { 0 };
    bool m_usable { false };
};

Screen& screen()
{
    static Screen instance;
    return instance;
}

const std::vector<std::string> kPrintDialog = { PRINTDIALOG, "--ppd", EXAMPLES_DIR "/Movra-RK7700.ppd" };

// The Print dialog's size, from a first run: the bare window is made the same.
const Screen::Frame& dialogFrame()
{
    static Screen::Frame frame = [] {
        Screen::Frame first;
        screen().firstFrame(kPrintDialog, first);
        return first;
    }();
    return frame;
}

void measure(benchmark::State& state, const std::vector<std::string>& program)
{
    if (!screen().usable()) {
        state.SkipWithError("no Xvfb with the DAMAGE extension");
        return;
    }
    for (auto _ : state) {
        Screen::Frame frame;
        if (!screen().firstFrame(program, frame)) {
            state.SkipWithError("no frame");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(frame.after).count());
        state.counters["width"] = frame.width;
        state.counters["height"] = frame.height;
    }
}

void BM_PrintDialogOnScreenToFirstFrame(benchmark::State& state)
{
    measure(state, kPrintDialog);
}

void BM_BareQtWindowOfTheSameSizeToFirstFrame(benchmark::State& state)
{
    const Screen::Frame& dialog = dialogFrame();
    measure(state, { BARE_QT_WINDOW, std::to_string(dialog.width), std::to_string(dialog.height) });
}

// What any window with words adds: fonts found and loaded (fontconfig, FreeType, HarfBuzz).
void BM_BareQtWindowWithALineOfTextToFirstFrame(benchmark::State& state)
{
    const Screen::Frame& dialog = dialogFrame();
    measure(state, { BARE_QT_WINDOW, std::to_string(dialog.width), std::to_string(dialog.height), "--text" });
}

}

BENCHMARK(BM_PrintDialogOnScreenToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_BareQtWindowOfTheSameSizeToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_BareQtWindowWithALineOfTextToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

BENCHMARK_MAIN();
