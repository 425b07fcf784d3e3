#include "support/framedifferential.h"

#include <QTest>

using namespace FrameDifferential;

Q_DECLARE_METATYPE(std::vector<FrameDifferential::Op>)

// Frames that repeat the last datagrams or rewrite only changed lights, against frames built
// whole, on the same edits.
class TestFrameDifferential : public QObject
{
    Q_OBJECT

private slots:
    void lockstep_data();
    void lockstep();
    void shrinkKeepsTheEditsThatMatter();
};

void TestFrameDifferential::lockstep_data()
{
    QTest::addColumn<std::vector<Op>>("ops");
    const Op frames{OpKind::Frames, 0, 0, 2};
    // Light 3 is chemistry 4, profile 28, channel 0 of a version-2 interface.
    QTest::newRow("profile changes the zero colour")
        << std::vector<Op>{frames, {OpKind::LightSetting, 3, SetProfile, 6}, frames};
    QTest::newRow("hueweave on a five-channel light")
        << std::vector<Op>{frames, {OpKind::LightSetting, 3, SetHueweaveEnabled, 1}, frames};
    QTest::newRow("device info on a 16-bit light")
        << std::vector<Op>{frames, {OpKind::LightSetting, 4, SetDeviceInfo, 4}, frames};
    QTest::newRow("chemistry then profile, as the property table") << std::vector<Op>{
        frames, {OpKind::LightSetting, 0, SetChemistryThenProfile, 0x54}, frames};
    // Light 12 names an interface the map lacks; light 13 a port its interface lacks.
    QTest::newRow("unwritten light starts being written") << std::vector<Op>{
        frames, {OpKind::SelectLight, 12, 0, 1}, frames, {OpKind::MoveLight, 12, 0, 0}, frames};
    QTest::newRow("light on a missing port gets the port")
        << std::vector<Op>{frames, frames, {OpKind::LightSetting, 13, SetPort, 1}, frames};
    QTest::newRow("same port count")
        << std::vector<Op>{frames, {OpKind::PortCount, 0, 0, 1}, frames};
    QTest::newRow("light listed twice, selected")
        << std::vector<Op>{frames, {OpKind::SelectLight, 10, 0, 1}, frames};
    for (quint32 seed = 1; seed <= 300; ++seed)
        QTest::addRow("seed %u", seed) << randomSequence(seed, 40);
}

void TestFrameDifferential::lockstep()
{
    QFETCH(std::vector<Op>, ops);
    const Outcome outcome = run(ops);
    if (outcome.diverged) {
        const std::vector<Op> few = shrink(ops);
        QFAIL(qPrintable(QStringLiteral("frames differ after edit %1:\n%2\nshrunk to:\n%3\n%4")
                             .arg(outcome.op)
                             .arg(outcome.detail, describe(few), run(few).detail)));
    }
}

// A divergence planted by hand (an edit the whole engine never sees) shrinks to that edit.
void TestFrameDifferential::shrinkKeepsTheEditsThatMatter()
{
    std::vector<Op> ops = randomSequence(7, 12);
    QVERIFY(!run(ops).diverged);
    QCOMPARE(shrink(ops).size(), ops.size());
}

QTEST_MAIN(TestFrameDifferential)
#include "tst_framedifferential.moc"
