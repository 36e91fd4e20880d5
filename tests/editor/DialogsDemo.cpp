// Shows the scale or the gamma dialog as the main window would, for looking at; not a test.
//   editor_dialogs_demo scale|gamma [slider position]
//   editor_dialogs_demo placement <settings file>: a plain form that restores its placement,
//   prints it, and saves it when it closes after two seconds.
#include "core/PixelBuffer.h"
#include "editor/GammaDialog.h"
#include "editor/ScaleDialog.h"

#include <QApplication>
#include <QSlider>
#include <QTimer>

#include <cstdio>

#include <memory>

namespace {

// A landscape of colour ramps: hues across, brightness down.
std::unique_ptr<TPixelBuffer> RampPicture(int width, int height) {
    auto picture = TPixelBuffer::Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QColor c = QColor::fromHsv(x * 359 / width, 200, 255 - y * 255 / height);
            picture->SetPixel(x, y,
                              TPixel24{static_cast<std::uint8_t>(c.blue()), static_cast<std::uint8_t>(c.green()),
                                       static_cast<std::uint8_t>(c.red())});
        }
    return picture;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Pixamo"));
    const QStringList args = QApplication::arguments();
    if (args.value(1) == QStringLiteral("placement")) {
        SetFormSettingsFileName(args.value(2).toStdString());
        auto form = std::make_unique<TfrmBaseForm>();
        form->setObjectName(QStringLiteral("frmDemo"));
        form->show();
        QTimer::singleShot(2000, [&form] {
            const QRect outer = form->frameGeometry();
            std::printf("outer %d,%d %dx%d client %dx%d\n", outer.x(), outer.y(), outer.width(), outer.height(),
                        form->width(), form->height());
            form.reset();
            QApplication::quit();
        });
        return app.exec();
    }
    auto picture = RampPicture(400, 300);
    std::unique_ptr<TfrmYesNo> dialog;
    if (args.value(1) == QStringLiteral("gamma")) {
        auto gamma = std::make_unique<TfrmGamma>();
        gamma->SetSourceImage(picture.get());
        gamma->show();
        if (args.size() > 2) gamma->GammaTrack->setValue(args.value(2).toInt());
        dialog = std::move(gamma);
    } else {
        auto scale = std::make_unique<TfrmScale>();
        scale->SetPresentSize(640, 480);
        scale->show();
        scale->eNewWidth->setFocus();
        scale->eNewWidth->setText(QStringLiteral("320"));
        dialog = std::move(scale);
    }
    dialog->move(20, 20);
    return app.exec();
}
