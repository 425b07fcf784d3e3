// The pooled frame state: each light's state finds its own rarely read part (the light that
// owns it, the colour its levels came from) beside the pool's block, across many blocks and
// through slots freed and taken again, without any of it overlapping another state.

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

QTEST_GUILESS_MAIN(TestLightFrameState)
#include "tst_lightframestate.moc"
