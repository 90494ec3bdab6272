#include "screen/WindowMirror.h"

#include <Graphics/QuickDrawStandIn.h>
#include "dialog/WindowControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include <set>

namespace {

QRect boundsOf(ControlRef control)
{
    Rect bounds = {};
    GetControlBounds(control, &bounds);
    return QRect(bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top);
}

QImage portImage(WindowRef window)
{
    std::vector<uint8_t> rgba;
    int width = 0;
    int height = 0;
    if (!StandIn::copyPortPixels(GetWindowPort(window), &rgba, &width, &height))
        return {};
    return QImage(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888).copy();
}

MenuRef popupMenu(ControlRef popup)
{
    MenuRef menu = nullptr;
    GetControlData(popup, kControlEntireControl, kControlPopupButtonMenuRefTag, sizeof menu, &menu, nullptr);
    return menu;
}

}

WindowMirror::WindowMirror(WindowRef window, QWidget* parent)
    : QDialog(parent)
    , m_window(window)
{
    Rect content = {};
    GetWindowContentBounds(window, &content);
    setFixedSize(content.right - content.left, content.bottom - content.top);
    CFStringRef title = nullptr;
    CopyWindowTitleAsCFString(window, &title);
    setWindowTitle(qtString(title));
    ControlRef root = nullptr;
    GetRootControl(window, &root);
    build(root);
    sync();
}

void WindowMirror::build(ControlRef parent)
{
    UInt16 count = 0;
    CountSubControls(parent, &count);
    for (UInt16 index = 1; index <= count; ++index) {
        ControlRef control = nullptr;
        GetIndexedSubControl(parent, index, &control);
        ControlKind kind = {};
        GetControlKind(control, &kind);
        UInt16 children = 0;
        CountSubControls(control, &children);
        // Parents come first, so a pane's widget lies beneath its controls' widgets.
        QWidget* widget = makeWidget(control, kind.kind, children == 0);
        ControlID controlID = {};
        GetControlID(control, &controlID);
        if (controlID.signature == kPaneControlSignature) {
            widget->setObjectName(QString::number(controlID.id));
            if (kind.kind == kControlKindPopupButton)
                widget->findChild<QComboBox*>()->setObjectName(QString::number(controlID.id));
        }
        widget->setGeometry(boundsOf(control));
        m_controls.push_back({ control, parent, kind.kind, widget, {} });
        build(control);
    }
}

QWidget* WindowMirror::makeWidget(ControlRef control, OSType kind, bool leaf)
{
    switch (kind) {
    case kControlKindPushButton:
    case kControlKindRadioButton:
    case kControlKindCheckBox: {
        QAbstractButton* button = nullptr;
        if (kind == kControlKindPushButton) {
            auto* push = new QPushButton(this);
            push->setAutoDefault(false);
            ControlRef defaultButton = nullptr;
            GetWindowDefaultButton(m_window, &defaultButton);
            push->setDefault(control == defaultButton);
            button = push;
        } else if (kind == kControlKindRadioButton) {
            button = new QRadioButton(this);
            button->setAutoExclusive(false);
        } else {
            button = new QCheckBox(this);
        }
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QAbstractButton::clicked, this, [this, control] { click(control); });
        return button;
    }
    case kControlKindPopupButton: {
        // A popup shows its title on its left, as the toolbox draws it, and its menu beside.
        auto* popup = new QWidget(this);
        auto* layout = new QHBoxLayout(popup);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new QLabel(popup));
        auto* combo = new QComboBox(popup);
        layout->addWidget(combo, 1);
        combo->setFocusPolicy(Qt::NoFocus);
        connect(combo, &QComboBox::activated, this, [this, control](int row) {
            for (const auto& mirrored : m_controls) {
                if (mirrored.control == control)
                    return choose(mirrored, row);
            }
        });
        return popup;
    }
    case kControlKindStaticText: {
        auto* label = new QLabel(this);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case kControlKindEditText:
    case kControlKindEditUnicodeText: {
        auto* field = new MirroredField(control, this);
        connect(field, &MirroredField::userActed, this, &WindowMirror::userActed);
        return field;
    }
    default:
        // A childless pane is drawn by its owner into the window's port.
        if (kind == kControlKindUserPane && leaf)
            return new PortPicture(this);
        return new QWidget(this);
    }
}

QWidget* WindowMirror::widgetFor(ControlRef control) const
{
    for (const auto& mirrored : m_controls) {
        if (mirrored.control == control)
            return mirrored.widget;
    }
    return nullptr;
}

void WindowMirror::answerClicks(ControlRef control, std::function<void()> handler)
{
    m_hostButtons[control] = std::move(handler);
    ControlRef defaultButton = nullptr;
    GetWindowDefaultButton(m_window, &defaultButton);
    if (control != defaultButton)
        return;
    for (const auto& mirrored : m_controls) {
        if (auto* field = qobject_cast<MirroredField*>(mirrored.widget)) {
            field->m_returnGoesToHost = true;
            connect(field, &MirroredField::returnPressed, this, [this, control] { hostAnswers(control); });
        }
    }
}

bool WindowMirror::hostAnswers(ControlRef control)
{
    auto host = m_hostButtons.find(control);
    if (host == m_hostButtons.end())
        return false;
    // The handler may end the dialog: this mirror must not read the model after it.
    host->second();
    return true;
}

void WindowMirror::click(ControlRef control)
{
    if (!m_window || hostAnswers(control))
        return;
    if (StandIn::clickControl(control, nullptr) != noErr)
        QApplication::beep();
    emit userActed();
}

void WindowMirror::choose(const Mirrored& popup, int row)
{
    if (!m_window || row < 0 || static_cast<size_t>(row) >= popup.items.size())
        return;
    MenuItemIndex item = popup.items[static_cast<size_t>(row)];
    // Choosing the item already shown changes nothing, and a hidden one shown only because it is chosen cannot be chosen.
    if (static_cast<SInt32>(item) != GetControl32BitValue(popup.control) && StandIn::choosePopupItem(popup.control, item, nullptr) != noErr)
        QApplication::beep();
    emit userActed();
}

void WindowMirror::sync()
{
    if (!m_window)
        return;
    QImage port;
    std::set<ControlRef> shown;
    ControlRef root = nullptr;
    GetRootControl(m_window, &root);
    shown.insert(root);
    ControlRef focused = nullptr;
    GetKeyboardFocus(m_window, &focused);
    for (auto& mirrored : m_controls) {
        if (qobject_cast<PortPicture*>(mirrored.widget) && port.isNull())
            port = portImage(m_window);
        bool parentVisible = shown.contains(mirrored.parent);
        syncControl(mirrored, parentVisible, port);
        if (parentVisible && IsControlVisible(mirrored.control))
            shown.insert(mirrored.control);
        if (mirrored.control == focused && mirrored.widget->isVisibleTo(this))
            mirrored.widget->setFocus(Qt::OtherFocusReason);
    }
}

void WindowMirror::syncControl(Mirrored& mirrored, bool parentVisible, const QImage& port)
{
    ControlRef control = mirrored.control;
    QWidget* widget = mirrored.widget;
    widget->setGeometry(boundsOf(control));
    widget->setVisible(parentVisible && IsControlVisible(control));
    widget->setEnabled(IsControlEnabled(control));
    SInt32 value = GetControl32BitValue(control);
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        CFStringRef title = nullptr;
        CopyControlTitleAsCFString(control, &title);
        button->setText(qtString(title));
        if (auto* box = qobject_cast<QCheckBox*>(button)) {
            box->setTristate(value == kControlCheckBoxMixedValue);
            box->setCheckState(value == kControlCheckBoxMixedValue ? Qt::PartiallyChecked : value ? Qt::Checked
                                                                                                  : Qt::Unchecked);
        } else if (mirrored.kind == kControlKindRadioButton) {
            button->setCheckable(true);
            button->setChecked(value != 0);
        }
    } else if (mirrored.kind == kControlKindPopupButton) {
        syncPopup(mirrored);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(QString::fromStdString(controlText(control, kControlEditTextTextTag)));
    } else if (auto* field = qobject_cast<MirroredField*>(widget)) {
        field->syncFromModel();
    } else if (auto* picture = qobject_cast<PortPicture*>(widget)) {
        picture->setImage(port.copy(boundsOf(control)));
    }
}

void WindowMirror::syncPopup(Mirrored& mirrored)
{
    auto* combo = mirrored.widget->findChild<QComboBox*>();
    auto* title = mirrored.widget->findChild<QLabel*>();
    CFStringRef titleText = nullptr;
    CopyControlTitleAsCFString(mirrored.control, &titleText);
    title->setText(qtString(titleText));
    title->setVisible(!title->text().isEmpty());
    MenuRef menu = popupMenu(mirrored.control);
    auto chosen = static_cast<MenuItemIndex>(GetControl32BitValue(mirrored.control));
    std::vector<MenuItemIndex> items;
    QStringList texts;
    int chosenRow = -1;
    UInt16 count = menu ? CountMenuItems(menu) : 0;
    for (MenuItemIndex item = 1; item <= count; ++item) {
        MenuItemAttributes attributes = 0;
        GetMenuItemAttributes(menu, item, &attributes);
        // A hidden item is offered to no one, but the one already chosen is still what the popup shows.
        if ((attributes & kMenuItemAttrHidden) && item != chosen)
            continue;
        if (item == chosen)
            chosenRow = static_cast<int>(items.size());
        CFStringRef text = nullptr;
        CopyMenuItemTextAsCFString(menu, item, &text);
        texts.push_back(qtString(text));
        items.push_back(item);
    }
    QSignalBlocker quiet(combo);
    QStringList current;
    for (int row = 0; row < combo->count(); ++row)
        current.push_back(combo->itemText(row));
    if (current != texts || items != mirrored.items) {
        combo->clear();
        combo->addItems(texts);
        mirrored.items = std::move(items);
    }
    combo->setCurrentIndex(chosenRow);
}

void WindowMirror::closeEvent(QCloseEvent* event)
{
    // Whether the window goes is the model's decision.
    event->ignore();
    emit closeRequested();
}

void WindowMirror::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        emit closeRequested();
        return;
    }
    event->ignore();
}
