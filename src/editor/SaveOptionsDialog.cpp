#include "editor/SaveOptionsDialog.h"

#include "core/PixelBuffer.h"
#include "platform/Exception.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

namespace {

bool SameOptions(const TSaveOptions& a, const TSaveOptions& b) {
    return a.Quality == b.Quality && a.Progressive == b.Progressive && a.Lossless == b.Lossless;
}

QString SizeText(std::size_t bytes) {
    const double kilobytes = static_cast<double>(bytes) / 1024;
    const QString scaled = kilobytes < 1024 ? QStringLiteral("%1 kB").arg(kilobytes, 0, 'f', 1)
                                            : QStringLiteral("%1 MB").arg(kilobytes / 1024, 0, 'f', 2);
    return QStringLiteral("File size: %1 (%2 bytes)").arg(scaled).arg(bytes);
}

}  // namespace

TfrmSaveOptions::TfrmSaveOptions(QWidget* owner) : TfrmYesNo(owner) {
    setObjectName(QStringLiteral("frmSaveOptions"));
    setWindowTitle(QStringLiteral("JPEG Options"));
    KeepPosition = false;
    KeepSize = false;

    lblQuality = new QLabel(QStringLiteral("Quality (1 = smallest file, 100 = best picture):"), this);
    lblQuality->setGeometry(12, 10, 300, 18);

    QualityTrack = new QSlider(Qt::Horizontal, this);
    QualityTrack->setObjectName(QStringLiteral("QualityTrack"));
    QualityTrack->setGeometry(12, 34, 236, 24);
    QualityTrack->setRange(MinSaveQuality, MaxSaveQuality);
    QualityTrack->setTickInterval(10);
    QualityTrack->setTickPosition(QSlider::TicksBelow);

    eQuality = new QSpinBox(this);
    eQuality->setObjectName(QStringLiteral("eQuality"));
    eQuality->setGeometry(256, 34, 56, 24);
    eQuality->setRange(MinSaveQuality, MaxSaveQuality);

    cbProgressive = new QCheckBox(QStringLiteral("Progressive (shown coarse first while loading)"), this);
    cbProgressive->setObjectName(QStringLiteral("cbProgressive"));
    cbProgressive->setGeometry(12, 68, 300, 20);
    cbLossless = new QCheckBox(QStringLiteral("Lossless (exactly the pixels; quality sets the effort)"), this);
    cbLossless->setObjectName(QStringLiteral("cbLossless"));
    cbLossless->setGeometry(12, 68, 300, 20);

    lblFileSize = new QLabel(this);
    lblFileSize->setObjectName(QStringLiteral("lblFileSize"));
    lblFileSize->setGeometry(12, 98, 300, 18);

    setTabOrder(QualityTrack, eQuality);
    setTabOrder(eQuality, cbProgressive);
    setTabOrder(cbProgressive, cbLossless);
    setTabOrder(cbLossless, btnOk);
    SetClientSize(324, 166);

    connect(QualityTrack, &QSlider::valueChanged, this, &TfrmSaveOptions::QualityTrackChange);
    connect(eQuality, &QSpinBox::valueChanged, this, &TfrmSaveOptions::eQualityChange);
    connect(cbProgressive, &QCheckBox::toggled, this, &TfrmSaveOptions::OptionsChange);
    connect(cbLossless, &QCheckBox::toggled, this, &TfrmSaveOptions::OptionsChange);
    connect(&sizeWatcher_, &QFutureWatcher<std::size_t>::finished, this, &TfrmSaveOptions::SizeFound);
}

// A running encoding finishes on its own with its own copies; nothing waits for it.
TfrmSaveOptions::~TfrmSaveOptions() { sizeWatcher_.disconnect(this); }

void TfrmSaveOptions::SetUp(const TPixelBuffer& picture, TSaveFormat format, const TSaveOptions& options,
                            const TPictureMetadata* metadata) {
    format_ = format;
    picture_ = TPixelBuffer::CreateCopy(picture);
    metadata_ = metadata ? std::make_shared<const TPictureMetadata>(*metadata) : nullptr;
    const bool jpeg = format == TSaveFormat::Jpeg;
    setWindowTitle(jpeg ? QStringLiteral("JPEG Options") : QStringLiteral("WebP Options"));
    cbProgressive->setVisible(jpeg);
    cbLossless->setVisible(!jpeg);
    {
        const QSignalBlocker blockTrack(QualityTrack), blockEdit(eQuality), blockProgressive(cbProgressive),
            blockLossless(cbLossless);
        QualityTrack->setValue(options.Quality);
        eQuality->setValue(options.Quality);
        cbProgressive->setChecked(options.Progressive);
        cbLossless->setChecked(options.Lossless);
    }
    OptionsChange();
}

TSaveOptions TfrmSaveOptions::Options() const {
    TSaveOptions options;
    options.Quality = eQuality->value();
    options.Progressive = cbProgressive->isChecked();
    options.Lossless = cbLossless->isChecked();
    return options;
}

void TfrmSaveOptions::QualityTrackChange() {
    if (eQuality->value() != QualityTrack->value()) eQuality->setValue(QualityTrack->value());
    OptionsChange();
}

void TfrmSaveOptions::eQualityChange() {
    // Moving the slider runs QualityTrackChange, which finds the size.
    if (QualityTrack->value() != eQuality->value()) QualityTrack->setValue(eQuality->value());
}

void TfrmSaveOptions::OptionsChange() {
    fileSize_ = 0;
    lblFileSize->setText(QStringLiteral("File size: finding out ..."));
    FindSize();
}

void TfrmSaveOptions::FindSize() {
    if (!picture_) return;
    if (sizeWatcher_.isRunning()) {
        sizeStale_ = true;
        return;
    }
    sizeStale_ = false;
    sizeOptions_ = Options();
    sizeWatcher_.setFuture(QtConcurrent::run(
        [picture = picture_, metadata = metadata_, format = format_, options = sizeOptions_]() -> std::size_t {
            try {
                return EncodePicture(*picture, format, options, metadata.get()).size();
            } catch (const std::exception&) {
                return 0;  // the save itself will tell what is wrong
            }
        }));
}

void TfrmSaveOptions::SizeFound() {
    if (sizeStale_ || !SameOptions(sizeOptions_, Options())) {
        FindSize();
        return;
    }
    fileSize_ = sizeWatcher_.result();
    lblFileSize->setText(fileSize_ ? SizeText(fileSize_) : QStringLiteral("File size: cannot be told"));
}
