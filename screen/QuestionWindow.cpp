#include "screen/QuestionWindow.h"

#include <QDialog>
#include <QVBoxLayout>

namespace {

// Wide enough for a problem line on one line, and for the title to show the document and queue.
constexpr int kWindowWidth = 480;

}

QVBoxLayout* questionLayout(QDialog* window)
{
    auto* layout = new QVBoxLayout(window);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addStrut(kWindowWidth);
    return layout;
}
