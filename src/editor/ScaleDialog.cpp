#include "editor/ScaleDialog.h"

#include "core/PixelBuffer.h"
#include "core/Resample.h"
#include "platform/Exception.h"
#include "widgets/FlatButton.h"
#include "widgets/ImageList.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <cmath>
#include <limits>

namespace {

constexpr int FilterLanczos3 = 5;

// A closed padlock: the aspect ratio is locked while the button is down.
QImage LockGlyph() {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(96, 96, 96), 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(4.5, 1.5, 7, 9), 0, 180 * 16);
    p.drawLine(QPointF(4.5, 6), QPointF(4.5, 8));
    p.drawLine(QPointF(11.5, 6), QPointF(11.5, 8));
    p.setPen(QPen(QColor(128, 96, 0), 1));
    p.setBrush(QColor(230, 180, 40));
    p.drawRoundedRect(QRectF(2.5, 7.5, 11, 7), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(96, 64, 0));
    p.drawEllipse(QRectF(7, 9.5, 2, 2));
    p.drawRect(QRectF(7.5, 11, 1, 2));
    return image;
}

// A whole number in the range of picture dimensions, or nothing.
bool ParseDimension(const QString& text, std::int64_t& value) {
    bool ok = false;
    value = text.toLongLong(&ok, 10);
    return ok && value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

int ReadWholeNumber(const TLabeledEdit* edit) {
    bool ok = false;
    const int value = edit->text().toInt(&ok, 10);
    if (!ok) throw EConvertError(FormatText("'%s' is not a valid integer value", edit->text().toUtf8().constData()));
    return value;
}

}  // namespace

TLabeledEdit::TLabeledEdit(const QString& caption, QWidget* parent)
    : QLineEdit(parent), editLabel_(new QLabel(caption, parent)) {
    editLabel_->setBuddy(this);
}

void TLabeledEdit::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, width, height);
    editLabel_->adjustSize();
    editLabel_->move(left - 3 - editLabel_->width(), top + (height - editLabel_->height()) / 2);
}

TfrmScale::TfrmScale(QWidget* owner) : TfrmYesNo(owner) {
    setObjectName(QStringLiteral("frmScale"));
    setWindowTitle(QStringLiteral("Scale Image"));
    // Only the system menu: no minimize box.
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);

    GroupBox1 = new QGroupBox(QStringLiteral(" Image Dimensions "), this);
    GroupBox1->setGeometry(8, 4, 140, 80);
    eOrigWidth = new TLabeledEdit(QStringLiteral("Width"), GroupBox1);
    eOrigWidth->SetBounds(56, 22, 72, 21);
    eOrigHeight = new TLabeledEdit(QStringLiteral("Height"), GroupBox1);
    eOrigHeight->SetBounds(56, 50, 72, 21);
    for (TLabeledEdit* edit : {eOrigWidth, eOrigHeight}) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::ClickFocus);
    }

    GroupBox2 = new QGroupBox(QStringLiteral(" Image Dimensions "), this);
    GroupBox2->setGeometry(156, 4, 149, 80);
    eNewWidth = new TLabeledEdit(QStringLiteral("Width"), GroupBox2);
    eNewWidth->SetBounds(56, 22, 60, 21);
    eNewHeight = new TLabeledEdit(QStringLiteral("Height"), GroupBox2);
    eNewHeight->SetBounds(56, 50, 60, 21);

    lockGlyph_ = new TImageList(16, 16, this);
    lockGlyph_->Add(LockGlyph());
    btnLock = new TFlatButton(GroupBox2);
    btnLock->setObjectName(QStringLiteral("btnLock"));
    btnLock->setGeometry(121, 35, 22, 22);
    btnLock->SetImages(lockGlyph_);
    btnLock->SetImageIndex(0);
    btnLock->SetIsToggleButton(true);
    btnLock->SetDown(true);
    btnLock->setToolTip(QStringLiteral("Keep proportions"));

    Label1 = new QLabel(QStringLiteral("Scaling Filter"), this);
    Label1->setGeometry(10, 94, 140, 16);
    FilterBox = new QComboBox(this);
    FilterBox->setObjectName(QStringLiteral("FilterBox"));
    FilterBox->setGeometry(8, 114, 140, 24);
    for (const TResampleFilter& filter : ResampleFilters) FilterBox->addItem(QString::fromLatin1(filter.Name));
    FilterBox->setCurrentIndex(FilterLanczos3);

    btnOk->setEnabled(false);
    setTabOrder(eNewWidth, eNewHeight);
    setTabOrder(eNewHeight, FilterBox);
    setTabOrder(FilterBox, btnOk);
    setTabOrder(btnOk, btnCancel);
    SetClientSize(313, 152);

    connect(eNewWidth, &QLineEdit::textChanged, this, &TfrmScale::eNewWidthChange);
    connect(eNewHeight, &QLineEdit::textChanged, this, &TfrmScale::eNewHeightChange);
    FormCreate();
}

void TfrmScale::FormCreate() {
    Updating = false;
    KeepPosition = false;
    KeepSize = false;
    // Digits only, typed or pasted.
    for (TLabeledEdit* edit : {eNewWidth, eNewHeight})
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
}

void TfrmScale::SetPresentSize(int width, int height) {
    eOrigHeight->setText(QString::number(height));
    eOrigWidth->setText(QString::number(width));
    btnLock->SetDown(true);
    FilterBox->setCurrentIndex(FilterLanczos3);
    eNewHeight->setText(QString::number(height));
    eNewWidth->setText(QString::number(width));
}

int TfrmScale::NewWidth() const { return ReadWholeNumber(eNewWidth); }
int TfrmScale::NewHeight() const { return ReadWholeNumber(eNewHeight); }
int TfrmScale::FilterIndex() const { return FilterBox->currentIndex(); }

void TfrmScale::eNewWidthChange() {
    FollowProportion(eNewWidth, eNewHeight, eOrigWidth, eOrigHeight);
    UpdateOkButton();
}

void TfrmScale::eNewHeightChange() {
    FollowProportion(eNewHeight, eNewWidth, eOrigHeight, eOrigWidth);
    UpdateOkButton();
}

void TfrmScale::FollowProportion(const TLabeledEdit* source, TLabeledEdit* target, const TLabeledEdit* sourceOrig,
                                 const TLabeledEdit* targetOrig) {
    if (!btnLock->Down() || Updating) return;
    std::int64_t value = 0;
    if (!source->text().isEmpty() && !ParseDimension(source->text(), value)) return;
    std::int64_t from = 0, to = 0;
    // Without a usable present size there is no proportion to keep.
    if (!ParseDimension(sourceOrig->text(), from) || !ParseDimension(targetOrig->text(), to) || from <= 0 || to < 0)
        return;
    Updating = true;
    target->setText(
        QString::number(ProportionalDimension(value, static_cast<std::int32_t>(to), static_cast<std::int32_t>(from))));
    Updating = false;
}

void TfrmScale::UpdateOkButton() {
    // Both dimensions filled in, and neither of them zero: an empty picture is no scaling.
    std::int64_t w = 0, h = 0;
    btnOk->setEnabled(ParseDimension(eNewWidth->text(), w) && ParseDimension(eNewHeight->text(), h) && w >= 1 &&
                      h >= 1);
}
