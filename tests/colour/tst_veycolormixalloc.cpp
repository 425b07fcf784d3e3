// The per-frame path of a light, VeyColor::mix and VeyColor::convertTo, must not touch the
// heap once the process-wide tables exist: every light runs it every frame.
//
// The C allocator is replaced here to count calls (Qt's containers allocate through malloc,
// not operator new). Not run under the sanitizers, which replace the allocator themselves.

#include "colour/veycolor.h"

#include <QTest>

#include <cstdlib>

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void __libc_free(void *pointer);
}

namespace {
bool g_counting = false;
long g_allocations = 0;
} // namespace

extern "C" {
void *malloc(size_t size)
{
    if (g_counting)
        ++g_allocations;
    return __libc_malloc(size);
}

void *calloc(size_t count, size_t size)
{
    if (g_counting)
        ++g_allocations;
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, size_t size)
{
    if (g_counting)
        ++g_allocations;
    return __libc_realloc(pointer, size);
}

void free(void *pointer)
{
    __libc_free(pointer);
}
}

namespace {

// The zero-level colour a light composites onto at the start of a frame.
VeyColor zeroColour(quint32 colorType, quint32 fixture, int channels)
{
    VeyColor c;
    if (channels >= 4) {
        double zeros[6] = {};
        c.setNChannelF(zeros, channels + 1, colorType, fixture, true);
    } else {
        c.setRgbF(0, 0, 0, 0, fixture);
    }
    return c;
}

} // namespace

class TestVeyColorMixAlloc : public QObject
{
    Q_OBJECT

private slots:
    void mixAllocatesNothing_data();
    void mixAllocatesNothing();
};

void TestVeyColorMixAlloc::mixAllocatesNothing_data()
{
    QTest::addColumn<quint32>("colorType");
    QTest::addColumn<quint32>("fixture");
    QTest::addColumn<int>("channels");
    QTest::newRow("three channels") << 1u << 0u << 3;
    QTest::newRow("four channels") << 6u << 5u << 4;
    QTest::newRow("five channels") << 2u << 1u << 5;
    QTest::newRow("four whites") << 11u << 40u << 4;
}

void TestVeyColorMixAlloc::mixAllocatesNothing()
{
    QFETCH(quint32, colorType);
    QFETCH(quint32, fixture);
    QFETCH(int, channels);

    const VeyColor zero = zeroColour(colorType, fixture, channels);
    VeyColor effects[16];
    for (int i = 0; i < 16; ++i)
        effects[i].setRgb8(uint(i * 16), uint(255 - i * 12), uint(i * 5), 255, 0);
    VeyColor yxy;
    yxy.setYxy(0.5, 0.35, 0.36, 65535, fixture);

    // First use builds the profile database, the fixture table and the memo tables.
    for (const VeyColor &e : effects) {
        (void)VeyColor::mix(e, zero, 24, 1.0);
        (void)zero.blended(e, 0.5);
        (void)e.convertTo(VeyColor::NChannel, colorType, fixture, 0);
        (void)VeyColor::mix(yxy, zero, 24, 1.0);
    }

    g_allocations = 0;
    g_counting = true;
    quint32 sink = 0;
    for (int round = 0; round < 20; ++round) {
        for (const VeyColor &e : effects) {
            const VeyColor mixed = VeyColor::mix(e, zero, 24, 1.0);
            const VeyColor mean = mixed.blended(e, 0.5);
            sink += mean.channelWord(0) + mixed.alpha();
            sink += e.convertTo(VeyColor::NChannel, colorType, fixture, 0).channelWord(1);
            sink += VeyColor::mix(yxy, zero, 24, 1.0).channelWord(2);
            sink += VeyColor::mix(e, e, 24, 0.25).red16();
        }
    }
    g_counting = false;
    QVERIFY(sink != 1); // keeps the work from being optimised away
    QCOMPARE(g_allocations, 0L);

    // The counter does see the allocations of a list getter.
    g_counting = true;
    const QList<double> list = zero.nChannelValuesF();
    g_counting = false;
    QVERIFY(!list.isEmpty());
    QVERIFY(g_allocations > 0);
}

QTEST_GUILESS_MAIN(TestVeyColorMixAlloc)
#include "tst_veycolormixalloc.moc"
