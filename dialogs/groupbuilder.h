#ifndef GROUPBUILDER_H
#define GROUPBUILDER_H

#include <QList>
#include <QPointF>
#include <QString>

#include <limits>

class Group;
class MapModel;

// One light during re-ordering: u runs along the sweep, v across it, both whole numbers.
struct PositionRecord
{
    double u = 0.0;
    double v = 0.0;
    quint64 uid = 0;

    static bool lessThan(const PositionRecord &a, const PositionRecord &b)
    {
        return a.u < b.u || (a.u == b.u && a.v < b.v);
    }
};

// Turns selected lights into a chasing group, in click order or swept from a start position
// on their bounding box, optionally split into one synchronized subgroup per line across the
// sweep. Holds the rules of the group creation dialog without any widget.
class GroupBuilder
{
public:
    enum StartPosition {
        Left,
        Right,
        Top,
        Bottom,
        TopLeft,
        TopRight,
        BottomLeft,
        BottomRight,
        StartPositionCount
    };

    // The lights' bounding box; y grows downwards, so the top is the smallest y. Starts empty
    // rather than at a large finite box, so lights placed beyond it still bound it.
    struct Bounds
    {
        double minX = std::numeric_limits<double>::infinity();
        double minY = std::numeric_limits<double>::infinity();
        double maxX = -std::numeric_limits<double>::infinity();
        double maxY = -std::numeric_limits<double>::infinity();

        void include(const QPointF &p);
    };

    struct Options
    {
        QString name;
        bool keepClickOrder = true;
        int start = Left;
        bool subgroups = false;
    };

    // Told the work's size, then each step's count; advance returns false when the user
    // cancelled.
    class Progress
    {
    public:
        virtual ~Progress() = default;
        virtual void start(int maximum) { Q_UNUSED(maximum); }
        virtual bool advance(int value)
        {
            Q_UNUSED(value);
            return true;
        }
    };

    // Radians; an index outside the eight positions counts as Left.
    static double sweepAngle(int start);
    static QPointF referencePoint(int start, const Bounds &bounds);
    // (u, v): the along and across coordinates of a light at pos.
    static QPointF rotatedPosition(int start, const Bounds &bounds, const QPointF &pos);
    // Sorts the records and cuts them into lines of equal u, each in ascending v.
    static QList<QList<quint64>> lines(QList<PositionRecord> records);

    static QString groupName(const QString &entered);
    static QString subgroupName(const QString &name, int n);
    // A select-all has no meaningful click order: it is swept from the top instead.
    static bool keepsClickOrder(bool keepChecked, bool selectAll)
    {
        return keepChecked && !selectAll;
    }
    static int startFor(bool keepChecked, bool selectAll, int checkedStart);

    static Bounds boundsOf(const MapModel *map, const QList<quint64> &uids);

    // Adds the groups to the map and returns the main group; null when a cancel stopped the
    // re-ordering before anything was made. A cancel while a click-order group fills keeps
    // the group with the lights added so far.
    static Group *build(MapModel *map, const QList<quint64> &clickOrder, const Options &options,
                        Progress *progress = nullptr);

private:
    static Group *buildInClickOrder(MapModel *map, const QList<quint64> &clickOrder,
                                    const QString &name, Progress &progress);
    static Group *buildReordered(MapModel *map, const QList<quint64> &clickOrder,
                                 const Options &options, const QString &name, Progress &progress);
    static Group *addNewGroup(MapModel *map, int type, const QString &name);
};

#endif // GROUPBUILDER_H
