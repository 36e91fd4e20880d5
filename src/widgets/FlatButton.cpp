#include "widgets/FlatButton.h"

#include "widgets/ImageList.h"
#include "widgets/ThemeServices.h"

#include <QAction>
#include <QDynamicPropertyChangeEvent>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionToolButton>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace {

// A rectangle with exclusive right and bottom edges, as the drawing rules count them.
struct TBox {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    QRect ToRect() const { return {Left, Top, Width(), Height()}; }
    void Shrink(int by) {
        Left += by;
        Top += by;
        Right -= by;
        Bottom -= by;
    }
};

void FillBox(QPainter& p, const TBox& b, const QColor& color) {
    if (b.Width() > 0 && b.Height() > 0) p.fillRect(b.ToRect(), color);
}

// A one-pixel frame along the inside of the box.
void FrameBox(QPainter& p, const TBox& b, const QColor& color) {
    if (b.Width() <= 0 || b.Height() <= 0) return;
    p.fillRect(b.Left, b.Top, b.Width(), 1, color);
    p.fillRect(b.Left, b.Bottom - 1, b.Width(), 1, color);
    p.fillRect(b.Left, b.Top, 1, b.Height(), color);
    p.fillRect(b.Right - 1, b.Top, 1, b.Height(), color);
}

// Connected line segments, each drawn up to but not including its end point.
void Polyline(QPainter& p, std::initializer_list<QPoint> points, const QColor& color) {
    const QPoint* from = points.begin();
    for (const QPoint* to = from + 1; to != points.end(); from = to, ++to) {
        int x = from->x(), y = from->y();
        const int dx = std::abs(to->x() - x), sx = x < to->x() ? 1 : -1;
        const int dy = -std::abs(to->y() - y), sy = y < to->y() ? 1 : -1;
        int error = dx + dy;
        while (x != to->x() || y != to->y()) {
            p.fillRect(x, y, 1, 1, color);
            const int twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                x += sx;
            }
            if (twice <= dx) {
                error += dx;
                y += sy;
            }
        }
    }
}

enum class TThemeState { Normal, Hot, Pressed, Disabled, Checked };

TThemeState PlainState(bool down, bool hovered, TThemeState downState) {
    if (down) return downState;
    return hovered ? TThemeState::Hot : TThemeState::Normal;
}

}  // namespace

TFaceLayout LayoutFace(int w, int h, QSize glyph, QSize caption, TItemLayout layout, int distance, int margin) {
    const int gw = glyph.width(), gh = glyph.height();
    const int tw = caption.width(), th = caption.height();
    TFaceLayout result;
    if (layout == ilHorizontal) {
        int d = distance == -1 ? std::max((w - tw - gw) / 8, 2) : distance;
        if (tw == 0 || gw == 0) d = 0;
        const int m = margin >= 0 ? margin : (w - gw - tw - d) / 2;
        result.Glyph = {m, (h - gh) / 2};
        result.Caption = {m + gw + d, (h - th) / 2};
    } else {
        int d = distance == -1 ? std::max((h - th - gh) / 8, 2) : distance;
        if (th == 0 || gh == 0) d = 0;
        const int m = margin >= 0 ? margin : (h - th - gh - d) / 2;
        result.Glyph = {(w - gw) / 2, m};
        result.Caption = {(w - tw) / 2, m + gh + d};
    }
    return result;
}

QPoint DropMenuPosition(const QRect& button, QSize menuSize, TMenuPopUpDirection direction) {
    const int x = button.x(), y = button.y();
    switch (direction) {
        case mdLeftDown:
            return {x - 1 - menuSize.width(), y};
        case mdRightDown:
            return {x + button.width() + 1, y};
        case mdDownLeft:
            return {x + button.width() - menuSize.width(), y + button.height() + 1};
        case mdDownRight:
            break;
    }
    return {x, y + button.height() + 1};
}

TFlatButton::TFlatButton(QWidget* parent) : QWidget(parent) {
    colors_[ciColor] = palette().color(QPalette::Button);
    colors_[ciFocusedColor] = QColor(176, 172, 216);
    colors_[ciPressedColor] = QColor(159, 135, 199);
    colors_[ciBorderColor] = QColor(0, 0, 128);
    colors_[ciShadowColor] = QColor(128, 128, 128);
    setFocusPolicy(Qt::NoFocus);
    resize(23, 22);
}

TFlatButton::~TFlatButton() {
    if (action_) action_->removeEventFilter(this);
}

QColor TFlatButton::Colors(int index) const { return index >= 0 && index < 5 ? colors_[index] : QColor(); }

void TFlatButton::SetColors(int index, const QColor& color) {
    if (index < 0 || index >= 5) return;
    colors_[index] = color;
    update();
}

void TFlatButton::SetUseShadow(bool value) {
    useShadow_ = value;
    update();
}
void TFlatButton::SetTransparent(bool value) {
    transparent_ = value;
    update();
}

void TFlatButton::SetImageList(QPointer<TImageList>& field, TImageList* list) {
    if (field) disconnect(field, nullptr, this, nullptr);
    field = list;
    if (list) connect(list, &TImageList::Changed, this, qOverload<>(&QWidget::update));
    update();
}

void TFlatButton::SetImages(TImageList* list) { SetImageList(images_, list); }
void TFlatButton::SetDisabled(TImageList* list) { SetImageList(disabled_, list); }
void TFlatButton::SetHot(TImageList* list) { SetImageList(hot_, list); }
void TFlatButton::SetImageIndex(int index) {
    imageIndex_ = index;
    update();
}
void TFlatButton::SetDistance(int value) {
    distance_ = value;
    update();
}
void TFlatButton::SetIsToggleButton(bool value) {
    isToggleButton_ = value;
    update();
}
void TFlatButton::SetDown(bool value) {
    down_ = value && isToggleButton_;
    update();
}
void TFlatButton::SetDropsMenu(bool value) {
    dropsMenu_ = value;
    update();
}

void TFlatButton::SetDropdownMenu(QMenu* menu) {
    dropdownMenu_ = menu;
    dropsMenu_ = menu != nullptr;
    update();
}

void TFlatButton::SetFullDrop(bool value) {
    fullDrop_ = value;
    update();
}
void TFlatButton::SetShowDropMark(bool value) {
    showDropMark_ = value || !fullDrop_;
    update();
}
void TFlatButton::SetMenuDirection(TMenuPopUpDirection value) {
    menuDirection_ = value;
    update();
}
void TFlatButton::SetLayout(TItemLayout value) {
    layout_ = value;
    update();
}
void TFlatButton::SetMargin(int value) {
    margin_ = value;
    update();
}
void TFlatButton::SetShowCaption(bool value) {
    showCaption_ = value;
    update();
}

void TFlatButton::SetCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    UpdateShortcut();
    update();
}

void TFlatButton::UpdateShortcut() {
    delete shortcut_;
    shortcut_ = nullptr;
    const QKeySequence accelerator = QKeySequence::mnemonic(caption_);
    if (accelerator.isEmpty()) return;
    shortcut_ = new QShortcut(accelerator, this);
    connect(shortcut_, &QShortcut::activated, this, [this] {
        if (isEnabled() && isVisible()) Click();
    });
}

void TFlatButton::SetAction(QAction* action) {
    if (action_) {
        disconnect(action_, nullptr, this, nullptr);
        action_->removeEventFilter(this);
    }
    action_ = action;
    if (!action) return;
    connect(action, &QAction::changed, this, &TFlatButton::ActionChanged);
    action->installEventFilter(this);
    ActionChanged();
}

void TFlatButton::ActionChanged() {
    if (!action_) return;
    SetCaption(action_->text());
    setEnabled(action_->isEnabled());
    setToolTip(action_->toolTip());
    setStatusTip(action_->statusTip());
    if (parentWidget() != nullptr) setVisible(action_->isVisible());
    const QVariant index = action_->property("ImageIndex");
    if (index.isValid()) SetImageIndex(index.toInt());
}

void SetActionImageIndex(QAction* action, int index, const TImageList* images, const TImageList* disabled) {
    action->setProperty("ImageIndex", index);
    if (images != nullptr) action->setIcon(images->Icon(index, disabled));
}

bool TFlatButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == action_ && event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "ImageIndex") {
        ActionChanged();
    } else if (watched == dropdownMenu_ && event->type() == QEvent::Show) {
        // Placed only now, when the menu has been filled and knows its final size.
        const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
        dropdownMenu_->move(DropMenuPosition(onScreen, dropdownMenu_->size(), menuDirection_));
    }
    return QWidget::eventFilter(watched, event);
}

void TFlatButton::Click() {
    if (OnClick) {
        OnClick(this);
        return;
    }
    if (action_ && action_->isEnabled()) action_->trigger();
}

void TFlatButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QWidget::enterEvent(event);
}

void TFlatButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QWidget::leaveEvent(event);
}

void TFlatButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::PaletteChange)
        update();
    QWidget::changeEvent(event);
}

void TFlatButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A second press of a double click counts as a press of its own, so a toggle flipped by
    // it is also corrected by its group.
    clicked_ = true;
    if (!isToggleButton_ && down_) {
        // Still down after its menu closed: this press only releases it.
        down_ = false;
        clicked_ = false;
        update();
        return;
    }
    downBeforePress_ = down_;
    down_ = isToggleButton_ ? !down_ : true;
    const bool mainPart = IsSplitButton() && event->position().x() < width() - DropZoneWidth;
    if (isToggleButton_ || mainPart) emit MouseDownEvent();
    update();
    if (isToggleButton_ || mainPart || !dropsMenu_) return;
    DropMenu();
}

void TFlatButton::DropMenu() {
    clicked_ = false;
    QPointer<TFlatButton> self(this);
    bool handled = false;
    if (OnDropMenu) OnDropMenu(this, handled);
    if (!self) return;
    if (!handled && dropdownMenu_) {
        const QPointer<QMenu> menu = dropdownMenu_;
        const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
        menu->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
        menu->installEventFilter(this);
        menu->exec(DropMenuPosition(onScreen, menu->sizeHint(), menuDirection_));
        if (!self) return;
        if (menu) menu->removeEventFilter(this);
    }
    QMetaObject::invokeMethod(this, &TFlatButton::MenuClosed, Qt::QueuedConnection);
}

void TFlatButton::MenuClosed() {
    down_ = false;
    hovered_ = rect().contains(mapFromGlobal(QCursor::pos()));
    update();
}

void TFlatButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    if (isToggleButton_ || (IsSplitButton() && at.x() < width() - DropZoneWidth)) emit MouseUpEvent();
    if (!isToggleButton_) {
        down_ = false;
        update();
    }
    if (clicked_) {
        clicked_ = false;
        if (rect().contains(at))
            Click();
        else if (isToggleButton_) {
            // Dragged off and released outside: no click, so the flip is taken back. A group
            // of tools would otherwise be left with none down, or two.
            down_ = downBeforePress_;
            update();
        }
    }
}

void TFlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    TBox r{0, 0, width(), height()};
    TBox d;
    const bool marked = IsDropButton() && showDropMark_;
    const bool split = IsSplitButton() && showDropMark_;
    const bool clicked = marked ? clicked_ : true;
    if (marked) {
        d = r;
        d.Left = r.Right - DropZoneWidth;
    }
    if (split) r.Right -= DropZoneWidth;

    if (ThemesEnabled()) {
        PaintThemed(p, r.ToRect(), d.ToRect(), clicked);
    } else {
        if (hovered_ || !transparent_) {
            const QColor face = down_ && (clicked || fullDrop_) ? PressedColor() : hovered_ ? FocusedColor() : Color();
            FillBox(p, r, face);
            if (split) {
                const QColor zone = down_ && !clicked ? PressedColor() : hovered_ ? FocusedColor() : face;
                FillBox(p, d, zone);
            }
        }
        if (hovered_ || down_) {
            r.Shrink(1);
            if (split) r.Right += 2;  // meets the drop zone's frame
            const QColor frame = hovered_ ? BorderColor() : PressedColor();
            FrameBox(p, r, frame);
            if (split) {
                d.Top += 1;
                d.Bottom -= 1;
                d.Right -= 1;
                FrameBox(p, d, frame);
            }
        }
        if (marked) {
            const int cx = d.Left + 6, cy = d.Height() / 2;
            Polyline(p, {{cx, cy + 1}, {cx - 2, cy - 1}, {cx + 2, cy - 1}, {cx, cy + 1}, {cx, cy}}, QColor(32, 32, 32));
        }
    }

    if (marked && fullDrop_) r.Right -= DropZoneWidth;  // the content keeps clear of the arrow
    PaintFace(p, r.ToRect());
}

void TFlatButton::PaintThemed(QPainter& p, const QRect& r, const QRect& d, bool clicked) {
    const bool enabled = isEnabled();
    const bool marked = IsDropButton() && showDropMark_;
    TThemeState face;
    if (!enabled)
        face = TThemeState::Disabled;
    else if (isToggleButton_)
        face = PlainState(down_, hovered_, TThemeState::Checked);
    else if (marked && !fullDrop_)
        face = PlainState(down_, hovered_, clicked ? TThemeState::Pressed : TThemeState::Hot);
    else
        face = PlainState(down_, hovered_, TThemeState::Pressed);

    auto option = [&](const QRect& rect, TThemeState state) {
        QStyleOptionToolButton opt;
        opt.initFrom(this);
        opt.rect = rect;
        opt.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On | QStyle::State_Raised |
                       QStyle::State_HasFocus | QStyle::State_Enabled);
        opt.state |= QStyle::State_AutoRaise;
        switch (state) {
            case TThemeState::Normal:
                opt.state |= QStyle::State_Enabled;
                break;
            case TThemeState::Hot:
                opt.state |= QStyle::State_Enabled | QStyle::State_MouseOver | QStyle::State_Raised;
                break;
            case TThemeState::Pressed:
                opt.state |= QStyle::State_Enabled | QStyle::State_Sunken | QStyle::State_MouseOver;
                break;
            case TThemeState::Checked:
                opt.state |= QStyle::State_Enabled | QStyle::State_On;
                break;
            case TThemeState::Disabled:
                break;
        }
        return opt;
    };
    // A toolbar button shows a panel only while hot, pressed or checked.
    auto panelled = [](TThemeState s) { return s != TThemeState::Normal && s != TThemeState::Disabled; };
    QStyleOptionToolButton main = option(r, face);
    if (panelled(face)) style()->drawPrimitive(QStyle::PE_PanelButtonTool, &main, &p, this);
    if (!marked) return;
    TThemeState zone;
    if (!enabled)
        zone = TThemeState::Disabled;
    else
        zone = PlainState(down_, hovered_, clicked ? TThemeState::Hot : TThemeState::Pressed);
    QStyleOptionToolButton drop = option(d, zone);
    if (!fullDrop_ && panelled(zone)) style()->drawPrimitive(QStyle::PE_IndicatorButtonDropDown, &drop, &p, this);
    const int arrow = std::min(d.width(), d.height()) / 2;
    drop.rect = QRect(d.x() + (d.width() - arrow) / 2, d.y() + (d.height() - arrow) / 2, arrow, arrow);
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &drop, &p, this);
}

void TFlatButton::PaintFace(QPainter& p, QRect r) {
    const bool enabled = isEnabled();
    TImageList* source = !enabled ? disabled_.data() : hovered_ && down_ && hot_ ? hot_.data() : images_.data();
    const bool hasGlyph = source != nullptr && imageIndex_ >= 0;
    const QSize glyphSize = hasGlyph ? source->Size() : QSize(0, 0);

    QString text;
    QSize textSize(0, 0);
    constexpr int textFlags = Qt::AlignCenter | Qt::TextExpandTabs | Qt::TextShowMnemonic;
    if (showCaption_ && !caption_.isEmpty()) {
        const QFontMetrics metrics(font());
        text = metrics.elidedText(caption_, Qt::ElideRight, width(), Qt::TextShowMnemonic);
        textSize = metrics.boundingRect(rect(), textFlags, text).size();
    }
    const TFaceLayout at = LayoutFace(r.width(), r.height(), glyphSize, textSize, layout_, distance_, margin_);

    if (!text.isEmpty()) {
        p.setFont(font());
        const QRect box(at.Caption, textSize);
        if (enabled) {
            p.setPen(palette().color(QPalette::ButtonText));
            p.drawText(down_ ? box.translated(1, 1) : box, textFlags, text);
        } else {
            p.setPen(palette().color(QPalette::Light));
            p.drawText(box.translated(1, 1), textFlags, text);
            p.setPen(palette().color(QPalette::Dark));
            p.drawText(box, textFlags, text);
        }
    }

    if (!hasGlyph || !source->HasImage(imageIndex_)) return;
    if (down_ || !hovered_) {
        source->Draw(p, at.Glyph.x() + 1, at.Glyph.y() + 1, imageIndex_);
        return;
    }
    // Hovered and up: the glyph rises above its shadow.
    if (useShadow_) {
        QImage shadow = source->Image(imageIndex_);
        const QRgb stamp = ShadowColor().rgb() | 0xFF000000u;
        for (int y = 0; y < shadow.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(shadow.scanLine(y));
            for (int x = 0; x < shadow.width(); ++x) line[x] = qAlpha(line[x]) != 0 ? stamp : 0;
        }
        p.drawImage(at.Glyph.x() + 1, at.Glyph.y() + 1, shadow);
    }
    source->Draw(p, at.Glyph.x(), at.Glyph.y(), imageIndex_);
}
