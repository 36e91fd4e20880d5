#include "editor/GammaDialog.h"

#include "QtApplication.h"
#include "core/PixelBuffer.h"
#include "core/Resample.h"
#include "core/TestPictures.h"

#include <QLabel>
#include <QSlider>

#include <cstring>
#include <filesystem>
#include <memory>

namespace {

// A grey ramp from black on the left to white on the right.
std::unique_ptr<TPixelBuffer> Ramp(int width, int height) {
    auto picture = TPixelBuffer::Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto v = static_cast<std::uint8_t>(width > 1 ? x * 255 / (width - 1) : 128);
            picture->SetPixel(x, y, TPixel24{v, v, v});
        }
    return picture;
}

struct Shown {
    Shown(int width, int height) : source(Ramp(width, height)) {
        dialog.SetSourceImage(source.get());
        dialog.show();
    }
    std::string ValueText() const { return dialog.pnlGammaValue->text().toStdString(); }
    std::uint8_t MidGray() const {
        const TPixelBuffer& p = *dialog.PreviewImage();
        return p.GetPixel(p.Width() / 2, p.Height() / 2).Green;
    }
    std::unique_ptr<TPixelBuffer> source;
    TfrmGamma dialog;
};

}  // namespace

TEST(GammaDialog, OpensAtOneWithTheSliderAtOne) {
    Shown s(300, 200);
    EXPECT_EQ(s.dialog.GammaValue(), 1.0);
    EXPECT_EQ(s.ValueText(), "1.00");
    EXPECT_EQ(s.dialog.GammaTrack->value(), 160);
    // Gamma 1 changes nothing: the preview is the plain scaled picture.
    TPixelBuffer scaled(200, 133);
    s.source->Resample(scaled, Lanczos3Filter, 3.0f);
    EXPECT_TRUE(SamePixels(*s.dialog.PreviewImage(), scaled));
    // The first touch moves on from 1.00, not from where another value would stand.
    s.dialog.GammaTrack->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(s.ValueText(), "0.99");
    // Shown again after a move, it starts over at 1.00 with the knob there.
    s.dialog.GammaTrack->setValue(40);
    s.dialog.hide();
    s.dialog.show();
    EXPECT_EQ(s.ValueText(), "1.00");
    EXPECT_EQ(s.dialog.GammaTrack->value(), 160);
}

TEST(GammaDialog, SliderPositionGivesTheValue) {
    Shown s(300, 200);
    const std::uint8_t opening = s.MidGray();
    s.dialog.GammaTrack->setValue(140);
    EXPECT_EQ(s.ValueText(), "1.20");
    EXPECT_DOUBLE_EQ(s.dialog.GammaValue(), 1.2);
    EXPECT_GT(s.MidGray(), opening);
    s.dialog.GammaTrack->setValue(250);
    EXPECT_EQ(s.ValueText(), "0.10");
    EXPECT_LT(s.MidGray() + 60, opening);
    s.dialog.GammaTrack->setValue(10);
    EXPECT_EQ(s.ValueText(), "2.50");
    EXPECT_DOUBLE_EQ(s.dialog.GammaValue(), 2.5);
}

TEST(GammaDialog, PreviewFitsAndCentresWithoutEnlarging) {
    struct Case {
        int width, height;
        QRect area;
    };
    for (const Case& c : {Case{400, 100, QRect(12, 83, 200, 50)}, Case{100, 400, QRect(87, 8, 50, 200)},
                          Case{50, 30, QRect(87, 93, 50, 30)}, Case{200, 200, QRect(12, 8, 200, 200)},
                          Case{3, 2, QRect(110, 107, 3, 2)}}) {
        Shown s(c.width, c.height);
        EXPECT_EQ(s.dialog.PaintArea->geometry(), c.area) << c.width << "x" << c.height;
        ASSERT_NE(s.dialog.PreviewImage(), nullptr);
        EXPECT_EQ(s.dialog.PreviewImage()->Width(), c.area.width());
        EXPECT_EQ(s.dialog.PreviewImage()->Height(), c.area.height());
    }
}

TEST(GammaDialog, ShowingAgainDoesNotShiftThePreview) {
    Shown s(400, 100);
    s.dialog.hide();
    s.dialog.show();
    EXPECT_EQ(s.dialog.PaintArea->geometry(), QRect(12, 83, 200, 50));
}

TEST(GammaDialog, SourceStaysUntouchedAndTheFileAlone) {
    {
        Shown s(64, 48);
        const auto before = TPixelBuffer::CreateCopy(*s.source);
        s.dialog.GammaTrack->setValue(40);
        s.dialog.reject();
        EXPECT_TRUE(SamePixels(*s.source, *before));
    }
    EXPECT_FALSE(std::filesystem::exists(TEditorTestEnvironment::SettingsFile()));
}

TEST(GammaDialog, EmptyOrMissingPictureShowsNothing) {
    TfrmGamma none;
    none.show();
    EXPECT_EQ(none.PreviewImage(), nullptr);
    none.GammaTrack->setValue(140);
    EXPECT_EQ(none.pnlGammaValue->text(), QStringLiteral("1.20"));

    TPixelBuffer empty(0, 0);
    TfrmGamma dialog;
    dialog.SetSourceImage(&empty);
    dialog.show();
    ASSERT_NE(dialog.PreviewImage(), nullptr);
    EXPECT_EQ(dialog.PreviewImage()->Width(), 0);
}
