#include "editor/UMain.h"

#include "about/uAboutDialog.h"
#include "core/PixelBuffer.h"
#include "editor/UGamma.h"
#include "editor/UScalePrefs.h"
#include "formats/FileFormatList.h"
#include "formats/LoadPipeline.h"
#include "platform/Exception.h"
#include "platform/PictureFiles.h"
#include "platform/PictureFormats.h"
#include "settings/UXMLBase.h"
#include "widgets/Glyphs.h"
#include "widgets/ImageList.h"
#include "widgets/ToolbarPanel.h"
#include "widgets/uButtonGroup.h"
#include "widgets/uOvra.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// The hourglass for the length of a command.
class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Runs a closing step on every way out of a scope.
template <class F>
class TFinally {
public:
    explicit TFinally(F f) : F_(std::move(f)) {}
    ~TFinally() { F_(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F F_;
};

QString ToQString(const std::string& s) { return QString::fromStdString(s); }

// The extension with its dot, upper case; "" when the name has none.
std::string UpperExtension(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = fileName.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

TBgrView ViewOf(const TPixelBuffer& image) {
    return {image.Bits(), image.Width(), image.Height(), image.Stride()};
}

// The clipboard's picture as a 24-bit bitmap.
std::unique_ptr<TBitmap> BitmapFromImage(const QImage& picture) {
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(TPixelFormat::pf24bit);
    bitmap->SetSize(bgr.width(), bgr.height());
    const std::size_t rowBytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y) std::memcpy(bitmap->ScanLine(y), bgr.constScanLine(y), rowBytes);
    return bitmap;
}

QImage ImageFromBuffer(const TPixelBuffer& buffer) {
    return QImage(buffer.Bits(), buffer.Width(), buffer.Height(), buffer.Stride(), QImage::Format_BGR888).copy();
}

// The open dialog's file types: all readable pictures first, then one entry per format.
QStringList OpenFilters() {
    QStringList all;
    QStringList each;
    for (const TPictureFormat& format : TPictureFormatTable::Instance().Formats()) {
        if (format.Class == &MetafileGraphicClass) continue;  // no metafile renderer here
        // File names match case-sensitively here: offer the upper-case extension too.
        const QString extension = ToQString(format.Extension);
        const QString pattern = QStringLiteral("*.%1 *.%2").arg(extension, extension.toUpper());
        all << pattern;
        each << QStringLiteral("%1 (%2)").arg(ToQString(format.Description), pattern);
    }
    QStringList filters;
    filters << QStringLiteral("All (%1)").arg(all.join(' '));
    filters << each;
    return filters;
}

std::optional<std::string> DefaultOpenDialog(QWidget* owner) {
    QFileDialog dialog(owner);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(OpenFilters());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> DefaultSaveDialog(QWidget* owner) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("jpg"));
    dialog.setNameFilters({QStringLiteral("JPEG Image File (*.jpg)"), QStringLiteral("Bitmap File (*.bmp)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<TColor> DefaultColorDialog(QWidget* owner, TColor initial) {
    const QColor chosen = QColorDialog::getColor(QColor(RedOf(initial), GreenOf(initial), BlueOf(initial)), owner);
    if (!chosen.isValid()) return std::nullopt;
    return RGBColor(static_cast<std::uint8_t>(chosen.red()), static_cast<std::uint8_t>(chosen.green()),
                    static_cast<std::uint8_t>(chosen.blue()));
}

bool ClipboardHoldsBitmap() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

}  // namespace

TfrmMain::TfrmMain(QWidget* owner) : TfrmBaseForm(owner) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Ovra Pixamo"));
    setWindowIcon(ApplicationIcon());
    setSizeGripEnabled(false);
    setAcceptDrops(true);
    CommandLineArguments = QCoreApplication::arguments().mid(1);
    ChooseOpenFile = [this] { return DefaultOpenDialog(this); };
    ChooseSaveFile = [this] { return DefaultSaveDialog(this); };
    ChooseColor = [this](TColor initial) { return DefaultColorDialog(this, initial); };
    RunScaleDialog = [](TfrmScale& dialog) { return dialog.exec() == QDialog::Accepted; };
    RunGammaDialog = [](TfrmGamma& dialog) { return dialog.exec() == QDialog::Accepted; };
    RunAboutBox = [this] { ShowAbout(this); };
    CreateComponents();
    FormCreate();
    resize(586, 489);
    UpdateActions();
}

TfrmMain::~TfrmMain() {
    // The settings go first, while the recent-files list still exists.
    BeforeDestruction();
    SelectionTimer->stop();
    ToolbarClearTimer->stop();
    ViewImage_.reset();
    CurrentImage_.reset();
    UndoImage_.reset();
    RecentList_.Clear();
    ToolGroup.reset();
}

void TfrmMain::FormCreate() {
    ZoomFactor_ = 8;
    ViewImage_.reset();
    CurrentImage_.reset();
    UndoImage_.reset();
    ZoomCursor_ = ::ZoomCursor();
    AntsDrawn_ = false;
    StartSelection(0, 0);
    RecentList_.Clear();
    ToolGroup = std::make_unique<TButtonGrouper>();
    ToolGroup->AddButton(btnSelectTool);
    ToolGroup->AddButton(btnZoomTool);
    ToolGroup->AddButton(btnColorPickTool);
}

void TfrmMain::CreateComponents() {
    ImageList = CreateGlyphList(this).release();
    DisabledImageList = new TImageList(ImageList->Width(), ImageList->Height(), this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Toolbar = new TToolbarPanel(this);
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    layout->addWidget(Toolbar);

    ScrollBox = new QScrollArea(this);
    ScrollBox->setObjectName(QStringLiteral("ScrollBox"));
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setWidgetResizable(false);
    QPalette background = ScrollBox->viewport()->palette();
    background.setColor(QPalette::Window, QColor(240, 240, 255));
    ScrollBox->viewport()->setPalette(background);
    ScrollBox->viewport()->setAutoFillBackground(true);
    ScrollBox->viewport()->setCursor(Qt::ForbiddenCursor);
    ScrollContent_ = new QWidget;
    ScrollContent_->setCursor(Qt::ForbiddenCursor);
    ScrollBox->setWidget(ScrollContent_);
    ScrollContent_->resize(0, 0);
    PaintArea = new TPaintArea(this, ScrollContent_);
    PaintArea->setObjectName(QStringLiteral("PaintArea"));
    PaintArea->setGeometry(0, 0, 0, 0);
    layout->addWidget(ScrollBox, 1);

    StatusBar = new TStatusPanel(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    layout->addWidget(StatusBar);

    SelectionTimer = new QTimer(this);
    SelectionTimer->setInterval(400);
    connect(SelectionTimer, &QTimer::timeout, this, [this] { Guarded([this] { SelectionTimerTimer(); }); });
    ToolbarClearTimer = new QTimer(this);
    ToolbarClearTimer->setInterval(200);
    connect(ToolbarClearTimer, &QTimer::timeout, this, [this] { Guarded([this] { ToolbarClearTimerTimer(); }); });
    ToolbarClearTimer->start();

    ClipboardHasBitmap_ = ClipboardHoldsBitmap();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        ClipboardHasBitmap_ = ClipboardHoldsBitmap();
        UpdateActions();
    });

    CreateActions();
    CreateToolbar();
}

QAction* TfrmMain::NewAction(const char* caption, const char* hint, int imageIndex, std::function<bool()> rule,
                             void (TfrmMain::*handler)()) {
    auto* action = new QAction(QString::fromUtf8(caption), this);
    action->setToolTip(QString::fromUtf8(hint));
    action->setStatusTip(QString::fromUtf8(hint));
    SetActionImageIndex(action, imageIndex, ImageList, DisabledImageList);
    addAction(action);
    Rules_.push_back({action, rule});
    connect(action, &QAction::triggered, this, [this, action, rule, handler] {
        // The rule is asked again right before running: a disabled command never runs.
        const bool enabled = rule();
        action->setEnabled(enabled);
        if (!enabled) return;
        Guarded([this, handler] { (this->*handler)(); });
    });
    return action;
}

void TfrmMain::CreateActions() {
    const auto always = [] { return true; };
    const auto assigned = [this] { return BitmapAssigned(); };
    actnOpen = NewAction("Open Image", "Open Image", giOpen, always, &TfrmMain::actnOpenExecute);
    actnOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    actnSave = NewAction("Save", "Save Image", giSave, assigned, &TfrmMain::actnSaveExecute);
    actnSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    actnCopy = NewAction("Copy to Clipboard", "Copy to Clipboard", giCopy, assigned, &TfrmMain::actnCopyExecute);
    actnCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    actnPaste = NewAction("Paste from Clipboard", "Paste from Clipboard", giPaste, [this] { return actnPasteUpdate(); },
                          &TfrmMain::btnPasteClick);
    actnPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    actnUndo = NewAction("Undo", "", giUndo, [this] { return actnUndoUpdate(); }, &TfrmMain::actnUndoExecute);
    actnRotateLeft = NewAction("Rotate -90", "Rotate -90", giRotateLeft, assigned, &TfrmMain::actnRotateLeftExecute);
    actnRotateRight =
        NewAction("Rotate +90", "Rotate +90", giRotateRight, assigned, &TfrmMain::actnRotateRightExecute);
    actnFlip = NewAction("Flip", "Flip", giFlip, assigned, &TfrmMain::actnFlipExecute);
    actnFlop = NewAction("Flop", "Flop", giFlop, assigned, &TfrmMain::actnFlopExecute);
    actnScale = NewAction("Scale Image ...", "Scale Image ...", giScale, assigned, &TfrmMain::actnScaleExecute);
    actnCrop = NewAction("Crop to Selection", "Crop to Selection", giCrop, [this] { return actnCropUpdate(); },
                         &TfrmMain::actnCropExecute);
    actnLight = NewAction("Enlighten", "Enlighten", giEnlighten, assigned, &TfrmMain::actnLightExecute);
    actnDark = NewAction("Endarken", "Endarken", giEndarken, assigned, &TfrmMain::actnDarkExecute);
    actnMix = NewAction("Mix with Color", "Mix with Color", giMix, assigned, &TfrmMain::actnMixExecute);
    actnGamma = NewAction("Gamma correction", "Gamma correction", giGamma, assigned, &TfrmMain::actnGammaExecute);
    actnZoomIn = NewAction("Zoom In", "Zoom In", giZoomIn, [this] { return actnZoomInUpdate(); },
                           &TfrmMain::actnZoomInExecute);
    // The key right of 0 on the main block; the keypad's plus does the same.
    actnZoomIn->setShortcuts({QKeySequence(Qt::Key_Equal), QKeySequence(Qt::Key_Plus)});
    actnZoomOut = NewAction("Zoom Out", "Zoom Out", giZoomOut, [this] { return actnZoomOutUpdate(); },
                            &TfrmMain::actnZoomOutExecute);
    actnZoomOut->setShortcut(QKeySequence(Qt::Key_Minus));
    actnAbout = NewAction("About", "About this program", giAbout, always, &TfrmMain::actnAboutExecute);
    actnAbout->setShortcut(QKeySequence(Qt::Key_F1));
}

TFlatButton* TfrmMain::NewButton(QAction* action, int width) {
    auto* button = new TFlatButton(Toolbar);
    button->SetImages(ImageList);
    button->SetDisabled(DisabledImageList);
    button->setFixedSize(width, 22);
    if (action) button->SetAction(action);
    return button;
}

void TfrmMain::CreateToolbar() {
    FlatButton1 = NewButton(actnOpen, 23 + TFlatButton::DropZoneWidth);
    FlatButton1->setObjectName(QStringLiteral("FlatButton1"));
    RecentMenu = new QMenu(this);
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    connect(RecentMenu, &QMenu::aboutToShow, this, [this] { Guarded([this] { RecentMenuPopup(); }); });
    FlatButton1->SetDropdownMenu(RecentMenu);
    FlatButton2 = NewButton(actnSave);

    const auto tool = [this](const char* name, int glyph, const char* hint) {
        TFlatButton* button = NewButton(nullptr);
        button->setObjectName(QString::fromUtf8(name));
        button->SetIsToggleButton(true);
        button->SetImageIndex(glyph);
        button->setToolTip(QString::fromUtf8(hint));
        return button;
    };
    btnSelectTool = tool("btnSelectTool", giSelect, "Select");
    btnZoomTool = tool("btnZoomTool", giZoomIn, "Zoom");
    btnColorPickTool = tool("btnColorPickTool", giColorPick, "Pick Color");
    btnZoomTool->SetDown(true);
    btnColorPickTool->setEnabled(false);
    // The paint area shows the present tool's cursor at once, not only after a move.
    const auto toolChanged = [this](TFlatButton*) {
        PaintArea->setCursor(btnZoomTool->Down() ? ZoomCursor_ : QCursor(Qt::ArrowCursor));
    };
    btnSelectTool->OnClick = toolChanged;
    btnZoomTool->OnClick = toolChanged;

    FlatButton7 = NewButton(actnCopy);
    FlatButton8 = NewButton(actnPaste);
    FlatButton9 = NewButton(actnUndo);
    FlatButton10 = NewButton(actnFlip);
    FlatButton11 = NewButton(actnFlop);
    FlatButton12 = NewButton(actnRotateLeft);
    FlatButton13 = NewButton(actnRotateRight);

    ColorEffectsMenu = new QMenu(this);
    ColorEffectsMenu->setObjectName(QStringLiteral("ColorEffectsMenu"));
    ColorEffectsMenu->addAction(actnGamma);
    ColorEffectsMenu->addAction(actnLight);
    ColorEffectsMenu->addAction(actnDark);
    ColorEffectsMenu->addAction(actnMix);
    FlatButton14 = NewButton(nullptr, 23 + 10);
    FlatButton14->SetImageIndex(giEnlighten);
    FlatButton14->SetFullDrop(true);
    FlatButton14->SetDropdownMenu(ColorEffectsMenu);
    FlatButton14->setToolTip(QStringLiteral("Color effects"));
    FlatButton15 = NewButton(actnCrop);
    FlatButton16 = NewButton(actnScale);
    FlatButton17 = NewButton(actnAbout);

    const TFlatButton* const buttons[] = {FlatButton2, btnSelectTool, btnZoomTool, btnColorPickTool, FlatButton7,
                                          FlatButton8,  FlatButton9,   FlatButton10, FlatButton11,    FlatButton12,
                                          FlatButton13, FlatButton14,  FlatButton15, FlatButton16,    FlatButton17};
    static const char* const names[] = {"FlatButton2",  "",             "",             "",
                                        "FlatButton7",  "FlatButton8",  "FlatButton9",  "FlatButton10",
                                        "FlatButton11", "FlatButton12", "FlatButton13", "FlatButton14",
                                        "FlatButton15", "FlatButton16", "FlatButton17"};
    for (std::size_t i = 0; i < std::size(buttons); ++i)
        if (*names[i]) const_cast<TFlatButton*>(buttons[i])->setObjectName(QString::fromUtf8(names[i]));

    auto* row = new QHBoxLayout(Toolbar);
    row->setContentsMargins(2, 2, 2, 3);
    row->setSpacing(0);
    const auto group = [row](std::initializer_list<TFlatButton*> members) {
        for (TFlatButton* b : members) row->addWidget(b);
        row->addSpacing(6);
    };
    group({FlatButton1, FlatButton2});
    group({btnSelectTool, btnZoomTool, btnColorPickTool});
    group({FlatButton7, FlatButton8, FlatButton9});
    group({FlatButton10, FlatButton11, FlatButton12, FlatButton13});
    group({FlatButton14, FlatButton15, FlatButton16});
    row->addStretch(1);
    row->addWidget(FlatButton17);
}

void TfrmMain::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::bad_alloc&) {
        ShowException(EOutOfMemory("Not enough memory for this command."));
    } catch (const std::exception& error) {
        ShowException(error);
    }
    UpdateActions();
}

void TfrmMain::UpdateActions() {
    for (const TActionRule& r : Rules_) r.Action->setEnabled(r.Rule());
}

void TfrmMain::ExecuteAction(QAction* action) {
    for (const TActionRule& r : Rules_)
        if (r.Action == action) action->setEnabled(r.Rule());
    if (action->isEnabled()) action->trigger();
}

bool TfrmMain::BitmapAssigned() const { return CurrentImage_ != nullptr; }
bool TfrmMain::actnUndoUpdate() const { return UndoImage_ != nullptr; }
bool TfrmMain::actnPasteUpdate() const { return ClipboardHasBitmap_; }
bool TfrmMain::actnCropUpdate() const { return CurrentImage_ && HasSelection(); }
bool TfrmMain::actnZoomInUpdate() const { return CurrentImage_ && ZoomFactor_ < 32; }
bool TfrmMain::actnZoomOutUpdate() const { return CurrentImage_ && ZoomFactor_ > 1; }

// ---- Document ----

void TfrmMain::LoadImage(const std::string& fileName) {
    TBusyCursor busy;
    ClearSelection();
    UndoImage_.reset();
    TLoadedPicture loaded = LoadPictureFile(fileName);
    std::unique_ptr<TPixelBuffer> image = TPixelBuffer::CreateFromBitmap(std::move(*loaded.Bitmap));
    loaded.Bitmap.reset();
    CurrentImage_ = std::move(image);
    ZoomFactor_ = 8;
    FitWindowToImage();
    UpdateStatus();
    RecentList_.Add(fileName);
}

void TfrmMain::TakeUndoSnapshot() {
    UndoImage_.reset();
    UndoImage_ = TPixelBuffer::CreateCopy(*CurrentImage_);
}

std::unique_ptr<TPixelBuffer> TfrmMain::SelectionCopy() const {
    if (!HasSelection() || !CurrentImage_) return nullptr;
    return CopyRect(*CurrentImage_, SelStart_.x(), SelStart_.y(), SelEnd_.x() - SelStart_.x(),
                    SelEnd_.y() - SelStart_.y());
}

void TfrmMain::actnOpenExecute() {
    const std::optional<std::string> name = ChooseOpenFile();
    if (name) LoadImage(*name);
}

void TfrmMain::actnSaveExecute() {
    const std::optional<std::string> name = ChooseSaveFile();
    if (!name) return;
    TBusyCursor busy;
    if (UpperExtension(*name) == ".JPG")
        SaveJpegFile(ViewOf(*CurrentImage_), *name, 95, true);
    else
        SaveBmpFile(ViewOf(*CurrentImage_), *name);
    RecentList_.Add(*name);
}

void TfrmMain::actnCopyExecute() {
    if (!CurrentImage_) return;
    const std::unique_ptr<TPixelBuffer> selection = SelectionCopy();
    QGuiApplication::clipboard()->setImage(ImageFromBuffer(selection ? *selection : *CurrentImage_));
}

void TfrmMain::btnPasteClick() {
    const QImage picture = QGuiApplication::clipboard()->image();
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1)
        throw Exception("The clipboard holds no picture.");
    std::unique_ptr<TBitmap> bitmap = BitmapFromImage(picture);
    CurrentImage_ = TPixelBuffer::CreateFromBitmap(std::move(*bitmap));
    ZoomFactor_ = 8;
    FitWindowToImage();
    UpdateStatus();
    ClearSelection();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmMain::actnUndoExecute() {
    CurrentImage_ = std::move(UndoImage_);
    UndoImage_.reset();
    FitWindowToImage();
    ClearSelection();
}

void TfrmMain::actnRotateLeftExecute() {
    TakeUndoSnapshot();
    CurrentImage_->RotateLeft();
    FitWindowToImage();
    UpdateStatus();
    ClearSelection();
}

void TfrmMain::actnRotateRightExecute() {
    TakeUndoSnapshot();
    CurrentImage_->RotateRight();
    FitWindowToImage();
    UpdateStatus();
    ClearSelection();
}

void TfrmMain::actnFlipExecute() {
    TakeUndoSnapshot();
    CurrentImage_->Flip();
    RenderView();
    ClearSelection();
}

void TfrmMain::actnFlopExecute() {
    TakeUndoSnapshot();
    CurrentImage_->Flop();
    RenderView();
    ClearSelection();
}

void TfrmMain::actnCropExecute() {
    if (!CurrentImage_) return;
    TakeUndoSnapshot();
    std::unique_ptr<TPixelBuffer> cropped = SelectionCopy();
    if (!cropped) return;
    CurrentImage_ = std::move(cropped);
    ZoomFactor_ = 8;
    FitWindowToImage();
    ClearSelection();
}

void TfrmMain::actnScaleExecute() {
    auto dialog = std::make_unique<TfrmScale>(this);
    const TFinally closing([this, &dialog] {
        dialog.reset();
        UpdateStatus();
        ClearSelection();
    });
    dialog->SetPresentSize(CurrentImage_->Width(), CurrentImage_->Height());
    if (!RunScaleDialog(*dialog)) return;
    const int height = dialog->NewHeight();
    const int width = dialog->NewWidth();
    if (width < 1 || height < 1)
        throw Exception(FormatText("The new size %dx%d is too small: width and height must be at least 1.", width,
                                   height));
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > MaxPicturePixels)
        throw Exception(FormatText("The new size %dx%d is too large: at most %lld pixels are allowed.", width, height,
                                   static_cast<long long>(MaxPicturePixels)));
    const TResampleFilter& filter = ResampleFilterAt(dialog->FilterIndex());
    // The new buffer is had before the picture is touched, so a size the machine cannot give
    // leaves the picture and the undo copy as they were.
    std::unique_ptr<TPixelBuffer> scaled = TPixelBuffer::Create(width, height);
    TakeUndoSnapshot();
    CurrentImage_ = std::move(scaled);
    UndoImage_->Resample(*CurrentImage_, filter.Filter, filter.Support);
    FitWindowToImage();
}

void TfrmMain::actnLightExecute() {
    TakeUndoSnapshot();
    Enlighten(*CurrentImage_);
    RenderView();
}

void TfrmMain::actnDarkExecute() {
    TakeUndoSnapshot();
    Endarken(*CurrentImage_);
    RenderView();
}

void TfrmMain::actnMixExecute() {
    const TFinally closing([this] { ClearSelection(); });
    const std::optional<TColor> color = ChooseColor(LastMixColor_);
    if (!color) return;
    LastMixColor_ = *color;
    TakeUndoSnapshot();
    MixWithColor(*CurrentImage_, *color);
    RenderView();
}

void TfrmMain::actnGammaExecute() {
    auto dialog = std::make_unique<TfrmGamma>(this);
    dialog->SetSourceImage(CurrentImage_.get());
    if (!RunGammaDialog(*dialog)) return;
    const double gamma = dialog->GammaValue();
    dialog.reset();
    TakeUndoSnapshot();
    ApplyGamma(*CurrentImage_, static_cast<float>(gamma));
    RenderView();
    ClearSelection();
}

void TfrmMain::actnAboutExecute() { RunAboutBox(); }

// ---- Start-up, settings, recent files ----

void TfrmMain::FormShow() {
    TfrmBaseForm::FormShow();
    if (Shown_) return;
    Shown_ = true;
    ApplyMinimumOuterSize();
    BuildDisabledImageList(*ImageList, *DisabledImageList);
    if (!CommandLineArguments.isEmpty()) {
        const QFileInfo file(CommandLineArguments.first());
        // Kept with its full path, so that the recent-files entry still names it from
        // another working folder. Loaded once the window is on the screen, so that a message
        // about the file shows over it.
        if (file.isFile()) {
            const std::string name = file.absoluteFilePath().toStdString();
            QTimer::singleShot(0, this, [this, name] { Guarded([this, &name] { LoadImage(name); }); });
        }
    }
    UpdateActions();
}

void TfrmMain::LoadSettings() {
    TfrmBaseForm::LoadSettings();
    RecentList_.SetText(FormStore().ReadSetting("RecentFiles", "").AsString());
}

void TfrmMain::SaveSettings() {
    TfrmBaseForm::SaveSettings();
    FormStore().WriteSetting("RecentFiles", RecentList_.Text());
}

void TfrmMain::RecentMenuPopup() {
    for (QAction* item : RecentMenu->actions())
        if (item->property("Tag").toInt() != 1) {
            RecentMenu->removeAction(item);
            delete item;
        }
    for (std::size_t i = 0; i < RecentList_.Count(); ++i) {
        const QString name = ToQString(RecentList_[i]);
        // Shown as it is: an "&" in a name is no accelerator mark.
        QString caption = name;
        caption.replace('&', QStringLiteral("&&"));
        QAction* item = RecentMenu->addAction(caption);
        item->setData(name);
        connect(item, &QAction::triggered, this, [this, item] { Guarded([this, item] { RecentOpen(item); }); });
    }
}

void TfrmMain::RecentOpen(QAction* sender) {
    if (!sender) return;
    const std::string name = sender->data().toString().toStdString();
    RecentList_.Remove(name);
    if (!QFileInfo(ToQString(name)).isFile())
        throw Exception(FormatText("File \"%s\" doesn't exist!", name.c_str()));
    LoadImage(name);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile())
        event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!data->hasUrls() || data->urls().isEmpty() || !data->urls().first().isLocalFile()) return;
    const std::string name = data->urls().first().toLocalFile().toStdString();
    event->acceptProposedAction();
    Guarded([this, &name] { LoadImage(name); });
}
