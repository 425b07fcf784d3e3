#include "support/framedifferential.h"

#include <QTest>

#include <algorithm>

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
    // Light 9 shares bytes with light 0 and keeps its interface from partial frames; without
    // it, light 10 (then 9) is listed by two interfaces that both take partial frames.
    QTest::newRow("light listed twice, selected") << std::vector<Op>{
        {OpKind::DeleteLight, 9, 0, 0}, frames, {OpKind::SelectLight, 9, 0, 1}, frames,
        {OpKind::SelectLight, 9, 0, 0}, frames};
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

// Shrinking keeps exactly the edits a failure needs, in their order.
void TestFrameDifferential::shrinkKeepsTheEditsThatMatter()
{
    std::vector<Op> ops = randomSequence(7, 60);
    ops[17] = {OpKind::PortCount, 1, 0, 1};
    ops[41] = {OpKind::MapLoad, 0, 0, 0};
    auto position = [](const std::vector<Op> &some, OpKind kind) {
        return std::find_if(some.begin(), some.end(),
                            [kind](const Op &op) { return op.kind == kind; }) -
               some.begin();
    };
    // Fails while a port count comes before a map load.
    const auto fails = [&](const std::vector<Op> &some) {
        return position(some, OpKind::PortCount) < position(some, OpKind::MapLoad) &&
               position(some, OpKind::MapLoad) < long(some.size());
    };
    QVERIFY(fails(ops));
    const std::vector<Op> few = shrink(ops, fails);
    QCOMPARE(few.size(), size_t(2));
    QCOMPARE(int(few[0].kind), int(OpKind::PortCount));
    QCOMPARE(int(few[1].kind), int(OpKind::MapLoad));
    QVERIFY(!run(ops).diverged);
}

QTEST_MAIN(TestFrameDifferential)
#include "tst_framedifferential.moc"
