// The pooled frame state: each light's state finds its own rarely read part (the light that
// owns it, the colour its levels came from) beside the pool's block, across many blocks and
// through slots freed and taken again, without any of it overlapping another state; and the
// widest light's levels fit the state whole.

#include "model/light.h"
#include "model/lightframestate.h"

#include <QTest>

#include <memory>
#include <vector>

namespace {

VeyColor numberedColor(int n)
{
    VeyColor color;
    color.setRgb8(uint(n & 0xFF), uint((n >> 8) & 0xFF), 0x5A);
    return color;
}

void markHot(LightFrameState *state, int n)
{
    state->currentColor = numberedColor(n + 1);
    for (int k = 0; k < LightLevels::Size; ++k)
        state->levelScratch[k] = quint8(n + k);
    state->dmxChannel = n;
}

bool hotIntact(const LightFrameState *state, int n)
{
    for (int k = 0; k < LightLevels::Size; ++k) {
        if (state->levelScratch[k] != quint8(n + k))
            return false;
    }
    return state->currentColor == numberedColor(n + 1) && state->dmxChannel == n;
}

} // namespace

class TestLightFrameState : public QObject
{
    Q_OBJECT

private slots:
    void coldPartsStayWithTheirStates_data();
    void coldPartsStayWithTheirStates();
    void widestLightWritesEveryLevel_data();
    void widestLightWritesEveryLevel();
};

void TestLightFrameState::coldPartsStayWithTheirStates_data()
{
    QTest::addColumn<int>("lights");
    QTest::addColumn<int>("replacedEvery");
    QTest::newRow("one block") << 40 << 3;
    QTest::newRow("several blocks") << 2100 << 2;
    QTest::newRow("several blocks, few replaced") << 1600 << 7;
}

void TestLightFrameState::coldPartsStayWithTheirStates()
{
    QFETCH(int, lights);
    QFETCH(int, replacedEvery);
    std::vector<std::unique_ptr<Light>> made;
    for (int i = 0; i < lights; ++i)
        made.push_back(std::make_unique<Light>());

    auto writeAll = [&made] {
        for (int i = 0; i < int(made.size()); ++i) {
            LightFrameState *state = made[size_t(i)]->frameState();
            state->cold().lastRenderedColor = numberedColor(i);
            markHot(state, i);
        }
    };
    auto checkAll = [&made] {
        for (int i = 0; i < int(made.size()); ++i) {
            const Light *light = made[size_t(i)].get();
            const LightFrameState *state = light->frameState();
            QCOMPARE(state->owner(), light);
            QVERIFY2(state->cold().lastRenderedColor == numberedColor(i),
                     qPrintable(QString::number(i)));
            QVERIFY2(hotIntact(state, i), qPrintable(QString::number(i)));
        }
    };
    writeAll();
    checkAll();

    // Freed slots go to the next lights made: they find their own owner and a cold part
    // that holds nothing of the light before them.
    for (int i = 0; i < lights; i += replacedEvery) {
        made[size_t(i)] = std::make_unique<Light>();
        const LightFrameState *state = made[size_t(i)]->frameState();
        QCOMPARE(state->owner(), made[size_t(i)].get());
        QVERIFY(!state->cold().lastRenderedColor.isValid());
    }
    writeAll();
    checkAll();
}

void TestLightFrameState::widestLightWritesEveryLevel_data()
{
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");
    QTest::newRow("orange") << 255 << 128 << 1;
    QTest::newRow("blue") << 0 << 40 << 200;
    QTest::newRow("grey") << 90 << 90 << 90;
}

// Five 16-bit channels in half mode would be twenty bytes; a light sends sixteen at most, the
// last six of them repeating the first channels, all converted for this colour and none left
// from the last one.
void TestLightFrameState::widestLightWritesEveryLevel()
{
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    Light light;
    light.setLedChemistry(3);
    light.setResolution(0);
    light.setHalfFullMode(true);
    LightFrameState *state = light.frameState();
    QCOMPARE(state->outputByteCount(), LightLevels::Size);
    auto write = [state](int r, int g, int b) {
        VeyColor color;
        color.setRgb8(uint(r), uint(g), uint(b));
        state->currentColor = color;
        state->currentIsMix = false;
        QByteArray buffer(64, '\0');
        state->writeDmx(reinterpret_cast<quint8 *>(buffer.data()), int(buffer.size()));
        return buffer.left(LightLevels::Size);
    };
    const QByteArray before = write(255, 255, 255);
    QCOMPARE(before.mid(10), before.left(6));
    const QByteArray levels = write(red, green, blue);
    QVERIFY(levels.left(6) != before.left(6));
    QCOMPARE(levels.mid(10), levels.left(6));
}

QTEST_GUILESS_MAIN(TestLightFrameState)
#include "tst_lightframestate.moc"
