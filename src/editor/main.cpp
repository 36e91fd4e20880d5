// The program: the application, the format registry, the main window and the message loop.
#include "editor/MainWindow.h"
#include "formats/FileFormatList.h"
#include "platform/Warnings.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char* argv[]) {
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
