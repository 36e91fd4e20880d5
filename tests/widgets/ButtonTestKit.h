// Mouse and paint helpers for driving toolbar buttons in tests.
#pragma once

#include "widgets/FlatButton.h"
#include "widgets/ImageList.h"

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint at) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}
inline void Press(QWidget* w, QPoint at = {5, 5}) { SendMouse(w, QEvent::MouseButtonPress, at); }
inline void Release(QWidget* w, QPoint at = {5, 5}) { SendMouse(w, QEvent::MouseButtonRelease, at); }
inline void ClickAt(QWidget* w, QPoint at = {5, 5}) {
    Press(w, at);
    Release(w, at);
}
inline void Hover(QWidget* w) {
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(w, &enter);
}

// A list with one glyph of a single colour, fully opaque.
inline void FillSolidList(TImageList& list, QColor color) {
    QImage glyph(list.Size(), QImage::Format_ARGB32);
    glyph.fill(color);
    list.Add(glyph);
}

// A window that fills its background with the colour, for checking what shows through.
inline void FillWindow(QWidget& window, QColor color) {
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, color);
    window.setPalette(palette);
}

inline QImage Snapshot(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }
