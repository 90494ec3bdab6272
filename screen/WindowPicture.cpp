#include "screen/WindowPicture.h"

#include "screen/QtApplication.h"
#include "screen/WindowMirror.h"

#include <QImage>

bool snapshotWindow(WindowRef window, const std::string& path, std::string* error)
{
    if (!screenApplication(true, error))
        return false;
    WindowMirror mirror(window);
    mirror.setAttribute(Qt::WA_DontShowOnScreen);
    mirror.show();
    QImage picture = mirror.grab().toImage();
    if (picture.isNull() || !picture.save(QString::fromStdString(path), "PNG")) {
        *error = path + ": the picture could not be written";
        return false;
    }
    return true;
}
