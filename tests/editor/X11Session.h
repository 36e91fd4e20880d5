// A private X server (Xvfb) with a reparenting window manager (openbox) for the tests of a
// test program, and one QApplication on it. Window managers put frames around windows and map
// them asynchronously, which the offscreen platform never does; placement and fitting are
// tested here as a desktop gives them. When Xvfb or openbox is missing the tests skip.
//
// Both servers are children of the test process, die with it (also when it crashes) and are
// stopped and reaped when the run ends.
#pragma once

#include "settings/BaseForm.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The work area the window manager leaves free: it keeps these strips for panels.
constexpr int X11ScreenWidth = 1280;
constexpr int X11ScreenHeight = 1024;
constexpr int X11TopPanel = 30;
constexpr int X11BottomPanel = 40;

class TX11Session : public ::testing::Environment {
public:
    void SetUp() override {
        std::string folder = (std::filesystem::temp_directory_path() / "pixamo-x11-XXXXXX").string();
        if (!mkdtemp(folder.data())) return;
        folder_ = folder;
        if (FindProgram("Xvfb").empty() || FindProgram("openbox").empty()) {
            skipReason_ = "Xvfb or openbox is not installed";
            return;
        }
        if (!StartServer() || !StartWindowManager()) {
            skipReason_ = "the X server or the window manager did not start";
            return;
        }
        setenv("DISPLAY", display_.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        // The private desktop has no session bus; with a display and none named, the D-Bus
        // library would try to start one for it (a process of its own, which would outlive
        // the run) and keep what it allocated for that.
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        static int argc = 1;
        static char name[] = "pixamo_x11_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        SetFormSettingsFileName((folder_ / "pixamo.xdb").string());
    }

    void TearDown() override {
        app_.reset();
        Stop(windowManager_);
        Stop(server_);
        SetFormSettingsFileName({});
        std::error_code error;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
    }

    static bool Running() { return Instance()->app_ != nullptr; }
    static const std::string& SkipReason() { return Instance()->skipReason_; }
    static std::filesystem::path Folder() { return Instance()->folder_; }

    static TX11Session* Instance() {
        static TX11Session* const session = [] {
            auto* s = new TX11Session;
            ::testing::AddGlobalTestEnvironment(s);
            return s;
        }();
        return session;
    }

private:
    static std::string FindProgram(const std::string& name) {
        const char* path = std::getenv("PATH");
        std::string folders = path ? path : "/usr/bin:/bin";
        std::size_t start = 0;
        while (start <= folders.size()) {
            const std::size_t end = std::min(folders.find(':', start), folders.size());
            const std::string candidate = folders.substr(start, end - start) + "/" + name;
            if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
            start = end + 1;
        }
        return {};
    }

    // Starts the program with the arguments; the child gets SIGTERM when this process ends.
    static pid_t Spawn(const std::vector<std::string>& arguments, int keepOpen = -1) {
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const pid_t parent = getpid();
        const pid_t child = fork();
        if (child != 0) return child;
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keepOpen) close(fd);
        execv(argv[0], argv.data());
        _exit(127);
    }

    static void Stop(pid_t& pid) {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = 0;
    }

    // Xvfb picks a free display number and writes it to the pipe once it accepts clients.
    bool StartServer() {
        int fds[2];
        if (pipe(fds) != 0) return false;
        const std::string screen = std::to_string(X11ScreenWidth) + "x" + std::to_string(X11ScreenHeight) + "x24";
        server_ = Spawn(
            {FindProgram("Xvfb"), "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-nolisten", "tcp"},
            fds[1]);
        close(fds[1]);
        std::string number;
        pollfd reading{fds[0], POLLIN, 0};
        while (poll(&reading, 1, 10000) > 0) {
            char c = 0;
            if (read(fds[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        close(fds[0]);
        if (number.empty()) return false;
        display_ = ":" + number;
        return true;
    }

    // openbox with panel strips kept free at the top and bottom; it touches a file once it
    // manages the screen.
    bool StartWindowManager() {
        const std::filesystem::path config = folder_ / "rc.xml";
        const std::filesystem::path ready = folder_ / "wm-ready";
        std::ofstream(config) << "<?xml version=\"1.0\"?>\n"
                                 "<openbox_config xmlns=\"http://openbox.org/3.4/rc\">\n"
                                 "  <margins><top>"
                              << X11TopPanel << "</top><bottom>" << X11BottomPanel
                              << "</bottom><left>0</left><right>0</right></margins>\n"
                                 "</openbox_config>\n";
        setenv("DISPLAY", display_.c_str(), 1);
        windowManager_ =
            Spawn({FindProgram("openbox"), "--config-file", config.string(), "--startup", "touch " + ready.string()});
        for (int i = 0; i < 500; ++i) {
            if (std::filesystem::exists(ready)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    std::filesystem::path folder_;
    std::string display_;
    std::string skipReason_;
    pid_t server_ = 0;
    pid_t windowManager_ = 0;
    std::unique_ptr<QApplication> app_;
};

inline TX11Session* const X11Session = TX11Session::Instance();

// Runs the event loop until the condition holds or the time is up; returns the condition.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > milliseconds) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Lets the window manager and the window finish what they are doing: events until nothing has
// moved the window for a while.
inline void Settle(QWidget& window, int quietMilliseconds = 300) {
    const auto outer = [&window] {
        return window.windowHandle() ? window.windowHandle()->frameGeometry() : window.frameGeometry();
    };
    QRect last = outer();
    QElapsedTimer quiet;
    quiet.start();
    QElapsedTimer total;
    total.start();
    while (quiet.elapsed() < quietMilliseconds && total.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (outer() != last) {
            last = outer();
            quiet.restart();
        }
    }
}
