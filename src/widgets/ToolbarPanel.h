// The toolbar strip that holds the toolbar buttons, and the one-text status line.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QSizeGrip;

class TToolbarPanel : public QWidget {
    Q_OBJECT
public:
    explicit TToolbarPanel(QWidget* parent = nullptr);

    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    // Off: the strip paints its own colour when themes are off; on: the parent shows through.
    bool ParentBackground() const { return parentBackground_; }
    void SetParentBackground(bool value);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    bool parentBackground_ = true;
};

class TStatusPanel : public QWidget {
    Q_OBJECT
public:
    explicit TStatusPanel(QWidget* parent = nullptr);

    QString SimpleText() const { return simpleText_; }
    // A different text is stored and shown; the same text again changes nothing.
    void SetSimpleText(const QString& text);
    bool SizeGrip() const { return sizeGrip_; }
    void SetSizeGrip(bool value);
    // Whether the grip shows now: SizeGrip on, a resizable window, and this panel's
    // bottom-right corner at the window's bottom-right corner.
    bool SizeGripApplies() const { return gripApplies_; }
    bool UseSystemFont() const { return useSystemFont_; }
    void SetUseSystemFont(bool value);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    bool AutoHint() const { return autoHint_; }
    void SetAutoHint(bool value) { autoHint_ = value; }

signals:
    // The text went to the screen.
    void SimpleTextSent(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ApplySystemFont();
    void UpdateGrip();
    void WatchWindow();

    QString simpleText_;
    QColor color_;
    bool sizeGrip_ = true;
    bool useSystemFont_ = true;
    bool autoHint_ = false;
    bool gripApplies_ = false;
    QSizeGrip* grip_ = nullptr;
    QWidget* watchedWindow_ = nullptr;
};
