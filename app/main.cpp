#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvik"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tarvik"));
    window.show();
    return app.exec();
}
