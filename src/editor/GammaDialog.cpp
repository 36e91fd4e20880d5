#include "editor/GammaDialog.h"

#include "core/ColorEffects.h"
#include "core/PixelBuffer.h"
#include "core/Resample.h"
#include "platform/Exception.h"
#include "widgets/PixelBufferDraw.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The box the preview is fitted and centred into.
const QRect PreviewBox(12, 8, 200, 200);

// The slider runs from 2.5 at the top (position 10) to 0.1 at the bottom (250).
constexpr int GammaTrackMin = 10;
constexpr int GammaTrackMax = 250;
constexpr int PositionOfGamma(int hundredths) { return GammaTrackMin + GammaTrackMax - hundredths; }

// a × b / c rounded to nearest, ties to even; the product in 64 bits.
int ScaledSide(int a, int b, int c) {
    return static_cast<int>(std::nearbyint(static_cast<long double>(static_cast<std::int64_t>(a) * b) / c));
}

}  // namespace

void TPaintBox::paintEvent(QPaintEvent*) {
    if (!OnPaint) return;
    QPainter painter(this);
    OnPaint(painter);
}

TfrmGamma::TfrmGamma(QWidget* owner) : TfrmYesNo(owner) {
    setObjectName(QStringLiteral("frmGamma"));
    setWindowTitle(QStringLiteral("Gamma Correction"));

    PaintArea = new TPaintBox(this);
    PaintArea->setObjectName(QStringLiteral("PaintArea"));
    PaintArea->setGeometry(PreviewBox);
    PaintArea->OnPaint = [this](QPainter& painter) { PaintAreaPaint(painter); };

    GammaTrack = new QSlider(Qt::Vertical, this);
    GammaTrack->setObjectName(QStringLiteral("GammaTrack"));
    GammaTrack->setGeometry(268, 8, 31, 197);
    GammaTrack->setRange(GammaTrackMin, GammaTrackMax);
    GammaTrack->setTickInterval(10);
    GammaTrack->setTickPosition(QSlider::TicksLeft);
    // The smallest position at the top, and Up moving the knob up, as on a track bar.
    GammaTrack->setInvertedAppearance(true);
    GammaTrack->setInvertedControls(true);
    GammaTrack->setValue(PositionOfGamma(100));

    Label2 = new QLabel(QStringLiteral("2.5"), this);
    Label2->setGeometry(247, 10, 20, 16);
    Label1 = new QLabel(QStringLiteral("0.1"), this);
    Label1->setGeometry(247, 187, 20, 16);

    pnlGammaValue = new QLabel(this);
    pnlGammaValue->setObjectName(QStringLiteral("pnlGammaValue"));
    pnlGammaValue->setGeometry(220, 96, 42, 21);
    pnlGammaValue->setFrameStyle(QFrame::Box | QFrame::Plain);
    pnlGammaValue->setAlignment(Qt::AlignCenter);
    QFont bold = pnlGammaValue->font();
    bold.setBold(true);
    pnlGammaValue->setFont(bold);

    setTabOrder(GammaTrack, btnOk);
    setTabOrder(btnOk, btnCancel);
    SetClientSize(311, 260);

    connect(GammaTrack, &QSlider::valueChanged, this, &TfrmGamma::GammaTrackChange);
    FormCreate();
}

TfrmGamma::~TfrmGamma() = default;

void TfrmGamma::FormCreate() {
    KeepPosition = false;
    KeepSize = false;
}

void TfrmGamma::FormShow() {
    gammaValue_ = 1.0;
    {
        // The knob stands where 1.00 is, so that the first touch moves on from there.
        const QSignalBlocker quiet(GammaTrack);
        GammaTrack->setValue(PositionOfGamma(100));
    }
    PreparePreview();
}

void TfrmGamma::GammaTrackChange() {
    gammaValue_ = (GammaTrack->minimum() + GammaTrack->maximum() - GammaTrack->value()) / 100.0;
    UpdatePreview();
}

void TfrmGamma::PreparePreview() {
    if (!SourceImage) return;
    const int w = SourceImage->Width();
    const int h = SourceImage->Height();
    // Every preparation starts from the full box, so showing the dialog again does not
    // shift the preview further.
    int paintWidth = PreviewBox.width();
    int paintHeight = PreviewBox.height();
    if (w <= 0 || h <= 0) {
        paintWidth = paintHeight = 0;
    } else if (h < w) {
        // Landscape; a picture smaller than the box is not enlarged.
        paintWidth = std::min(w, paintWidth);
        paintHeight = ScaledSide(h, paintWidth, w);
    } else {
        paintHeight = std::min(h, paintHeight);
        paintWidth = ScaledSide(w, paintHeight, h);
    }
    PaintArea->setGeometry(PreviewBox.left() + (PreviewBox.width() - paintWidth) / 2,
                           PreviewBox.top() + (PreviewBox.height() - paintHeight) / 2, paintWidth, paintHeight);

    PreviewBase = TPixelBuffer::Create(paintWidth, paintHeight);
    if (w < paintWidth)
        SourceImage->Resample(*PreviewBase, SplineFilter, 2.0f);
    else
        SourceImage->Resample(*PreviewBase, Lanczos3Filter, 3.0f);
    UpdatePreview();
}

void TfrmGamma::UpdatePreview() {
    previewImage_.reset();
    pnlGammaValue->setText(QString::fromStdString(FormatText("%.2f", gammaValue_)));
    if (PreviewBase) {
        previewImage_ = TPixelBuffer::CreateCopy(*PreviewBase);
        ApplyGamma(*previewImage_, static_cast<float>(gammaValue_));
    }
    PaintArea->update();
}

void TfrmGamma::PaintAreaPaint(QPainter& painter) {
    if (previewImage_) DrawPixelBuffer(painter, 0, 0, *previewImage_);
}
