#include "model/group.h"

#include "model/light.h"
#include "model/mapmodel.h"

#include <QPointer>

namespace {

QHash<QString, int> &tagTableStorage()
{
    static QHash<QString, int> table;
    return table;
}

QString hexText(quint64 value)
{
    return QString::number(value, 16).toUpper();
}

// Hands a light's update to the one group that bears its uid (its own group). One receiver
// per map instead of one connection per group keeps a light update from visiting every
// group, which would make loading or editing many lights quadratic.
class GroupLightRelay : public QObject
{
public:
    explicit GroupLightRelay(MapModel *map) : QObject(map), m_map(map)
    {
        connect(map, &MapModel::updatedLight, this, &GroupLightRelay::relay);
    }

    static void ensureFor(MapModel *map)
    {
        static QHash<MapModel *, QPointer<GroupLightRelay>> relays;
        QPointer<GroupLightRelay> &relay = relays[map];
        if (relay.isNull())
            relay = new GroupLightRelay(map);
    }

private:
    void relay(quint64 uid)
    {
        Group *group = m_map->group(uid);
        if (group && group->model() == m_map)
            group->handleUpdatedLight(uid);
    }

    MapModel *m_map;
};

} // namespace

Group::Group(int type, quint64 uid, const QString &name) : m_uid(uid), m_name(name), m_type(type)
{
    notifyUpdatedGroup();
}

Group::Group(QDomElement *element) : m_name(QStringLiteral("New Group"))
{
    fromXml(element);
    notifyUpdatedGroup();
}

Group::~Group() = default;

const QHash<int, QString> &Group::chaseOrderNames()
{
    static const QHash<int, QString> names = [] {
        static const char *const directions[] = {"Top",    "Top Right",   "Right", "Bottom Right",
                                                 "Bottom", "Bottom Left", "Left",  "Top Left"};
        QHash<int, QString> table;
        for (int code = 0; code < 40; ++code)
            table.insert(code, QString::fromLatin1(directions[code / 5]));
        table.insert(ClickOrder, QStringLiteral("Click order"));
        return table;
    }();
    return names;
}

namespace {
quint64 s_additionsGeneration = 0;
}

quint64 Group::additionsGeneration()
{
    return s_additionsGeneration;
}

bool Group::addChild(quint64 uid)
{
    ++s_additionsGeneration;
    m_children.append(uid);
    m_flattened = false;
    notifyUpdatedGroup();
    return true;
}

bool Group::addChildren(const QList<quint64> &uids)
{
    ++s_additionsGeneration;
    m_children.append(uids);
    m_flattened = false;
    notifyUpdatedGroup();
    return true;
}

bool Group::removeChild(quint64 uid)
{
    if (!m_children.removeOne(uid))
        return false;
    m_flattened = false;
    notifyUpdatedGroup();
    return true;
}

bool Group::contains(quint64 uid) const
{
    return m_children.contains(uid);
}

void Group::setType(int type)
{
    m_type = type;
    m_flattened = false;
    notifyUpdatedGroup();
}

void Group::setName(const QString &name)
{
    m_name = name;
    notifyUpdatedGroup();
}

void Group::setChaseOrder(int order)
{
    m_chaseOrder = order;
    notifyUpdatedGroup();
}

// Every light has an own group, so the group keeps no connections of its own: it hands its
// signals to the map it belongs to directly, as a connection to the map's signals of the same
// name would, and the map's one relay brings it its light's updates.
bool Group::setModel(MapModel *map)
{
    m_map = map;
    if (map)
        GroupLightRelay::ensureFor(map);
    return true;
}

void Group::notifyUpdatedGroup()
{
    emit updatedGroup(m_uid);
    if (m_map)
        emit m_map->updatedGroup(m_uid);
}

void Group::handleUpdatedLight(quint64 uid)
{
    if (uid != m_uid || !m_map)
        return;
    if (Light *light = m_map->light(uid)) {
        m_name = light->name();
        notifyUpdatedGroup();
    }
}

Group *Group::resolveGroup(quint64 uid) const
{
    return m_map ? m_map->group(uid) : nullptr;
}

// Member uids come from files, so a group can contain itself, close a cycle or share its
// members with other groups (a ladder of groups that each hold the next level's pair doubles
// the paths at every level). Every walk therefore remembers the uids it must not enter again
// and never lists a light twice in one step, which keeps it linear in the size of the group
// graph; on groups that share no members the results are those of a plain walk of the tree.

QList<quint64> Group::orderedLightUids() const
{
    QList<quint64> uids;
    Seen expanded{m_uid};
    Seen listed;
    appendOrderedLightUids(expanded, listed, uids, 0);
    return uids;
}

void Group::appendOrderedLightUids(Seen &expanded, Seen &listed, QList<quint64> &uids,
                                   int depth) const
{
    if (!m_map)
        return;
    if (m_type >= OwnLight) {
        if (!m_children.isEmpty() && !listed.contains(m_children.first())) {
            listed.insert(m_children.first());
            uids.append(m_children.first());
        }
        return;
    }
    for (quint64 member : m_children) {
        Group *group = resolveGroup(member);
        if (!group || expanded.contains(member) || depth >= MaxWalkDepth)
            continue;
        expanded.insert(member);
        group->appendOrderedLightUids(expanded, listed, uids, depth + 1);
    }
}

int Group::stepCount() const
{
    Seen expanded{m_uid};
    return stepCount(expanded, 0);
}

int Group::stepCount(Seen &expanded, int depth) const
{
    if (m_type != Chasing)
        return 1;
    if (!m_map)
        return -1;
    int count = 0;
    for (quint64 member : m_children) {
        Group *group = resolveGroup(member);
        if (!group || expanded.contains(member) || depth >= MaxWalkDepth)
            continue;
        expanded.insert(member);
        count += group->stepCount(expanded, depth + 1);
    }
    return count;
}

// A chasing member stands for one step when it has exactly one: its step groups are as many
// as its steps, so expanding it once tells both.
QVector<quint64> Group::stepGroupsOf(Seen &expanded, int depth) const
{
    QVector<quint64> steps;
    if (m_type == Synchronized) {
        steps.reserve(m_children.size());
        for (quint64 member : m_children)
            steps.append(resolveGroup(member) && !expanded.contains(member) ? member : 0);
    } else if (m_type == Chasing) {
        for (quint64 member : m_children) {
            Group *group = resolveGroup(member);
            if (!group || expanded.contains(member) || depth >= MaxWalkDepth)
                continue;
            expanded.insert(member);
            if (group->type() != Chasing) {
                steps.append(member);
                continue;
            }
            const QVector<quint64> memberSteps = group->stepGroupsOf(expanded, depth + 1);
            if (memberSteps.size() == 1)
                steps.append(member);
            else
                steps += memberSteps;
        }
    }
    return steps;
}

void Group::flatten()
{
    Seen expanded{m_uid};
    compiled().stepGroups = stepGroupsOf(expanded);
    m_flattened = true;
}

GroupLightMatrix Group::lightMatrix()
{
    if (!m_hasMatrix)
        compile();
    return compiled().matrix;
}

Group::CompiledState &Group::compiled()
{
    if (!m_compiled)
        m_compiled = std::make_unique<CompiledState>();
    return *m_compiled;
}

void Group::compile()
{
    Seen path{m_uid};
    compile(path);
}

void Group::compile(Seen &path)
{
    if (!m_flattened)
        flatten();
    GroupLightMatrix matrix;
    switch (m_type) {
    case Chasing:
        matrix = compileChasing(path);
        break;
    case Synchronized:
        matrix = compileSynchronized(path);
        break;
    case OwnLight:
        matrix = compileOwnLight();
        break;
    default:
        break;
    }
    compiled().matrix = std::move(matrix);
    m_hasMatrix = true;
}

// A step group's matrix, compiling it first when it has none. A chasing step group stands
// for one step, so it is compiled as synchronized: all its lights at once. The matrix is
// kept, so a step group shared by many groups is compiled once.
const GroupLightMatrix &Group::matrixFor(Seen &path)
{
    if (m_hasMatrix)
        return compiled().matrix;
    if (m_type == Chasing) {
        m_type = Synchronized;
        CompiledState &state = compiled();
        const QVector<quint64> savedSteps = state.stepGroups;
        const bool savedFlattened = m_flattened;
        state.stepGroups = stepGroupsOf(path);
        GroupLightMatrix matrix = compileSynchronized(path);
        state.matrix = std::move(matrix);
        m_hasMatrix = true;
        state.stepGroups = savedSteps;
        m_flattened = savedFlattened;
        m_type = Chasing;
        return state.matrix;
    }
    compile(path);
    return compiled().matrix;
}

template <typename Visit> void Group::forEachStepMatrix(Seen &path, Visit visit)
{
    // A copy: compiling a step group may compile this one's state anew.
    const QVector<quint64> stepGroups = compiled().stepGroups;
    for (quint64 stepUid : stepGroups) {
        Group *group = stepUid ? resolveGroup(stepUid) : nullptr;
        // The path holds the starting group and every group being compiled below it.
        if (!group || path.contains(stepUid) || path.size() > MaxWalkDepth)
            continue;
        path.insert(stepUid);
        visit(group->matrixFor(path));
        path.remove(stepUid);
    }
}

GroupLightMatrix Group::compileChasing(Seen &path)
{
    GroupLightMatrix matrix;
    forEachStepMatrix(path, [&matrix](const GroupLightMatrix &stepMatrix) {
        const QVector<quint64> lights = stepMatrix.stepLightUids.isEmpty()
                                            ? QVector<quint64>()
                                            : stepMatrix.stepLightUids.first();
        matrix.appendStep(lights);
    });
    return matrix;
}

GroupLightMatrix Group::compileSynchronized(Seen &path)
{
    QVector<quint64> lights;
    Seen listed;
    forEachStepMatrix(path, [&lights, &listed](const GroupLightMatrix &stepMatrix) {
        for (const QVector<quint64> &step : stepMatrix.stepLightUids) {
            for (quint64 uid : step) {
                if (!listed.contains(uid)) {
                    listed.insert(uid);
                    lights.append(uid);
                }
            }
        }
    });
    GroupLightMatrix matrix;
    matrix.appendStep(lights);
    return matrix;
}

GroupLightMatrix Group::compileOwnLight() const
{
    QVector<quint64> lights;
    if (m_map && m_map->light(m_uid))
        lights.append(m_uid);
    GroupLightMatrix matrix;
    matrix.appendStep(lights);
    return matrix;
}

void Group::freeLightMatrix()
{
    if (m_compiled)
        m_compiled->matrix = GroupLightMatrix();
    m_hasMatrix = false;
}

QList<Light *> Group::stepLights(int step)
{
    const GroupLightMatrix matrix = lightMatrix();
    QList<Light *> lights;
    if (!m_map || step < 0 || step >= matrix.stepLightUids.size())
        return lights;
    for (quint64 uid : matrix.stepLightUids.at(step)) {
        if (Light *light = m_map->light(uid))
            lights.append(light);
    }
    return lights;
}

void Group::buildTagTable()
{
    QHash<QString, int> &table = tagTableStorage();
    if (!table.isEmpty())
        return;
    const struct
    {
        const char *tag;
        int code;
    } tags[] = {{"t", TagType},  {"type", TagType},   {"g", TagGroup}, {"group", TagGroup},
                {"s", TagSelf},  {"self", TagSelf},   {"n", TagName},  {"name", TagName},
                {"c", TagChild}, {"child", TagChild}, {"o", TagOrder}};
    for (const auto &entry : tags)
        table.insert(QString::fromLatin1(entry.tag), entry.code);
}

int Group::tagCode(const QString &tag)
{
    buildTagTable();
    return tagTableStorage().value(tag, 0);
}

void Group::toXml(QDomElement *element, QDomDocument *document) const
{
    if (!element || !document)
        return;
    element->setTagName(QStringLiteral("g"));
    auto append = [&](const QString &tag, const QString &text) {
        QDomElement child = document->createElement(tag);
        child.appendChild(document->createTextNode(text));
        element->appendChild(child);
    };
    append(QStringLiteral("t"), QString::number(m_type));
    append(QStringLiteral("s"), hexText(m_uid));
    append(QStringLiteral("n"), m_name);
    append(QStringLiteral("o"), QString::number(m_chaseOrder));
    for (quint64 member : m_children)
        append(QStringLiteral("c"), hexText(member));
}

void Group::fromXml(QDomElement *element)
{
    if (!element || element->isNull())
        return;
    for (QDomElement child = element->firstChildElement(); !child.isNull();
         child = child.nextSiblingElement())
        readXmlField(tagCode(child.tagName()), child.text());
    finishXmlRead();
}

void Group::readXmlField(int code, const QString &text)
{
    bool ok = false;
    switch (code) {
    case TagType:
        m_type = text.toInt(&ok);
        if (!ok)
            m_type = 0;
        break;
    case TagSelf:
        m_uid = text.toULongLong(&ok, 16);
        if (!ok)
            m_uid = 0xFFFFFFFFu;
        break;
    case TagName:
        m_name = text;
        break;
    case TagChild: {
        const quint64 member = text.toULongLong(&ok, 16);
        if (ok) {
            ++s_additionsGeneration;
            m_children.append(member);
        }
        break;
    }
    case TagOrder:
        m_chaseOrder = text.toInt(&ok);
        if (!ok)
            m_chaseOrder = ClickOrder;
        break;
    default:
        break;
    }
}

void Group::finishXmlRead()
{
    m_flattened = false;
    notifyUpdatedGroup();
}
