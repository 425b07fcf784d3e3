#pragma once

#include <QDomDocument>
#include <QDomElement>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>

class Light;
class MapModel;

// A group compiled into chase steps. Steps hold light uids rather than Light pointers: a
// light or group can be deleted while a matrix that names it lives on (in a group or in a
// running highlight), so holders resolve uids through the map model when they use them.
struct GroupLightMatrix
{
    int stepCount = 0;
    int totalLightCount = 0;
    QVector<int> stepLightCounts;
    QVector<QVector<quint64>> stepLightUids;

    // Adds one step, keeping the counts in line with the lists.
    void appendStep(const QVector<quint64> &lights)
    {
        stepLightUids.append(lights);
        stepLightCounts.append(int(lights.size()));
        totalLightCount += int(lights.size());
        stepCount = int(stepLightUids.size());
    }
};

class Group : public QObject
{
    Q_OBJECT

public:
    enum Type { Chasing = 1, Synchronized = 2, OwnLight = 3 };
    enum Tag { TagType = 1, TagGroup = 2, TagSelf = 3, TagName = 4, TagChild = 5, TagOrder = 6 };

    static constexpr int ClickOrder = 40;
    // Walks over members go no deeper than this many levels below the group they start from:
    // real maps nest a few levels, and a chain of thousands from a file would exhaust the stack.
    static constexpr int MaxWalkDepth = 256;

    Group(int type, quint64 uid, const QString &name);
    explicit Group(QDomElement *element);
    ~Group() override;

    bool addChild(quint64 uid);
    bool addChildren(const QList<quint64> &uids);
    bool removeChild(quint64 uid);
    bool contains(quint64 uid) const;
    const QList<quint64> &children() const { return m_children; }
    // Gives back the room that appending one member at a time left over.
    void squeezeChildren() { m_children.squeeze(); }
    // Counts every addition of a member to any group in the process. Removals are not
    // counted: an index of who lists whom stays a safe superset through them.
    static quint64 additionsGeneration();

    void setType(int type);
    int type() const { return m_type; }
    quint64 uid() const { return m_uid; }
    void setName(const QString &name);
    QString name() const { return m_name; }
    void setChaseOrder(int order);
    int chaseOrder() const { return m_chaseOrder; }
    QString chaseOrderName(int order) const { return chaseOrderNames().value(order); }
    // One table for all groups: every light has an own group.
    static const QHash<int, QString> &chaseOrderNames();

    bool setModel(MapModel *map);
    MapModel *model() const { return m_map; }

    QList<quint64> orderedLightUids() const;
    int stepCount() const;

    // Compiles first when no matrix is held.
    GroupLightMatrix lightMatrix();
    bool hasLightMatrix() const { return m_hasMatrix; }
    void compile();
    void freeLightMatrix();
    // The lights of one compiled step that still exist in the map, in step order.
    QList<Light *> stepLights(int step);

    void toXml(QDomElement *element, QDomDocument *document) const;
    void fromXml(QDomElement *element);
    // fromXml in steps, for a reader that does not hold the element: each child's tag code
    // (tagCode) and text, then the finish. A group made from a null element and read this way
    // equals one made from the element.
    void readXmlField(int code, const QString &text);
    void finishXmlRead();

    static void buildTagTable();
    static int tagCode(const QString &tag);

    // Emits updatedGroup, and the same signal of the group's map.
    void notifyUpdatedGroup();

signals:
    void msg(const QString &s);
    void updatedGroup(quint64 uid);

public slots:
    void handleUpdatedLight(quint64 uid);

private:
    // The uids a walk must not enter again. Listing walks (flattening, ordered lights, step
    // counts) add every group they expand and keep it, so a group shared by several members
    // is expanded once per walk; compiling adds a group only while it is being compiled and
    // relies on the groups' stored matrices for the rest.
    using Seen = QSet<quint64>;

    Group *resolveGroup(quint64 uid) const;
    void flatten();
    QVector<quint64> stepGroupsOf(Seen &expanded, int depth = 0) const;
    void appendOrderedLightUids(Seen &expanded, Seen &listed, QList<quint64> &uids,
                                int depth) const;
    int stepCount(Seen &expanded, int depth) const;
    void compile(Seen &path);
    const GroupLightMatrix &matrixFor(Seen &path);
    // Compiles each step group not already on the path and hands over its matrix.
    template <typename Visit> void forEachStepMatrix(Seen &path, Visit visit);
    GroupLightMatrix compileChasing(Seen &path);
    GroupLightMatrix compileSynchronized(Seen &path);
    GroupLightMatrix compileOwnLight() const;

    // What flattening and compiling leave behind: the step group uids (0 marks a member that
    // did not resolve) and the matrix. Most groups of a large map (every light's own group)
    // are never compiled, so it is made only when first needed.
    struct CompiledState
    {
        QVector<quint64> stepGroups;
        GroupLightMatrix matrix;
    };
    CompiledState &compiled();

    quint64 m_uid = 0;
    QString m_name;
    QList<quint64> m_children;
    MapModel *m_map = nullptr;
    std::unique_ptr<CompiledState> m_compiled;
    int m_type = 0;
    int m_chaseOrder = ClickOrder;
    bool m_flattened = false;
    bool m_hasMatrix = false;
    bool m_compiling = false;
};
