// The colour value: fraction rules, N-channel setters and the text forms files keep.

#include "colour/veycolor.h"

#include <QTest>

class TestVeyColor : public QObject
{
    Q_OBJECT

private slots:
    void fractionRules();
    void nChannelSetters();
    void textFormsWritten();
    void textFormsParsed();
};

void TestVeyColor::fractionRules()
{
    VeyColor c;
    c.setRgb8(255, 128, 0, 255);
    QCOMPARE(c.spec(), VeyColor::Rgb);
    QCOMPARE(c.red16(), 65535u);
    QCOMPARE(c.red8(), 255u);
    QCOMPARE(c.green8(), 128u);
    QCOMPARE(c.green16(), 32896u);
    QCOMPARE(c.redF(), 1.0);

    c.setRgbF(0.5, 0.0, 1.0);
    // truncate(0.5 x 4294967295 + 0.5)
    QCOMPARE(c.redF(), 2147483648.0 / 4294967295.0);
    QCOMPARE(c.red16(), 32768u);
    QCOMPARE(c.alpha(), 4294967295u);

    c.setRgb16(1, 2, 65535, 4660);
    QCOMPARE(c.red16(), 1u);
    QCOMPARE(c.green16(), 2u);
    QCOMPARE(c.alpha(), 4660u * 65537u);
}

void TestVeyColor::nChannelSetters()
{
    VeyColor c;
    c.setNChannel({65535, 100, 200, 300}, 1, 4, false);
    QCOMPARE(c.spec(), VeyColor::NChannel);
    QCOMPARE(c.channelCount(), 3u);
    QCOMPARE(c.channelWord(0), 100u * 65537u);
    QCOMPARE(c.channelWord(2), 300u * 65537u);
    QCOMPARE(c.channelWord(3), 0u);
    QCOMPARE(c.profileId(), 4u);
    QCOMPARE(c.nChannelValues(), QList<uint>({255, 0, 0, 1}));

    c.setYxySourceMark(1);
    c.setNChannelF({1.0, 0.5, 0.25}, 7, 27, true);
    QCOMPARE(c.yxySourceMark(), 1u); // not touched by the setter
    QCOMPARE(c.channelCount(), 2u);
    QCOMPARE(c.channelWord(0), 2147483648u);
    QCOMPARE(c.channelWord(2), 0u); // the old third level is gone
    QVERIFY(c.profileSetFlag());

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setAlpha16: value out of range");
    c.setNChannel({65536, 1}, 1, 0, false);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    c.setNChannelF({1.5, 0.5}, 1, 0, false);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    // An Rgb colour keeps green where an N-channel colour keeps its mark; the mark of a
    // new N-channel colour must not inherit it.
    VeyColor fromRgb(Qt::white);
    fromRgb.setNChannelF({1.0, 0.5}, 4, 4, false);
    QCOMPARE(fromRgb.yxySourceMark(), 0u);
}

void TestVeyColor::textFormsWritten()
{
    QCOMPARE(VeyColor().toString(), QString());
    QCOMPARE(VeyColor(Qt::red).toString(), QStringLiteral("aRgb;1;0;#ffffffff00000000"));

    VeyColor yxy;
    yxy.setColorType(2);
    yxy.setYxy(0.5, 0.3, 0.25, 65535, 9);
    QCOMPARE(yxy.toString(), QStringLiteral("aYxy;2;9;65535;0.500000;0.300000;0.250000"));

    VeyColor n;
    n.setNChannel({65535, 100, 200, 300, 400}, 3, 6, false);
    n.setYxySourceMark(1);
    QCOMPARE(n.toString(), QStringLiteral("aNchannel;3;6;65535;100;200;300;400;1;0"));
    n.setProfileSetFlag(true);
    QCOMPARE(n.toString(), QStringLiteral("aNchannel;3;6;65535;100;200;300;400;1;1"));

    // An Hsv colour writes its RGB levels with its own type, profile and alpha.
    VeyColor rgb;
    rgb.setRgb8(0, 255, 0, 128, 0);
    const VeyColor hsv = rgb.toHsv();
    QCOMPARE(hsv.spec(), VeyColor::Hsv);
    QCOMPARE(hsv.toString(), QStringLiteral("aRgb;1;0;#80800000ffff0000"));
}

void TestVeyColor::textFormsParsed()
{
    const VeyColor red(Qt::red);
    QCOMPARE(VeyColor(red.toString()), red);
    // Two hex digits a level stretch to the full 16 bits: #ff is full, #80 is 0x8080.
    const VeyColor short6(QStringLiteral("#80ff00"));
    QCOMPARE(short6.red16(), 0x8080u);
    QCOMPARE(short6.green16(), 0xFFFFu);

    const VeyColor rgb(QStringLiteral("aRgb;5;7;#ffff000000000000"));
    QCOMPARE(rgb.spec(), VeyColor::Rgb);
    QCOMPARE(rgb.colorType(), 1u);
    QCOMPARE(rgb.profileId(), 0u);
    QCOMPARE(rgb.alpha16(), 65535u);
    QCOMPARE(rgb.red16(), 0u);

    const VeyColor yxy(QStringLiteral("aYxy;2;9;65535;0.5;0.3;0.3"));
    QCOMPARE(yxy.spec(), VeyColor::Yxy);
    QCOMPARE(yxy.colorType(), 2u);
    QCOMPARE(yxy.profileId(), 0u);
    QCOMPARE(yxy.Y(), 0.5);
    QCOMPARE(yxy.x(), 0.3);

    const VeyColor n(QStringLiteral("aNchannel;3;6;65535;100;200;300;400;1;0"));
    QCOMPARE(n.spec(), VeyColor::NChannel);
    QCOMPARE(n.channelCount(), 4u);
    QCOMPARE(n.channelWord(0), 100u * 65537u);
    QCOMPARE(n.channelWord(3), 400u * 65537u);
    QCOMPARE(n.yxySourceMark(), 1u);
    QVERIFY(!n.profileSetFlag());
    QCOMPARE(n.colorType(), 3u);
    QCOMPARE(n.profileId(), 6u);
    QCOMPARE(n.toString(), QStringLiteral("aNchannel;3;6;65535;100;200;300;400;1;0"));

    // Without the trailing parts the flag is set and the mark stays 0.
    const VeyColor bare(QStringLiteral("aNchannel;1;0;65535;1;2;3"));
    QVERIFY(bare.profileSetFlag());
    QCOMPARE(bare.yxySourceMark(), 0u);
    QCOMPARE(VeyColor(bare.toString()), bare);

    // Round trips of every spec.
    VeyColor y2;
    y2.setYxy(0.125, 0.25, 0.375, 65535, 0);
    QCOMPARE(VeyColor(y2.toString()), y2);

    QCOMPARE(VeyColor(QStringLiteral("aRgb;1;0")).spec(), VeyColor::Invalid);
    QCOMPARE(VeyColor(QStringLiteral("aRgb;1;0;#ffffffff00000000;x")).spec(), VeyColor::Invalid);
    QCOMPARE(VeyColor(QStringLiteral("aRgb;1;0;ffffffff00000000")).spec(), VeyColor::Invalid);
    QCOMPARE(VeyColor(QStringLiteral("aYxy;1;0;65535;0.5;0.3")).spec(), VeyColor::Invalid);
    QCOMPARE(VeyColor(QStringLiteral("argb;1;0;#ff0000")).spec(), VeyColor::Invalid);
    QCOMPARE(VeyColor(QString()).spec(), VeyColor::Invalid);
}

QTEST_GUILESS_MAIN(TestVeyColor)
#include "tst_veycolor.moc"
