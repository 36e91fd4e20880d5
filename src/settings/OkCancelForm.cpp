#include "settings/OkCancelForm.h"

#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

namespace {

constexpr int ButtonWidth = 67;
constexpr int ButtonHeight = 26;
// Distances of the buttons' top-left corners from the client area's bottom-right corner.
constexpr QPoint OkFromCorner{151, 34};
constexpr QPoint CancelFromCorner{76, 34};

QIcon DrawGlyph(const QColor& color, const QPainterPath& strokes) {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(strokes);
    p.end();
    return QIcon(QPixmap::fromImage(image));
}

QIcon CheckGlyph() {
    QPainterPath tick;
    tick.moveTo(2.5, 8.5);
    tick.lineTo(6.0, 12.0);
    tick.lineTo(13.5, 3.5);
    return DrawGlyph(QColor(0, 128, 0), tick);
}

QIcon CrossGlyph() {
    QPainterPath cross;
    cross.moveTo(3.5, 3.5);
    cross.lineTo(12.5, 12.5);
    cross.moveTo(12.5, 3.5);
    cross.lineTo(3.5, 12.5);
    return DrawGlyph(QColor(192, 0, 0), cross);
}

}  // namespace

TfrmYesNo::TfrmYesNo(QWidget* owner)
    : TfrmBaseForm(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmYesNo"));
    setWindowTitle(QStringLiteral("Base Yes-No Form"));

    btnOk = new QPushButton(CheckGlyph(), QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);

    btnCancel = new QPushButton(CrossGlyph(), QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    for (QPushButton* button : {btnOk, btnCancel}) button->resize(ButtonWidth, ButtonHeight);
    setTabOrder(btnOk, btnCancel);
    SetClientSize(396, 336);
}

void TfrmYesNo::SetClientSize(int width, int height) {
    setFixedSize(width, height);
    PlaceButtons();
}

void TfrmYesNo::resizeEvent(QResizeEvent* event) {
    TfrmBaseForm::resizeEvent(event);
    PlaceButtons();
}

void TfrmYesNo::PlaceButtons() {
    const QPoint corner(width(), height());
    btnOk->move(corner - OkFromCorner);
    btnCancel->move(corner - CancelFromCorner);
}
