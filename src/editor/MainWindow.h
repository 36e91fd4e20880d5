// The main window: the one picture being edited with its undo and redo steps, every command
// of the toolbar, menus and shortcuts, stepping through the picture's folder, the zoomed view
// with the zoom, selection and colour-pick tools, full screen, the status line, the
// recent-files menu and the window's settings.
#pragma once

#include "core/SavePicture.h"
#include "editor/UndoHistory.h"
#include "formats/LoadPipeline.h"
#include "platform/Bitmap.h"
#include "settings/BaseForm.h"
#include "settings/RecentFiles.h"

#include <QColor>
#include <QCursor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QFileDialog;
class QMenu;
class QScrollArea;
class QTimer;
class TButtonGrouper;
class TFlatButton;
class TImageList;
class TPicturePrefetcher;
class TPixelBuffer;
class TStatusPanel;
class TTiledView;
class TToolbarPanel;
class TfrmGamma;
class TfrmMain;
class TfrmSaveOptions;
class TfrmScale;

// ZoomFactor counts eighths of the picture's size: ZoomUnit is 100 %. Zooming halves or
// doubles it between 12.5 % and 400 %.
constexpr int ZoomUnit = 8;
constexpr int MinZoomFactor = 1;
constexpr int MaxZoomFactor = 32;

// The answers to "Save changes to NAME?".
enum class TSaveChoice { Save, Discard, Cancel };

// The program's open and save dialogs. The open dialog starts in the given folder; the save
// dialog proposes the given name, offers the file types of SaveFormats, and gives a name typed
// without an extension the first extension of the file type chosen. An empty folder or name
// leaves the dialog's own start.
std::unique_ptr<QFileDialog> CreateOpenDialog(QWidget* owner, const std::string& folder);
std::unique_ptr<QFileDialog> CreateSaveDialog(QWidget* owner, const std::string& proposedName);

// The area the view is drawn on; its paint and mouse events go to the main window.
class TPaintArea : public QWidget {
    Q_OBJECT
public:
    TPaintArea(TfrmMain* form, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    // Ctrl + wheel zooms; the plain wheel scrolls the scroll box.
    void wheelEvent(QWheelEvent* event) override;

private:
    TfrmMain* form_;
    int wheelTurn_ = 0;  // eighths of a degree not yet turned into zoom steps
};

class TfrmMain : public TfrmBaseForm {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* owner = nullptr);
    ~TfrmMain() override;

    // Components, named as the form names them.
    TToolbarPanel* Toolbar;
    QScrollArea* ScrollBox;
    TPaintArea* PaintArea;
    TStatusPanel* StatusBar;
    TFlatButton* btnOpen;  // Open, with the recent-files drop-down
    TFlatButton* btnSave;  // Save
    TFlatButton* btnSelectTool;
    TFlatButton* btnZoomTool;
    TFlatButton* btnColorPickTool;
    TFlatButton* btnCopy;          // Copy
    TFlatButton* btnPaste;         // Paste
    TFlatButton* btnUndo;          // Undo
    TFlatButton* btnRedo;          // Redo
    TFlatButton* btnFlip;          // Flip
    TFlatButton* btnFlop;          // Flop
    TFlatButton* btnRotateLeft;    // Rotate -90
    TFlatButton* btnRotateRight;   // Rotate +90
    TFlatButton* btnColorEffects;  // colour effects menu
    TFlatButton* btnCrop;          // Crop
    TFlatButton* btnScale;         // Scale
    TFlatButton* btnAbout;         // About
    QMenu* RecentMenu;
    QMenu* ColorEffectsMenu;
    TImageList* ImageList;
    TImageList* DisabledImageList;
    QTimer* SelectionTimer;
    QTimer* ToolbarClearTimer;

    QAction* actnOpen;
    QAction* actnSave;
    QAction* actnCopy;
    QAction* actnPaste;
    QAction* actnUndo;
    QAction* actnRedo;
    QAction* actnRotateLeft;
    QAction* actnRotateRight;
    QAction* actnFlip;
    QAction* actnFlop;
    QAction* actnScale;
    QAction* actnCrop;
    QAction* actnLight;
    QAction* actnDark;
    QAction* actnMix;
    QAction* actnGamma;
    QAction* actnZoomIn;
    QAction* actnZoomOut;
    QAction* actnAbout;
    // Keys only: the next and previous picture of the folder, full screen.
    QAction* actnNext;
    QAction* actnPrevious;
    QAction* actnFullScreen;

    // The document.
    const TPixelBuffer* CurrentImage() const { return currentImage_.get(); }
    // The copy the next Undo brings back; null when that step is undone by an inverse
    // (rotate, flip, flop) or there is none.
    const TPixelBuffer* UndoImage() const { return undoHistory_.NextUndoCopy(); }
    const TUndoHistory& UndoHistory() const { return undoHistory_; }
    int ZoomFactor() const { return zoomFactor_; }
    QPoint SelStart() const { return selStart_; }
    QPoint SelEnd() const { return selEnd_; }
    int AntsPhase() const { return antsPhase_; }
    bool AntsDrawn() const { return antsDrawn_; }
    const TMRUList& RecentList() const { return recentList_; }
    const QCursor& ZoomCursor() const { return zoomCursor_; }
    TColor LastMixColor() const { return lastMixColor_; }
    // The file the picture was opened from or last saved to; empty for a pasted picture.
    const std::string& FileName() const { return fileName_; }
    // Whether the picture differs from the file (or clipboard picture) it came from or was
    // saved to.
    bool Modified() const;
    // How the caption and the save question name the picture: the file's name without its
    // folder, "(clipboard)" for a pasted one.
    QString PictureName() const;
    bool FullScreen() const { return fullScreen_; }
    // A text shown in the status line in place of the zoom until the view or the selection
    // changes: the end of the folder, a picked colour.
    const QString& StatusNotice() const { return statusNotice_; }
    const TLoadOptions& LoadOptions() const { return loadOptions_; }
    // EXIF and XMP of that file, written into the files the picture is saved to.
    const TPictureMetadata& Metadata() const { return metadata_; }
    // The save options last chosen, and whether saving carries the metadata ("KeepMetadata").
    const TSaveOptions& JpegOptions() const { return jpegOptions_; }
    const TSaveOptions& WebpOptions() const { return webpOptions_; }
    bool KeepMetadata() const { return keepMetadata_; }

    void LoadImage(const std::string& fileName);
    // Keeps the document as it is for Undo before a change and forgets the redo steps; a
    // change that only moves pixels gives its kind and is undone by its inverse.
    void TakeUndoSnapshot(TUndoKind kind = TUndoKind::Copy);
    // Before the picture is replaced: with unsaved changes, asks whether to save them. False
    // when the user cancels or the save fails (the picture stays as it was).
    bool ConfirmDiscardChanges();
    // The picture `step` places after (positive) or before (negative) the present one in its
    // folder; past either end the status line says so.
    void BrowseFolder(int step);
    void SetFullScreen(bool fullScreen);
    // The colour-pick tool's click at a view position.
    void PickColor(QPoint position);
    std::unique_ptr<TPixelBuffer> SelectionCopy() const;
    bool HasSelection() const;

    // The view.
    void FitWindowToImage();
    void RenderView();
    void UpdateStatus();
    void ClearSelection();
    void StartSelection(int x, int y);
    // A rectangle in view coordinates, right and bottom being the far corner.
    void SetSelection(int left, int top, int right, int bottom);
    QPoint ImageToView(QPoint p) const;
    QPoint ViewToImage(QPoint v) const;
    void DrawAnts(QPainter& painter) const;
    // The part of the paint area on screen, in view coordinates.
    QRect VisibleViewRect() const;
    // Whether the visible part of the view shows exact tiles only (no preview left).
    bool ViewShownExactly() const;
    // The exact pixels of a rectangle of the view, computed now.
    std::unique_ptr<TPixelBuffer> ViewPixels(QRect area) const;
    const TTiledView& TiledView() const { return *tiledView_; }
    // One zoom step in (steps > 0) or out, keeping the picture point under the view point at
    // where it is on the screen.
    void ZoomAt(int steps, QPoint at);
    void EraseAnts();
    void StepAnts();

    // Evaluates every enabling rule now; runs after each command and state change and on
    // every tick of the status timer.
    void UpdateActions();
    // Runs an action the way a click on its button does: only when its rule holds now.
    void ExecuteAction(QAction* action);

    // The recent-files menu.
    void RecentMenuPopup();
    void RecentOpen(QAction* sender);

    // What the program's dialogs would answer; tests replace them. An empty result is a
    // cancel. The open dialog is given the folder to start in, the save dialog the name to
    // propose (both empty when there is no current file).
    std::function<std::optional<std::string>(const std::string& folder)> ChooseOpenFile;
    std::function<std::optional<std::string>(const std::string& proposedName)> ChooseSaveFile;
    std::function<std::optional<TColor>(TColor initial)> ChooseColor;
    // Shows the dialog modally and returns whether it closed with OK.
    std::function<bool(TfrmScale& dialog)> RunScaleDialog;
    std::function<bool(TfrmGamma& dialog)> RunGammaDialog;
    // Shown after a JPEG or WebP name is chosen; the save stops unless it closes with OK.
    std::function<bool(TfrmSaveOptions& dialog)> RunSaveOptionsDialog;
    std::function<void()> RunAboutBox;
    // Asks "Save changes to NAME?" with Save, Discard and Cancel.
    std::function<TSaveChoice(const QString& name)> AskSaveChanges;

    // The area the window is fitted to and centred in; empty: the work area (the screen less
    // its panels) of the window's screen.
    void SetScreenArea(QRect area) { screenArea_ = area; }
    void SetScreenSize(QSize size) { SetScreenArea(QRect(QPoint(0, 0), size)); }
    QRect ScreenArea() const;
    // The arguments after the program's name; the first names a file to open when shown. The
    // window then fits itself to that picture instead of taking its stored placement.
    QStringList CommandLineArguments;

    // Whether the folder's next picture is read on a worker thread while one is shown; the
    // benchmark compares both ways.
    bool ReadAhead = true;

    // Bound on each side of the paint area, Qt's widget limit: a zoom that would need more is
    // refused.
    int ViewSideLimit = QWIDGETSIZE_MAX;

    void LoadSettings() override;
    void SaveSettings() override;

    // Runs a handler of the form; an exception escaping it goes to the application's handler
    // and the program carries on. The enabling rules are evaluated afterwards.
    void Guarded(const std::function<void()>& handler);

    // Mouse on the paint area.
    // Paints the exposed rectangle of the paint area (an empty one: all of it).
    void PaintAreaPaint(QPainter& painter, QRect exposed = {});
    void PaintAreaMouseDown(Qt::MouseButton button, QPoint position);
    void PaintAreaMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void FormShow() override;
    void FrameKnown() override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void CreateComponents();
    void CreateActions();
    void CreateToolbar();
    QAction* NewAction(const char* caption, const char* hint, int imageIndex, std::function<bool()> rule,
                       void (TfrmMain::*handler)());
    TFlatButton* NewButton(QAction* action, int width = 23);

    // Enabling rules.
    bool BitmapAssigned() const;
    bool actnUndoUpdate() const;
    bool actnRedoUpdate() const;
    bool actnBrowseUpdate() const;
    bool actnPasteUpdate() const;
    bool actnCropUpdate() const;
    bool actnZoomInUpdate() const;
    bool actnZoomOutUpdate() const;

    // Commands.
    void actnOpenExecute();
    void actnSaveExecute();
    void actnCopyExecute();
    void btnPasteClick();
    void actnUndoExecute();
    void actnRedoExecute();
    void actnNextExecute();
    void actnPreviousExecute();
    void actnFullScreenExecute();
    // Save dialog and writing; false when the dialog was cancelled.
    bool SaveWithDialog();
    // The document takes a picture read from a file (load and folder browsing).
    void ShowLoadedPicture(std::unique_ptr<TPixelBuffer> picture, TPictureMetadata metadata,
                           const std::string& fileName);
    // Reads the file after the given one ahead, in the direction of `step`.
    void PrefetchNeighbour(const std::string& fileName, int step);
    void UpdateCaption();
    void SetStatusNotice(const QString& notice);
    // The toolbar's and the status line's height; none in full screen.
    int BarsHeight() const;
    void actnRotateLeftExecute();
    void actnRotateRightExecute();
    void actnFlipExecute();
    void actnFlopExecute();
    void actnScaleExecute();
    void actnCropExecute();
    void actnLightExecute();
    void actnDarkExecute();
    void actnMixExecute();
    void actnGammaExecute();
    void actnZoomInExecute();
    void actnZoomOutExecute();
    void actnAboutExecute();
    void SetZoom(int zoomFactor);
    // Sizes the paint area to the picture at the zoom and fits the window around it.
    void FitPaintArea();
    // Stops the view's workers reading the picture while it changes; resumed when the returned
    // object goes.
    std::shared_ptr<void> HoldViewReaders();

    void FormResize();
    void SelectionTimerTimer();
    void ToolbarClearTimerTimer();
    void ApplyMinimumOuterSize();
    // Sizes the window around the paint area and centres it in the screen area, by its outer
    // size.
    void PlaceFittedWindow();
    void PlacePaintArea(int left, int top);
    void OpenStartFile();

    std::unique_ptr<TPixelBuffer> currentImage_;
    std::string fileName_;
    // Names the present content: every change gives a new one, Undo and Redo bring back the
    // one they restore.
    std::uint64_t revision_ = 0;
    std::uint64_t nextRevision_ = 1;
    // The revisions known to match a file (by name) or the clipboard (""): loaded, saved,
    // pasted.
    std::set<std::pair<std::uint64_t, std::string>> cleanStates_;
    TUndoHistory undoHistory_;
    std::unique_ptr<TPicturePrefetcher> prefetcher_;
    // A file the folder keys could not open, and the file shown then: the next key goes on
    // from the failed one while the same file is shown.
    std::string browseFailed_;
    std::string browseFailedFrom_;
    QString statusNotice_;
    bool fullScreen_ = false;
    TPictureMetadata metadata_;
    TSaveOptions jpegOptions_;
    TSaveOptions webpOptions_;
    bool keepMetadata_ = true;
    // Destroyed before the pictures it reads (see the destructor).
    std::unique_ptr<TTiledView> tiledView_;
    int zoomFactor_ = ZoomUnit;
    QPoint selStart_;
    QPoint selEnd_;
    QPoint dragOrigin_;
    int antsPhase_ = 0;
    bool antsDrawn_ = false;
    // A repaint asked for by StepAnts, which has moved the phase already.
    bool antsRepaintPending_ = false;
    TMRUList recentList_;
    // "AutoOrient" and "ColorManagement" of the settings file.
    TLoadOptions loadOptions_;
    std::unique_ptr<TButtonGrouper> ToolGroup;
    QCursor zoomCursor_;
    TColor lastMixColor_ = 0;
    QRect screenArea_;
    bool shown_ = false;
    // Fitted while the window manager had not framed the window: fitted again once it has.
    bool fitPending_ = false;
    // The picture named on the command line, until it is opened.
    std::string startFile_;
    // Whether the recent-files list was read from the settings: only then is it written back.
    bool recentListRead_ = false;
    bool clipboardHasBitmap_ = false;
    QWidget* scrollContent_ = nullptr;

    struct TActionRule {
        QAction* Action;
        std::function<bool()> Rule;
    };
    std::vector<TActionRule> rules_;
};
