// The Qt widgets that stand for toolbox controls whose behaviour Qt must not own: an edit
// field that never edits itself, and a picture cut from the window's port.
#pragma once

#include <HIToolbox/HIToolbox.h>
#include <HIToolbox/UserActionsStandIn.h>

#include <QImage>
#include <QLineEdit>
#include <QWidget>

#include <functional>
#include <string>

// The text, caret and focus come from the model; every key and click goes to the toolbox.
class MirroredField : public QLineEdit {
    Q_OBJECT
public:
    MirroredField(ControlRef control, QWidget* parent);

    void syncFromModel();

signals:
    // Emitted after each attempt, refused or not: the model may have changed either way.
    void userActed();
    // Return in a window whose default button the host itself answers.
    void returnPressed();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void act(const std::function<OSStatus(std::string*)>& action);
    bool concealed() const;
    // A 'sele' byte offset as a position in the characters shown.
    int shownPosition(const std::string& modelText, int byteOffset) const;

    ControlRef m_control;
    bool m_returnGoesToHost { false };

    friend class WindowMirror;
};

// A user pane the pane draws into the window's port by itself (the on/off picture).
class PortPicture : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};

// A toolbox text as Qt text; the string is released.
QString qtString(CFStringRef string);
