// Opens a picture in the real main window on the offscreen platform and times what the user
// waits for: from the file to the first complete exact paint of a 1600×1000 view, then for each
// zoom step (about the middle of the view, as Ctrl + wheel does it) the first paint, preview or
// exact, and the paint that leaves no preview on screen; with the resident memory after each.
// Usage: view_bench PICTURE
#include "core/PixelBuffer.h"
#include "editor/MainWindow.h"
#include "formats/FileFormatList.h"
#include "formats/LoadPipeline.h"
#include "settings/BaseForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// Kilobytes of a line of /proc/self/status ("VmRSS", "VmHWM").
long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

long MinorFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

double Elapsed(const QElapsedTimer& clock) { return clock.nsecsElapsed() / 1e6; }

// Notes the times of the paint area's paints.
class TPaintWatch : public QObject {
public:
    explicit TPaintWatch(const QElapsedTimer& clock) : clock_(clock) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            if (first < 0) first = Elapsed(clock_);
            last = Elapsed(clock_);
        }
        return false;
    }
    void Reset() { first = last = -1; }
    double first = -1, last = -1;

private:
    const QElapsedTimer& clock_;
};

// Runs the event loop until the view shows exact tiles only; the times of the first paint and
// of the paint that put the last tile on screen, in milliseconds since the clock started.
std::pair<double, double> WaitForPaints(TfrmMain& form, TPaintWatch& watch) {
    while (watch.first < 0 || !form.ViewShownExactly()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    // The last tile's paint, if it has not run yet, runs in this pass of the loop.
    QApplication::processEvents();
    return {watch.first, watch.last};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: view_bench PICTURE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication application(argc, argv);
    QTemporaryDir settings;
    SetFormSettingsFileName(settings.filePath(QStringLiteral("pixamo.xdb")).toStdString());
    FormatList();
    const std::string file = argv[1];

    QElapsedTimer clock;
    TfrmMain form;
    TPaintWatch watch(clock);
    // A client area of 1600 × 1000 for the view once the window is fitted to a large picture.
    form.SetScreenSize({1605, 1000 + 27 + 19 + 5});
    form.PaintArea->installEventFilter(&watch);
    // The file named on the command line, opened as the window is first shown.
    form.CommandLineArguments = {QString::fromStdString(file)};
    const long startKb = StatusKb("VmRSS");
    watch.Reset();
    clock.start();
    form.show();
    // The load runs from the event loop; the picture is there when it returns.
    while (!form.CurrentImage()) QApplication::processEvents(QEventLoop::AllEvents, 1);
    const double loaded = Elapsed(clock);
    const auto [openFirst, openExact] = WaitForPaints(form, watch);
    const int width = form.CurrentImage()->Width(), height = form.CurrentImage()->Height();
    std::printf("%s: %dx%d, view %dx%d\n", file.c_str(), width, height, form.VisibleViewRect().width(),
                form.VisibleViewRect().height());
    std::printf(
        "open: picture loaded and fitted at %.0f ms, first paint %.0f ms, exact paint %.0f ms (the view's own "
        "part %.0f ms); resident %ld MB (before the window: %ld MB)\n\n",
        loaded, openFirst, openExact, openExact - loaded, StatusKb("VmRSS") / 1024, startKb / 1024);

    std::printf(
        "| zoom step | first paint (ms) | all visible exact (ms) | resident (MB) | page faults |\n"
        "|---|---:|---:|---:|---:|\n");
    const int steps[] = {+1, +1, -1, -1, -1, -1, -1, +1, +1, +1};
    for (int step : steps) {
        const int before = form.ZoomFactor();
        const QPoint middle = form.VisibleViewRect().center();
        watch.Reset();
        const long faults = MinorFaults();
        clock.restart();
        form.Guarded([&] { form.ZoomAt(step, middle); });
        const auto [first, exact] = WaitForPaints(form, watch);
        std::printf("| %g %% → %g %% | %.1f | %.1f | %ld | %ld |\n", before * 12.5, form.ZoomFactor() * 12.5, first,
                    exact, StatusKb("VmRSS") / 1024, MinorFaults() - faults);
    }
    std::printf("\npeak resident %ld MB; picture %.0f MB as 24-bit buffer\n", StatusKb("VmHWM") / 1024,
                3.0 * width * height / (1 << 20));

    // The decoding alone, as the window does it, for the open time to be set against.
    clock.restart();
    {
        TLoadedPicture loaded = LoadPictureFile(file);
        const auto picture = TakeUprightBuffer(*loaded.Bitmap, loaded.Metadata);
    }
    const double decode = Elapsed(clock);
    std::printf("decode alone %.0f ms: open to exact paint = decode + %.0f ms\n", decode, openExact - decode);
    return 0;
}
