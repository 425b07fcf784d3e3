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
    QTest::addColumn<bool>("livePlay");
    const Op frames{OpKind::Frames, 0, 0, 2};
    // The third interface the starting map has; a = 3 names one it lacks.
    const quint32 absent = 3;
    const std::pair<const char *, std::vector<Op>> cases[] = {
        // Light 3 is chemistry 4, profile 28, channel 0 of a version-2 interface.
        {"profile changes the zero colour",
         {frames, {OpKind::LightSetting, 3, SetProfile, 6}, frames}},
        {"hueweave on a five-channel light",
         {frames, {OpKind::LightSetting, 3, SetHueweaveEnabled, 1}, frames}},
        {"device info on a 16-bit light",
         {frames, {OpKind::LightSetting, 4, SetDeviceInfo, 4}, frames}},
        {"chemistry then profile, as the property table",
         {frames, {OpKind::LightSetting, 0, SetChemistryThenProfile, 0x54}, frames}},
        // Light 12 names an interface the map lacks; light 13 a port its interface lacks.
        {"unwritten light starts being written",
         {frames, {OpKind::SelectLight, 12, 0, 1}, frames, {OpKind::MoveLight, 12, 0, 0}, frames}},
        {"light on a missing port gets the port",
         {frames, frames, {OpKind::LightSetting, 13, SetPort, 1}, frames}},
        {"same port count", {frames, {OpKind::PortCount, 0, 0, 1}, frames}},
        // Light 9 shares bytes with light 0 and keeps its interface from partial frames;
        // without it, light 10 (then 9) is listed by two interfaces that both take partial
        // frames.
        {"light listed twice, selected",
         {{OpKind::DeleteLight, 9, 0, 0},
          frames,
          {OpKind::SelectLight, 9, 0, 1},
          frames,
          {OpKind::SelectLight, 9, 0, 0},
          frames}},
        // Any light update deselects silently; the canvas still shows the light selected
        // until the selection is cleared or a highlight tells it otherwise.
        {"cleared after a silent deselection",
         {{OpKind::SelectLight, 0, 0, 1},
          frames,
          {OpKind::LightSetting, 0, SetName, 5},
          frames,
          {OpKind::ClearSelection, 0, 0, 0},
          frames}},
        {"cleared after new selection colours",
         {{OpKind::SelectLight, 2, 0, 1},
          frames,
          {OpKind::ForegroundColour, 0, 0, 0xFF00FF00},
          frames,
          {OpKind::ClearSelection, 0, 0, 0},
          frames}},
        // Without light 9 the first interface takes partial frames; group 1 holds lights 1
        // and 2.
        {"highlight after a silent deselection",
         {{OpKind::DeleteLight, 9, 0, 0},
          {OpKind::SelectLight, 3, 0, 1},
          frames,
          {OpKind::LightSetting, 3, SetName, 5},
          frames,
          {OpKind::Highlight, 1, 0, 0},
          frames}},
        // Turning live play off leaves every light at its zero colour at once.
        {"live play turned off",
         {{OpKind::SelectLight, 0, 0, 1}, frames, {OpKind::Option, 0, 1, 1}}},
        // A light as a scan reply makes it, before its settings are read.
        {"bare light without an interface",
         {frames, {OpKind::AddBareLight, absent, 0, 0}, frames, frames}},
        {"bare light on an interface", {frames, {OpKind::AddBareLight, 0, 0, 0}, frames, frames}},
        {"bare light on a port its interface lacks",
         {frames, {OpKind::AddBareLight, 1, 0, 2}, frames, frames}},
        // Lights 4 and 14 are 16-bit and alike but for their curves, linear and normal.
        {"selected lights of two curves",
         {{OpKind::SelectLight, 4, 0, 1}, {OpKind::SelectLight, 14, 0, 1}, frames}},
    };
    for (const bool livePlay : {true, false}) {
        const char *const play = livePlay ? "live" : "not live";
        for (const auto &[name, ops] : cases)
            QTest::addRow("%s, %s", name, play) << ops << livePlay;
    }
    for (quint32 seed = 1; seed <= 300; ++seed)
        QTest::addRow("seed %u", seed) << randomSequence(seed, 40) << true;
    for (quint32 seed = 301; seed <= 360; ++seed)
        QTest::addRow("seed %u, not live", seed) << randomSequence(seed, 40) << false;
}

void TestFrameDifferential::lockstep()
{
    QFETCH(std::vector<Op>, ops);
    QFETCH(bool, livePlay);
    const Outcome outcome = run(ops, livePlay);
    if (outcome.diverged) {
        const std::vector<Op> few = shrink(ops, livePlay);
        QFAIL(qPrintable(QStringLiteral("frames differ after edit %1:\n%2\nshrunk to:\n%3\n%4")
                             .arg(outcome.op)
                             .arg(outcome.detail, describe(few), run(few, livePlay).detail)));
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
