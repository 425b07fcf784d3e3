#include "support/apptestsupport.h"
#include "support/craftedjpeg.h"
#include "support/craftedpng.h"
#include "support/modaldriver.h"

#include "app/animationtemplate.h"
#include "app/backgroundpicture.h"
#include "app/layoutview.h"
#include "app/metatool.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/buildinfo.h"
#include "model/effectengine.h"
#include "model/mapmodel.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

// The commands that turn the map into pictures and back: the animation template, the
// background image, and the two boxes of the Settings and Help menus.
class TestMapImages : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { isolateTestEnvironment(); }

    void templatePixels_data()
    {
        QTest::addColumn<QList<QPointF>>("lights");
        QTest::addColumn<int>("grid");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QPoint>>("lit");
        QTest::newRow("one light")
            << QList<QPointF>{{500, 300}} << 12 << QSize(1, 1) << QList<QPoint>{{0, 0}};
        QTest::newRow("gap between two") << QList<QPointF>{{0, 0}, {24, 0}} << 12 << QSize(3, 1)
                                         << QList<QPoint>{{0, 0}, {2, 0}};
        // The extent always reaches the origin from the negative side.
        QTest::newRow("negative") << QList<QPointF>{{-30, -10}} << 10 << QSize(4, 2)
                                  << QList<QPoint>{{0, 0}};
    }
    void templatePixels()
    {
        QFETCH(QList<QPointF>, lights);
        QFETCH(int, grid);
        QFETCH(QSize, size);
        QFETCH(QList<QPoint>, lit);
        const auto extent = AnimationTemplate::measure(lights);
        QCOMPARE(AnimationTemplate::fits(extent, grid), AnimationTemplate::Fit::Fits);
        const QImage image = AnimationTemplate::render(lights, extent, grid);
        QCOMPARE(image.size(), size);
        for (int x = 0; x < size.width(); ++x)
            for (int y = 0; y < size.height(); ++y)
                QCOMPARE(image.pixel(x, y), lit.contains(QPoint(x, y))
                                                ? AnimationTemplate::LightCell
                                                : AnimationTemplate::EmptyCell);
    }

    void templateCommandWritesOrRefuses()
    {
        MetaTool w;
        ScriptedPrompt prompt;
        DataSupply *ds = addInterface(w.mapModel(), "A", QHostAddress());
        addLight(w.mapModel(), ds, "L1", 0, 0, QPointF(0, 0));
        addLight(w.mapModel(), ds, "L2", 0, 3, QPointF(24, 0));
        prompt.fileNames << path("plan");
        prompt.integers << 12;
        w.handleCreateAnimationTemplateAction();
        const QImage written(path("plan.png"));
        QCOMPARE(written.size(), QSize(3, 1));
        QCOMPARE(written.pixel(1, 0), AnimationTemplate::EmptyCell);

        // A far light with a grid of 1 would need an image of billions of pixels.
        addLight(w.mapModel(), ds, "Far", 0, 6, QPointF(900000, 900000));
        prompt.fileNames << path("huge");
        prompt.integers << 1;
        w.handleCreateAnimationTemplateAction();
        QVERIFY(!QFile::exists(path("huge.png")));
        QCOMPARE(prompt.titles.last(), QString("Error"));
    }

    void backgroundImageIsShownSavedAndReloaded()
    {
        QImage picture(800, 600, QImage::Format_RGB32);
        picture.fill(Qt::darkBlue);
        QVERIFY(picture.save(path("site.png")));
        MetaTool w;
        ScriptedPrompt prompt;
        prompt.fileNames << path("site.png");
        w.handleAddBackgroundImageAction();
        QVERIFY(w.getDirty());
        QCOMPARE(w.canvasScene()->sceneRect(), QRectF(0, 0, 800, 600));
        const auto pixmaps = [&w] {
            int n = 0;
            for (QGraphicsItem *item : w.canvasScene()->items())
                n += item->type() == QGraphicsPixmapItem::Type && item->zValue() == -1;
            return n;
        };
        QCOMPARE(pixmaps(), 1);

        QVERIFY(w.mapModel()->saveMap(path("site.map")));
        w.openMap(path("site.map"));
        QCOMPARE(w.mapModel()->imageFile(), path("site.png"));
        QCOMPARE(pixmaps(), 1);
        // A picture gone missing leaves the map open, with a message.
        QVERIFY(QFile::remove(path("site.png")));
        w.openMap(path("site.map"));
        QCOMPARE(w.mapModel()->imageFile(), path("site.png"));
        QCOMPARE(prompt.titles.last(), QString("Background Image"));
        QCOMPARE(pixmaps(), 0);
    }

    void backgroundDecodeSize_data()
    {
        QTest::addColumn<QSize>("full");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("small") << QSize(800, 600) << QSize(800, 600);
        QTest::newRow("8000 square") << QSize(8000, 8000) << QSize(8000, 8000);
        QTest::newRow("budget exactly") << QSize(16384, 4096) << QSize(16384, 4096);
        QTest::newRow("largest") << QSize(16384, 16384) << QSize(8192, 8192);
        QTest::newRow("wide, over budget") << QSize(16384, 8192) << QSize(11585, 5792);
        QTest::newRow("one too wide") << QSize(16385, 10) << QSize();
        QTest::newRow("one too high") << QSize(10, 16385) << QSize();
        QTest::newRow("empty") << QSize(0, 600) << QSize();
    }
    void backgroundDecodeSize()
    {
        QFETCH(QSize, full);
        QTEST(BackgroundPicture::decodeSize(full), "decoded");
    }

    // Beyond the toolkit's default allocation limit, within the largest side; above the pixel
    // budget the picture is kept scaled down and stretched back to its full size.
    void largeBackgroundPicturesLoad_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("rgb");
        QTest::addColumn<QSize>("kept");
        QTest::newRow("6000") << QSize(6000, 6000) << true << QSize(6000, 6000);
        QTest::newRow("8000") << QSize(8000, 8000) << true << QSize(8000, 8000);
        QTest::newRow("16384, 1 bit") << QSize(16384, 16384) << false << QSize(8192, 8192);
    }
    void largeBackgroundPicturesLoad()
    {
        QFETCH(QSize, size);
        QFETCH(bool, rgb);
        QFETCH(QSize, kept);
        QFile file(path("plan.png"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(CraftedPng::black(size, rgb)) > 0);
        file.close();
        MetaTool w;
        ScriptedPrompt prompt;
        prompt.fileNames << file.fileName();
        w.handleAddBackgroundImageAction();
        QVERIFY(prompt.titles.isEmpty());
        QVERIFY(!QGuiApplication::overrideCursor()); // busy only while it decodes
        QCOMPARE(w.canvasScene()->sceneRect(), QRectF(QPointF(0, 0), size));
        QGraphicsPixmapItem *picture = nullptr;
        for (QGraphicsItem *item : w.canvasScene()->items())
            if (item->type() == QGraphicsPixmapItem::Type)
                picture = static_cast<QGraphicsPixmapItem *>(item);
        QVERIFY(picture);
        QCOMPARE(picture->pixmap().size(), kept);
        QCOMPARE(picture->sceneBoundingRect(), QRectF(QPointF(0, 0), size));
        QCOMPARE(picture->zValue(), -1.0);
    }

    // 16 bits a channel: kept at 8, straight at the kept size. The largest would need more
    // than a decode may allocate at the 8 bytes a pixel it has in the file. 8-bit pictures go
    // the same way.
    void widePicturesLoadAtEightBits_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("interlaced");
        QTest::newRow("16384 x 8193") << QSize(16384, 8193) << 16 << false;
        QTest::newRow("small, interlaced") << QSize(37, 21) << 16 << true;
        QTest::newRow("over budget, interlaced") << QSize(8200, 8200) << 16 << true;
        QTest::newRow("8 bit, over budget") << QSize(9000, 8000) << 8 << false;
    }
    void widePicturesLoadAtEightBits()
    {
        QFETCH(QSize, size);
        QFETCH(int, bits);
        QFETCH(bool, interlaced);
        const quint16 top[4] = {0xFFFF, 0x8080, 0x0000, 0xFFFF};
        const quint16 bottom[4] = {0x0000, 0x4040, 0xFFFF, 0x8080};
        QFile file(path("wide.png"));
        const QByteArray png = CraftedPng::halves(size, bits, top, bottom, interlaced);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(png) == png.size());
        file.close();
        QSize full;
        const QImage image = BackgroundPicture::load(file.fileName(), &full);
        QCOMPARE(full, size);
        QCOMPARE(image.size(), BackgroundPicture::decodeSize(size));
        QCOMPARE(image.depth(), 32);
        const int w = image.width(), h = image.height();
        for (const QPoint at : {QPoint(0, 0), QPoint(w - 1, h / 2 - 2)})
            QCOMPARE(image.pixel(at), qRgba(255, 128, 0, 255));
        for (const QPoint at : {QPoint(w / 2, h / 2 + 1), QPoint(w - 1, h - 1)})
            QCOMPARE(image.pixel(at), qRgba(0, 64, 255, 128));
    }

    // A file whose header claims too much is refused before anything is decoded, even one
    // that would decode small (1 bit a pixel); so is a damaged one, with the same message.
    void badBackgroundPicturesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("picture");
        QTest::newRow("20000 square, 1 bit") << CraftedPng::black(QSize(20000, 20000), false);
        QTest::newRow("20000 square, header")
            << CraftedPng::black(QSize(20000, 20000), true, false);
        QTest::newRow("100000 square, header")
            << CraftedPng::black(QSize(100000, 100000), true, false);
        QTest::newRow("one row too wide, 1 bit") << CraftedPng::black(QSize(16385, 1), false);
        const QByteArray jpeg = CraftedJpeg::halves(QSize(64, 64), qRgb(1, 2, 3), qRgb(4, 5, 6));
        const qsizetype scan = jpeg.indexOf("\xFF\xDA");
        QTest::newRow("truncated JPEG") << jpeg.left(scan + (jpeg.size() - scan) / 2);
    }
    void badBackgroundPicturesAreRefused()
    {
        QFETCH(QByteArray, picture);
        QFile file(path("bad.png"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(picture) == picture.size());
        file.close();
        MetaTool w;
        ScriptedPrompt prompt;
        prompt.fileNames << file.fileName();
        w.handleAddBackgroundImageAction();
        QCOMPARE(prompt.titles, QStringList{"Background Image"});
        QCOMPARE(
            prompt.lastText(),
            QString("The background image %1 could not be loaded; the map is shown without it.")
                .arg(file.fileName()));
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(w.mapModel()->imageFile(), file.fileName()); // kept, as for a missing file
        for (QGraphicsItem *item : w.canvasScene()->items())
            QVERIFY(item->type() != QGraphicsPixmapItem::Type);
    }

    void preferencesApplyToTheWindow()
    {
        MetaTool w;
        ModalDriver driver;
        driver.then([](QWidget *dialog) {
            auto *grid = widgetNamed<QSpinBox>(dialog, "m_gridSizeSpinBox");
            QCOMPARE(grid->value(), 12);
            grid->setValue(5); // below the range: clamped
            QCOMPARE(grid->value(), 12);
            grid->setValue(150);
            widgetNamed<QSpinBox>(dialog, "m_frameRateSpinBox")->setValue(0);
            widgetNamed<QSpinBox>(dialog, "m_recentMapsSpinBox")->setValue(3);
            widgetNamed<QPushButton>(dialog, "buttonOk")->click();
        });
        w.handleEditPreferencesAction();
        QCOMPARE(driver.pending(), 0);
        QCOMPARE(w.layoutView()->gridSpacing(), 99);
        QCOMPARE(w.effectEngine()->frameInterval(), 1000);
        QCOMPARE(QSettings().value("/num_recent_maps").toInt(), 3);
    }

    void aboutShowsOneBoxThatAClickCloses()
    {
        MetaTool w;
        w.form().aboutAction->trigger();
        w.form().aboutAction->trigger();
        AboutDialog *about = AboutDialog::instance();
        QVERIFY(about && about->isVisible());
        QCOMPARE(w.findChildren<AboutDialog *>().size(), 1);
        auto *version = widgetNamed<QLabel>(about, "versionLabel");
        QVERIFY(QRegularExpression("^Version: 2\\.3\\.4 20250115-[0-9a-f]{40}$")
                    .match(version->text())
                    .hasMatch());
        QTest::mouseClick(version, Qt::LeftButton);
        QVERIFY(!about->isVisible());
    }
};

QTEST_MAIN(TestMapImages)
#include "tst_mapimages.moc"
