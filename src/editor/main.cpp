// The program: the application, the format registry, the main window and the message loop.
#include "about/VersionInfo.h"
#include "editor/MainWindow.h"
#include "formats/FileFormatList.h"
#include "platform/Warnings.h"

#include <QApplication>
#include <QMessageBox>

#include <cstring>
#include <iostream>

namespace {

// The --help text; the manual page pixamo(1) is made from it.
const char* const HelpText =
    "Usage: pixamo [FILE]\n"
    "       pixamo --help\n"
    "       pixamo --version\n"
    "\n"
    "pixamo opens FILE, a picture in any of the formats it reads, in its window (without FILE, the\n"
    "sample picture). There it is zoomed from 12.5 % to 400 %, scaled with one of seven filters,\n"
    "rotated, flipped, cropped to a selection, lightened, darkened, tinted, gamma-corrected,\n"
    "copied and saved as JPEG (a name ending in \".jpg\") or as a 24-bit Windows bitmap. The\n"
    "window's placement and the ten recent files are kept in pixamo.xdb beside the program, or\n"
    "in ~/.config/pixamo/ for an installed one.\n"
    "\n"
    "Options:\n"
    "  --help            print this text\n"
    "  --version         print the version\n"
    "\n"
    "pixamo-cli(1) does the same to pictures without a window.\n";

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before the window system is asked for anything, so they work without a display.
    if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << HelpText;
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "pixamo " << BuiltVersionText().toStdString() << "\n";
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pixamo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Pixamo"));
    QApplication::setDesktopFileName(QStringLiteral("pixamo"));
    // Every reader is known before the first picture is opened.
    FormatList();
    SetWarningHandler([](const std::string& message) {
        QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("Warning"), QString::fromStdString(message));
    });

    TfrmMain frmMain;
    frmMain.show();
    return QApplication::exec();
}
