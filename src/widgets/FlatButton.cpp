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
    void Shrink(int by) { Left += by; Top += by; Right -= by; Bottom -= by; }
};

void FillBox(QPainter& p, const TBox& b, const QColor& color) {
    if (b.Width() > 0 && b.Height() > 0)
        p.fillRect(b.ToRect(), color);
}

// A one-pixel frame along the inside of the box.
void FrameBox(QPainter& p, const TBox& b, const QColor& color) {
    if (b.Width() <= 0 || b.Height() <= 0)
        return;
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
            if (twice >= dy) { error += dy; x += sx; }
            if (twice <= dx) { error += dx; y += sy; }
        }
    }
}

enum class TThemeState { Normal, Hot, Pressed, Disabled, Checked };

TThemeState PlainState(bool down, bool hovered, TThemeState downState) {
    if (down)
        return downState;
    return hovered ? TThemeState::Hot : TThemeState::Normal;
}

}  // namespace

TFaceLayout LayoutFace(int w, int h, QSize glyph, QSize caption, TItemLayout layout,
                       int distance, int margin) {
    const int gw = glyph.width(), gh = glyph.height();
    const int tw = caption.width(), th = caption.height();
    TFaceLayout result;
    if (layout == ilHorizontal) {
        int d = distance == -1 ? std::max((w - tw - gw) / 8, 2) : distance;
        if (tw == 0 || gw == 0)
            d = 0;
        const int m = margin >= 0 ? margin : (w - gw - tw - d) / 2;
        result.Glyph = {m, (h - gh) / 2};
        result.Caption = {m + gw + d, (h - th) / 2};
    } else {
        int d = distance == -1 ? std::max((h - th - gh) / 8, 2) : distance;
        if (th == 0 || gh == 0)
            d = 0;
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
    Colors_[ciColor] = palette().color(QPalette::Button);
    Colors_[ciFocusedColor] = QColor(176, 172, 216);
    Colors_[ciPressedColor] = QColor(159, 135, 199);
    Colors_[ciBorderColor] = QColor(0, 0, 128);
    Colors_[ciShadowColor] = QColor(128, 128, 128);
    setFocusPolicy(Qt::NoFocus);
    resize(23, 22);
}

TFlatButton::~TFlatButton() {
    if (Action_)
        Action_->removeEventFilter(this);
}

QColor TFlatButton::Colors(int index) const {
    return index >= 0 && index < 5 ? Colors_[index] : QColor();
}

void TFlatButton::SetColors(int index, const QColor& color) {
    if (index < 0 || index >= 5)
        return;
    Colors_[index] = color;
    update();
}

void TFlatButton::SetUseShadow(bool value) { UseShadow_ = value; update(); }
void TFlatButton::SetTransparent(bool value) { Transparent_ = value; update(); }

void TFlatButton::SetImageList(QPointer<TImageList>& field, TImageList* list) {
    if (field)
        disconnect(field, nullptr, this, nullptr);
    field = list;
    if (list)
        connect(list, &TImageList::Changed, this, qOverload<>(&QWidget::update));
    update();
}

void TFlatButton::SetImages(TImageList* list) { SetImageList(Images_, list); }
void TFlatButton::SetDisabled(TImageList* list) { SetImageList(Disabled_, list); }
void TFlatButton::SetHot(TImageList* list) { SetImageList(Hot_, list); }
void TFlatButton::SetImageIndex(int index) { ImageIndex_ = index; update(); }
void TFlatButton::SetDistance(int value) { Distance_ = value; update(); }
void TFlatButton::SetIsToggleButton(bool value) { IsToggleButton_ = value; update(); }
void TFlatButton::SetDown(bool value) { Down_ = value && IsToggleButton_; update(); }
void TFlatButton::SetDropsMenu(bool value) { DropsMenu_ = value; update(); }

void TFlatButton::SetDropdownMenu(QMenu* menu) {
    DropdownMenu_ = menu;
    DropsMenu_ = menu != nullptr;
    update();
}

void TFlatButton::SetFullDrop(bool value) { FullDrop_ = value; update(); }
void TFlatButton::SetShowDropMark(bool value) { ShowDropMark_ = value || !FullDrop_; update(); }
void TFlatButton::SetMenuDirection(TMenuPopUpDirection value) { MenuDirection_ = value; update(); }
void TFlatButton::SetLayout(TItemLayout value) { Layout_ = value; update(); }
void TFlatButton::SetMargin(int value) { Margin_ = value; update(); }
void TFlatButton::SetShowCaption(bool value) { ShowCaption_ = value; update(); }

void TFlatButton::SetCaption(const QString& caption) {
    if (caption == Caption_)
        return;
    Caption_ = caption;
    UpdateShortcut();
    update();
}

void TFlatButton::UpdateShortcut() {
    delete Shortcut_;
    Shortcut_ = nullptr;
    const QKeySequence accelerator = QKeySequence::mnemonic(Caption_);
    if (accelerator.isEmpty())
        return;
    Shortcut_ = new QShortcut(accelerator, this);
    connect(Shortcut_, &QShortcut::activated, this, [this] {
        if (isEnabled() && isVisible())
            Click();
    });
}

void TFlatButton::SetAction(QAction* action) {
    if (Action_) {
        disconnect(Action_, nullptr, this, nullptr);
        Action_->removeEventFilter(this);
    }
    Action_ = action;
    if (!action)
        return;
    connect(action, &QAction::changed, this, &TFlatButton::ActionChanged);
    action->installEventFilter(this);
    ActionChanged();
}

void TFlatButton::ActionChanged() {
    if (!Action_)
        return;
    SetCaption(Action_->text());
    setEnabled(Action_->isEnabled());
    setToolTip(Action_->toolTip());
    setStatusTip(Action_->statusTip());
    if (parentWidget() != nullptr)
        setVisible(Action_->isVisible());
    const QVariant index = Action_->property("ImageIndex");
    if (index.isValid())
        SetImageIndex(index.toInt());
}

void SetActionImageIndex(QAction* action, int index, const TImageList* images,
                         const TImageList* disabled) {
    action->setProperty("ImageIndex", index);
    if (images != nullptr)
        action->setIcon(images->Icon(index, disabled));
}

bool TFlatButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Action_ && event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent*>(event)->propertyName() == "ImageIndex") {
        ActionChanged();
    } else if (watched == DropdownMenu_ && event->type() == QEvent::Show) {
        // Placed only now, when the menu has been filled and knows its final size.
        const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
        DropdownMenu_->move(DropMenuPosition(onScreen, DropdownMenu_->size(), MenuDirection_));
    }
    return QWidget::eventFilter(watched, event);
}

void TFlatButton::Click() {
    if (OnClick) {
        OnClick(this);
        return;
    }
    if (Action_ && Action_->isEnabled())
        Action_->trigger();
}

void TFlatButton::enterEvent(QEnterEvent* event) {
    Hovered_ = true;
    update();
    QWidget::enterEvent(event);
}

void TFlatButton::leaveEvent(QEvent* event) {
    Hovered_ = false;
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
    Clicked_ = true;
    if (!IsToggleButton_ && Down_) {
        // Still down after its menu closed: this press only releases it.
        Down_ = false;
        Clicked_ = false;
        update();
        return;
    }
    Down_ = IsToggleButton_ ? !Down_ : true;
    const bool mainPart = IsSplitButton() && event->position().x() < width() - DropZoneWidth;
    if (IsToggleButton_ || mainPart)
        emit MouseDownEvent();
    update();
    if (IsToggleButton_ || mainPart || !DropsMenu_)
        return;
    DropMenu();
}

void TFlatButton::DropMenu() {
    Clicked_ = false;
    QPointer<TFlatButton> self(this);
    bool handled = false;
    if (OnDropMenu)
        OnDropMenu(this, handled);
    if (!self)
        return;
    if (!handled && DropdownMenu_) {
        const QPointer<QMenu> menu = DropdownMenu_;
        const QRect onScreen(mapToGlobal(QPoint(0, 0)), size());
        menu->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
        menu->installEventFilter(this);
        menu->exec(DropMenuPosition(onScreen, menu->sizeHint(), MenuDirection_));
        if (!self)
            return;
        if (menu)
            menu->removeEventFilter(this);
    }
    QMetaObject::invokeMethod(this, &TFlatButton::MenuClosed, Qt::QueuedConnection);
}

void TFlatButton::MenuClosed() {
    Down_ = false;
    Hovered_ = rect().contains(mapFromGlobal(QCursor::pos()));
    update();
}

void TFlatButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    if (IsToggleButton_ || (IsSplitButton() && at.x() < width() - DropZoneWidth))
        emit MouseUpEvent();
    if (!IsToggleButton_) {
        Down_ = false;
        update();
    }
    if (Clicked_) {
        Clicked_ = false;
        if (rect().contains(at))
            Click();
    }
}

void TFlatButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    TBox r{0, 0, width(), height()};
    TBox d;
    const bool marked = IsDropButton() && ShowDropMark_;
    const bool split = IsSplitButton() && ShowDropMark_;
    const bool clicked = marked ? Clicked_ : true;
    if (marked) {
        d = r;
        d.Left = r.Right - DropZoneWidth;
    }
    if (split)
        r.Right -= DropZoneWidth;

    if (ThemesEnabled()) {
        PaintThemed(p, r.ToRect(), d.ToRect(), clicked);
    } else {
        if (Hovered_ || !Transparent_) {
            const QColor face = Down_ && (clicked || FullDrop_) ? PressedColor()
                                : Hovered_                      ? FocusedColor()
                                                                : Color();
            FillBox(p, r, face);
            if (split) {
                const QColor zone = Down_ && !clicked ? PressedColor()
                                    : Hovered_        ? FocusedColor()
                                                      : face;
                FillBox(p, d, zone);
            }
        }
        if (Hovered_ || Down_) {
            r.Shrink(1);
            if (split)
                r.Right += 2;  // meets the drop zone's frame
            const QColor frame = Hovered_ ? BorderColor() : PressedColor();
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
            Polyline(p, {{cx, cy + 1}, {cx - 2, cy - 1}, {cx + 2, cy - 1}, {cx, cy + 1}, {cx, cy}},
                     QColor(32, 32, 32));
        }
    }

    if (marked && FullDrop_)
        r.Right -= DropZoneWidth;  // the content keeps clear of the arrow
    PaintFace(p, r.ToRect());
}

void TFlatButton::PaintThemed(QPainter& p, const QRect& r, const QRect& d, bool clicked) {
    const bool enabled = isEnabled();
    const bool marked = IsDropButton() && ShowDropMark_;
    TThemeState face;
    if (!enabled)
        face = TThemeState::Disabled;
    else if (IsToggleButton_)
        face = PlainState(Down_, Hovered_, TThemeState::Checked);
    else if (marked && !FullDrop_)
        face = PlainState(Down_, Hovered_, clicked ? TThemeState::Pressed : TThemeState::Hot);
    else
        face = PlainState(Down_, Hovered_, TThemeState::Pressed);

    auto option = [&](const QRect& rect, TThemeState state) {
        QStyleOptionToolButton opt;
        opt.initFrom(this);
        opt.rect = rect;
        opt.state &= ~(QStyle::State_MouseOver | QStyle::State_Sunken | QStyle::State_On |
                       QStyle::State_Raised | QStyle::State_HasFocus | QStyle::State_Enabled);
        opt.state |= QStyle::State_AutoRaise;
        switch (state) {
        case TThemeState::Normal: opt.state |= QStyle::State_Enabled; break;
        case TThemeState::Hot: opt.state |= QStyle::State_Enabled | QStyle::State_MouseOver | QStyle::State_Raised; break;
        case TThemeState::Pressed: opt.state |= QStyle::State_Enabled | QStyle::State_Sunken | QStyle::State_MouseOver; break;
        case TThemeState::Checked: opt.state |= QStyle::State_Enabled | QStyle::State_On; break;
        case TThemeState::Disabled: break;
        }
        return opt;
    };
    // A toolbar button shows a panel only while hot, pressed or checked.
    auto panelled = [](TThemeState s) { return s != TThemeState::Normal && s != TThemeState::Disabled; };
    QStyleOptionToolButton main = option(r, face);
    if (panelled(face))
        style()->drawPrimitive(QStyle::PE_PanelButtonTool, &main, &p, this);
    if (!marked)
        return;
    TThemeState zone;
    if (!enabled)
        zone = TThemeState::Disabled;
    else
        zone = PlainState(Down_, Hovered_, clicked ? TThemeState::Hot : TThemeState::Pressed);
    QStyleOptionToolButton drop = option(d, zone);
    if (!FullDrop_ && panelled(zone))
        style()->drawPrimitive(QStyle::PE_IndicatorButtonDropDown, &drop, &p, this);
    const int arrow = std::min(d.width(), d.height()) / 2;
    drop.rect = QRect(d.x() + (d.width() - arrow) / 2, d.y() + (d.height() - arrow) / 2, arrow, arrow);
    style()->drawPrimitive(QStyle::PE_IndicatorArrowDown, &drop, &p, this);
}

void TFlatButton::PaintFace(QPainter& p, QRect r) {
    const bool enabled = isEnabled();
    TImageList* source = !enabled                         ? Disabled_.data()
                         : Hovered_ && Down_ && Hot_ ? Hot_.data()
                                                       : Images_.data();
    const bool hasGlyph = source != nullptr && ImageIndex_ >= 0;
    const QSize glyphSize = hasGlyph ? source->Size() : QSize(0, 0);

    QString text;
    QSize textSize(0, 0);
    constexpr int textFlags = Qt::AlignCenter | Qt::TextExpandTabs | Qt::TextShowMnemonic;
    if (ShowCaption_ && !Caption_.isEmpty()) {
        const QFontMetrics metrics(font());
        text = metrics.elidedText(Caption_, Qt::ElideRight, width(), Qt::TextShowMnemonic);
        textSize = metrics.boundingRect(rect(), textFlags, text).size();
    }
    const TFaceLayout at = LayoutFace(r.width(), r.height(), glyphSize, textSize, Layout_,
                                      Distance_, Margin_);

    if (!text.isEmpty()) {
        p.setFont(font());
        const QRect box(at.Caption, textSize);
        if (enabled) {
            p.setPen(palette().color(QPalette::ButtonText));
            p.drawText(Down_ ? box.translated(1, 1) : box, textFlags, text);
        } else {
            p.setPen(palette().color(QPalette::Light));
            p.drawText(box.translated(1, 1), textFlags, text);
            p.setPen(palette().color(QPalette::Dark));
            p.drawText(box, textFlags, text);
        }
    }

    if (!hasGlyph || !source->HasImage(ImageIndex_))
        return;
    if (Down_ || !Hovered_) {
        source->Draw(p, at.Glyph.x() + 1, at.Glyph.y() + 1, ImageIndex_);
        return;
    }
    // Hovered and up: the glyph rises above its shadow.
    if (UseShadow_) {
        QImage shadow = source->Image(ImageIndex_);
        const QRgb stamp = ShadowColor().rgb() | 0xFF000000u;
        for (int y = 0; y < shadow.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(shadow.scanLine(y));
            for (int x = 0; x < shadow.width(); ++x)
                line[x] = qAlpha(line[x]) != 0 ? stamp : 0;
        }
        p.drawImage(at.Glyph.x() + 1, at.Glyph.y() + 1, shadow);
    }
    source->Draw(p, at.Glyph.x(), at.Glyph.y(), ImageIndex_);
}
