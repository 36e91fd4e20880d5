// The form every window of the program derives from. It remembers the window's placement
// (position, outer size, maximized state) in the settings file, under "dataroot", element
// "tableViews\<component name>", group "settings"; lets descendants keep further settings of
// their own; and makes Enter act as Tab in text boxes and closed combo boxes.
//
// The form is a QDialog so that the OK/Cancel dialogs get modal exec(), default and cancel
// buttons and centring on their owner from Qt; a form created with the plain window type
// (the default) is an ordinary top-level window on which Escape does nothing.
#pragma once

#include <QDialog>
#include <QMargins>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class TXMLDataBase;
class TXmlNode;

// The application's handler of failures that reach the top: shows the message in a message
// box titled with the application's name. The program carries on afterwards.
void ShowException(const std::exception& error);
using TExceptionHandler = std::function<void(const std::exception&)>;
// Replaces the handler (tests record the message instead); returns the previous one. An
// empty handler restores the message box.
TExceptionHandler SetExceptionHandler(TExceptionHandler handler);

// The settings file a form opens when it needs a store of its own. Empty (the default) means
// SettingsFileName(), the file beside the executable; tests point it into a folder of theirs.
void SetFormSettingsFileName(const std::string& fileName);
std::string FormSettingsFileName();

class TfrmBaseForm : public QDialog {
    Q_OBJECT
public:
    // A constructor of a form class, for CreateChildForm.
    using TFormClass = TfrmBaseForm* (*)(QWidget* owner);

    explicit TfrmBaseForm(QWidget* owner = nullptr, Qt::WindowFlags flags = Qt::Window);
    // Runs BeforeDestruction when nobody did.
    ~TfrmBaseForm() override;

    // The form's element in the settings store, creating the store (which reads the file, or
    // writes a new three-line one) on first use.
    TXmlNode* GetFormNode();
    // The store in use, creating it as GetFormNode does.
    TXMLDataBase& FormStore();
    bool OwnsStore() const { return static_cast<bool>(ownedStore_); }

    bool SkipAutoLoad = false;
    bool KeepPosition = true;
    bool KeepSize = true;

    // Size first, then position, so that a maximized window is sized and placed before it
    // is maximized. Descendants extend these with settings of their own, calling the base
    // first.
    virtual void LoadSettings();
    virtual void SaveSettings();

    // Creates a form of the given class owned by this one that keeps its placement nested
    // under this form's element and in this form's store, and loads its settings.
    virtual TfrmBaseForm* CreateChildForm(TFormClass formClass);
    template <class TForm> TForm* CreateChildForm() {
        return static_cast<TForm*>(CreateChildForm([](QWidget* owner) -> TfrmBaseForm* { return new TForm(owner); }));
    }

    // The leaving steps: SaveSettings, destroy the child forms (each saves its own
    // placement), then write the whole settings file when this form owns the store, and free
    // the store. Runs once. Failures (a file that cannot be written) go to ShowException.
    // A descendant that overrides SaveSettings calls this first thing in its destructor,
    // while its own part still exists.
    void BeforeDestruction();

protected:
    virtual void SavePosition();
    virtual void LoadPosition();
    virtual void SaveSize();
    virtual void LoadSize();
    // Runs on every (non-spontaneous) showing: LoadSettings unless SkipAutoLoad. A failure
    // goes to ShowException and the window keeps the placement it had.
    virtual void FormShow();
    // Runs once per showing, as soon as the window manager has put its frame around the
    // window (at once where there is none): applies a placement loaded before that.
    // Descendants that place the window by its outer size extend it.
    virtual void FrameKnown();

    // Whether the window system may not have put its frame around the window yet, so that
    // the outer placement cannot be told from the client's.
    bool FrameUnknown() const;
    // The window with its frame; while the frame is unknown, the client area alone.
    QRect OuterGeometry() const;
    // The smallest outer size the window can have: its minimum size with the frame.
    QSize MinimumOuterSize() const;
    // Moves the window so that its outer top-left corner lies at the point.
    void MoveOuterTo(QPoint topLeft);
    // FrameKnown runs again once the frame is known (for a window placed while it was not).
    void WaitForFrame();
    // Forgets a placement loaded while the frame was unknown, for a window placed anew since.
    void DropPendingPlacement();

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Enter in a text box or a closed combo box: swallowed, and a Tab key press posted to
    // the form, so the focus moves on. Returns whether the key was swallowed.
    bool EnterAsTab(QWidget* focused);
    bool DefaultButtonTakesEnter() const;
    // The frame the window system has put around the window; none while it is unknown.
    std::optional<QMargins> FrameMargins() const;
    void StopWaitingForFrame();

    // A placement loaded before the frame was known, applied again once it is, so that the
    // stored outer bounds do not grow or wander by the frame's size from run to run.
    std::optional<QPoint> pendingPosition_;
    std::optional<QSize> pendingSize_;
    bool awaitingFrame_ = false;
    int frameTimer_ = 0;
    // The frame the window last had, for the times it has none to report (hidden, or being
    // framed anew).
    mutable std::optional<QMargins> knownFrame_;
    int frameChecks_ = 0;

    std::unique_ptr<TXMLDataBase> ownedStore_;
    TXMLDataBase* store_ = nullptr;
    TXmlNode* formNode_ = nullptr;
    bool destroyed_ = false;
};
