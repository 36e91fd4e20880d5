#include "settings/BaseForm.h"

#include "settings/SettingsFile.h"
#include "settings/SettingsLocation.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTextEdit>
#include <QTimerEvent>
#include <QWindow>

#include <exception>
#include <utility>

namespace {

TExceptionHandler& ExceptionHandler() {
    static TExceptionHandler handler;
    return handler;
}

std::string& SettingsFileOverride() {
    static std::string fileName;
    return fileName;
}

}  // namespace

void ShowException(const std::exception& error) {
    if (ExceptionHandler()) {
        ExceptionHandler()(error);
        return;
    }
    QMessageBox::critical(QApplication::activeWindow(), QGuiApplication::applicationDisplayName(),
                          QString::fromUtf8(error.what()));
}

TExceptionHandler SetExceptionHandler(TExceptionHandler handler) {
    return std::exchange(ExceptionHandler(), std::move(handler));
}

void SetFormSettingsFileName(const std::string& fileName) { SettingsFileOverride() = fileName; }

std::string FormSettingsFileName() {
    return SettingsFileOverride().empty() ? SettingsFileName() : SettingsFileOverride();
}

TfrmBaseForm::TfrmBaseForm(QWidget* owner, Qt::WindowFlags flags) : QDialog(owner, flags) {
    setObjectName(QStringLiteral("frmBaseForm"));
    setWindowTitle(QStringLiteral("Base Form Class"));
    resize(588, 419);
    // Key preview: the form sees key presses before its controls do.
    qApp->installEventFilter(this);
}

TfrmBaseForm::~TfrmBaseForm() { BeforeDestruction(); }

TXmlNode* TfrmBaseForm::GetFormNode() {
    if (formNode_) return formNode_;
    if (!store_) {
        ownedStore_ = std::make_unique<TXMLDataBase>(FormSettingsFileName(), InitialSettingsText);
        store_ = ownedStore_.get();
    }
    formNode_ = TXMLDataBase::ForcePath(store_->DataRoot(), "tableViews\\" + objectName().toStdString());
    return formNode_;
}

TXMLDataBase& TfrmBaseForm::FormStore() {
    GetFormNode();
    return *store_;
}

void TfrmBaseForm::LoadSettings() {
    if (KeepSize) LoadSize();
    if (KeepPosition) LoadPosition();
}

void TfrmBaseForm::SaveSettings() {
    if (KeepSize) SaveSize();
    if (KeepPosition) SavePosition();
}

void TfrmBaseForm::SavePosition() {
    TXmlNode* node = GetFormNode();
    const bool maximized = isMaximized();
    store_->WriteNodeSetting(node, "Maximized", maximized);
    if (maximized) return;  // the last normal bounds stay in the file
    const QPoint position = OuterGeometry().topLeft();
    store_->WriteNodeSetting(node, "posLeft", position.x());
    store_->WriteNodeSetting(node, "posTop", position.y());
}

void TfrmBaseForm::LoadPosition() {
    TXmlNode* node = GetFormNode();
    TVariant left = x(), top = y();
    const bool hasLeft = store_->GetNodeSetting(node, "posLeft", left);
    const bool hasTop = store_->GetNodeSetting(node, "posTop", top);
    const QPoint position(left.AsInteger(), top.AsInteger());
    // A position off the present screens is applied as it is.
    MoveOuterTo(position);
    if ((hasLeft || hasTop) && FrameUnknown()) pendingPosition_ = position;
    if (store_->ReadNodeSetting(node, "Maximized", false).AsBoolean())
        setWindowState(windowState() | Qt::WindowMaximized);
}

namespace {

bool Below(QSize size, QSize minimum) { return size.width() < minimum.width() || size.height() < minimum.height(); }

}  // namespace

void TfrmBaseForm::SaveSize() {
    if (isMaximized()) return;
    const QSize outer = OuterGeometry().size();
    // Smaller than the window can be: not a size the user gave it. The stored one stays.
    if (Below(outer, MinimumOuterSize())) return;
    TXmlNode* node = GetFormNode();
    store_->WriteNodeSetting(node, "sizeWidth", outer.width());
    store_->WriteNodeSetting(node, "sizeHeight", outer.height());
}

void TfrmBaseForm::LoadSize() {
    TXmlNode* node = GetFormNode();
    const QRect outer = OuterGeometry();
    TVariant w = outer.width(), h = outer.height();
    const bool hasWidth = store_->GetNodeSetting(node, "sizeWidth", w);
    const bool hasHeight = store_->GetNodeSetting(node, "sizeHeight", h);
    const QSize outerSize(w.AsInteger(), h.AsInteger());
    // A stored size the window cannot have is none it ever had: the window keeps its own.
    if (Below(outerSize, MinimumOuterSize())) return;
    // The stored size is the outer one; the frame is what the window system adds around the
    // client area.
    resize(outerSize - (outer.size() - size()));
    if ((hasWidth || hasHeight) && FrameUnknown()) pendingSize_ = outerSize;
}

// The frame is asked of the window system each time. The widget's own copy of it is brought
// up to date only by some events and can stay at none under a reparenting window manager.
std::optional<QMargins> TfrmBaseForm::FrameMargins() const {
    if (windowFlags() & Qt::FramelessWindowHint) return QMargins();
    const QWindow* window = windowHandle();
    if (!window) return knownFrame_;
    const QMargins frame = window->frameMargins();
    // Below zero: the window manager is still building the frame (openbox reparents into a
    // 1 × 1 frame first). None before the window is on the screen: not framed yet, or no
    // longer (a hidden window has left its frame). In both cases the last frame it had
    // stands, if any.
    if (frame.left() < 0 || frame.top() < 0 || frame.right() < 0 || frame.bottom() < 0) return knownFrame_;
    if (frame.isNull() && !window->isExposed()) return knownFrame_;
    // None after it had one: full screen (or just leaving it, before the window manager has
    // framed the window again). The frame it will have back is the one it had.
    if (frame.isNull() && knownFrame_ && !knownFrame_->isNull()) return knownFrame_;
    knownFrame_ = frame;
    return frame;
}

bool TfrmBaseForm::FrameUnknown() const { return !FrameMargins(); }

QRect TfrmBaseForm::OuterGeometry() const { return geometry().marginsAdded(FrameMargins().value_or(QMargins())); }

void TfrmBaseForm::MoveOuterTo(QPoint topLeft) {
    if (!windowHandle()) {
        move(topLeft);  // Qt places an uncreated window by its frame once it has one
        return;
    }
    // Qt moves a created window by the frame as it last heard of it, which may be stale:
    // the client goes where the frame reported now puts it.
    const QMargins frame = FrameMargins().value_or(QMargins());
    const QPoint client = topLeft + QPoint(frame.left(), frame.top());
    move(client - (geometry().topLeft() - pos()));
}

QSize TfrmBaseForm::MinimumOuterSize() const {
    return minimumSize().expandedTo(QSize(1, 1)) + (OuterGeometry().size() - size());
}

void TfrmBaseForm::DropPendingPlacement() {
    pendingPosition_.reset();
    pendingSize_.reset();
}

TfrmBaseForm* TfrmBaseForm::CreateChildForm(TFormClass formClass) {
    TXmlNode* parentNode = GetFormNode();
    TfrmBaseForm* form = formClass(this);
    form->formNode_ = TXMLDataBase::ForcePath(parentNode, form->objectName().toStdString());
    form->store_ = store_;
    form->LoadSettings();
    return form;
}

void TfrmBaseForm::BeforeDestruction() {
    if (destroyed_) return;
    destroyed_ = true;
    try {
        SaveSettings();
    } catch (const std::exception& error) {
        ShowException(error);
    }
    // Child forms save into this form's store, so they go before it; each reports its own
    // failures.
    for (TfrmBaseForm* child : findChildren<TfrmBaseForm*>(Qt::FindDirectChildrenOnly)) delete child;
    const std::unique_ptr<TXMLDataBase> store = std::move(ownedStore_);
    store_ = nullptr;
    formNode_ = nullptr;
    if (!store) return;
    try {
        store->Save();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TfrmBaseForm::FormShow() {
    if (SkipAutoLoad) return;
    try {
        LoadSettings();
    } catch (const std::exception& error) {
        ShowException(error);
    }
}

void TfrmBaseForm::WaitForFrame() {
    awaitingFrame_ = true;
    // The frame may arrive without an event to this window: looked for every few
    // milliseconds for a while, and at every event in any case.
    frameChecks_ = 0;
    if (frameTimer_ == 0) frameTimer_ = startTimer(10);
}

void TfrmBaseForm::StopWaitingForFrame() {
    awaitingFrame_ = false;
    if (frameTimer_ != 0) killTimer(frameTimer_);
    frameTimer_ = 0;
}

bool TfrmBaseForm::event(QEvent* event) {
    const bool tick = event->type() == QEvent::Timer && static_cast<QTimerEvent*>(event)->timerId() == frameTimer_ &&
                      frameTimer_ != 0;
    if (awaitingFrame_ && !FrameUnknown()) {
        StopWaitingForFrame();
        FrameKnown();
    } else if (tick && ++frameChecks_ >= 500) {
        // No frame after five seconds: only events look for it from now on.
        killTimer(frameTimer_);
        frameTimer_ = 0;
    }
    if (tick) return true;
    return QDialog::event(event);
}

void TfrmBaseForm::FrameKnown() {
    const auto position = std::exchange(pendingPosition_, std::nullopt);
    const auto outerSize = std::exchange(pendingSize_, std::nullopt);
    if (isMaximized()) return;
    const QSize frame = OuterGeometry().size() - size();
    if (outerSize) resize(*outerSize - frame);
    if (position) MoveOuterTo(*position);
}

void TfrmBaseForm::hideEvent(QHideEvent* event) {
    DropPendingPlacement();
    StopWaitingForFrame();
    QDialog::hideEvent(event);
}

void TfrmBaseForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A spontaneous show is the window system restoring a minimized window, not a showing.
    if (event->spontaneous()) return;
    WaitForFrame();
    FormShow();
}

void TfrmBaseForm::closeEvent(QCloseEvent* event) {
    if (qobject_cast<QMdiSubWindow*>(parentWidget())) setAttribute(Qt::WA_DeleteOnClose);
    QDialog::closeEvent(event);
}

void TfrmBaseForm::keyPressEvent(QKeyEvent* event) {
    // Escape closes dialogs only; a plain window stays open.
    if (event->key() == Qt::Key_Escape && windowType() != Qt::Dialog) {
        QWidget::keyPressEvent(event);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfrmBaseForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    // Only the first delivery, to the focused control, not the ones propagating upwards.
    QWidget* focused = QApplication::focusWidget();
    if (watched != focused || !focused || focused->window() != this) return false;
    return EnterAsTab(focused);
}

bool TfrmBaseForm::DefaultButtonTakesEnter() const {
    for (const QPushButton* button : findChildren<QPushButton*>())
        if (button->isDefault() && button->isVisible() && button->isEnabled() && button->window() == this) return true;
    return false;
}

bool TfrmBaseForm::EnterAsTab(QWidget* focused) {
    bool textBox = qobject_cast<QLineEdit*>(focused) || qobject_cast<QAbstractSpinBox*>(focused) ||
                   qobject_cast<QPlainTextEdit*>(focused) || qobject_cast<QTextEdit*>(focused);
    if (auto* combo = qobject_cast<QComboBox*>(focused)) textBox = !combo->view()->isVisible();
    if (!textBox || DefaultButtonTakesEnter()) return false;
    QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
    return true;
}
