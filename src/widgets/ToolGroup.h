// Keeps exactly one of a set of toggle buttons down, like radio buttons.
#pragma once

#include "widgets/FlatButton.h"

#include <vector>

class TButtonGrouper {
public:
    TButtonGrouper() = default;
    TButtonGrouper(const TButtonGrouper&) = delete;
    TButtonGrouper& operator=(const TButtonGrouper&) = delete;

    // The button's click handler is kept and called after the group's own correction. The
    // group must live as long as its buttons.
    void AddButton(TFlatButton* button);
    void ButtonClick(TFlatButton* sender);
    int Count() const { return static_cast<int>(buttons_.size()); }

private:
    std::vector<TFlatButton*> buttons_;
    std::vector<TFlatButton::TNotifyEvent> handlers_;
};
