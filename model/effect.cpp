#include "model/effect.h"

#include <QMutex>

namespace {

// Positions 1 to 93 are the key codes. Only the common keys and the two selection colours are
// read by any effect of this program; the rest name values of effect kinds it does not have.
const char *const keyNames[] = {"effect",
                                "type",
                                "name",
                                "eid",
                                "gid",
                                "transparency",
                                "priority",
                                "begin",
                                "end",
                                "fadein",
                                "fadeout",
                                "starttype",
                                "startfixedtime",
                                "startlinkeid",
                                "startlinkstart",
                                "startlinkoffset",
                                "endtype",
                                "endfixedtime",
                                "endlinkeid",
                                "endlinkstart",
                                "endlinkoffset",
                                "endcyclecount",
                                "brightness",
                                "loop",
                                "color",
                                "groupoffset",
                                "reversedir",
                                "reversecolor",
                                "startcolor",
                                "endcolor",
                                "starttrans",
                                "endtrans",
                                "time",
                                "temperature",
                                "intensity",
                                "inputType",
                                "warm",
                                "cool",
                                "animationdir",
                                "preload",
                                "fps",
                                "xoffset",
                                "yoffset",
                                "scale",
                                "transcolor",
                                "transenabled",
                                "smooth",
                                "imagefile",
                                "cycletime",
                                "startx",
                                "starty",
                                "endx",
                                "endy",
                                "startscale",
                                "endscale",
                                "fadetime",
                                "cyclecount",
                                "offset",
                                "fgcolor",
                                "bgcolor",
                                "decay",
                                "density",
                                "sparklecolor",
                                "sparkletrans",
                                "fgtrans",
                                "bgtrans",
                                "width",
                                "fwdtail",
                                "revtail",
                                "reverse",
                                "wrap",
                                "temperatureStart",
                                "intensityStart",
                                "inputTypeStart",
                                "warmStart",
                                "coolStart",
                                "temperatureEnd",
                                "intensityEnd",
                                "inputTypeEnd",
                                "warmEnd",
                                "coolEnd",
                                "centerx",
                                "centery",
                                "cycledir",
                                "rainbowdir",
                                "twist",
                                "number",
                                "clockwise",
                                "text",
                                "font",
                                "fontsize",
                                "bold",
                                "italic"};
static_assert(sizeof(keyNames) / sizeof(keyNames[0]) == Effect::KeyLast, "93 effect keys");

QHash<QString, int> &keyTable()
{
    static QHash<QString, int> table;
    return table;
}

quint32 readUInt32(const QString &text, quint32 fallback)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    return ok ? value : fallback;
}

int readInt(const QString &text, int fallback)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : fallback;
}

double readDouble(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? value : 0.0;
}

QString doubleText(double value)
{
    return QString::number(value, 'g', 6);
}

void appendKey(QDomElement &element, const char *key, const QString &text)
{
    QDomDocument document = element.ownerDocument();
    QDomElement child = document.createElement(QString::fromLatin1(key));
    child.appendChild(document.createTextNode(text));
    element.appendChild(child);
}

} // namespace

Effect::Effect(MapModel *map, quint64 groupUid)
    : m_map(map), m_groupUid(groupUid), m_startTime(QDateTime::currentDateTime())
{}

Effect::~Effect() = default;

void Effect::tick(const QDateTime &now, quint32 frame, bool renderFrame)
{
    m_currentTickTime = now;
    m_currentFrame = frame;
    if (enabled && renderFrame) {
        if (!m_frameStarted)
            beginFrame();
        render();
    }
    m_frameStarted = false;
    m_previousTickTime = now;
}

void Effect::startFrame()
{
    beginFrame();
    m_frameStarted = true;
}

QList<quint64> Effect::groups() const
{
    return {m_groupUid};
}

void Effect::restart()
{
    m_startTime = m_currentTickTime;
}

void Effect::setBegin(int begin)
{
    m_begin = begin;
    emit beginChanged();
}

void Effect::setEnd(int end)
{
    m_end = end;
    emit endChanged();
}

void Effect::buildKeyTable()
{
    static QMutex mutex;
    QMutexLocker locker(&mutex);
    QHash<QString, int> &table = keyTable();
    if (!table.isEmpty())
        return;
    for (int code = 1; code <= KeyLast; ++code)
        table.insert(QString::fromLatin1(keyNames[code - 1]), code);
}

int Effect::keyCode(const QString &key)
{
    buildKeyTable();
    return keyTable().value(key, 0);
}

void Effect::saveCommon(QDomElement &element) const
{
    appendKey(element, "type", m_typeName);
    appendKey(element, "name", m_name);
    appendKey(element, "eid", QString::number(m_effectId));
    appendKey(element, "gid", QString::number(m_groupUid));
    appendKey(element, "transparency", doubleText(m_transparency));
    appendKey(element, "priority", QString::number(m_priority));
    appendKey(element, "begin", QString::number(quint32(m_begin)));
    appendKey(element, "end", QString::number(quint32(m_end)));
    appendKey(element, "fadein", QString::number(m_fadeIn));
    appendKey(element, "fadeout", QString::number(m_fadeOut));
    appendKey(element, "starttype", QString::number(m_startType));
    appendKey(element, "startfixedtime", QString::number(m_startFixedTime));
    appendKey(element, "startlinkeid", QString::number(m_startLinkEid));
    appendKey(element, "startlinkstart",
              m_startLinkStart ? QStringLiteral("1") : QStringLiteral("0"));
    appendKey(element, "startlinkoffset", doubleText(m_startLinkOffset));
    appendKey(element, "endtype", QString::number(m_endType));
    appendKey(element, "endfixedtime", QString::number(m_endFixedTime));
    appendKey(element, "endlinkeid", QString::number(m_endLinkEid));
    appendKey(element, "endlinkstart", m_endLinkStart ? QStringLiteral("1") : QStringLiteral("0"));
    appendKey(element, "endlinkoffset", doubleText(m_endLinkOffset));
    appendKey(element, "endcyclecount", QString::number(m_endCycleCount));
}

void Effect::loadCommon(QDomElement *element)
{
    if (!element || element->isNull())
        return;
    for (QDomElement child = element->firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        const QString text = child.firstChild().nodeValue();
        switch (keyCode(child.tagName())) {
        case KeyType:
            m_typeName = text;
            break;
        case KeyName:
            m_name = text;
            break;
        case KeyEid:
            m_effectId = readUInt32(text, NoId);
            break;
        case KeyGid:
            // The key is 32-bit: a larger group uid reads as "no group".
            m_groupUid = readUInt32(text, NoId);
            reset();
            break;
        case KeyTransparency:
            m_transparency = readDouble(text);
            break;
        case KeyPriority:
            m_priority = readUInt32(text, 0);
            break;
        case KeyBegin:
            setBegin(int(readUInt32(text, 0)));
            break;
        case KeyEnd:
            setEnd(int(readUInt32(text, 0)));
            break;
        case KeyFadeIn:
            m_fadeIn = readUInt32(text, 0);
            break;
        case KeyFadeOut:
            m_fadeOut = readUInt32(text, 0);
            break;
        case KeyStartType:
            m_startType = readInt(text, 0);
            break;
        case KeyStartFixedTime:
            m_startFixedTime = readUInt32(text, 0);
            break;
        case KeyStartLinkEid:
            m_startLinkEid = readUInt32(text, NoId);
            break;
        case KeyStartLinkStart:
            m_startLinkStart = readInt(text, 1) != 0;
            break;
        case KeyStartLinkOffset:
            m_startLinkOffset = readDouble(text);
            break;
        case KeyEndType:
            m_endType = readInt(text, 0);
            break;
        case KeyEndFixedTime:
            m_endFixedTime = readUInt32(text, 0);
            break;
        case KeyEndLinkEid:
            m_endLinkEid = readUInt32(text, NoId);
            break;
        case KeyEndLinkStart:
            m_endLinkStart = readInt(text, 1) != 0;
            break;
        case KeyEndLinkOffset:
            m_endLinkOffset = readDouble(text);
            break;
        case KeyEndCycleCount:
            m_endCycleCount = readUInt32(text, 1);
            break;
        default:
            break;
        }
    }
}
