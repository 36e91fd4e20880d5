// Steps through the pictures of a folder in the program's own window with Page Down, as a
// user does, and times each step from the key press to the end of the first paint of the new
// picture. Between steps the window idles for a pause (the time a user looks at a picture);
// with no pause the keys come as fast as the window takes them.
// Usage: browse_bench FOLDER [PAUSE_MS ...]   (QT_QPA_PLATFORM=offscreen without a display)
#include "editor/FolderBrowser.h"
#include "editor/MainWindow.h"
#include "formats/FileFormatList.h"
#include "settings/BaseForm.h"

#include "core/PixelBuffer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

// Counts the paint area's paints.
class TPaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++Paints;
        return false;
    }
};

void Idle(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

struct TFigures {
    double Median, Mean, Max;
};

TFigures Summary(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double t : times) sum += t;
    const std::size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    return {median, sum / static_cast<double>(n), times.back()};
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: browse_bench FOLDER [PAUSE_MS ...]\n");
        return 2;
    }
    QApplication app(argc, argv);
    FormatList();
    QTemporaryDir settings;
    SetFormSettingsFileName(QDir(settings.path()).filePath("pixamo.xdb").toStdString());
    bool failed = false;
    SetExceptionHandler([&failed](const std::exception& error) {
        std::fprintf(stderr, "error: %s\n", error.what());
        failed = true;
    });
    const std::vector<std::string> pictures = FolderPictures(argv[1]);
    if (pictures.size() < 2) {
        std::fprintf(stderr, "%s: fewer than two pictures\n", argv[1]);
        return 2;
    }
    std::vector<int> pauses;
    for (int i = 2; i < argc; ++i) pauses.push_back(std::atoi(argv[i]));
    if (pauses.empty()) pauses = {500, 0};

    // Reading one picture alone, on this thread: what a step costs without reading ahead.
    std::vector<double> reads;
    for (std::size_t i = 0; i < std::min<std::size_t>(pictures.size(), 4); ++i) {
        QElapsedTimer clock;
        clock.start();
        const auto picture = ReadPictureFile(pictures[i]);
        reads.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    const TFigures read = Summary(reads);
    std::printf("read alone (decode to 24 bits): median %.1f ms, max %.1f ms\n", read.Median, read.Max);

    struct TRun {
        int Pause;
        bool ReadAhead;
    };
    std::vector<TRun> runs;
    for (int pause : pauses) runs.push_back({pause, true});
    runs.push_back({pauses.front(), false});
    for (const auto& [pause, readAhead] : runs) {
        TfrmMain form;
        form.ReadAhead = readAhead;
        form.SetScreenSize({1920, 1080});
        TPaintCounter counter;
        form.PaintArea->installEventFilter(&counter);
        form.show();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form)) std::fprintf(stderr, "window not active\n");
        form.LoadImage(pictures.front());
        form.UpdateActions();
        Idle(std::max(pause, 50));
        if (readAhead && pause == pauses.front()) {
            // The view of the whole picture at 100 %, rebuilt: the part of a step left on the
            // window's thread once the picture has been read ahead.
            std::vector<double> renders;
            for (int i = 0; i < 3; ++i) {
                QElapsedTimer clock;
                clock.start();
                form.RenderView();
                renders.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            }
            std::printf("view of the whole picture (RenderView): median %.1f ms\n", Summary(renders).Median);
        }

        std::vector<double> steps;
        for (std::size_t i = 1; i < pictures.size(); ++i) {
            const int paints = counter.Paints;
            QElapsedTimer clock;
            clock.start();
            QTest::keyClick(&form, Qt::Key_PageDown);
            while (counter.Paints == paints && clock.elapsed() < 10000)
                QApplication::processEvents(QEventLoop::AllEvents);
            steps.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            if (form.FileName() != pictures[i]) {
                std::fprintf(stderr, "step %zu did not show %s\n", i, pictures[i].c_str());
                failed = true;
            }
            Idle(pause);
        }
        const TFigures step = Summary(steps);
        std::printf("%s, pause %4d ms, %zu steps, key to first paint: median %.1f ms, mean %.1f ms, max %.1f ms\n",
                    readAhead ? "read ahead" : "no read-ahead", pause, steps.size(), step.Median, step.Mean, step.Max);
    }
    return failed ? 1 : 0;
}
