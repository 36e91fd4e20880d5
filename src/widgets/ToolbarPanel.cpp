#include "widgets/ToolbarPanel.h"

#include "widgets/ThemeServices.h"

#include <QApplication>
#include <QPainter>
#include <QSizeGrip>
#include <QStyle>
#include <QStyleOption>
#include <QStyleOptionToolBar>

TToolbarPanel::TToolbarPanel(QWidget* parent) : QWidget(parent) {
    color_ = palette().color(QPalette::Button);
    setFixedHeight(27);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TToolbarPanel::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void TToolbarPanel::SetParentBackground(bool value) {
    parentBackground_ = value;
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
    } else if (!parentBackground_) {
        p.fillRect(rect(), color_);
    }
}

TStatusPanel::TStatusPanel(QWidget* parent) : QWidget(parent) {
    color_ = palette().color(QPalette::Button);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedHeight(19);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    grip_ = new QSizeGrip(this);
    grip_->hide();
    ApplySystemFont();
}

void TStatusPanel::SetSimpleText(const QString& text) {
    if (text == simpleText_) return;
    simpleText_ = text;
    update();
    emit SimpleTextSent(text);
}

void TStatusPanel::SetSizeGrip(bool value) {
    sizeGrip_ = value;
    UpdateGrip();
}

void TStatusPanel::SetUseSystemFont(bool value) {
    useSystemFont_ = value;
    if (value) ApplySystemFont();
}

void TStatusPanel::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void TStatusPanel::ApplySystemFont() {
    if (!useSystemFont_) return;
    // The desktop's tool-tip font, in the button text colour.
    setFont(QApplication::font("QTipLabel"));
}

void TStatusPanel::WatchWindow() {
    QWidget* top = window();
    if (top == watchedWindow_ || top == this) return;
    if (watchedWindow_) watchedWindow_->removeEventFilter(this);
    watchedWindow_ = top;
    top->installEventFilter(this);
}

void TStatusPanel::UpdateGrip() {
    bool applies = false;
    const QWidget* top = window();
    if (sizeGrip_ && top != this) {
        const bool sizeable =
            top->minimumSize() != top->maximumSize() && !top->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint);
        const QPoint corner = mapTo(top, QPoint(width(), height()));
        applies = sizeable && corner == QPoint(top->width(), top->height());
    }
    gripApplies_ = applies;
    if (applies) {
        const QSize grip = grip_->sizeHint().boundedTo(QSize(height(), height()));
        grip_->setGeometry(layoutDirection() == Qt::RightToLeft ? 0 : width() - grip.width(), height() - grip.height(),
                           grip.width(), grip.height());
    }
    grip_->setVisible(applies);
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
    if (event->type() == QEvent::ApplicationFontChange) ApplySystemFont();
    return QWidget::event(event);
}

bool TStatusPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::Resize) UpdateGrip();
    return QWidget::eventFilter(watched, event);
}

void TStatusPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), color_);
    if (ThemesEnabled()) {
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &p, this);
    }
    if (simpleText_.isEmpty()) return;
    p.setFont(font());
    p.setPen(palette().color(QPalette::ButtonText));
    const QRect text = rect().adjusted(4, 0, -4 - (gripApplies_ ? grip_->width() : 0), 0);
    const Qt::Alignment side = layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    p.drawText(text, side | Qt::AlignVCenter | Qt::TextExpandTabs | Qt::TextSingleLine, simpleText_);
}
