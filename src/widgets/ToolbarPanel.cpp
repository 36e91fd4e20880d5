#include "widgets/ToolbarPanel.h"

#include "widgets/ThemeServices.h"

#include <QApplication>
#include <QPainter>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOption>
#include <QStyleOptionToolBar>

TToolbarPanel::TToolbarPanel(QWidget* parent) : QWidget(parent) {
    Color_ = palette().color(QPalette::Button);
    setFixedHeight(27);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TToolbarPanel::SetColor(const QColor& color) {
    Color_ = color;
    update();
}

void TToolbarPanel::SetParentBackground(bool value) {
    ParentBackground_ = value;
    update();
}

void TToolbarPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (ThemesEnabled()) {
        QStyleOptionToolBar option;
        option.initFrom(this);
        option.rect = rect();
        option.state |= QStyle::State_Horizontal;
        option.toolBarArea = Qt::TopToolBarArea;
        option.positionOfLine = QStyleOptionToolBar::OnlyOne;
        option.positionWithinLine = QStyleOptionToolBar::OnlyOne;
        style()->drawControl(QStyle::CE_ToolBar, &option, &p, this);
    } else if (!ParentBackground_) {
        p.fillRect(rect(), Color_);
    }
}

TStatusPanel::TStatusPanel(QWidget* parent) : QWidget(parent) {
    Color_ = palette().color(QPalette::Button);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedHeight(19);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Grip_ = new QSizeGrip(this);
    Grip_->hide();
    ApplySystemFont();
}

void TStatusPanel::SetSimpleText(const QString& text) {
    if (text == SimpleText_)
        return;
    SimpleText_ = text;
    update();
    emit SimpleTextSent(text);
}

void TStatusPanel::SetSizeGrip(bool value) {
    SizeGrip_ = value;
    UpdateGrip();
}

void TStatusPanel::SetUseSystemFont(bool value) {
    UseSystemFont_ = value;
    if (value)
        ApplySystemFont();
}

void TStatusPanel::SetColor(const QColor& color) {
    Color_ = color;
    update();
}

void TStatusPanel::ApplySystemFont() {
    if (!UseSystemFont_)
        return;
    // The desktop's tool-tip font, in the button text colour.
    setFont(QApplication::font("QTipLabel"));
}

void TStatusPanel::WatchWindow() {
    QWidget* top = window();
    if (top == WatchedWindow_ || top == this)
        return;
    if (WatchedWindow_)
        WatchedWindow_->removeEventFilter(this);
    WatchedWindow_ = top;
    top->installEventFilter(this);
}

void TStatusPanel::UpdateGrip() {
    bool applies = false;
    const QWidget* top = window();
    if (SizeGrip_ && top != this) {
        const bool sizeable = top->minimumSize() != top->maximumSize() &&
                              !top->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint);
        const QPoint corner = mapTo(top, QPoint(width(), height()));
        applies = sizeable && corner == QPoint(top->width(), top->height());
    }
    GripApplies_ = applies;
    if (applies) {
        const QSize grip = Grip_->sizeHint().boundedTo(QSize(height(), height()));
        Grip_->setGeometry(layoutDirection() == Qt::RightToLeft ? 0 : width() - grip.width(),
                           height() - grip.height(), grip.width(), grip.height());
    }
    Grip_->setVisible(applies);
}

void TStatusPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateGrip();
}

void TStatusPanel::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    UpdateGrip();
}

void TStatusPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    WatchWindow();
    UpdateGrip();
}

void TStatusPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ParentChange) {
        WatchWindow();
        UpdateGrip();
    }
    QWidget::changeEvent(event);
}

bool TStatusPanel::event(QEvent* event) {
    if (event->type() == QEvent::ApplicationFontChange)
        ApplySystemFont();
    return QWidget::event(event);
}

bool TStatusPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == WatchedWindow_ && event->type() == QEvent::Resize)
        UpdateGrip();
    return QWidget::eventFilter(watched, event);
}

void TStatusPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Color_);
    if (ThemesEnabled()) {
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &p, this);
    }
    if (SimpleText_.isEmpty())
        return;
    p.setFont(font());
    p.setPen(palette().color(QPalette::ButtonText));
    const QRect text = rect().adjusted(4, 0, -4 - (GripApplies_ ? Grip_->width() : 0), 0);
    const Qt::Alignment side = layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    p.drawText(text, side | Qt::AlignVCenter | Qt::TextExpandTabs | Qt::TextSingleLine, SimpleText_);
}
