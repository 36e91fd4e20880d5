// The scale dialog: the present size of the picture, the new size (kept in proportion while
// the lock is down) and the resampling filter.
#pragma once

#include "core/FitBox.h"
#include "settings/OkCancelForm.h"

#include <QLineEdit>

#include <cstdint>

class QComboBox;
class QGroupBox;
class QLabel;
class TFlatButton;
class TImageList;

// A one-line edit with its caption on its left.
class TLabeledEdit : public QLineEdit {
    Q_OBJECT
public:
    TLabeledEdit(const QString& caption, QWidget* parent);
    QLabel* EditLabel() const { return editLabel_; }
    // Places the edit and, three pixels to its left and centred on it, the caption.
    void SetBounds(int left, int top, int width, int height);

private:
    QLabel* editLabel_;
};

class TfrmScale : public TfrmYesNo {
    Q_OBJECT
public:
    explicit TfrmScale(QWidget* owner = nullptr);

    QGroupBox* GroupBox1;
    TLabeledEdit* eOrigWidth;
    TLabeledEdit* eOrigHeight;
    QGroupBox* GroupBox2;
    TLabeledEdit* eNewWidth;
    TLabeledEdit* eNewHeight;
    TFlatButton* btnLock;
    QLabel* Label1;
    QComboBox* FilterBox;

    // Fills the dialog for a picture of the given size: the present height and width, the
    // lock down, Lanczos3, then the new height and width equal to the present ones.
    void SetPresentSize(int width, int height);
    // The new size read as whole numbers: EConvertError "'%s' is not a valid integer value"
    // for a text that is not one.
    int NewWidth() const;
    int NewHeight() const;
    // Index into ResampleFilters.
    int FilterIndex() const;

private:
    void FormCreate();
    void eNewWidthChange();
    void eNewHeightChange();
    // Writes into target the dimension proportional to source's: target = source × the
    // present target dimension / the present source dimension.
    void FollowProportion(const TLabeledEdit* source, TLabeledEdit* target, const TLabeledEdit* sourceOrig,
                          const TLabeledEdit* targetOrig);
    void UpdateOkButton();

    // True while one change handler writes into the other field.
    bool Updating = false;
    TImageList* lockGlyph_;
};
