#include "widgets/uButtonGroup.h"

#include <algorithm>

void TButtonGrouper::AddButton(TFlatButton* button) {
    Buttons_.push_back(button);
    Handlers_.push_back(button->OnClick);
    button->OnClick = [this](TFlatButton* sender) { ButtonClick(sender); };
}

void TButtonGrouper::ButtonClick(TFlatButton* sender) {
    const auto found = std::find(Buttons_.begin(), Buttons_.end(), sender);
    if (found == Buttons_.end())
        return;
    // The press has already flipped the sender; move the down state or keep it.
    const auto other = std::find_if(Buttons_.begin(), Buttons_.end(), [sender](TFlatButton* b) {
        return b != sender && b->Down();
    });
    if (other != Buttons_.end()) {
        if (sender->Down())
            (*other)->SetDown(false);
    } else {
        sender->SetDown(true);
    }
    // Copied: the handler may add buttons to this group.
    const TFlatButton::TNotifyEvent saved = Handlers_[static_cast<std::size_t>(found - Buttons_.begin())];
    if (saved)
        saved(sender);
}
