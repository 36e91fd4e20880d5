#include "widgets/ToolGroup.h"

#include <algorithm>

void TButtonGrouper::AddButton(TFlatButton* button) {
    buttons_.push_back(button);
    handlers_.push_back(button->OnClick);
    button->OnClick = [this](TFlatButton* sender) { ButtonClick(sender); };
}

void TButtonGrouper::ButtonClick(TFlatButton* sender) {
    const auto found = std::find(buttons_.begin(), buttons_.end(), sender);
    if (found == buttons_.end()) return;
    // The press has already flipped the sender; move the down state or keep it.
    const auto other =
        std::find_if(buttons_.begin(), buttons_.end(), [sender](TFlatButton* b) { return b != sender && b->Down(); });
    if (other != buttons_.end()) {
        if (sender->Down()) (*other)->SetDown(false);
    } else {
        sender->SetDown(true);
    }
    // Copied: the handler may add buttons to this group.
    const TFlatButton::TNotifyEvent saved = handlers_[static_cast<std::size_t>(found - buttons_.begin())];
    if (saved) saved(sender);
}
