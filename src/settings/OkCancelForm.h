// The plain OK/Cancel dialog the program's dialogs derive from: a fixed dialog border,
// centred on its owner, with "OK" (the default button) and "Cancel" (taken by Escape) in the
// bottom-right corner.
#pragma once

#include "settings/BaseForm.h"

class QPushButton;

class TfrmYesNo : public TfrmBaseForm {
    Q_OBJECT
public:
    explicit TfrmYesNo(QWidget* owner = nullptr);

    // Closes with QDialog::Accepted.
    QPushButton* btnOk;
    // Closes with QDialog::Rejected.
    QPushButton* btnCancel;

protected:
    // The dialog border keeps the client area at this size; the buttons stay anchored to the
    // bottom-right corner.
    void SetClientSize(int width, int height);
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceButtons();
};
