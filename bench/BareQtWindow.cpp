// The anchor of the on-screen benchmarks: the least a Qt Widgets program does to show a window
// of a given size; with --text, a window that shows a line of text, and so sets up fonts as any
// window with words does; with --snapshot, a PNG picture of the window instead, rendered
// offscreen as printdialog --snapshot renders its own.
// Usage: BareQtWindow WIDTH HEIGHT [--text] [--snapshot FILE]
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    bool text = false;
    const char* snapshot = nullptr;
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "--text") == 0)
            text = true;
        else if (strcmp(argv[i], "--snapshot") == 0 && i + 1 < argc)
            snapshot = argv[++i];
        else
            return 2;
    }
    if (snapshot)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    QWidget window;
    window.resize(atoi(argv[1]), atoi(argv[2]));
    std::unique_ptr<QLabel> label;
    if (text)
        label = std::make_unique<QLabel>("Accounting", &window);
    if (snapshot)
        return window.grab().save(QString::fromLocal8Bit(snapshot), "PNG") ? 0 : 1;
    window.show();
    return application.exec();
}
