// Shows the toolbar of the main window and every kind of toolbar button in every state.
//   widgets_demo [flat] [about] [menu]
#include "about/AboutBox.h"
#include "widgets/DisabledGlyphs.h"
#include "widgets/FlatButton.h"
#include "widgets/Glyphs.h"
#include "widgets/ImageList.h"
#include "widgets/ThemeServices.h"
#include "widgets/ToolGroup.h"
#include "widgets/ToolbarPanel.h"

#include <QApplication>
#include <QEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace {

void Hover(TFlatButton* b) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(b, &enter);
}

void Press(TFlatButton* b) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(b, &press);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Pixamo"));
    const QStringList args = QApplication::arguments();
    SetThemesEnabled(!args.contains(QStringLiteral("flat")));

    auto images = CreateGlyphList();
    TImageList disabled;
    BuildDisabledImageList(*images, disabled);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Ovra Pixamo"));
    window.setWindowIcon(ApplicationIcon());
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* recent = new QMenu(&window);
    recent->addAction(QStringLiteral("/home/user/pictures/harbour.png"));
    recent->addAction(QStringLiteral("/home/user/pictures/scan-0001.tif"));
    auto* effects = new QMenu(&window);
    for (auto [text, glyph] : {std::pair{"Gamma correction", giGamma}, std::pair{"Enlighten", giEnlighten},
                               std::pair{"Endarken", giEndarken}, std::pair{"Mix with Color", giMix}})
        effects->addAction(images->Icon(glyph, &disabled), QString::fromLatin1(text));

    // The main window's toolbar, left to right.
    auto* toolbar = new TToolbarPanel(&window);
    toolbar->SetParentBackground(false);
    TButtonGrouper group;
    const int glyphs[] = {giOpen, giSave, giSelect,     giZoomIn,      giColorPick, giCopy, giPaste, giUndo,
                          giFlip, giFlop, giRotateLeft, giRotateRight, giEnlighten, giCrop, giScale, giAbout};
    int x = 2;
    TFlatButton* aboutButton = nullptr;
    TFlatButton* openButton = nullptr;
    for (int i = 0; i < 16; ++i) {
        auto* b = new TFlatButton(toolbar);
        b->SetImages(images.get());
        b->SetDisabled(&disabled);
        b->SetImageIndex(glyphs[i]);
        if (i == 0) {
            b->resize(37, 22);
            b->SetDropdownMenu(recent);
            openButton = b;
        }
        if (i == 12) {
            b->resize(37, 22);
            b->SetDropdownMenu(effects);
            b->SetFullDrop(true);
        }
        if (i >= 2 && i <= 4) {
            b->SetIsToggleButton(true);
            group.AddButton(b);
        }
        if (i == 3) b->SetDown(true);
        if (i == 4) b->setEnabled(false);
        b->move(x, 2);
        x += b->width() + (i == 1 || i == 4 || i == 8 ? 8 : 1);
        if (i == 15) aboutButton = b;
    }
    column->addWidget(toolbar);

    // Every kind in every state.
    auto* samples = new QWidget(&window);
    auto* grid = new QGridLayout(samples);
    grid->setHorizontalSpacing(18);
    const char* kinds[] = {"push", "toggle", "split", "full drop", "caption", "vertical"};
    const char* states[] = {"normal", "hovered", "down", "hovered, down", "disabled"};
    for (int k = 0; k < 6; ++k) grid->addWidget(new QLabel(QString::fromLatin1(kinds[k])), 0, k + 1);
    for (int s = 0; s < 5; ++s) {
        grid->addWidget(new QLabel(QString::fromLatin1(states[s])), s + 1, 0);
        for (int k = 0; k < 6; ++k) {
            auto* b = new TFlatButton(samples);
            b->SetImages(images.get());
            b->SetDisabled(&disabled);
            b->SetImageIndex(k == 1 ? giZoomIn : k == 3 ? giEnlighten : giOpen);
            if (k == 1) b->SetIsToggleButton(true);
            if (k == 2 || k == 3) {
                b->setFixedSize(37, 22);
                b->SetDropdownMenu(k == 2 ? recent : effects);
                b->SetFullDrop(k == 3);
            } else if (k == 4) {
                b->setFixedSize(72, 22);
                b->SetCaption(QStringLiteral("&Open"));
                b->SetShowCaption(true);
            } else if (k == 5) {
                b->setFixedSize(48, 40);
                b->SetCaption(QStringLiteral("&Save"));
                b->SetImageIndex(giSave);
                b->SetShowCaption(true);
                b->SetLayout(ilVertical);
            } else {
                b->setFixedSize(23, 22);
            }
            if (s == 1 || s == 3) Hover(b);
            if (s == 2 || s == 3) {
                if (k == 2 || k == 3) {
                    b->SetDropdownMenu(nullptr);  // pressed without opening a menu
                    b->SetDropsMenu(true);
                }
                Press(b);
            }
            if (s == 4) b->setEnabled(false);
            grid->addWidget(b, s + 1, k + 1);
        }
    }
    column->addWidget(samples);
    column->addStretch();

    auto* status = new TStatusPanel(&window);
    status->SetSimpleText(QStringLiteral("Zoom 100% (640x480)"));
    column->addWidget(status);

    window.resize(560, 330);
    window.move(20, 20);
    window.show();

    if (args.contains(QStringLiteral("about"))) QTimer::singleShot(300, aboutButton, [&window] { ShowAbout(&window); });
    if (args.contains(QStringLiteral("menu"))) {
        QTimer::singleShot(300, openButton, [openButton] {
            QMouseEvent press(QEvent::MouseButtonPress, QPointF(30, 5), openButton->mapToGlobal(QPointF(30, 5)),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(openButton, &press);
        });
    }
    return app.exec();
}
