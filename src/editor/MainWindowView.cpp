// The main window's view: zoom, window fitting, the view buffer, tools, selection, the
// marching outline and the status line.
#include "editor/MainWindow.h"

#include "core/PixelBuffer.h"
#include "editor/TiledView.h"
#include "platform/Exception.h"
#include "widgets/FlatButton.h"
#include "widgets/ToolbarPanel.h"

#include <QGuiApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A notch of an ordinary mouse wheel, in eighths of a degree.
constexpr int WheelNotch = 120;

// The outline's dashes: 6 pixels drawn, 5 left, so that the phase's period of 22 holds two
// whole patterns and the crawl has no jump when the phase wraps.
const QList<qreal> AntsDashes = {6, 5};

}  // namespace

TPaintArea::TPaintArea(TfrmMain* form, QWidget* parent) : QWidget(parent), form_(form) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPaintArea::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    form_->PaintAreaPaint(painter, event->rect());
}

void TPaintArea::mousePressEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    const Qt::MouseButton button = event->button();
    form_->Guarded([this, button, position] { form_->PaintAreaMouseDown(button, position); });
}

void TPaintArea::mouseMoveEvent(QMouseEvent* event) {
    const QPoint position = event->position().toPoint();
    const Qt::MouseButtons buttons = event->buttons();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    form_->Guarded([this, buttons, modifiers, position] { form_->PaintAreaMouseMove(buttons, modifiers, position); });
}

void TPaintArea::mouseReleaseEvent(QMouseEvent*) {}

void TPaintArea::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        // Scrolls the scroll box; handed on here, as Qt hands on only wheel events of the system.
        QCoreApplication::sendEvent(form_->ScrollBox->viewport(), event);
        return;
    }
    event->accept();
    // Wheels of finer steps (touchpads) zoom once their turns add up to a notch.
    wheelTurn_ += event->angleDelta().y();
    const QPoint pointer = event->globalPosition().toPoint();
    while (std::abs(wheelTurn_) >= WheelNotch) {
        const int step = wheelTurn_ > 0 ? 1 : -1;
        wheelTurn_ -= step * WheelNotch;
        // Each step moves the view under the pointer: the point is taken afresh.
        form_->Guarded([this, step, pointer] { form_->ZoomAt(step, mapFromGlobal(pointer)); });
    }
}

QRect TfrmMain::ScreenArea() const {
    if (screenArea_.isValid()) return screenArea_;
    const QScreen* shownOn = screen();
    if (!shownOn) shownOn = QGuiApplication::primaryScreen();
    return shownOn ? shownOn->availableGeometry() : QRect(0, 0, 1024, 768);
}

void TfrmMain::ApplyMinimumOuterSize() {
    // A full-screen window keeps its size; a bound applied now would leave full screen.
    if (fullScreen_) return;
    // Qt bounds the client area; the window frame comes on top of it.
    const QSize frame = OuterGeometry().size() - size();
    setMinimumSize(std::max(0, 470 - frame.width()), std::max(0, 150 - frame.height()));
}

void TfrmMain::PlacePaintArea(int left, int top) {
    PaintArea->move(left, top);
    scrollContent_->resize(std::max(0, left) + PaintArea->width(), std::max(0, top) + PaintArea->height());
}

void TfrmMain::FitWindowToImage() {
    if (!currentImage_) return;
    FitPaintArea();
    RenderView();
}

void TfrmMain::FitPaintArea() {
    const auto side = [this](int pictureSide) { return static_cast<long long>(pictureSide) * zoomFactor_ / ZoomUnit; };
    // A picture grown past what Qt can show at this zoom (a Scale at 400 %) is shown smaller.
    while (zoomFactor_ > MinZoomFactor &&
           (side(currentImage_->Width()) > ViewSideLimit || side(currentImage_->Height()) > ViewSideLimit))
        zoomFactor_ /= 2;
    ApplyMinimumOuterSize();
    PaintArea->resize(static_cast<int>(std::min<long long>(side(currentImage_->Width()), ViewSideLimit)),
                      static_cast<int>(std::min<long long>(side(currentImage_->Height()), ViewSideLimit)));
    PlaceFittedWindow();
}

void TfrmMain::PlaceFittedWindow() {
    // The fit replaces any placement still waiting for the window's frame.
    DropPendingPlacement();
    // In full screen the window stays as it is; the picture is centred in it.
    if (fullScreen_) {
        FormResize();
        return;
    }
    const QRect area = ScreenArea();
    // The whole window, frame and title bar included, has to fit the work area. A frame not
    // known yet counts as none; the window is fitted again once it is known.
    const QSize frame = OuterGeometry().size() - size();
    const int paintWidth = PaintArea->width();
    const int paintHeight = PaintArea->height();
    const int bars = BarsHeight();

    int clientWidth = paintWidth > 400 ? std::min(paintWidth, area.width() - frame.width() - 5) : 402;
    // The width the window really gets: its minimum size may widen it.
    clientWidth = std::clamp(clientWidth, minimumWidth(), maximumWidth());
    const int left = paintWidth <= 400 ? (clientWidth - paintWidth) / 2 : 0;

    int clientHeight = paintHeight > 300 ? std::min(paintHeight + bars, area.height() - frame.height() - 5) : 302;
    clientHeight = std::clamp(clientHeight, minimumHeight(), maximumHeight());
    // A picture almost as high as the client area would otherwise start above the scroll box.
    const int top = paintHeight <= 300 ? std::max(0, (clientHeight - paintHeight - bars) / 2) : 0;

    resize(clientWidth, clientHeight);
    PlacePaintArea(left, top);
    // Centred by the outer size; a window larger than the area keeps its title bar inside.
    const int outerWidth = clientWidth + frame.width();
    const int outerHeight = clientHeight + frame.height();
    MoveOuterTo({area.x() + std::max(0, (area.width() - outerWidth) / 2),
                 area.y() + std::max(0, (area.height() - outerHeight) / 2)});
    fitPending_ = FrameUnknown();
    if (fitPending_) WaitForFrame();
}

void TfrmMain::RenderView() {
    // The picture may have changed: every tile goes.
    tiledView_->SetPicture(currentImage_.get(), PaintArea->size(), zoomFactor_);
    antsDrawn_ = false;
    antsRepaintPending_ = false;
    statusNotice_.clear();
    PaintArea->update();
    UpdateStatus();
}

void TfrmMain::UpdateStatus() {
    if (!statusNotice_.isEmpty()) {
        StatusBar->SetSimpleText(statusNotice_);
        return;
    }
    QString text;
    if (currentImage_)
        text = QString::asprintf("Zoom %d%% (%dx%d)", zoomFactor_ * 100 / ZoomUnit, currentImage_->Width(),
                                 currentImage_->Height());
    if (HasSelection())
        text += QString::asprintf(" Selection(%d,%d,%d,%d)", selStart_.x(), selStart_.y(), selEnd_.x() - selStart_.x(),
                                  selEnd_.y() - selStart_.y());
    StatusBar->SetSimpleText(text);
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    TfrmBaseForm::resizeEvent(event);
    FormResize();
}

void TfrmMain::FormResize() {
    const int bars = BarsHeight();
    const int left = width() < PaintArea->width() ? 0 : (width() - PaintArea->width()) / 2;
    const int top = height() - bars >= PaintArea->height() ? (height() - PaintArea->height() - bars) / 2 : 0;
    PlacePaintArea(left, top);
}

// ---- Zoom ----

void TfrmMain::SetZoom(int zoomFactor) {
    if (!currentImage_) return;
    const long long viewWidth = static_cast<long long>(currentImage_->Width()) * zoomFactor / ZoomUnit;
    const long long viewHeight = static_cast<long long>(currentImage_->Height()) * zoomFactor / ZoomUnit;
    if (viewWidth > ViewSideLimit || viewHeight > ViewSideLimit)
        throw Exception(FormatText("The picture is too large to be shown at %d%%.", zoomFactor * 100 / ZoomUnit));
    const int previous = zoomFactor_;
    const auto show = [this] {
        FitPaintArea();
        // The same picture at another size: tiles of the other levels stay for previews.
        tiledView_->SetLevel(PaintArea->size(), zoomFactor_);
        antsDrawn_ = false;
        antsRepaintPending_ = false;
        statusNotice_.clear();
        PaintArea->update();
        UpdateStatus();
    };
    zoomFactor_ = zoomFactor;
    try {
        show();
    } catch (const std::exception&) {
        // The contributor lists could not be had: back to the zoom it was shown at.
        zoomFactor_ = previous;
        try {
            show();
        } catch (const std::exception&) {
        }
        throw Exception(FormatText("Not enough memory to show the picture at %d%%.", zoomFactor * 100 / ZoomUnit));
    }
}

void TfrmMain::ZoomAt(int steps, QPoint at) {
    if (!currentImage_ || steps == 0) return;
    const QPoint onScreen = PaintArea->mapTo(ScrollBox->viewport(), at);
    // The picture point under the pointer, in fractions of a pixel.
    const double x = (at.x() + 0.5) * ZoomUnit / zoomFactor_;
    const double y = (at.y() + 0.5) * ZoomUnit / zoomFactor_;
    const int before = zoomFactor_;
    ExecuteAction(steps > 0 ? actnZoomIn : actnZoomOut);
    if (zoomFactor_ == before) return;
    // The scroll ranges of the new size, now rather than at the next layout pass.
    layout()->activate();
    ScrollBox->horizontalScrollBar()->setValue(PaintArea->x() + static_cast<int>(x * zoomFactor_ / ZoomUnit) -
                                               onScreen.x());
    ScrollBox->verticalScrollBar()->setValue(PaintArea->y() + static_cast<int>(y * zoomFactor_ / ZoomUnit) -
                                             onScreen.y());
}

void TfrmMain::actnZoomInExecute() {
    SetZoom(zoomFactor_ * 2);
    UpdateStatus();
}

void TfrmMain::actnZoomOutExecute() {
    SetZoom(zoomFactor_ / 2);
    UpdateStatus();
}

// ---- Coordinates and selection ----

QPoint TfrmMain::ImageToView(QPoint p) const {
    return {static_cast<int>(static_cast<long long>(p.x()) * zoomFactor_ / ZoomUnit),
            static_cast<int>(static_cast<long long>(p.y()) * zoomFactor_ / ZoomUnit)};
}

QPoint TfrmMain::ViewToImage(QPoint v) const {
    // Picture coordinates name the lines between pixels, from 0 to the width and the height,
    // so that a selection's far edge can lie after the last column and row. A view point at
    // or past the paint area's far edge is the picture's far edge, also where the zoom has
    // cut the paint area short of it.
    const int width = currentImage_ ? currentImage_->Width() : 0;
    const int height = currentImage_ ? currentImage_->Height() : 0;
    const auto map = [this](int view, int paintSide, int side) {
        if (view >= paintSide) return side;
        // Extended precision, nearest with ties to even (the default rounding mode).
        const long double at = std::nearbyintl(static_cast<long double>(ZoomUnit) * view / zoomFactor_);
        return static_cast<int>(std::min<long double>(at, side));
    };
    return {map(v.x(), PaintArea->width(), width), map(v.y(), PaintArea->height(), height)};
}

bool TfrmMain::HasSelection() const { return selEnd_.x() - selStart_.x() >= 1 && selEnd_.y() - selStart_.y() >= 1; }

void TfrmMain::StartSelection(int x, int y) {
    dragOrigin_ = {x, y};
    SetSelection(x, y, x, y);
    antsPhase_ = 0;
}

void TfrmMain::ClearSelection() { StartSelection(0, 0); }

void TfrmMain::SetSelection(int left, int top, int right, int bottom) {
    EraseAnts();
    statusNotice_.clear();
    selStart_ = {0, 0};
    selEnd_ = {0, 0};
    if (currentImage_) {
        selStart_ = ViewToImage({left, top});
        selEnd_ = ViewToImage({right, bottom});
    }
    if (HasSelection())
        SelectionTimer->start();
    else
        SelectionTimer->stop();
    if (SelectionTimer->isActive()) StepAnts();
}

// ---- Marching outline ----
// The outline is drawn with an inverting pen over the view as it is painted: erasing it is
// repainting the view without it, drawing it is repainting with it at the present phase.

void TfrmMain::DrawAnts(QPainter& painter) const {
    const QPoint p1 = ImageToView(selStart_);
    // A selection reaching the far edges has its outline on the last column and row, where
    // it can be seen.
    const QPoint p2(std::min(ImageToView(selEnd_).x(), PaintArea->width() - 1),
                    std::min(ImageToView(selEnd_).y(), PaintArea->height() - 1));
    const int start = p1.x() + antsPhase_ % 22;
    const QPoint points[] = {{start, p1.y()},  {p2.x(), p1.y()}, {p2.x(), p2.y()},
                             {p1.x(), p2.y()}, {p1.x(), p1.y()}, {start, p1.y()}};
    QPen pen(Qt::white);
    pen.setCosmetic(true);
    pen.setWidth(0);
    pen.setDashPattern(AntsDashes);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen);
    painter.drawPolyline(points, static_cast<int>(std::size(points)));
    painter.restore();
}

void TfrmMain::EraseAnts() {
    if (!antsDrawn_) return;
    antsDrawn_ = false;
    antsRepaintPending_ = true;
    PaintArea->update();
}

void TfrmMain::StepAnts() {
    if (!HasSelection()) return;
    antsDrawn_ = true;
    antsPhase_ += 2;
    antsRepaintPending_ = true;
    PaintArea->update();
}

QRect TfrmMain::VisibleViewRect() const { return PaintArea->visibleRegion().boundingRect(); }

bool TfrmMain::ViewShownExactly() const { return tiledView_->Exact(VisibleViewRect()); }

std::unique_ptr<TPixelBuffer> TfrmMain::ViewPixels(QRect area) const { return tiledView_->Pixels(area); }

std::shared_ptr<void> TfrmMain::HoldViewReaders() {
    tiledView_->Pause();
    return std::shared_ptr<void>(nullptr, [this](void*) {
        tiledView_->Resume();
        // Tiles asked for while held may have been dropped: the next paint asks again.
        PaintArea->update();
    });
}

void TfrmMain::PaintAreaPaint(QPainter& painter, QRect exposed) {
    if (exposed.isEmpty()) exposed = PaintArea->rect();
    if (currentImage_)
        tiledView_->Paint(painter, exposed, VisibleViewRect());
    else  // no picture: the scroll box's colour, not stale pixels
        painter.fillRect(exposed, QColor(240, 240, 255));
    // A paint of its own (exposure, a new view) moves the outline one step on; the repaint
    // asked for by a step has moved it already.
    if (!antsRepaintPending_ && HasSelection()) {
        antsDrawn_ = true;
        antsPhase_ += 2;
    }
    antsRepaintPending_ = false;
    if (antsDrawn_ && HasSelection()) DrawAnts(painter);
}

void TfrmMain::SelectionTimerTimer() { StepAnts(); }

void TfrmMain::ToolbarClearTimerTimer() {
    UpdateStatus();
    UpdateActions();
}

// ---- Mouse ----

void TfrmMain::PaintAreaMouseDown(Qt::MouseButton button, QPoint position) {
    if (btnColorPickTool->Down()) {
        if (button == Qt::LeftButton) PickColor(position);
        return;
    }
    if (btnZoomTool->Down()) {
        if (button == Qt::LeftButton)
            ExecuteAction(actnZoomIn);
        else if (button == Qt::RightButton)
            ExecuteAction(actnZoomOut);
        return;
    }
    if (button == Qt::LeftButton) StartSelection(position.x(), position.y());
}

void TfrmMain::PaintAreaMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position) {
    if (btnZoomTool->Down()) {
        PaintArea->setCursor(zoomCursor_);
        return;
    }
    PaintArea->setCursor(btnColorPickTool->Down() ? Qt::CrossCursor : Qt::ArrowCursor);
    if (btnColorPickTool->Down()) return;
    const Qt::KeyboardModifiers held =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (buttons == Qt::LeftButton && held == Qt::NoModifier) {
        const int ox = dragOrigin_.x();
        const int oy = dragOrigin_.y();
        const int w = PaintArea->width();
        const int h = PaintArea->height();
        // Up to the paint area's far edges: a drag reaching them selects the last column and row.
        const int left = std::clamp(std::min(ox, position.x()), 0, w);
        const int right = std::clamp(std::max(ox, position.x()), 0, w);
        const int top = std::clamp(std::min(oy, position.y()), 0, h);
        const int bottom = std::clamp(std::max(oy, position.y()), 0, h);
        SetSelection(left, top, right, bottom);
    }
    UpdateStatus();
}
