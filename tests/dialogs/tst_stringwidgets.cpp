// The layout picker, the rows and columns spin box and its validator, driven as a user would.
#include "dialogs/lightspinbox.h"
#include "dialogs/stringlayoutwidget.h"
#include "dialogs/veyintvalidator.h"
#include "support/apptestsupport.h"

#include <QLineEdit>
#include <QtTest>

namespace {
using Emitted = QPair<int, bool>;

Emitted click(StringLayoutWidget &w, QPoint at)
{
    QSignalSpy spy(&w, &StringLayoutWidget::layoutChanged);
    QTest::mouseClick(&w, Qt::LeftButton, {}, at);
    if (spy.size() != 1)
        return {-1, false};
    return {spy.at(0).at(0).toInt(), spy.at(0).at(1).toBool()};
}

QImage shown(const StringLayoutWidget &w)
{
    return w.palette().brush(w.backgroundRole()).textureImage();
}

QImage turned(const char *name, int degrees)
{
    return QImage(QStringLiteral(":/images/icons/%1.jpg").arg(name))
        .transformed(QTransform().rotate(degrees));
}
} // namespace

class TestStringWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateTestEnvironment(); }
    void clicksCycleThroughOrders();
    void setLayoutOrderShowsTurnedPicture();
    void negativeOrderKeepsRaster_data();
    void negativeOrderKeepsRaster();
    void layoutPicturesLoad_data();
    void layoutPicturesLoad();
    void spinBoxRaisesOnlyOnEnter();
};

void TestStringWidgets::clicksCycleThroughOrders()
{
    StringLayoutWidget w;
    QCOMPARE(w.size(), QSize(51, 51));
    const QPoint topLeft(5, 5), bottomRight(45, 45), bottomLeft(5, 45);
    const QList<Emitted> cycle = {{1, false}, {0, true}, {1, true}, {0, false}};
    for (const Emitted &expected : cycle)
        QCOMPARE(click(w, topLeft), expected);
    // A new corner keeps the counter: first direction, serpentine.
    QCOMPARE(click(w, bottomRight), Emitted(4, false));
    QCOMPARE(shown(w), turned("stringLayoutRight", 180));
    QCOMPARE(click(w, bottomLeft), Emitted(6, false));
    // On a centre line the click counts as top left, whatever the height.
    QCOMPARE(click(w, QPoint(25, 45)), Emitted(0, false));
    QCOMPARE(w.corner(), 0);
}

void TestStringWidgets::setLayoutOrderShowsTurnedPicture()
{
    StringLayoutWidget w;
    QSignalSpy spy(&w, &StringLayoutWidget::layoutChanged);
    w.setLayoutOrder(5, true);
    QCOMPARE(w.corner(), 2);
    QCOMPARE(spy.last().at(0).toInt(), 5);
    QVERIFY(spy.last().at(1).toBool());
    QCOMPARE(shown(w), turned("stringLayoutRasterLeft", 180));
    w.setLayoutOrder(9, false);
    QCOMPARE(w.corner(), 2);
    QCOMPARE(spy.last().at(0).toInt(), 5);
    QCOMPARE(shown(w), turned("stringLayoutLeft", 180));
    // The next click into the same corner steps on from the order set.
    QCOMPARE(click(w, QPoint(45, 45)), Emitted(4, true));
}

void TestStringWidgets::negativeOrderKeepsRaster_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("raster");
    QTest::addColumn<int>("emitted");
    QTest::addColumn<QString>("picture");
    // A stored order out of range keeps the corner (2) and takes only its parity.
    QTest::newRow("-1 serpentine") << -1 << false << 5 << "stringLayoutLeft";
    QTest::newRow("-1 raster") << -1 << true << 5 << "stringLayoutRasterLeft";
    QTest::newRow("-2 raster") << -2 << true << 4 << "stringLayoutRasterRight";
    QTest::newRow("-7 serpentine") << -7 << false << 5 << "stringLayoutLeft";
}

void TestStringWidgets::negativeOrderKeepsRaster()
{
    QFETCH(int, order);
    QFETCH(bool, raster);
    QFETCH(int, emitted);
    QFETCH(QString, picture);
    StringLayoutWidget w;
    w.setLayoutOrder(4, false);
    QSignalSpy spy(&w, &StringLayoutWidget::layoutChanged);
    w.setLayoutOrder(order, raster);
    QCOMPARE(spy.size(), 1);
    QCOMPARE(Emitted(spy.at(0).at(0).toInt(), spy.at(0).at(1).toBool()), Emitted(emitted, raster));
    QCOMPARE(shown(w), turned(picture.toLatin1().constData(), 180));
}

void TestStringWidgets::layoutPicturesLoad_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (const char *name : {"stringLayoutRight", "stringLayoutLeft", "stringLayoutRasterRight",
                             "stringLayoutRasterLeft"})
        QTest::newRow(name) << QString(name) << QSize(51, 51);
    // The string dialog's layout buttons.
    for (const char *name : {"Horizontal", "Vertical", "BackSlash", "ForwardSlash", "Tile"})
        QTest::newRow(name) << QString(name) << QSize();
}

void TestStringWidgets::layoutPicturesLoad()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage picture(QStringLiteral(":/images/icons/%1.jpg").arg(name));
    QVERIFY(!picture.isNull());
    if (size.isValid())
        QCOMPARE(picture.size(), size);
}

void TestStringWidgets::spinBoxRaisesOnlyOnEnter()
{
    QWidget window;
    auto *box = new LightSpinBox(&window);
    box->setRange(5, 1000);
    box->setValue(50);
    window.show();
    box->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    // While typing, a value below the minimum is only checked, not raised.
    auto *edit = box->findChild<QLineEdit *>();
    edit->selectAll();
    QTest::keyClicks(box, "2");
    QCOMPARE(box->text(), QString("2"));
    edit->clear();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(box->value(), 5);
    QCOMPARE(box->text(), QString("5"));

    VeyIntValidator validator(1, 1000);
    QSignalSpy acceptable(&validator, &VeyIntValidator::acceptableValue);
    QString text = "1000";
    int pos = 0;
    QCOMPARE(validator.validate(text, pos), QValidator::Acceptable);
    text = "1001";
    QVERIFY(validator.validate(text, pos) != QValidator::Acceptable);
    QCOMPARE(acceptable.size(), 1);
    QCOMPARE(acceptable.at(0).at(0).toInt(), 1000);
}

QTEST_MAIN(TestStringWidgets)
#include "tst_stringwidgets.moc"
