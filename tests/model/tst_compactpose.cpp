// A light keeps its pose in little room: every field must come back bit for bit, whether set
// whole or field by field (as the map file reader does), including -0 and rotations.

#include "model/compactpose.h"

#include <QTest>

#include <cstring>

Q_DECLARE_METATYPE(LightPose)

namespace {

bool sameBits(const LightPose &a, const LightPose &b)
{
    const double left[] = {a.x, a.y, a.z, a.q0, a.q1, a.q2, a.q3};
    const double right[] = {b.x, b.y, b.z, b.q0, b.q1, b.q2, b.q3};
    return std::memcmp(left, right, sizeof(left)) == 0;
}

LightPose poseOf(double x, double y, double z, double q0, double q1, double q2, double q3)
{
    LightPose pose;
    pose.x = x;
    pose.y = y;
    pose.z = z;
    pose.q0 = q0;
    pose.q1 = q1;
    pose.q2 = q2;
    pose.q3 = q3;
    return pose;
}

} // namespace

class TestCompactPose : public QObject
{
    Q_OBJECT

private slots:
    void keepsEveryField_data();
    void keepsEveryField();
};

void TestCompactPose::keepsEveryField_data()
{
    QTest::addColumn<LightPose>("pose");
    QTest::newRow("defaults") << LightPose();
    QTest::newRow("flat") << poseOf(120.5, -7.25, 0, 0, 0, 0, 1);
    QTest::newRow("height") << poseOf(1, 2, 3, 0, 0, 0, 1);
    QTest::newRow("rotated") << poseOf(1, 2, 0, 0.5, 0.5, 0.5, 0.5);
    QTest::newRow("no rotation at all") << poseOf(1, 2, 0, 0, 0, 0, 0);
    QTest::newRow("negative zero height") << poseOf(0, 0, -0.0, 0, 0, 0, 1);
    QTest::newRow("negative zero x") << poseOf(-0.0, 4, 0, 0, 0, 0, 1);
}

void TestCompactPose::keepsEveryField()
{
    QFETCH(LightPose, pose);
    CompactPose whole;
    whole.set(poseOf(9, 9, 9, 9, 9, 9, 9));
    whole.set(pose);
    QVERIFY(sameBits(whole.value(), pose));
    QCOMPARE(whole.x(), pose.x);
    QCOMPARE(whole.y(), pose.y);

    // Field by field over an earlier pose, as a reader fills a light in file order.
    CompactPose fields;
    fields.set(poseOf(5, 6, 7, 0.1, 0.2, 0.3, 0.4));
    const double values[] = {pose.x, pose.y, pose.z, pose.q0, pose.q1, pose.q2, pose.q3};
    for (int i = 0; i < CompactPose::FieldCount; ++i)
        fields.setField(CompactPose::Field(i), values[i]);
    QVERIFY(sameBits(fields.value(), pose));
}

QTEST_MAIN(TestCompactPose)
#include "tst_compactpose.moc"
