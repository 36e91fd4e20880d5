// The gamma dialog: a vertical slider from 0.1 to 2.5 and a preview of the picture,
// scaled to fit a 200 × 200 box, showing the chosen gamma as the slider moves.
#pragma once

#include "settings/OkCancelForm.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QSlider;
class TPixelBuffer;

// A plain area painted by its owner.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TfrmGamma : public TfrmYesNo {
    Q_OBJECT
public:
    explicit TfrmGamma(QWidget* owner = nullptr);
    ~TfrmGamma() override;

    TPaintBox* PaintArea;
    QSlider* GammaTrack;
    QLabel* Label2;
    QLabel* Label1;
    QLabel* pnlGammaValue;

    // The main window's picture, previewed but never changed; set before showing.
    void SetSourceImage(const TPixelBuffer* source) { SourceImage = source; }
    // The chosen gamma, read after OK.
    double GammaValue() const { return gammaValue_; }
    const TPixelBuffer* PreviewImage() const { return previewImage_.get(); }

protected:
    // Starts at 1.00 with the slider at its position and builds the preview; the base form's
    // placement loading does not run.
    void FormShow() override;

private:
    void FormCreate();
    void GammaTrackChange();
    void PaintAreaPaint(QPainter& painter);
    void PreparePreview();
    void UpdatePreview();

    double gammaValue_ = 1.0;
    const TPixelBuffer* SourceImage = nullptr;
    std::unique_ptr<TPixelBuffer> PreviewBase;
    std::unique_ptr<TPixelBuffer> previewImage_;
};
