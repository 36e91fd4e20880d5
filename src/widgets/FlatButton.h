// The owner-drawn toolbar button: push, toggle, split (the right-hand 14 pixels drop a menu)
// or full-drop (the whole face drops the menu). Drawn with the desktop style's tool-button
// elements while themes are on, otherwise flat in its own five colours.
#pragma once

#include "widgets/ImageList.h"

#include <QAction>
#include <QColor>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <functional>

class QShortcut;

enum TMenuPopUpDirection { mdLeftDown, mdRightDown, mdDownLeft, mdDownRight };
enum TItemLayout { ilHorizontal, ilVertical };

// Where glyph and caption go on a face of W × H.
struct TFaceLayout {
    QPoint Glyph;
    QPoint Caption;
};
TFaceLayout LayoutFace(int w, int h, QSize glyph, QSize caption, TItemLayout layout, int distance, int margin);

// Top-left corner of a drop-down menu of the given size for a button occupying the given
// screen rectangle.
QPoint DropMenuPosition(const QRect& buttonOnScreen, QSize menuSize, TMenuPopUpDirection direction);

class TFlatButton : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TFlatButton* sender)>;
    using TOnDropMenuEvent = std::function<void(TFlatButton* sender, bool& handled)>;

    // Width of the drop zone at the right edge.
    static constexpr int DropZoneWidth = 14;
    // The five colours, read and written by index.
    enum TColorIndex { ciColor, ciFocusedColor, ciPressedColor, ciBorderColor, ciShadowColor };

    explicit TFlatButton(QWidget* parent = nullptr);
    ~TFlatButton() override;

    QColor Colors(int index) const;
    void SetColors(int index, const QColor& color);
    QColor Color() const { return Colors(ciColor); }
    void SetColor(const QColor& c) { SetColors(ciColor, c); }
    QColor FocusedColor() const { return Colors(ciFocusedColor); }
    void SetFocusedColor(const QColor& c) { SetColors(ciFocusedColor, c); }
    QColor PressedColor() const { return Colors(ciPressedColor); }
    void SetPressedColor(const QColor& c) { SetColors(ciPressedColor, c); }
    QColor BorderColor() const { return Colors(ciBorderColor); }
    void SetBorderColor(const QColor& c) { SetColors(ciBorderColor, c); }
    QColor ShadowColor() const { return Colors(ciShadowColor); }
    void SetShadowColor(const QColor& c) { SetColors(ciShadowColor, c); }

    bool UseShadow() const { return useShadow_; }
    void SetUseShadow(bool value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);

    TImageList* Images() const { return images_; }
    void SetImages(TImageList* list);
    TImageList* Disabled() const { return disabled_; }
    void SetDisabled(TImageList* list);
    TImageList* Hot() const { return hot_; }
    void SetHot(TImageList* list);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    int Distance() const { return distance_; }
    void SetDistance(int value);

    bool IsToggleButton() const { return isToggleButton_; }
    void SetIsToggleButton(bool value);
    bool Down() const { return down_; }
    // Only a toggle button can be set down; on any other kind this stores false.
    void SetDown(bool value);
    bool DropsMenu() const { return dropsMenu_; }
    void SetDropsMenu(bool value);
    QMenu* DropdownMenu() const { return dropdownMenu_; }
    // Also sets DropsMenu to whether a menu is given.
    void SetDropdownMenu(QMenu* menu);
    bool FullDrop() const { return fullDrop_; }
    void SetFullDrop(bool value);
    bool ShowDropMark() const { return showDropMark_; }
    // Only a full-drop button can do without its drop mark; on other kinds it stays on.
    void SetShowDropMark(bool value);
    TMenuPopUpDirection MenuDirection() const { return menuDirection_; }
    void SetMenuDirection(TMenuPopUpDirection value);

    TItemLayout Layout() const { return layout_; }
    void SetLayout(TItemLayout value);
    int Margin() const { return margin_; }
    void SetMargin(int value);
    QString Caption() const { return caption_; }
    // An "&" marks the accelerator letter; Alt with that letter clicks the button.
    void SetCaption(const QString& caption);
    bool ShowCaption() const { return showCaption_; }
    void SetShowCaption(bool value);

    QAction* Action() const { return action_; }
    // Caption, hint, enabled state, visibility and glyph index follow the action (the index
    // from its "ImageIndex" property, see SetActionImageIndex); a click triggers it.
    void SetAction(QAction* action);

    bool Hovered() const { return hovered_; }
    // A drop button is one that drops a menu and is no toggle; a split button one of those
    // without FullDrop.
    bool IsDropButton() const { return dropsMenu_ && !isToggleButton_; }
    bool IsSplitButton() const { return IsDropButton() && !fullDrop_; }

    // Runs OnClick when set, otherwise triggers the action.
    void Click();

    // Called before the menu drops; setting handled keeps it closed.
    TOnDropMenuEvent OnDropMenu;
    TNotifyEvent OnClick;

    QSize sizeHint() const override { return {23, 22}; }

signals:
    // The press and release events of the parts that click (toggle, split main part).
    void MouseDownEvent();
    void MouseUpEvent();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetImageList(QPointer<TImageList>& field, TImageList* list);
    void DropMenu();
    void MenuClosed();
    void ActionChanged();
    void UpdateShortcut();
    void PaintFlatFrame(QPainter& p, QRect& r, QRect& d, bool clicked);
    void PaintThemed(QPainter& p, const QRect& r, const QRect& d, bool clicked);
    void PaintFace(QPainter& p, QRect r);

    QColor colors_[5];
    bool useShadow_ = true;
    bool transparent_ = false;
    QPointer<TImageList> images_;
    QPointer<TImageList> disabled_;
    QPointer<TImageList> hot_;
    int imageIndex_ = -1;
    int distance_ = -1;
    bool isToggleButton_ = false;
    bool down_ = false;
    bool dropsMenu_ = false;
    QPointer<QMenu> dropdownMenu_;
    bool fullDrop_ = false;
    bool showDropMark_ = true;
    TMenuPopUpDirection menuDirection_ = mdDownRight;
    TItemLayout layout_ = ilHorizontal;
    int margin_ = -1;
    QString caption_;
    bool showCaption_ = false;
    QPointer<QAction> action_;
    QShortcut* shortcut_ = nullptr;

    bool hovered_ = false;
    // The pending-click mark: set by a press on the part that clicks, removed when the press
    // dropped the menu; a release over the button with the mark set clicks.
    bool clicked_ = false;
    // A toggle's state before the present press, restored when the press ends in no click.
    bool downBeforePress_ = false;
};

// Gives an action the glyph index that linked buttons show, and its menu icon from the lists.
void SetActionImageIndex(QAction* action, int index, const TImageList* images = nullptr,
                         const TImageList* disabled = nullptr);
