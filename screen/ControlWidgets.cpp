#include "screen/ControlWidgets.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

#include <CoreFoundation/CFStandIn.h>
#include "dialog/WindowControls.h"

QString qtString(CFStringRef string)
{
    if (!string)
        return {};
    QString text = QString::fromStdString(StandIn::toUTF8(string));
    CFRelease(string);
    return text;
}

MirroredField::MirroredField(ControlRef control, QWidget* parent)
    : QLineEdit(parent)
    , m_control(control)
{
    setFocusPolicy(Qt::ClickFocus);
    setAcceptDrops(false);
    setFrame(true);
}

bool MirroredField::concealed() const
{
    Size size = 0;
    return GetControlData(m_control, kControlEntireControl, kControlEditTextPasswordTag, 0, nullptr, &size) == noErr;
}

int MirroredField::shownPosition(const std::string& modelText, int byteOffset) const
{
    auto end = static_cast<size_t>(std::clamp<int>(byteOffset, 0, static_cast<int>(modelText.size())));
    // A concealed field shows one bullet per character of its clear text.
    return QString::fromUtf8(modelText.data(), static_cast<qsizetype>(end)).size();
}

void MirroredField::syncFromModel()
{
    const bool hidden = concealed();
    QString shown = QString::fromStdString(controlText(m_control, kControlEditTextTextTag));
    if (text() != shown)
        setText(shown);
    ControlEditTextSelectionRec selection = {};
    GetControlData(m_control, kControlEntireControl, kControlEditTextSelectionTag, sizeof selection, &selection, nullptr);
    std::string offsetsText = hidden ? controlText(m_control, kControlEditTextPasswordTag) : shown.toStdString();
    int start = shownPosition(offsetsText, selection.selStart);
    int end = shownPosition(offsetsText, selection.selEnd);
    if (start == end)
        setCursorPosition(start);
    else
        setSelection(start, end - start);
}

void MirroredField::act(const std::function<OSStatus(std::string*)>& action)
{
    std::string error;
    if (action(&error) != noErr)
        QApplication::beep();
    emit userActed();
}

bool MirroredField::event(QEvent* event)
{
    // Tab belongs to the toolbox's focus order, not to Qt's.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QLineEdit::event(event);
}

void MirroredField::keyPressEvent(QKeyEvent* event)
{
    static const std::pair<int, StandIn::Key> named[] = { { Qt::Key_Backspace, StandIn::Key::Backspace }, { Qt::Key_Delete, StandIn::Key::Delete },
        { Qt::Key_Left, StandIn::Key::LeftArrow }, { Qt::Key_Right, StandIn::Key::RightArrow }, { Qt::Key_Up, StandIn::Key::UpArrow },
        { Qt::Key_Down, StandIn::Key::DownArrow }, { Qt::Key_Tab, StandIn::Key::Tab }, { Qt::Key_Backtab, StandIn::Key::Tab },
        { Qt::Key_Return, StandIn::Key::Return }, { Qt::Key_Enter, StandIn::Key::Return } };
    WindowRef window = GetControlOwner(m_control);
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_returnGoesToHost) {
        event->accept();
        emit returnPressed();
        return;
    }
    for (const auto& entry : named) {
        // A plain variable: clang 14 cannot capture a structured binding in a lambda.
        StandIn::Key key = entry.second;
        if (event->key() == entry.first) {
            event->accept();
            act([&](std::string* error) {
                return clickIntoField(m_control, nullptr) ? StandIn::pressKey(window, key, error) : static_cast<OSStatus>(StandIn::kUserActionRefusedErr);
            });
            return;
        }
    }
    const QString typed = event->text();
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier);
    if (typed.isEmpty() || command || !typed.at(0).isPrint()) {
        // Escape and shortcuts belong to the window.
        event->ignore();
        return;
    }
    event->accept();
    act([&](std::string* error) {
        return clickIntoField(m_control, nullptr) ? StandIn::typeText(window, typed.toStdString(), error) : static_cast<OSStatus>(StandIn::kUserActionRefusedErr);
    });
}

void MirroredField::inputMethodEvent(QInputMethodEvent* event)
{
    const QString committed = event->commitString();
    event->accept();
    if (committed.isEmpty())
        return;
    act([&](std::string* error) {
        return clickIntoField(m_control, nullptr) ? StandIn::typeText(GetControlOwner(m_control), committed.toStdString(), error)
                                                  : static_cast<OSStatus>(StandIn::kUserActionRefusedErr);
    });
}

void MirroredField::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    act([&](std::string* error) {
        ControlRef focused = nullptr;
        GetKeyboardFocus(GetControlOwner(m_control), &focused);
        if (focused != m_control)
            return StandIn::clickControl(m_control, error);
        // Where the caret lands needs the clear text's offsets, which a concealed field keeps to itself.
        if (concealed())
            return static_cast<OSStatus>(noErr);
        int position = cursorPositionAt(event->position().toPoint());
        auto offset = static_cast<int>(text().left(position).toUtf8().size());
        return StandIn::selectRange(m_control, offset, offset, error);
    });
}

void MirroredField::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}

void MirroredField::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
}

void MirroredField::contextMenuEvent(QContextMenuEvent* event)
{
    // Cut, paste and undo would edit the text behind the key filter's back.
    event->accept();
}

void PortPicture::setImage(const QImage& image)
{
    m_image = image;
    update();
}

void PortPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(0, 0, m_image);
}
