#include "colour/colourmixing.h"
#include "colour/profileconversion.h"
#include "colour/veycolor.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QtTest>

// The map's colour-consistency option switches every light's output conversion.
class TestColourConsistency : public QObject
{
    Q_OBJECT

private slots:
    void lightOutputTakesTheConversionWhenEnabled()
    {
        MapModel map;
        map.setColorCacheEnabled(true);
        Light light;
        light.connectToMap(&map);
        light.updateChannelLayout();
        light.setHueweaveProfileId(10);
        VeyColor orange;
        orange.setRgb8(255, 128, 0);
        light.applyEffectColor(orange, 1);
        // Mixed over the light's zero colour, orange would already be in profile 10, where
        // both conversions agree; an sRGB colour shows which one ran.
        light.frameState()->currentColor = orange;
        light.frameState()->currentIsMix = false;
        quint8 buffer[512] = {};
        light.writeDmx(buffer, 512);
        quint8 expected[16] = {};
        renderColorToChannels(orange, expected, 16, 10, false, 1, 0, quint8(light.footprint()));
        QCOMPARE(QByteArray((char *)buffer, 3), QByteArray((char *)expected, 3));
        quint8 plain[16] = {};
        colorToOutputBytes(orange, plain, 1);
        QVERIFY(QByteArray((char *)buffer, 3) != QByteArray((char *)plain, 3));
        map.setColorCacheEnabled(false);
        light.endFrame();
        light.applyEffectColor(orange, 1);
        light.writeDmx(buffer, 512);
        QCOMPARE(QByteArray((char *)buffer, 3), QByteArray((char *)plain, 3));
    }

    // Found by the long frame campaign: the colour cache is shared by every map, and the
    // levels a map converted with the option on must not reach a light of a map without it.
    void levelsOfOneConversionStayWithIt()
    {
        VeyColor orange;
        orange.setRgb8(255, 128, 0);
        quint8 plain[16] = {};
        colorToOutputBytes(orange, plain, 1);
        auto writeOn = [&orange](MapModel &map, quint8 *buffer) {
            Light light;
            light.connectToMap(&map);
            light.updateChannelLayout();
            light.setHueweaveProfileId(10);
            light.applyEffectColor(orange, 1);
            light.frameState()->currentColor = orange;
            light.frameState()->currentIsMix = false;
            light.writeDmx(buffer, 512);
            // The light moves on to another colour, leaving orange's levels in the cache.
            quint8 later[512] = {};
            light.frameState()->currentColor.setRgb8(0, 0, 255);
            light.writeDmx(later, 512);
        };
        MapModel consistent;
        consistent.setColorCacheEnabled(true);
        quint8 first[512] = {};
        writeOn(consistent, first);
        QVERIFY(QByteArray((char *)first, 3) != QByteArray((char *)plain, 3));
        MapModel plainMap;
        quint8 second[512] = {};
        writeOn(plainMap, second);
        QCOMPARE(QByteArray((char *)second, 3), QByteArray((char *)plain, 3));
    }
};

QTEST_MAIN(TestColourConsistency)
#include "tst_colourconsistency.moc"
