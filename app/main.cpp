#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream(stdout) << "Dallowmere: the libraries are built; the main window is not built yet.\n";
    return 0;
}
