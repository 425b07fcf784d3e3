// The colour value: fraction rules, setters, text forms, equality, hash, streams and HSV.
// DM_TEST_SANITIZE

#include "colour/veycolor.h"

#include <QBuffer>
#include <QDataStream>
#include <QDebug>
#include <QRegularExpression>
#include <QTest>

class TestVeyColor : public QObject
{
    Q_OBJECT

private slots:
    void fractionRules();
    void globalColors();
    void setterRangeChecks();
    void yxySetters();
    void nChannelSetters();
    void nChannelSetterLimits();
    void getters();
    void textFormsWritten();
    void textFormsParsed();
    void hexTextEdgeCases();
    void nChannelTextTooShort();
    void colourNames();
    void equality();
    void hash();
    void stream();
    void debugForm();
    void hsv();
    void isBlack();
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

void TestVeyColor::globalColors()
{
    const VeyColor red(Qt::red);
    QCOMPARE(red.spec(), VeyColor::Rgb);
    QCOMPARE(red.red8(), 255u);
    QCOMPARE(red.green8(), 0u);
    QCOMPARE(red.colorType(), 1u);
    QCOMPARE(red.profileId(), 0u);

    const VeyColor gray(Qt::gray);
    QCOMPARE(gray.red8(), 160u);
    QCOMPARE(gray.blue8(), 164u);

    const VeyColor transparent(Qt::transparent);
    QCOMPARE(transparent.spec(), VeyColor::Rgb);
    QCOMPARE(transparent.alpha(), 0u);

    QCOMPARE(VeyColor(Qt::color0).red8(), 255u);
    QCOMPARE(VeyColor(Qt::darkYellow).green8(), 128u);
}

void TestVeyColor::setterRangeChecks()
{
    VeyColor c(Qt::blue);
    c.setProfileId(9);
    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgb8: RGB parameters out of range");
    c.setRgb8(256, 0, 0);
    QCOMPARE(c.spec(), VeyColor::Invalid);
    QCOMPARE(c.profileId(), 0u);
    QCOMPARE(c.alpha(), 4294967295u);

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgb16: RGB parameters out of range");
    c.setRgb16(0, 65536, 0);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgbF: RGB parameters out of range");
    c.setRgbF(0.0, 0.0, 1.5);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgbF: RGB parameters out of range");
    c.setRgbF(qQNaN(), 0.0, 0.0);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::fromRgbF: RGB parameters out of range");
    QCOMPARE(VeyColor::fromRgbF(-0.1, 0, 0).spec(), VeyColor::Invalid);

    const VeyColor ok = VeyColor::fromRgbF(1, 0, 0, 0, 17);
    QCOMPARE(ok.profileId(), 17u);
    QCOMPARE(ok.alpha(), 0u);
    QVERIFY(!ok.profileSetFlag());
}

void TestVeyColor::yxySetters()
{
    VeyColor c;
    c.setColorType(5);
    c.setProfileSetFlag(true);
    c.setYxy(0.5, 0.3, 0.4, 1000, 12);
    QCOMPARE(c.spec(), VeyColor::Yxy);
    QCOMPARE(c.alpha(), 1000u * 65537u);
    QCOMPARE(c.Y(), 0.5);
    QCOMPARE(c.x(), 0.3);
    QCOMPARE(c.y(), 0.4);
    // setYxy leaves the colour type and the flag alone.
    QCOMPARE(c.colorType(), 5u);
    QVERIFY(c.profileSetFlag());

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setAlpha16: value out of range");
    c.setYxy(0.5, 0.3, 0.4, 65536, 12);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    c.setYxyF(0.25, 0.3, 0.3, 0.5, 1);
    QCOMPARE(c.alphaF(), 2147483648.0 / 4294967295.0);
    // Slightly above 1 still truncates into 0..65535: Invalid, but no warning.
    c.setYxyF(0.25, 0.3, 0.3, 1.00001, 1);
    QCOMPARE(c.spec(), VeyColor::Invalid);
    c.setYxyF(0.25, 0.3, 0.3, -0.00001, 1);
    QCOMPARE(c.spec(), VeyColor::Invalid);
    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setAlpha16: value out of range");
    c.setYxyF(0.25, 0.3, 0.3, 2.0, 1);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    // A NaN or infinite component must not be stored: it reads as black.
    c.setYxy(qQNaN(), 0.3, qInf(), 65535, 0);
    QCOMPARE(c.spec(), VeyColor::Yxy);
    QCOMPARE(c.Y(), 0.0);
    QCOMPARE(c.y(), 0.0);
    QVERIFY(c.isBlack());
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
    QCOMPARE(c.nChannelValuesF().size(), 3);
    double all[9];
    c.getNChannelF(all);
    QCOMPARE(all[0], 1.0);
    QVERIFY(qAbs(all[2] - 0.25) < 1e-9);
    QCOMPARE(all[3], 0.0);

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

void TestVeyColor::nChannelSetterLimits()
{
    VeyColor c(Qt::red);
    c.setNChannel({}, 1, 0, false);
    QCOMPARE(c.spec(), VeyColor::Invalid);
    c = VeyColor(Qt::red);
    c.setNChannelF(QList<double>(), 1, 0, false);
    QCOMPARE(c.spec(), VeyColor::Invalid);

    // More than eight levels keep eight.
    c.setNChannel({65535, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 1, 0, false);
    QCOMPARE(c.channelCount(), 8u);
    QCOMPARE(c.channelWord(7), 8u * 65537u);
    QCOMPARE(c.nChannelValues().size(), 9);
    QList<double> many(12, 0.5);
    c.setNChannelF(many, 1, 0, false);
    QCOMPARE(c.channelCount(), 8u);

    // Levels out of range are clamped, not wrapped.
    c.setNChannel({65535, 70000, 65535}, 1, 0, false);
    QCOMPARE(c.channelWord(0), 4294967295u);
    c.setNChannelF({1.0, 1.5, -0.5, qQNaN()}, 1, 0, false);
    QCOMPARE(c.channelWord(0), 4294967295u);
    QCOMPARE(c.channelWord(1), 0u);
    QCOMPARE(c.channelWord(2), 0u);

    // Other specs keep components in the count word; the list getters must not trust it.
    const VeyColor white(Qt::white);
    QCOMPARE(white.channelCount(), 4294967295u);
    QCOMPARE(white.nChannelValues().size(), 9);
    QCOMPARE(white.nChannelValuesF().size(), 9);
    double all[9];
    white.getNChannelF(all);
    QCOMPARE(all[1], 1.0); // the blue word
    QCOMPARE(all[8], 0.0);
}

void TestVeyColor::getters()
{
    const VeyColor c(Qt::yellow);
    double r = -1, g = -1, b = -1, a = -1;
    c.getRgbF(&r, &g, nullptr, &a);
    QCOMPARE(r, -1.0); // nothing unless red, green and blue are all asked for
    c.getRgbF(&r, &g, &b, &a);
    QCOMPARE(r, 1.0);
    QCOMPARE(g, 1.0);
    QCOMPARE(b, 0.0);
    QCOMPARE(a, 1.0);

    const VeyColor invalid;
    QCOMPARE(invalid.red8(), 0u);
    QCOMPARE(invalid.Y(), 0.0);

    VeyColor yxy;
    yxy.setYxy(0.5, 0.3, 0.3, 4096, 0);
    double Y, x, y;
    uint a16 = 0;
    yxy.getYxy(&Y, &x, &y, &a16);
    QCOMPARE(a16, 4096u);
    double af = 0;
    yxy.getYxyF(&Y, &x, &y, &af);
    QCOMPARE(af, 4096.0 * 65537.0 / 4294967295.0);
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
    QCOMPARE(n.channelWord(1), 200u * 65537u);
    QCOMPARE(n.channelWord(2), 300u * 65537u);
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

void TestVeyColor::hexTextEdgeCases()
{
    const VeyColor six(QStringLiteral("#80ff00"));
    QCOMPARE(six.red16(), 0x8080u);
    QCOMPARE(six.green16(), 0xffffu);
    QCOMPARE(six.alpha16(), 65535u);

    const VeyColor eight(QStringLiteral("#7fFF0000"));
    QCOMPARE(eight.alpha16(), 0x7f7fu);
    QCOMPARE(eight.red8(), 255u);

    const VeyColor twelve(QStringLiteral("#123456789abc"));
    QCOMPARE(twelve.red16(), 0x1234u);
    QCOMPARE(twelve.blue16(), 0x9abcu);

    const VeyColor sixteen(QStringLiteral("#0001000200030004"));
    QCOMPARE(sixteen.alpha16(), 1u);
    QCOMPARE(sixteen.blue16(), 4u);

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgb16: RGB parameters out of range");
    QCOMPARE(VeyColor(QStringLiteral("#abc")).spec(), VeyColor::Invalid);

    QTest::ignoreMessage(QtWarningMsg, "VeyColor::setRgb16: RGB parameters out of range");
    QCOMPARE(VeyColor(QStringLiteral("#12g456")).spec(), VeyColor::Invalid);

    // 17 characters after the hash: rejected before any setter, so without a warning.
    QCOMPARE(VeyColor(QStringLiteral("#00000000000000000")).spec(), VeyColor::Invalid);

    uint out[4];
    const QString text = QStringLiteral("#ff");
    QVERIFY(VeyColor::parseHexColor(text.constData(), int(text.size()), out));
    QCOMPARE(out[1], 4294967295u);
    QVERIFY(!VeyColor::parseHexColor(text.constData(), 0, out));
    const QString noHash = QStringLiteral("ff0000");
    QVERIFY(!VeyColor::parseHexColor(noHash.constData(), int(noHash.size()), out));
}

void TestVeyColor::nChannelTextTooShort()
{
    // Colour type 2 needs five levels; only two are given.
    const VeyColor c(QStringLiteral("aNchannel;2;0;65535;1;2"));
    QCOMPARE(c.spec(), VeyColor::Invalid);
    // Exactly enough parts for alpha and levels, none for the mark.
    const VeyColor d(QStringLiteral("aNchannel;4;0;65535;9"));
    QCOMPARE(d.spec(), VeyColor::NChannel);
    QCOMPARE(d.channelCount(), 1u);
    // A colour type of no channels keeps only the alpha.
    const VeyColor e(QStringLiteral("aNchannel;12;0;65535"));
    QCOMPARE(e.spec(), VeyColor::NChannel);
    QCOMPARE(e.channelCount(), 0u);
}

void TestVeyColor::colourNames()
{
    QCOMPARE(VeyColor(QStringLiteral("red")), VeyColor(Qt::red));
    QTest::ignoreMessage(QtWarningMsg,
                         "VeyColor::setNamedColor: Unknown color name 'no-such-colour'");
    QCOMPARE(VeyColor(QStringLiteral("no-such-colour")).spec(), VeyColor::Invalid);
}

void TestVeyColor::equality()
{
    QVERIFY(VeyColor() != VeyColor());
    QVERIFY(!(VeyColor() == VeyColor()));

    VeyColor rgb(Qt::cyan);
    VeyColor other = rgb;
    QCOMPARE(other, rgb);
    other.setProfileSetFlag(true);
    QVERIFY(other != rgb);
    other = rgb;
    other.setProfileId(3);
    QVERIFY(other != rgb);

    const VeyColor hsv = rgb.toHsv();
    QCOMPARE(VeyColor(hsv), hsv);

    VeyColor yxy;
    yxy.setYxy(0.5, 0.3, 0.3, 65535, 0);
    QCOMPARE(VeyColor(yxy), yxy);
    VeyColor yxy2 = yxy;
    yxy2.setYxy(0.5, 0.3, 0.3000001, 65535, 0);
    QVERIFY(yxy2 != yxy);

    VeyColor n;
    n.setNChannel({65535, 1, 2}, 7, 27, true);
    VeyColor n2 = n;
    QCOMPARE(n2, n);
    n2.setYxySourceMark(1);
    QVERIFY(n2 != n);
    n2 = n;
    n2.setNChannel({65535, 1, 3}, 7, 27, true);
    QVERIFY(n2 != n);
}

void TestVeyColor::hash()
{
    QCOMPARE(qHash(VeyColor(Qt::red)), size_t(0xFF0000FFu));
    QCOMPARE(qHash(VeyColor(Qt::transparent)), size_t(0));

    VeyColor yxy;
    yxy.setYxy(3.7, 1.2, 260.0, 65535, 0);
    QCOMPARE(qHash(yxy), size_t(0x030104FFu));

    VeyColor n;
    n.setNChannel({65535, 100, 200, 300, 400}, 3, 6, false);
    QCOMPARE(qHash(n), size_t(0xF40C84u));

    // Five or more levels, and no level: levels 5 down to 1.
    VeyColor five;
    five.setNChannel({0, 1, 2, 3, 4, 5, 6}, 1, 0, false);
    QCOMPARE(qHash(five), size_t(0x0654321u));

    QTest::ignoreMessage(QtDebugMsg, "Hit Invalid case in VeyColor:qHash");
    QCOMPARE(qHash(VeyColor()), size_t(0));
}

void TestVeyColor::stream()
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << VeyColor(Qt::red);
    }
    QCOMPARE(bytes.toHex(), QByteArray("01ffffffffffffffff0000000000000000"));

    VeyColor read;
    read.setColorType(5);
    {
        QDataStream in(bytes);
        in >> read;
    }
    QCOMPARE(read.spec(), VeyColor::Rgb);
    QCOMPARE(read.red8(), 255u);
    QCOMPARE(read.colorType(), 5u); // not part of the stream form

    // A spec no operation knows, or a short stream, gives an Invalid colour.
    QByteArray bad = QByteArray::fromHex("07ffffffff0000000100000002ffffffff");
    QDataStream badIn(bad);
    badIn >> read;
    QCOMPARE(read.spec(), VeyColor::Invalid);
    QByteArray shortBytes = QByteArray::fromHex("04ffff");
    QDataStream shortIn(shortBytes);
    shortIn >> read;
    QCOMPARE(read.spec(), VeyColor::Invalid);

    // An N-channel spec with a huge count word from the stream must stay readable.
    QByteArray huge = QByteArray::fromHex("04ffffffff7fffffff0000000012345678");
    QDataStream hugeIn(huge);
    hugeIn >> read;
    QCOMPARE(read.spec(), VeyColor::NChannel);
    QCOMPARE(read.channelCount(), 8u);
    QCOMPARE(read.nChannelValues().size(), 9);
    QVERIFY(!read.toString().isEmpty());

    QVERIFY(QMetaType::fromName("VeyColor").isValid());
    VeyColor::registerMetaType();
    const QVariant v = QVariant::fromValue(VeyColor(Qt::green));
    QByteArray viaVariant;
    {
        QDataStream out(&viaVariant, QIODevice::WriteOnly);
        out << v;
    }
    QVariant back;
    QDataStream in(viaVariant);
    in >> back;
    QCOMPARE(back.value<VeyColor>(), VeyColor(Qt::green));
}

void TestVeyColor::debugForm()
{
    QString text;
    QDebug(&text) << VeyColor(Qt::red);
    QCOMPARE(text.trimmed(), QStringLiteral("VeyColor(ARGB 65535, 65535, 0, 0)"));
    text.clear();
    QDebug(&text) << VeyColor() << 1;
    QCOMPARE(text.trimmed(), QStringLiteral("VeyColor(Invalid) 1"));
    text.clear();
    VeyColor yxy;
    yxy.setYxy(0.5, 0.25, 0.125, 4, 0);
    QDebug(&text) << yxy;
    QCOMPARE(text.trimmed(), QStringLiteral("VeyColor(AYxy 4, 0.5, 0.25, 0.125)"));
    text.clear();
    VeyColor n;
    n.setNChannel({1, 2}, 1, 0, false);
    QDebug(&text) << n;
    QCOMPARE(text.trimmed(), QString());
}

void TestVeyColor::hsv()
{
    QCOMPARE(VeyColor(Qt::red).toHsv().hue(), 0);
    QCOMPARE(VeyColor(Qt::green).toHsv().hue(), 12000);
    QCOMPARE(VeyColor(Qt::blue).toHsv().hue(), 24000);
    const VeyColor grey = VeyColor(Qt::darkGray).toHsv();
    QCOMPARE(grey.hue(), -1);
    QCOMPARE(grey.saturationF(), 0.0);
    QCOMPARE(grey.valueF(), 128.0 * 257 * 65537 / 4294967295.0);

    // RGB -> HSV -> RGB for a spread of colours: hue is kept in hundredths of a degree,
    // which moves the middle level by up to a few 16-bit steps.
    for (uint r = 0; r < 256; r += 51) {
        for (uint g = 0; g < 256; g += 17) {
            for (uint b = 0; b < 256; b += 85) {
                VeyColor c;
                c.setRgb8(r, g, b, 200, 3);
                const VeyColor h = c.toHsv();
                QCOMPARE(h.alpha(), c.alpha());
                QCOMPARE(h.profileId(), 3u);
                const VeyColor back = h.toRgb();
                QCOMPARE(back.spec(), VeyColor::Rgb);
                QVERIFY2(qAbs(int(back.red16()) - int(c.red16())) <= 4, qPrintable(c.toString()));
                QVERIFY(qAbs(int(back.green16()) - int(c.green16())) <= 4);
                QVERIFY2(qAbs(int(back.blue16()) - int(c.blue16())) <= 4,
                         qPrintable(c.toString() + h.toString() + back.toString()));
            }
        }
    }

    // Getters of an Hsv colour read through RGB.
    const VeyColor magenta = VeyColor(Qt::magenta).toHsv();
    QCOMPARE(magenta.hue(), 30000);
    QCOMPARE(magenta.red8(), 255u);
    QCOMPARE(magenta.green8(), 0u);
    QCOMPARE(magenta.blue8(), 255u);
}

void TestVeyColor::isBlack()
{
    QVERIFY(!VeyColor().isBlack());
    QVERIFY(VeyColor(Qt::black).isBlack());
    QVERIFY(!VeyColor(Qt::red).isBlack());
    QVERIFY(VeyColor(Qt::black).toHsv().isBlack());
    VeyColor n;
    n.setNChannel({65535}, 12, 0, false);
    QVERIFY(n.isBlack());
    n.setNChannel({65535, 0, 1}, 7, 0, false);
    QVERIFY(!n.isBlack());
    VeyColor y;
    y.setYxy(0.0, 0.3, 0.3, 65535, 0);
    QVERIFY(y.isBlack());
}

QTEST_GUILESS_MAIN(TestVeyColor)
#include "tst_veycolor.moc"
