#include "app/mapprinter.h"

#include <QFile>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QPrinter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray printToPdf(QGraphicsScene *scene, const QString &path)
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    if (!renderMapToPage(scene, &printer))
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestMapPrinter : public QObject
{
    Q_OBJECT
private slots:
    void printsSceneToPdf();
    void printsEmptySceneRectangle();
    void refusesMissingSceneOrDevice();

private:
    QTemporaryDir m_dir;
};

void TestMapPrinter::printsSceneToPdf()
{
    QGraphicsScene scene(0, 0, 10000, 10000);
    for (int i = 0; i < 50; ++i)
        scene.addRect(100 + 150 * i, 200, 100, 100, QPen(Qt::black), QBrush(Qt::blue));
    const QByteArray pdf = printToPdf(&scene, m_dir.filePath("map.pdf"));
    QVERIFY(pdf.startsWith("%PDF"));

    QGraphicsScene empty(0, 0, 10000, 10000);
    const QByteArray blank = printToPdf(&empty, m_dir.filePath("blank.pdf"));
    // The drawn squares make the page's content stream longer than a blank page's.
    QVERIFY(pdf.size() > blank.size());
}

void TestMapPrinter::printsEmptySceneRectangle()
{
    QGraphicsScene scene(0, 0, 10000, 10000);
    const QByteArray pdf = printToPdf(&scene, m_dir.filePath("empty.pdf"));
    QVERIFY(pdf.startsWith("%PDF"));
    QVERIFY(pdf.contains("/Page"));
}

void TestMapPrinter::refusesMissingSceneOrDevice()
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath("none.pdf"));
    QVERIFY(!renderMapToPage(nullptr, &printer));
    QGraphicsScene scene;
    QVERIFY(!renderMapToPage(&scene, nullptr));
}

QTEST_MAIN(TestMapPrinter)
#include "tst_mapprinter.moc"
