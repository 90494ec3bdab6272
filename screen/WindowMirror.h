// A toolbox window on screen: a Qt window whose child widgets stand for the window's controls,
// placed at the controls' bounds. The toolbox stays the authority: widgets show the model,
// and every click, choice and key goes back through the toolbox's user actions.
#pragma once

#include "screen/ControlWidgets.h"

#include <QDialog>

#include <functional>
#include <map>
#include <vector>

class QComboBox;

class WindowMirror : public QDialog {
    Q_OBJECT
public:
    explicit WindowMirror(WindowRef window, QWidget* parent = nullptr);

    WindowRef toolboxWindow() const { return m_window; }
    // Shows the model again: values, texts, visibility, enabling, the caret and the picture.
    void sync();
    // The toolbox window is gone: the mirror keeps its last look and no longer reads the model.
    void detach() { m_window = nullptr; }

    QWidget* widgetFor(ControlRef control) const;
    // A click on control, and Return for the window's default button, go to handler instead of
    // the toolbox: the host answers its own buttons.
    void answerClicks(ControlRef control, std::function<void()> handler);

signals:
    // After every user action on the window, refused or not.
    void userActed();
    // The person closed the window or pressed Escape.
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Mirrored {
        ControlRef control;
        ControlRef parent;
        OSType kind;
        QWidget* widget;
        // Combo box rows to menu items.
        std::vector<MenuItemIndex> items;
    };

    void build(ControlRef parent);
    QWidget* makeWidget(ControlRef control, OSType kind, bool leaf);
    void click(ControlRef control);
    void choose(const Mirrored& popup, int row);
    void syncControl(Mirrored& mirrored, bool parentVisible, const QImage& port);
    void syncPopup(Mirrored& mirrored);
    bool hostAnswers(ControlRef control);

    WindowRef m_window;
    std::vector<Mirrored> m_controls;
    std::map<ControlRef, std::function<void()>> m_hostButtons;
};
