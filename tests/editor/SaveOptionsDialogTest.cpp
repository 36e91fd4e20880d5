#include "editor/SaveOptionsDialog.h"

#include "QtApplication.h"
#include "core/PixelBuffer.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <random>

namespace {

std::unique_ptr<TPixelBuffer> Noise(int width, int height) {
    auto picture = TPixelBuffer::Create(width, height);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x) picture->RowBytes(y)[x] = static_cast<std::uint8_t>(random() % 64 + x);
    return picture;
}

bool SizeFound(const TfrmSaveOptions& dialog) {
    return QTest::qWaitFor([&dialog] { return dialog.FileSize() != 0; }, 20000);
}

}  // namespace

TEST(SaveOptionsDialog, ShowsTheSizeOfTheFileTheOptionsGive) {
    const auto picture = Noise(300, 200);
    TPictureMetadata metadata;
    metadata.Xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
    TfrmSaveOptions dialog;
    dialog.SetUp(*picture, TSaveFormat::Jpeg, {80, true, false}, &metadata);
    EXPECT_EQ(dialog.windowTitle(), "JPEG Options");
    EXPECT_FALSE(dialog.cbProgressive->isHidden());
    EXPECT_TRUE(dialog.cbLossless->isHidden());
    EXPECT_EQ(dialog.QualityTrack->value(), 80);
    ASSERT_TRUE(SizeFound(dialog));
    const std::size_t size = EncodePicture(*picture, TSaveFormat::Jpeg, {80, true, false}, &metadata).size();
    EXPECT_EQ(dialog.FileSize(), size);
    EXPECT_TRUE(dialog.lblFileSize->text().contains(QStringLiteral("(%1 bytes)").arg(size)))
        << dialog.lblFileSize->text().toStdString();

    // Slider and number follow each other; the size is looked for anew at once, and the last
    // options win however fast they change.
    for (int quality = 79; quality >= 30; --quality) dialog.QualityTrack->setValue(quality);
    EXPECT_EQ(dialog.eQuality->value(), 30);
    EXPECT_EQ(dialog.FileSize(), 0u);
    EXPECT_EQ(dialog.lblFileSize->text(), "File size: finding out ...");
    dialog.eQuality->setValue(20);
    EXPECT_EQ(dialog.QualityTrack->value(), 20);
    dialog.cbProgressive->setChecked(false);
    ASSERT_TRUE(SizeFound(dialog));
    EXPECT_EQ(dialog.FileSize(), EncodePicture(*picture, TSaveFormat::Jpeg, {20, false, false}, &metadata).size());
    const TSaveOptions chosen = dialog.Options();
    EXPECT_EQ(chosen.Quality, 20);
    EXPECT_FALSE(chosen.Progressive);
}

TEST(SaveOptionsDialog, WebpOffersLosslessAndClosesWhileEncoding) {
    const auto picture = Noise(600, 400);
    auto dialog = std::make_unique<TfrmSaveOptions>();
    dialog->SetUp(*picture, TSaveFormat::Webp, {95, true, true}, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "WebP Options");
    EXPECT_TRUE(dialog->cbProgressive->isHidden());
    EXPECT_TRUE(dialog->cbLossless->isChecked());
    ASSERT_TRUE(SizeFound(*dialog));
    EXPECT_EQ(dialog->FileSize(), EncodePicture(*picture, TSaveFormat::Webp, {95, true, true}).size());
    // Gone while an encoding runs: it finishes on its own copies.
    dialog->cbLossless->setChecked(false);
    dialog.reset();
    QTest::qWait(50);
}
