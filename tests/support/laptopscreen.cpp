#include "laptopscreen.h"

#include <QFile>
#include <QTemporaryDir>

bool LaptopScreen::use()
{
    // The platform reads the file when the application starts: it stays until the process ends.
    static QTemporaryDir dir;
    QFile screens(dir.filePath(QStringLiteral("screens.json")));
    if (!dir.isValid() || !screens.open(QIODevice::WriteOnly))
        return false;
    const QByteArray json = QStringLiteral(R"({"screens": [{"name": "laptop", "x": %1, "y": %2,
        "width": %3, "height": %4, "logicalDpi": 96, "logicalBpi": 96, "dpr": 1}]})")
                                .arg(Geometry.x())
                                .arg(Geometry.y())
                                .arg(Geometry.width())
                                .arg(Geometry.height())
                                .toUtf8();
    if (screens.write(json) != json.size())
        return false;
    screens.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    return true;
}
