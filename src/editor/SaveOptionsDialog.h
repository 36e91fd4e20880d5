// The options asked for after a JPEG or WebP name is chosen: the quality (slider and number),
// progressive JPEG or lossless WebP, and the size the file will have. The size is found by
// encoding the picture in memory on a worker thread, so moving the slider never waits for it.
#pragma once

#include "core/SavePicture.h"
#include "platform/PictureMetadata.h"
#include "settings/OkCancelForm.h"

#include <QFutureWatcher>

#include <cstddef>
#include <memory>

class QCheckBox;
class QLabel;
class QSlider;
class QSpinBox;
class TPixelBuffer;

class TfrmSaveOptions : public TfrmYesNo {
    Q_OBJECT
public:
    explicit TfrmSaveOptions(QWidget* owner = nullptr);
    ~TfrmSaveOptions() override;

    QLabel* lblQuality;
    QSlider* QualityTrack;
    QSpinBox* eQuality;
    QCheckBox* cbProgressive;  // JPEG only
    QCheckBox* cbLossless;     // WebP only
    QLabel* lblFileSize;

    // Fills the dialog for saving the picture in format (JPEG or WebP) with the given options
    // and metadata, and starts finding the size. The picture and the metadata are copied: the
    // encoding may outlive the dialog.
    void SetUp(const TPixelBuffer& picture, TSaveFormat format, const TSaveOptions& options,
               const TPictureMetadata* metadata);
    TSaveOptions Options() const;
    // The size of the file for the options shown, once found; 0 while it is being found.
    std::size_t FileSize() const { return fileSize_; }

private:
    void QualityTrackChange();
    void eQualityChange();
    void OptionsChange();
    // Encodes with the options shown unless an encoding runs; that one's end starts the next.
    void FindSize();
    void SizeFound();

    TSaveFormat format_ = TSaveFormat::Jpeg;
    std::shared_ptr<const TPixelBuffer> picture_;
    std::shared_ptr<const TPictureMetadata> metadata_;
    QFutureWatcher<std::size_t> sizeWatcher_;
    TSaveOptions sizeOptions_;  // the options of the running encoding
    bool sizeStale_ = false;    // the options changed while it ran
    std::size_t fileSize_ = 0;
};
