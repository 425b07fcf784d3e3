#include "support/apptestsupport.h"
#include "support/modaldriver.h"

#include "app/animationtemplate.h"
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
