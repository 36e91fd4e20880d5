#include "editor/MainWindow.h"

#include "about/AboutBox.h"
#include "core/ColorEffects.h"
#include "core/PixelBuffer.h"
#include "core/Resample.h"
#include "core/SavePicture.h"
#include "core/Transforms.h"
#include "editor/FolderBrowser.h"
#include "editor/GammaDialog.h"
#include "editor/SaveOptionsDialog.h"
#include "editor/ScaleDialog.h"
#include "editor/TiledView.h"
#include "formats/LoadPipeline.h"
#include "platform/Exception.h"
#include "platform/PictureFormats.h"
#include "platform/Warnings.h"
#include "settings/SettingsFile.h"
#include "widgets/DisabledGlyphs.h"
#include "widgets/Glyphs.h"
#include "widgets/ImageList.h"
#include "widgets/ToolGroup.h"
#include "widgets/ToolbarPanel.h"

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
#include <QMessageBox>
#include <QMimeData>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
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
template <class F> class TFinally {
public:
    explicit TFinally(F f) : f_(std::move(f)) {}
    ~TFinally() { f_(); }
    TFinally(const TFinally&) = delete;
    TFinally& operator=(const TFinally&) = delete;

private:
    F f_;
};

QString ToQString(const std::string& s) { return QString::fromStdString(s); }

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

// The save dialog's file types, in the order of SaveFormats: "JPEG Image File (*.jpg *.jpeg
// *.jpe *.jfif)", "PNG Image File (*.png)", ...
QStringList SaveFilters() {
    QStringList filters;
    for (const TSaveFormatInfo& format : SaveFormats) {
        QStringList patterns;
        for (const char* extension : format.Extensions)
            if (extension) patterns << QStringLiteral("*.%1").arg(QString::fromUtf8(extension));
        filters << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(format.Description), patterns.join(' '));
    }
    return filters;
}

std::optional<std::string> ChosenFile(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

// The folder part of a file name; "" when it has none.
std::string FolderOf(const std::string& fileName) {
    const std::size_t slash = fileName.find_last_of('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash == 0 ? 1 : slash);
}

// The name the save dialog proposes for the current file: the same name when it ends in an
// extension of a file type written, otherwise with the first file type's extension in place
// of its own (a GIF saved under its own name would become a bitmap named .gif).
std::string ProposedSaveName(const std::string& fileName) {
    if (fileName.empty()) return {};
    if (SaveFormatOf(fileName) != TSaveFormat::Bitmap || ExtensionOf(fileName) == "bmp") return fileName;
    return std::filesystem::path(fileName).replace_extension(SaveFormats[0].Extension()).string();
}

// A whole number from the settings within limits; the default for a missing or unusable entry.
int ReadBoundedSetting(TXMLDataBase& store, const std::string& name, int defaultValue, int low, int high) {
    try {
        const int value = store.ReadSetting(name, defaultValue).AsInteger();
        return value < low || value > high ? defaultValue : value;
    } catch (const EConvertError&) {
        return defaultValue;
    }
}

bool ReadBooleanSetting(TXMLDataBase& store, const std::string& name, bool defaultValue) {
    try {
        return store.ReadSetting(name, defaultValue).AsBoolean();
    } catch (const EConvertError&) {
        return defaultValue;
    }
}

std::optional<TColor> DefaultColorDialog(QWidget* owner, TColor initial) {
    const QColor chosen = QColorDialog::getColor(QColor(RedOf(initial), GreenOf(initial), BlueOf(initial)), owner);
    if (!chosen.isValid()) return std::nullopt;
    return RGBColor(static_cast<std::uint8_t>(chosen.red()), static_cast<std::uint8_t>(chosen.green()),
                    static_cast<std::uint8_t>(chosen.blue()));
}

TSaveChoice DefaultSaveQuestion(QWidget* owner, const QString& name) {
    const QMessageBox::StandardButton answer = QMessageBox::question(
        owner, QGuiApplication::applicationDisplayName(), QStringLiteral("Save changes to %1?").arg(name),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) return TSaveChoice::Save;
    if (answer == QMessageBox::Discard) return TSaveChoice::Discard;
    return TSaveChoice::Cancel;
}

// One megabyte of the undo bound in the settings file.
constexpr std::uint64_t Megabyte = 1024 * 1024;
constexpr int DefaultUndoMegabytes = static_cast<int>(TUndoHistory::DefaultByteBound / Megabyte);

bool ClipboardHoldsBitmap() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

}  // namespace

std::unique_ptr<QFileDialog> CreateOpenDialog(QWidget* owner, const std::string& folder) {
    auto dialog = std::make_unique<QFileDialog>(owner);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilters(OpenFilters());
    dialog->setSizeGripEnabled(true);
    if (!folder.empty()) dialog->setDirectory(ToQString(folder));
    return dialog;
}

std::unique_ptr<QFileDialog> CreateSaveDialog(QWidget* owner, const std::string& proposedName) {
    auto dialog = std::make_unique<QFileDialog>(owner);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = SaveFilters();
    dialog->setNameFilters(filters);
    // The extension a bare name gets follows the file type chosen.
    QFileDialog* raw = dialog.get();
    const auto follow = [raw, filters](const QString& filter) {
        const qsizetype index = filters.indexOf(filter);
        if (index >= 0) raw->setDefaultSuffix(QString::fromUtf8(SaveFormats[index].Extension()));
    };
    QObject::connect(raw, &QFileDialog::filterSelected, raw, follow);
    const TSaveFormat format = proposedName.empty() ? SaveFormats[0].Format : SaveFormatOf(proposedName);
    qsizetype chosen = 0;
    for (qsizetype i = 0; i < filters.size(); ++i)
        if (SaveFormats[i].Format == format) chosen = i;
    // The file type first: choosing it rewrites the extension of a name already proposed.
    dialog->selectNameFilter(filters[chosen]);
    follow(filters[chosen]);
    if (!proposedName.empty()) dialog->selectFile(ToQString(proposedName));
    return dialog;
}

TfrmMain::TfrmMain(QWidget* owner) : TfrmBaseForm(owner) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Ovra Pixamo"));
    setWindowIcon(ApplicationIcon());
    setSizeGripEnabled(false);
    setAcceptDrops(true);
    CommandLineArguments = QCoreApplication::arguments().mid(1);
    ChooseOpenFile = [this](const std::string& folder) { return ChosenFile(*CreateOpenDialog(this, folder)); };
    ChooseSaveFile = [this](const std::string& name) { return ChosenFile(*CreateSaveDialog(this, name)); };
    ChooseColor = [this](TColor initial) { return DefaultColorDialog(this, initial); };
    RunScaleDialog = [](TfrmScale& dialog) { return dialog.exec() == QDialog::Accepted; };
    RunGammaDialog = [](TfrmGamma& dialog) { return dialog.exec() == QDialog::Accepted; };
    RunSaveOptionsDialog = [](TfrmSaveOptions& dialog) { return dialog.exec() == QDialog::Accepted; };
    RunAboutBox = [this] { ShowAbout(this); };
    AskSaveChanges = [this](const QString& name) { return DefaultSaveQuestion(this, name); };
    prefetcher_ = std::make_unique<TPicturePrefetcher>();
    CreateComponents();
    FormCreate();
    resize(586, 489);
    ApplyMinimumOuterSize();
    UpdateActions();
}

TfrmMain::~TfrmMain() {
    // The settings go first, while the recent-files list still exists.
    BeforeDestruction();
    SelectionTimer->stop();
    ToolbarClearTimer->stop();
    prefetcher_.reset();
    tiledView_.reset();
    currentImage_.reset();
    undoHistory_.Clear();
    recentList_.Clear();
    ToolGroup.reset();
}

void TfrmMain::FormCreate() {
    zoomFactor_ = ZoomUnit;
    currentImage_.reset();
    undoHistory_.Clear();
    zoomCursor_ = ::ZoomCursor();
    antsDrawn_ = false;
    StartSelection(0, 0);
    recentList_.Clear();
    ToolGroup = std::make_unique<TButtonGrouper>();
    ToolGroup->AddButton(btnSelectTool);
    ToolGroup->AddButton(btnZoomTool);
    ToolGroup->AddButton(btnColorPickTool);
}

void TfrmMain::CreateComponents() {
    ImageList = CreateGlyphList(this).release();
    // Built before the actions take their icons from both lists: an icon made without the
    // greyed glyph would show Qt's own disabled look in the menus.
    DisabledImageList = new TImageList(ImageList->Width(), ImageList->Height(), this);
    BuildDisabledImageList(*ImageList, *DisabledImageList);

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
    scrollContent_ = new QWidget;
    scrollContent_->setCursor(Qt::ForbiddenCursor);
    ScrollBox->setWidget(scrollContent_);
    scrollContent_->resize(0, 0);
    PaintArea = new TPaintArea(this, scrollContent_);
    tiledView_ = std::make_unique<TTiledView>([this](QRect tile) {
        // An arriving tile replaces its preview; the outline keeps its phase there.
        antsRepaintPending_ = true;
        PaintArea->update(tile);
    });
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

    clipboardHasBitmap_ = ClipboardHoldsBitmap();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        clipboardHasBitmap_ = ClipboardHoldsBitmap();
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
    rules_.push_back({action, rule});
    connect(action, &QAction::triggered, this, [this, action, rule, handler] {
        // The rule is asked again right before running: a disabled command never runs.
        const bool enabled = rule();
        action->setEnabled(enabled);
        if (!enabled) return;
        // Commands may change the picture the view's workers read; zooming does not.
        const auto hold = action == actnZoomIn || action == actnZoomOut ? nullptr : HoldViewReaders();
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
    actnPaste = NewAction(
        "Paste from Clipboard", "Paste from Clipboard", giPaste, [this] { return actnPasteUpdate(); },
        &TfrmMain::btnPasteClick);
    actnPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    actnUndo = NewAction(
        "Undo", "", giUndo, [this] { return actnUndoUpdate(); }, &TfrmMain::actnUndoExecute);
    actnUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    actnRedo = NewAction(
        "Redo", "", giRedo, [this] { return actnRedoUpdate(); }, &TfrmMain::actnRedoExecute);
    actnRedo->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    actnRotateLeft = NewAction("Rotate -90", "Rotate -90", giRotateLeft, assigned, &TfrmMain::actnRotateLeftExecute);
    actnRotateRight = NewAction("Rotate +90", "Rotate +90", giRotateRight, assigned, &TfrmMain::actnRotateRightExecute);
    actnFlip = NewAction("Flip", "Flip", giFlip, assigned, &TfrmMain::actnFlipExecute);
    actnFlop = NewAction("Flop", "Flop", giFlop, assigned, &TfrmMain::actnFlopExecute);
    actnScale = NewAction("Scale Image ...", "Scale Image ...", giScale, assigned, &TfrmMain::actnScaleExecute);
    actnCrop = NewAction(
        "Crop to Selection", "Crop to Selection", giCrop, [this] { return actnCropUpdate(); },
        &TfrmMain::actnCropExecute);
    actnLight = NewAction("Enlighten", "Enlighten", giEnlighten, assigned, &TfrmMain::actnLightExecute);
    actnDark = NewAction("Endarken", "Endarken", giEndarken, assigned, &TfrmMain::actnDarkExecute);
    actnMix = NewAction("Mix with Color", "Mix with Color", giMix, assigned, &TfrmMain::actnMixExecute);
    actnGamma = NewAction("Gamma correction", "Gamma correction", giGamma, assigned, &TfrmMain::actnGammaExecute);
    actnZoomIn = NewAction(
        "Zoom In", "Zoom In", giZoomIn, [this] { return actnZoomInUpdate(); }, &TfrmMain::actnZoomInExecute);
    // Plus: the keypad's, or the key right of 0 on the main block, which gives "=" without
    // Shift; with Ctrl as well, as in other viewers.
    actnZoomIn->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal),
                              QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    actnZoomOut = NewAction(
        "Zoom Out", "Zoom Out", giZoomOut, [this] { return actnZoomOutUpdate(); }, &TfrmMain::actnZoomOutExecute);
    actnZoomOut->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    actnAbout = NewAction("About", "About this program", giAbout, always, &TfrmMain::actnAboutExecute);
    actnAbout->setShortcut(QKeySequence(Qt::Key_F1));
    const auto browse = [this] { return actnBrowseUpdate(); };
    actnNext = NewAction("Next Picture", "Next picture in the folder", -1, browse, &TfrmMain::actnNextExecute);
    actnNext->setShortcuts({QKeySequence(Qt::Key_PageDown), QKeySequence(Qt::Key_Space)});
    actnPrevious =
        NewAction("Previous Picture", "Previous picture in the folder", -1, browse, &TfrmMain::actnPreviousExecute);
    actnPrevious->setShortcuts({QKeySequence(Qt::Key_PageUp), QKeySequence(Qt::Key_Backspace)});
    actnFullScreen = NewAction("Full Screen", "Full Screen", -1, always, &TfrmMain::actnFullScreenExecute);
    actnFullScreen->setShortcut(QKeySequence(Qt::Key_F11));

    // Tooltips name the key: "Save Image (Ctrl+S)"; Undo, without a hint, by its caption.
    for (const TActionRule& r : rules_) {
        if (r.Action->shortcut().isEmpty()) continue;
        const QString hint = r.Action->statusTip().isEmpty() ? r.Action->text() : r.Action->statusTip();
        r.Action->setToolTip(
            QStringLiteral("%1 (%2)").arg(hint, r.Action->shortcut().toString(QKeySequence::NativeText)));
    }

    // Escape leaves full screen, or else drops the selection.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        Guarded([this] {
            if (fullScreen_) {
                SetFullScreen(false);
                return;
            }
            ClearSelection();
            UpdateStatus();
        });
    });
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
    btnOpen = NewButton(actnOpen, 23 + TFlatButton::DropZoneWidth);
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    RecentMenu = new QMenu(this);
    RecentMenu->setObjectName(QStringLiteral("RecentMenu"));
    connect(RecentMenu, &QMenu::aboutToShow, this, [this] { Guarded([this] { RecentMenuPopup(); }); });
    btnOpen->SetDropdownMenu(RecentMenu);
    btnSave = NewButton(actnSave);

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
        PaintArea->setCursor(btnZoomTool->Down()        ? zoomCursor_
                             : btnColorPickTool->Down() ? QCursor(Qt::CrossCursor)
                                                        : QCursor(Qt::ArrowCursor));
    };
    btnSelectTool->OnClick = toolChanged;
    btnZoomTool->OnClick = toolChanged;
    btnColorPickTool->OnClick = toolChanged;

    btnCopy = NewButton(actnCopy);
    btnPaste = NewButton(actnPaste);
    btnUndo = NewButton(actnUndo);
    btnRedo = NewButton(actnRedo);
    btnFlip = NewButton(actnFlip);
    btnFlop = NewButton(actnFlop);
    btnRotateLeft = NewButton(actnRotateLeft);
    btnRotateRight = NewButton(actnRotateRight);

    ColorEffectsMenu = new QMenu(this);
    ColorEffectsMenu->setObjectName(QStringLiteral("ColorEffectsMenu"));
    ColorEffectsMenu->addAction(actnGamma);
    ColorEffectsMenu->addAction(actnLight);
    ColorEffectsMenu->addAction(actnDark);
    ColorEffectsMenu->addAction(actnMix);
    btnColorEffects = NewButton(nullptr, 23 + 10);
    btnColorEffects->SetImageIndex(giEnlighten);
    btnColorEffects->SetFullDrop(true);
    btnColorEffects->SetDropdownMenu(ColorEffectsMenu);
    btnColorEffects->setToolTip(QStringLiteral("Color effects"));
    btnCrop = NewButton(actnCrop);
    btnScale = NewButton(actnScale);
    btnAbout = NewButton(actnAbout);

    // Object names follow the member names, so tests and style sheets find each button.
    const std::pair<TFlatButton*, const char*> named[] = {{btnSave, "btnSave"},
                                                          {btnCopy, "btnCopy"},
                                                          {btnPaste, "btnPaste"},
                                                          {btnUndo, "btnUndo"},
                                                          {btnRedo, "btnRedo"},
                                                          {btnFlip, "btnFlip"},
                                                          {btnFlop, "btnFlop"},
                                                          {btnRotateLeft, "btnRotateLeft"},
                                                          {btnRotateRight, "btnRotateRight"},
                                                          {btnColorEffects, "btnColorEffects"},
                                                          {btnCrop, "btnCrop"},
                                                          {btnScale, "btnScale"},
                                                          {btnAbout, "btnAbout"}};
    for (const auto& [button, name] : named) button->setObjectName(QString::fromUtf8(name));

    auto* row = new QHBoxLayout(Toolbar);
    row->setContentsMargins(2, 2, 2, 3);
    row->setSpacing(0);
    const auto group = [row](std::initializer_list<TFlatButton*> members) {
        for (TFlatButton* b : members) row->addWidget(b);
        row->addSpacing(6);
    };
    group({btnOpen, btnSave});
    group({btnSelectTool, btnZoomTool, btnColorPickTool});
    group({btnCopy, btnPaste, btnUndo, btnRedo});
    group({btnFlip, btnFlop, btnRotateLeft, btnRotateRight});
    group({btnColorEffects, btnCrop, btnScale});
    row->addStretch(1);
    row->addWidget(btnAbout);
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
    for (const TActionRule& r : rules_) r.Action->setEnabled(r.Rule());
    // The colour-pick tool needs a picture; a tool that cannot be used gives way to zoom, so
    // that one tool is always down.
    btnColorPickTool->setEnabled(BitmapAssigned());
    if (btnColorPickTool->Down() && !btnColorPickTool->isEnabled()) {
        btnColorPickTool->SetDown(false);
        btnZoomTool->SetDown(true);
        PaintArea->setCursor(zoomCursor_);
    }
    UpdateCaption();
}

void TfrmMain::UpdateCaption() {
    // "photo.jpg* – Ovra Pixamo" while it has unsaved changes.
    const QString title =
        currentImage_
            ? QStringLiteral("%1%2 \u2013 Ovra Pixamo").arg(PictureName(), Modified() ? QStringLiteral("*") : QString())
            : QStringLiteral("Ovra Pixamo");
    if (windowTitle() != title) setWindowTitle(title);
}

void TfrmMain::ExecuteAction(QAction* action) {
    for (const TActionRule& r : rules_)
        if (r.Action == action) action->setEnabled(r.Rule());
    if (action->isEnabled()) action->trigger();
}

bool TfrmMain::BitmapAssigned() const { return currentImage_ != nullptr; }
bool TfrmMain::actnUndoUpdate() const { return undoHistory_.CanUndo(); }
bool TfrmMain::actnRedoUpdate() const { return undoHistory_.CanRedo(); }
bool TfrmMain::actnBrowseUpdate() const { return currentImage_ && !fileName_.empty(); }
bool TfrmMain::actnPasteUpdate() const { return clipboardHasBitmap_; }
bool TfrmMain::actnCropUpdate() const { return currentImage_ && HasSelection(); }
bool TfrmMain::actnZoomInUpdate() const { return currentImage_ && zoomFactor_ < MaxZoomFactor; }
bool TfrmMain::actnZoomOutUpdate() const { return currentImage_ && zoomFactor_ > MinZoomFactor; }

// ---- Document ----

void TfrmMain::LoadImage(const std::string& fileName) {
    TBusyCursor busy;
    // Read completely before anything of the document changes: a file that cannot be read
    // leaves the picture, its name, the undo steps, the selection and the zoom as they were.
    TPictureMetadata metadata;
    std::unique_ptr<TPixelBuffer> image = ReadPictureFile(fileName, loadOptions_, &metadata);
    ShowLoadedPicture(std::move(image), std::move(metadata), fileName);
    recentList_.Add(fileName);
    PrefetchNeighbour(fileName, 1);
}

void TfrmMain::ShowLoadedPicture(std::unique_ptr<TPixelBuffer> picture, TPictureMetadata metadata,
                                 const std::string& fileName) {
    const auto hold = HoldViewReaders();
    ClearSelection();
    undoHistory_.Clear();
    currentImage_ = std::move(picture);
    fileName_ = fileName;
    revision_ = nextRevision_++;
    cleanStates_ = {{revision_, fileName_}};
    browseFailed_.clear();
    metadata_ = std::move(metadata);
    zoomFactor_ = ZoomUnit;
    FitWindowToImage();
    UpdateStatus();
    UpdateCaption();
}

void TfrmMain::TakeUndoSnapshot(TUndoKind kind) {
    undoHistory_.Record(kind, {currentImage_, fileName_, metadata_, revision_});
    // The change that follows makes a new content.
    revision_ = nextRevision_++;
}

bool TfrmMain::Modified() const { return currentImage_ && cleanStates_.count({revision_, fileName_}) == 0; }

QString TfrmMain::PictureName() const {
    return fileName_.empty() ? QStringLiteral("(clipboard)") : QFileInfo(ToQString(fileName_)).fileName();
}

bool TfrmMain::ConfirmDiscardChanges() {
    if (!Modified()) return true;
    switch (AskSaveChanges(PictureName())) {
        case TSaveChoice::Discard:
            return true;
        case TSaveChoice::Cancel:
            return false;
        case TSaveChoice::Save:
            break;
    }
    try {
        return SaveWithDialog();
    } catch (const std::bad_alloc&) {
        ShowException(EOutOfMemory("Not enough memory for this command."));
    } catch (const std::exception& error) {
        ShowException(error);
    }
    return false;
}

std::unique_ptr<TPixelBuffer> TfrmMain::SelectionCopy() const {
    if (!HasSelection() || !currentImage_) return nullptr;
    return CopyRect(*currentImage_, selStart_.x(), selStart_.y(), selEnd_.x() - selStart_.x(),
                    selEnd_.y() - selStart_.y());
}

void TfrmMain::actnOpenExecute() {
    const std::optional<std::string> name = ChooseOpenFile(FolderOf(fileName_));
    if (name && ConfirmDiscardChanges()) LoadImage(*name);
}

void TfrmMain::actnSaveExecute() { SaveWithDialog(); }

bool TfrmMain::SaveWithDialog() {
    const std::optional<std::string> name = ChooseSaveFile(ProposedSaveName(fileName_));
    if (!name) return false;
    const TSaveFormat format = SaveFormatOf(*name);
    const TPictureMetadata* metadata = keepMetadata_ ? &metadata_ : nullptr;
    TSaveOptions options;
    if (format == TSaveFormat::Jpeg || format == TSaveFormat::Webp) {
        TSaveOptions& remembered = format == TSaveFormat::Jpeg ? jpegOptions_ : webpOptions_;
        auto dialog = std::make_unique<TfrmSaveOptions>(this);
        dialog->SetUp(*currentImage_, format, remembered, metadata);
        if (!RunSaveOptionsDialog(*dialog)) return false;
        remembered = options = dialog->Options();
    }
    TBusyCursor busy;
    SavePicture(*currentImage_, *name, options, metadata);
    fileName_ = *name;
    cleanStates_.insert({revision_, fileName_});
    recentList_.Add(*name);
    UpdateCaption();
    return true;
}

void TfrmMain::actnCopyExecute() {
    if (!currentImage_) return;
    const std::unique_ptr<TPixelBuffer> selection = SelectionCopy();
    QGuiApplication::clipboard()->setImage(ImageFromBuffer(selection ? *selection : *currentImage_));
}

void TfrmMain::btnPasteClick() {
    const QImage picture = QGuiApplication::clipboard()->image();
    if (picture.isNull() || picture.width() < 1 || picture.height() < 1)
        throw Exception("The clipboard holds no picture.");
    std::unique_ptr<TPixelBuffer> pasted = TPixelBuffer::CreateFromBitmap(std::move(*BitmapFromImage(picture)));
    if (!ConfirmDiscardChanges()) return;
    // The view's workers read the picture that goes.
    const auto hold = HoldViewReaders();
    // Undoable like every other change; the pasted picture has no file and no changes of
    // its own yet.
    if (currentImage_) TakeUndoSnapshot();
    currentImage_ = std::move(pasted);
    fileName_.clear();
    revision_ = nextRevision_++;
    cleanStates_.insert({revision_, fileName_});
    metadata_ = {};
    zoomFactor_ = ZoomUnit;
    FitWindowToImage();
    UpdateStatus();
    ClearSelection();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmMain::actnUndoExecute() {
    // A step replaces the picture, or turns it in place, under the view's workers.
    const auto hold = HoldViewReaders();
    undoHistory_.Undo({currentImage_, fileName_, metadata_, revision_});
    FitWindowToImage();
    ClearSelection();
}

void TfrmMain::actnRedoExecute() {
    const auto hold = HoldViewReaders();
    undoHistory_.Redo({currentImage_, fileName_, metadata_, revision_});
    FitWindowToImage();
    ClearSelection();
}

void TfrmMain::actnRotateLeftExecute() {
    TakeUndoSnapshot(TUndoKind::RotateLeft);
    currentImage_->RotateLeft();
    FitWindowToImage();
    UpdateStatus();
    ClearSelection();
}

void TfrmMain::actnRotateRightExecute() {
    TakeUndoSnapshot(TUndoKind::RotateRight);
    currentImage_->RotateRight();
    FitWindowToImage();
    UpdateStatus();
    ClearSelection();
}

void TfrmMain::actnFlipExecute() {
    TakeUndoSnapshot(TUndoKind::Flip);
    currentImage_->Flip();
    RenderView();
    ClearSelection();
}

void TfrmMain::actnFlopExecute() {
    TakeUndoSnapshot(TUndoKind::Flop);
    currentImage_->Flop();
    RenderView();
    ClearSelection();
}

void TfrmMain::actnCropExecute() {
    if (!currentImage_) return;
    TakeUndoSnapshot();
    std::unique_ptr<TPixelBuffer> cropped = SelectionCopy();
    if (!cropped) return;
    currentImage_ = std::move(cropped);
    zoomFactor_ = ZoomUnit;
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
    dialog->SetPresentSize(currentImage_->Width(), currentImage_->Height());
    if (!RunScaleDialog(*dialog)) return;
    const int height = dialog->NewHeight();
    const int width = dialog->NewWidth();
    if (width < 1 || height < 1)
        throw Exception(
            FormatText("The new size %dx%d is too small: width and height must be at least 1.", width, height));
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > MaxPicturePixels)
        throw Exception(FormatText("The new size %dx%d is too large: at most %lld pixels are allowed.", width, height,
                                   static_cast<long long>(MaxPicturePixels)));
    const TResampleFilter& filter = ResampleFilterAt(dialog->FilterIndex());
    // Scaled before the picture is touched, so a size the machine cannot give leaves the
    // picture and the undo steps as they were.
    std::unique_ptr<TPixelBuffer> scaled = TPixelBuffer::Create(width, height);
    currentImage_->Resample(*scaled, filter.Filter, filter.Support);
    TakeUndoSnapshot();
    currentImage_ = std::move(scaled);
    FitWindowToImage();
}

void TfrmMain::actnLightExecute() {
    TakeUndoSnapshot();
    Enlighten(*currentImage_);
    RenderView();
}

void TfrmMain::actnDarkExecute() {
    TakeUndoSnapshot();
    Endarken(*currentImage_);
    RenderView();
}

void TfrmMain::actnMixExecute() {
    const TFinally closing([this] { ClearSelection(); });
    const std::optional<TColor> color = ChooseColor(lastMixColor_);
    if (!color) return;
    lastMixColor_ = *color;
    TakeUndoSnapshot();
    MixWithColor(*currentImage_, *color);
    RenderView();
}

void TfrmMain::actnGammaExecute() {
    auto dialog = std::make_unique<TfrmGamma>(this);
    dialog->SetSourceImage(currentImage_.get());
    if (!RunGammaDialog(*dialog)) return;
    const double gamma = dialog->GammaValue();
    dialog.reset();
    TakeUndoSnapshot();
    ApplyGamma(*currentImage_, static_cast<float>(gamma));
    RenderView();
    ClearSelection();
}

void TfrmMain::actnAboutExecute() { RunAboutBox(); }

// ---- Folder browsing ----

void TfrmMain::actnNextExecute() { BrowseFolder(1); }
void TfrmMain::actnPreviousExecute() { BrowseFolder(-1); }

void TfrmMain::BrowseFolder(int step) {
    if (fileName_.empty()) return;
    // After a file that could not be opened, on from that file.
    const std::string from = !browseFailed_.empty() && browseFailedFrom_ == fileName_ ? browseFailed_ : fileName_;
    const std::string target = NeighbourPicture(from, step);
    if (target.empty()) {
        SetStatusNotice(step > 0 ? QStringLiteral("This is the last picture in the folder.")
                                 : QStringLiteral("This is the first picture in the folder."));
        return;
    }
    if (!ConfirmDiscardChanges()) return;
    TBusyCursor busy;
    std::optional<TReadPicture> read = prefetcher_->Take(target);
    // The one after it is read while this one is shown.
    PrefetchNeighbour(target, step);
    std::unique_ptr<TPixelBuffer> picture;
    TPictureMetadata metadata;
    try {
        if (read) {
            for (const std::string& warning : read->Warnings) ShowWarning(warning);
            if (read->Error) std::rethrow_exception(read->Error);
            picture = std::move(read->Picture);
            metadata = std::move(read->Metadata);
        } else {
            picture = ReadPictureFile(target, loadOptions_, &metadata);
        }
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        // Reported, and passed over by the next key.
        browseFailed_ = target;
        browseFailedFrom_ = fileName_;
        throw;
    }
    const std::string previous = fileName_;
    ShowLoadedPicture(std::move(picture), std::move(metadata), target);
    // The folder keeps one place in the recent files: the picture looked at last.
    if (recentList_.Count() > 0 && recentList_[0] == previous) recentList_.Remove(previous);
    recentList_.Add(target);
}

void TfrmMain::PrefetchNeighbour(const std::string& fileName, int step) {
    if (!ReadAhead) return;
    const std::string next = NeighbourPicture(fileName, step > 0 ? 1 : -1);
    if (next.empty())
        prefetcher_->Clear();
    else
        prefetcher_->Request(next, loadOptions_);
}

// ---- Full screen, colour pick, status notices ----

void TfrmMain::actnFullScreenExecute() { SetFullScreen(!fullScreen_); }

void TfrmMain::SetFullScreen(bool fullScreen) {
    if (fullScreen == fullScreen_) return;
    fullScreen_ = fullScreen;
    Toolbar->setVisible(!fullScreen);
    StatusBar->setVisible(!fullScreen);
    QPalette background = ScrollBox->viewport()->palette();
    background.setColor(QPalette::Window, fullScreen ? QColor(Qt::black) : QColor(240, 240, 255));
    ScrollBox->viewport()->setPalette(background);
    if (fullScreen) {
        showFullScreen();
        FormResize();
    } else {
        showNormal();
        ApplyMinimumOuterSize();
        // A picture opened meanwhile gets its window fitted.
        if (currentImage_) PlaceFittedWindow();
    }
}

int TfrmMain::BarsHeight() const { return fullScreen_ ? 0 : StatusBar->height() + Toolbar->height(); }

void TfrmMain::PickColor(QPoint position) {
    if (!currentImage_) return;
    // The pixel under the pointer: view positions map down, inside the picture.
    const auto map = [this](int view, int side) {
        return std::clamp(static_cast<int>(static_cast<long long>(view) * ZoomUnit / zoomFactor_), 0, side - 1);
    };
    const int x = map(position.x(), currentImage_->Width());
    const int y = map(position.y(), currentImage_->Height());
    const TPixel24 pixel = currentImage_->GetPixel(x, y);
    const QString hex = QString::asprintf("#%02X%02X%02X", pixel.Red, pixel.Green, pixel.Blue);
    QGuiApplication::clipboard()->setText(hex);
    lastMixColor_ = RGBColor(pixel.Red, pixel.Green, pixel.Blue);
    SetStatusNotice(QString::asprintf("%d, %d: %d %d %d ", x, y, pixel.Red, pixel.Green, pixel.Blue) + hex);
}

void TfrmMain::SetStatusNotice(const QString& notice) {
    statusNotice_ = notice;
    UpdateStatus();
}

// ---- Start-up, settings, recent files ----

void TfrmMain::FormShow() {
    const bool first = !shown_;
    if (first && !CommandLineArguments.isEmpty()) {
        const QFileInfo file(CommandLineArguments.first());
        // Kept with its full path, so that the recent-files entry still names it from
        // another working folder.
        if (file.isFile()) startFile_ = file.absoluteFilePath().toStdString();
    }
    TfrmBaseForm::FormShow();
    if (!first) return;
    shown_ = true;
    ApplyMinimumOuterSize();
    // Opened once the window is on the screen, so that a message about the file shows over it.
    if (!startFile_.empty()) QTimer::singleShot(0, this, [this] { OpenStartFile(); });
    UpdateActions();
}

void TfrmMain::OpenStartFile() {
    const std::string name = std::exchange(startFile_, {});
    Guarded([this, &name] {
        try {
            LoadImage(name);
        } catch (...) {
            // No picture after all: the window takes its stored placement.
            try {
                TfrmBaseForm::LoadSettings();
            } catch (const std::exception& error) {
                ShowException(error);
            }
            throw;
        }
    });
}

void TfrmMain::FrameKnown() {
    TfrmBaseForm::FrameKnown();
    ApplyMinimumOuterSize();
    if (fitPending_) PlaceFittedWindow();
}

void TfrmMain::LoadSettings() {
    // A picture opened at start fits the window to itself; the stored placement would be
    // undone by that, or, applied once the window manager has framed the window, undo it.
    std::exception_ptr placementFailure;
    if (startFile_.empty()) {
        try {
            TfrmBaseForm::LoadSettings();
        } catch (...) {
            placementFailure = std::current_exception();
        }
    }
    // Read whatever became of the placement: an unread list would be written back empty.
    TXMLDataBase& store = FormStore();
    recentList_.SetText(store.ReadSetting("RecentFiles", "").AsString());
    loadOptions_.AutoOrient = ReadBooleanSetting(store, "AutoOrient", true);
    loadOptions_.ColorManagement = ReadBooleanSetting(store, "ColorManagement", true);
    jpegOptions_.Quality = ReadBoundedSetting(store, "JpegQuality", DefaultSaveQuality, MinSaveQuality, MaxSaveQuality);
    jpegOptions_.Progressive = ReadBooleanSetting(store, "JpegProgressive", true);
    webpOptions_.Quality = ReadBoundedSetting(store, "WebpQuality", DefaultSaveQuality, MinSaveQuality, MaxSaveQuality);
    webpOptions_.Lossless = ReadBooleanSetting(store, "WebpLossless", false);
    keepMetadata_ = ReadBooleanSetting(store, "KeepMetadata", true);
    // Megabytes of picture copies kept for Undo.
    const int undoMegabytes = ReadBoundedSetting(store, "UndoMemoryMB", DefaultUndoMegabytes, 0, INT32_MAX);
    undoHistory_.SetByteBound(static_cast<std::uint64_t>(undoMegabytes) * Megabyte);
    recentListRead_ = true;
    if (placementFailure) std::rethrow_exception(placementFailure);
}

void TfrmMain::SaveSettings() {
    // Full screen is no placement of the window's own: the last one stays.
    if (!fullScreen_) TfrmBaseForm::SaveSettings();
    // A list never read (a window never shown, a settings file that could not be read)
    // would replace the stored one with what little this run added; so would the switches.
    if (!recentListRead_) return;
    TXMLDataBase& store = FormStore();
    store.WriteSetting("RecentFiles", recentList_.Text());
    // Written back so that the switches can be found in the file.
    store.WriteSetting("AutoOrient", loadOptions_.AutoOrient);
    store.WriteSetting("ColorManagement", loadOptions_.ColorManagement);
    store.WriteSetting("JpegQuality", jpegOptions_.Quality);
    store.WriteSetting("JpegProgressive", jpegOptions_.Progressive);
    store.WriteSetting("WebpQuality", webpOptions_.Quality);
    store.WriteSetting("WebpLossless", webpOptions_.Lossless);
    store.WriteSetting("KeepMetadata", keepMetadata_);
    store.WriteSetting("UndoMemoryMB", static_cast<std::int32_t>(undoHistory_.ByteBound() / Megabyte));
}

void TfrmMain::RecentMenuPopup() {
    for (QAction* item : RecentMenu->actions())
        if (item->property("Tag").toInt() != 1) {
            RecentMenu->removeAction(item);
            delete item;
        }
    if (recentList_.Count() == 0) RecentMenu->addAction(QStringLiteral("(no recent files)"))->setEnabled(false);
    for (std::size_t i = 0; i < recentList_.Count(); ++i) {
        const QString name = ToQString(recentList_[i]);
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
    if (!QFileInfo(ToQString(name)).isFile()) {
        recentList_.Remove(name);
        throw Exception(FormatText("File \"%s\" doesn't exist!", name.c_str()));
    }
    if (!ConfirmDiscardChanges()) return;
    recentList_.Remove(name);
    LoadImage(name);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (!data->hasUrls() || data->urls().isEmpty() || !data->urls().first().isLocalFile()) return;
    const std::string name = data->urls().first().toLocalFile().toStdString();
    event->acceptProposedAction();
    const auto open = [this, name] {
        Guarded([this, &name] {
            if (ConfirmDiscardChanges()) LoadImage(name);
        });
    };
    // The question waits until the drop is over: the program the file came from waits for
    // the drop to end and would stand still while it is asked.
    if (Modified())
        QTimer::singleShot(0, this, open);
    else
        open();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    bool leave = false;
    Guarded([this, &leave] { leave = ConfirmDiscardChanges(); });
    if (!leave) {
        event->ignore();
        return;
    }
    TfrmBaseForm::closeEvent(event);
}
