#include "model/mapfilereader.h"

#include "model/group.h"
#include "model/light.h"

#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Text a parsed document leaves out: nothing but white space in the Unicode sense, whether
// written as is or as references.
bool isBlank(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isPlainNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isPlainNameChar(char c)
{
    return isPlainNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool sameName(const char *name, qsizetype size, const char *literal)
{
    return qsizetype(std::strlen(literal)) == size && std::memcmp(name, literal, size_t(size)) == 0;
}

// The character a reference starting at p stands for, and where it ends; false for a
// reference the plain form leaves to the XML parser.
bool decodeReference(const char *&p, const char *end, char32_t *code)
{
    constexpr qsizetype MaxReference = 12;
    const char *semicolon = static_cast<const char *>(
        std::memchr(p + 1, ';', size_t(std::min<qsizetype>(end - p - 1, MaxReference))));
    if (!semicolon)
        return false;
    const char *body = p + 1;
    const qsizetype size = semicolon - body;
    static const struct
    {
        const char *name;
        char32_t code;
    } entities[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    *code = 0;
    for (const auto &entity : entities) {
        if (sameName(body, size, entity.name))
            *code = entity.code;
    }
    if (*code == 0) {
        if (size < 2 || body[0] != '#')
            return false;
        const bool hex = body[1] == 'x';
        const char *digit = body + (hex ? 2 : 1);
        if (digit == semicolon)
            return false;
        char32_t value = 0;
        for (; digit < semicolon; ++digit) {
            const char c = *digit;
            int d = -1;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (hex && c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            if (d < 0)
                return false;
            value = value * (hex ? 16 : 10) + char32_t(d);
            if (value > 0x10FFFF)
                return false;
        }
        if (!isXmlChar(value))
            return false;
        *code = value;
    }
    p = semicolon + 1;
    return true;
}

// One character of strict UTF-8 starting at p; false for malformed bytes and for characters
// XML does not allow.
bool decodeUtf8(const char *&p, const char *end, char32_t *code)
{
    const auto lead = static_cast<unsigned char>(*p);
    int follow = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        follow = 1;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        follow = 2;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        follow = 3;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        return false;
    }
    if (end - p <= follow)
        return false;
    for (int i = 1; i <= follow; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if ((c & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (c & 0x3F);
    }
    if (value < least || !isXmlChar(value))
        return false;
    p += follow + 1;
    *code = value;
    return true;
}

// The text between two tags as the XML parser reports it, references resolved. False for
// what the plain form leaves to the parser: carriage returns (which the parser normalises),
// control characters, a '>' that may close "]]>", other entities, malformed UTF-8. whitespace
// tells whether the text is blank.
bool decodePlainText(const char *begin, const char *end, QString &out, bool *whitespace)
{
    out.resize(end - begin);
    QChar *const start = out.data();
    QChar *to = start;
    bool space = true;
    for (const char *p = begin; p < end;) {
        const char c = *p;
        char32_t code = 0;
        if (static_cast<unsigned char>(c) >= 0x80) {
            if (!decodeUtf8(p, end, &code))
                return false;
        } else if (c == '&') {
            if (!decodeReference(p, end, &code))
                return false;
        } else {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')
                return false;
            if (c == '>' && p > begin && (p[-1] == ']' || p[-1] == ';'))
                return false;
            if (c != ' ' && c != '\t' && c != '\n')
                space = false;
            *to++ = QLatin1Char(c);
            ++p;
            continue;
        }
        space = space && QChar::isSpace(code);
        if (QChar::requiresSurrogates(code)) {
            *to++ = QChar(QChar::highSurrogate(code));
            *to++ = QChar(QChar::lowSurrogate(code));
        } else {
            *to++ = QChar(char16_t(code));
        }
    }
    out.resize(to - start);
    *whitespace = space;
    return true;
}

// The text of a field: the reused buffer itself for a field that is only parsed, a copy in a
// block of its own size for one that is kept (a name, a list entry), which would keep the
// buffer's spare room too, a third of every light's name. Copying every field costs opening a
// large map a tenth more time.
QString fieldText(const QString &buffer, bool kept)
{
    return kept ? QString(buffer.constData(), buffer.size()) : buffer;
}

bool isGroupTag(const QString &tag)
{
    return tag == QLatin1String("g") || tag == QLatin1String("group");
}

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           (static_cast<unsigned char>(c) >= 0x80);
}

// Bytes that may continue a name; every byte of a non-ASCII character counts, the parser
// tells the broken ones.
bool isNameByte(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The length of the name starting at p in UTF-16 units, as the parser counts it; it stops
// counting a little past the limit.
qsizetype nameLength(const char *p, const char *end)
{
    qsizetype length = 0;
    for (; p < end && isNameByte(*p) && length <= MapFileReader::MaxNameLength; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x80 || (c >= 0xC0 && c < 0xF0))
            ++length;
        else if (c >= 0xF0)
            length += 2;
    }
    return length;
}

// Where the byte at pos stands, counted as the XML parser counts: lines from 1, columns in
// characters from the line's start.
void placeOf(const QByteArray &bytes, qsizetype pos, qint64 *line, qint64 *column)
{
    qint64 lines = 1;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < pos; ++i) {
        if (bytes[i] == '\n') {
            ++lines;
            lineStart = i + 1;
        }
    }
    *line = lines;
    *column = QString::fromUtf8(bytes.constData() + lineStart, pos - lineStart).size();
}

// The end of a construct that runs from pos to the terminator, or the end of the data.
qsizetype skipPast(const QByteArray &bytes, qsizetype pos, const char *terminator)
{
    const qsizetype found = bytes.indexOf(terminator, pos);
    return found < 0 ? bytes.size() : found + qsizetype(std::strlen(terminator));
}

} // namespace

// A default-constructed document is a null one that makes only null nodes.
QDomDocument MapFileReader::newRecordDocument()
{
    return QDomDocument(QString());
}

MapFileReader::~MapFileReader()
{
    clear();
}

void MapFileReader::releaseRecords()
{
    for (Record &record : m_records) {
        delete std::exchange(record.light, nullptr);
        delete std::exchange(record.group, nullptr);
    }
    std::vector<Record>().swap(m_records);
    std::vector<QByteArray>().swap(m_interfaceSources);
}

void MapFileReader::clear()
{
    delete std::exchange(m_light, nullptr);
    delete std::exchange(m_group, nullptr);
    releaseRecords();
    m_interfaceStart = nullptr;
    m_topLevelCount = 0;
    m_rootIsMap = false;
    m_depth = 0;
    m_lightCount = 0;
    m_groupCount = 0;
    m_memberCount = 0;
    m_recordDocument = newRecordDocument();
    m_record = QDomElement();
    m_current = QDomNode();
    m_lastWasText = false;
    m_fieldCode = 0;
    m_fieldName.clear();
    m_fieldText.clear();
    m_fieldSimple = true;
    m_skipDepth = 0;
    m_hasText = false;
}

void MapFileReader::refuse(const QString &error, qint64 line, qint64 column)
{
    m_error = error;
    m_errorLine = line;
    m_errorColumn = column;
}

// The XML parser checks every attribute against every other of its element, so one element
// with tens of thousands of them takes minutes; they are counted on the bytes first. Names are
// measured on the way: the parser reads a name longer than MaxNameLength wrongly, cut short or
// as a mismatch depending on its length, so such a file is refused whichever reader it meets.
// Comments and character data are stepped over, and quoted values may hold '>'.
bool MapFileReader::checkMarkup(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    while (pos < size) {
        const char *open =
            static_cast<const char *>(std::memchr(data + pos, '<', size_t(size - pos)));
        const qsizetype start = open ? open - data : size;
        if (!checkReferenceNames(bytes, pos, start))
            return false;
        if (!open)
            return true;
        if (start + 1 < size && open[1] == '!' && std::strncmp(open, "<!--", 4) == 0) {
            pos = skipPast(bytes, start + 4, "-->");
            continue;
        }
        if (start + 1 < size && open[1] == '!' && std::strncmp(open, "<![CDATA[", 9) == 0) {
            pos = skipPast(bytes, start + 9, "]]>");
            continue;
        }
        if (start + 1 < size && open[1] == '?') {
            if (nameLength(data + start + 2, data + size) > MaxNameLength)
                return refuseLongName(bytes, start + 2);
            pos = skipPast(bytes, start + 2, "?>");
            continue;
        }
        const bool element = start + 1 < size && isNameStart(open[1]);
        int attributes = 0;
        char quote = 0;
        qsizetype i = start + 1;
        for (; i < size; ++i) {
            const char c = data[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (element && c == '=') {
                if (++attributes > MaxAttributes) {
                    refuseLimit(bytes, i,
                                QStringLiteral("An element carries more than %1 attributes.")
                                    .arg(MaxAttributes));
                    return false;
                }
            } else if (c == '>' || c == '<') {
                // A '<' inside a tag is broken XML: the parser reports it.
                break;
            } else if (isNameByte(c) && !isNameByte(data[i - 1])) {
                if (nameLength(data + i, data + size) > MaxNameLength)
                    return refuseLongName(bytes, i);
            }
        }
        pos = i;
    }
    return true;
}

// Entity references in the text from pos to end.
bool MapFileReader::checkReferenceNames(const QByteArray &bytes, qsizetype pos, qsizetype end)
{
    const char *data = bytes.constData();
    while (pos < end) {
        const char *amp =
            static_cast<const char *>(std::memchr(data + pos, '&', size_t(end - pos)));
        if (!amp)
            return true;
        pos = amp - data + 1;
        if (nameLength(data + pos, data + end) > MaxNameLength)
            return refuseLongName(bytes, pos);
    }
    return true;
}

bool MapFileReader::refuseLongName(const QByteArray &bytes, qsizetype pos)
{
    refuseLimit(bytes, pos,
                QStringLiteral("A name is longer than %1 characters.").arg(MaxNameLength));
    return false;
}

void MapFileReader::refuseLimit(const QByteArray &bytes, qsizetype pos, const QString &error)
{
    qint64 line = 0;
    qint64 column = 0;
    placeOf(bytes, pos, &line, &column);
    refuse(error, line, column);
    m_exceededLimit = true;
}

bool MapFileReader::read(const QByteArray &bytes, Path path)
{
    if (!checkMarkup(bytes))
        return false;
    m_usedXmlParser = false;
    if (path == Path::PlainFirst) {
        if (readPlain(bytes))
            return true;
        if (m_exceededLimit)
            return false;
    }
    clear();
    m_usedXmlParser = true;
    return readXml(bytes);
}

bool MapFileReader::readXml(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    // The map format has no namespaces: a prefix is part of the name, declared or not.
    reader.setNamespaceProcessing(false);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.hasError())
            break;
        if (reader.tokenType() == QXmlStreamReader::StartElement && m_depth + 1 > MaxDepth) {
            refuse(QStringLiteral("Elements nest deeper than %1 levels.").arg(MaxDepth),
                   reader.lineNumber(), reader.columnNumber());
            m_exceededLimit = true;
            return false;
        }
        readToken(reader);
        if (m_exceededLimit) {
            m_errorLine = reader.lineNumber();
            m_errorColumn = reader.columnNumber();
            return false;
        }
    }
    if (reader.hasError()) {
        refuse(reader.errorString(), reader.lineNumber(), reader.columnNumber());
        return false;
    }
    return true;
}

// The counts are of records and member fields as written, whether or not their texts read,
// so that both readers stop at the same element.
bool MapFileReader::countLight()
{
    if (++m_lightCount <= MaxLights)
        return true;
    m_error = QStringLiteral("The map holds more than %1 lights.").arg(MaxLights);
    m_exceededLimit = true;
    return false;
}

bool MapFileReader::countGroup()
{
    m_memberCount = 0;
    if (++m_groupCount <= MaxGroups)
        return true;
    m_error = QStringLiteral("The map holds more than %1 groups.").arg(MaxGroups);
    m_exceededLimit = true;
    return false;
}

bool MapFileReader::countGroupField(const QString &tag)
{
    if (Group::tagCode(tag) != Group::TagChild || ++m_memberCount <= MaxGroupMembers)
        return true;
    m_error = QStringLiteral("A group holds more than %1 members.").arg(MaxGroupMembers);
    m_exceededLimit = true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// The plain scanner. It reads what the XML parser path reads, token for token as the parser
// reports them, and returns false at the first thing it leaves to the parser.

bool MapFileReader::readPlain(const QByteArray &bytes)
{
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    std::vector<std::pair<const char *, qsizetype>> open;
    bool rootDone = false;
    while (p < end) {
        if (*p != '<') {
            const auto *next = static_cast<const char *>(std::memchr(p, '<', size_t(end - p)));
            if (!next)
                next = end;
            if (open.empty()) {
                if (!std::all_of(p, next, isSpace))
                    return false;
            } else if (!plainText(p, next)) {
                return false;
            }
            p = next;
            continue;
        }
        const bool closing = p + 1 < end && p[1] == '/';
        const char *name = p + (closing ? 2 : 1);
        if (name >= end || !isPlainNameStart(*name))
            return false;
        const char *q = name + 1;
        while (q < end && isPlainNameChar(*q))
            ++q;
        const qsizetype size = q - name;
        if (size > MaxNameLength)
            return false;
        while (q < end && isSpace(*q))
            ++q;
        if (q >= end)
            return false;
        const bool empty = !closing && *q == '/';
        if (empty && (q + 1 >= end || q[1] != '>'))
            return false;
        if (!empty && *q != '>')
            return false;
        p = q + (empty ? 2 : 1);
        if (closing) {
            if (open.empty() || open.back().second != size ||
                std::memcmp(open.back().first, name, size_t(size)) != 0)
                return false;
            m_position = p;
            plainEnd();
            open.pop_back();
            rootDone = open.empty();
            continue;
        }
        if (rootDone || int(open.size()) + 1 > MaxDepth)
            return false;
        open.emplace_back(name, size);
        if (!plainStart(name, size)) {
            if (m_exceededLimit)
                placeOf(bytes, p - bytes.constData(), &m_errorLine, &m_errorColumn);
            return false;
        }
        if (empty) {
            m_position = p;
            plainEnd();
            open.pop_back();
            rootDone = open.empty();
        }
    }
    return rootDone;
}

void MapFileReader::setTagName(const char *name, qsizetype size)
{
    m_tagName.resize(size);
    QChar *to = m_tagName.data();
    for (qsizetype i = 0; i < size; ++i)
        to[i] = QLatin1Char(name[i]);
}

bool MapFileReader::plainStart(const char *name, qsizetype size)
{
    ++m_depth;
    m_hasText = false;
    if (m_depth == 1) {
        m_topLevelCount = 1;
        m_rootIsMap = sameName(name, size, "map");
        return m_rootIsMap;
    }
    if (m_depth == 2) {
        m_lastWasText = false;
        if (sameName(name, size, "l") || sameName(name, size, "light")) {
            if (!countLight())
                return false;
            m_light = new Light;
            return true;
        }
        if (sameName(name, size, "g") || sameName(name, size, "group")) {
            if (!countGroup())
                return false;
            m_group = new Group(nullptr);
            return true;
        }
        if (m_keepInterfacesAsText &&
            (sameName(name, size, "c") || sameName(name, size, "DataSupply"))) {
            m_interfaceStart = name - 1;
            return true;
        }
        m_record = m_recordDocument.createElement(QString::fromLatin1(name, size));
        m_current = m_record;
        return true;
    }
    if (m_interfaceStart)
        return true;
    if (m_light)
        return plainLightStart(name, size);
    if (m_group)
        return plainGroupStart(name, size);
    QDomElement element = m_recordDocument.createElement(QString::fromLatin1(name, size));
    m_current.appendChild(element);
    m_current = element;
    return true;
}

// A light's fields hold text only, its two lists elements holding text only; a field the
// light does not know may hold anything.
bool MapFileReader::plainLightStart(const char *name, qsizetype size)
{
    if (m_skipDepth > 0)
        return true;
    if (m_depth == 3) {
        setTagName(name, size);
        m_fieldCode = Light::tagTable().value(m_tagName, 0);
        if (m_fieldCode == 0)
            m_skipDepth = m_depth;
        return true;
    }
    const bool list =
        m_fieldCode == Light::TagProperties || m_fieldCode == Light::TagAdditionalData;
    if (m_depth != 4 || !list)
        return false;
    m_entryName = QString::fromLatin1(name, size);
    return true;
}

bool MapFileReader::plainGroupStart(const char *name, qsizetype size)
{
    if (m_skipDepth > 0)
        return true;
    if (m_depth != 3)
        return false;
    setTagName(name, size);
    if (!countGroupField(m_tagName))
        return false;
    m_fieldCode = Group::tagCode(m_tagName);
    if (m_fieldCode == 0)
        m_skipDepth = m_depth;
    return true;
}

bool MapFileReader::plainText(const char *begin, const char *end)
{
    bool whitespace = true;
    if (!decodePlainText(begin, end, m_text, &whitespace))
        return false;
    if (whitespace)
        return true;
    if (m_depth == 1) {
        m_records.emplace_back();
        return true;
    }
    if (m_interfaceStart)
        return true;
    // A light's or group's fields take their text at their end; text at the record level of
    // either is not read. In any other record the text is a node.
    if (m_light || m_group) {
        m_hasText = m_depth > 2;
        return true;
    }
    m_current.appendChild(m_recordDocument.createTextNode(m_text));
    return true;
}

void MapFileReader::plainEnd()
{
    if (m_depth == 2) {
        if (m_interfaceStart) {
            plainInterfaceEnd();
        } else if (m_light) {
            m_light->finishXmlRead();
            Record record;
            record.kind = Record::Light;
            record.light = std::exchange(m_light, nullptr);
            m_records.push_back(std::move(record));
        } else if (m_group) {
            m_group->finishXmlRead();
            Record record;
            record.kind = Record::Group;
            record.group = std::exchange(m_group, nullptr);
            m_records.push_back(std::move(record));
        } else {
            stageElement(m_record);
            m_record = QDomElement();
            m_current = QDomNode();
        }
    } else if (m_depth > 2 && !m_interfaceStart) {
        if (m_light)
            plainLightEnd();
        else if (m_group)
            plainGroupEnd();
        else
            m_current = m_current.parentNode();
    }
    m_hasText = false;
    --m_depth;
}

void MapFileReader::plainLightEnd()
{
    if (m_skipDepth > 0) {
        if (m_depth == m_skipDepth)
            m_skipDepth = 0;
        return;
    }
    const bool kept = m_depth == 4 || m_fieldCode == Light::TagName;
    const QString text = m_hasText ? fieldText(m_text, kept) : QString();
    if (m_depth == 4) {
        if (m_fieldCode == Light::TagProperties)
            m_light->readXmlProperty(m_entryName, text);
        else
            m_light->readXmlAdditionalDatum(m_entryName, text);
    } else if (m_fieldCode != Light::TagProperties && m_fieldCode != Light::TagAdditionalData) {
        m_light->readXmlField(m_fieldCode, QDomElement(), text);
    }
}

void MapFileReader::plainInterfaceEnd()
{
    Record record;
    record.kind = Record::DataSupply;
    record.source = int(m_interfaceSources.size());
    m_interfaceSources.emplace_back(m_interfaceStart, m_position - m_interfaceStart);
    m_interfaceStart = nullptr;
    m_records.push_back(std::move(record));
}

QDomElement MapFileReader::interfaceElement(Record &record)
{
    if (record.source < 0 || size_t(record.source) >= m_interfaceSources.size())
        return record.element;
    // The text read well once; read again inside a map element of its own, it makes the
    // element the first reading would have made.
    MapFileReader reader;
    reader.m_keepInterfacesAsText = false;
    const QByteArray source = std::exchange(m_interfaceSources[size_t(record.source)], {});
    record.source = -1;
    if (reader.readPlain(QByteArrayLiteral("<map>") + source + QByteArrayLiteral("</map>")) &&
        reader.m_records.size() == 1) {
        record.element = reader.m_records.front().element;
        record.document = reader.m_records.front().document;
    }
    return record.element;
}

void MapFileReader::plainGroupEnd()
{
    if (m_skipDepth > 0) {
        if (m_depth == m_skipDepth)
            m_skipDepth = 0;
        return;
    }
    const bool kept = m_fieldCode == Group::TagName;
    m_group->readXmlField(m_fieldCode, m_hasText ? fieldText(m_text, kept) : QString());
}

// ---------------------------------------------------------------------------------------------
// The XML parser path

// Mirrors what a parsed document would hold: blank text is dropped, neighbouring
// text is one node, character data sections stay nodes of their own.
void MapFileReader::readToken(QXmlStreamReader &reader)
{
    if (m_light && readLightToken(reader))
        return;
    switch (reader.tokenType()) {
    case QXmlStreamReader::StartDocument:
        if (!reader.documentVersion().isEmpty())
            ++m_topLevelCount;
        break;
    case QXmlStreamReader::StartElement: {
        ++m_depth;
        if (m_depth == 1) {
            ++m_topLevelCount;
            m_rootIsMap = reader.qualifiedName() == QLatin1String("map");
            break;
        }
        if (!m_rootIsMap)
            break;
        const QStringView name = reader.qualifiedName();
        if (m_depth == 2 && (name == QLatin1String("l") || name == QLatin1String("light"))) {
            if (!countLight())
                break;
            m_lastWasText = false;
            m_light = new Light;
            break;
        }
        if (m_depth == 2 && (name == QLatin1String("g") || name == QLatin1String("group")) &&
            !countGroup())
            break;
        if (m_depth == 3 && isGroupTag(m_record.tagName()) && !countGroupField(name.toString()))
            break;
        QDomElement element = m_recordDocument.createElement(reader.qualifiedName().toString());
        const QXmlStreamAttributes attributes = reader.attributes();
        for (const QXmlStreamAttribute &attribute : attributes)
            element.setAttribute(attribute.qualifiedName().toString(),
                                 attribute.value().toString());
        if (m_depth == 2) {
            m_lastWasText = false;
            m_record = element;
            m_current = element;
        } else {
            m_current.appendChild(element);
            m_current = element;
        }
        break;
    }
    case QXmlStreamReader::EndElement:
        if (m_rootIsMap && m_depth == 2) {
            stageElement(m_record);
            m_record = QDomElement();
            m_current = QDomNode();
        } else if (m_rootIsMap && m_depth > 2) {
            m_current = m_current.parentNode();
        }
        --m_depth;
        break;
    case QXmlStreamReader::Characters:
    case QXmlStreamReader::EntityReference:
        appendText(reader.text().toString(), reader.isCDATA(), isBlank(reader.text()));
        break;
    case QXmlStreamReader::Comment:
        appendChildNode(m_recordDocument.createComment(reader.text().toString()));
        break;
    case QXmlStreamReader::ProcessingInstruction:
        appendChildNode(m_recordDocument.createProcessingInstruction(
            reader.processingInstructionTarget().toString(),
            reader.processingInstructionData().toString()));
        break;
    default:
        break;
    }
}

// Lights are most of a large map and their fields are plain texts: those go to the light as
// they are read, and only a field holding more than text (the property lists, or anything
// unusual) is built as an element first. The light reads exactly what it would read from the
// whole element. Returns false for the tokens the element building takes.
bool MapFileReader::readLightToken(QXmlStreamReader &reader)
{
    const QXmlStreamReader::TokenType type = reader.tokenType();
    if (type == QXmlStreamReader::StartElement) {
        if (m_skipDepth > 0 || m_depth + 1 > 3) {
            if (m_skipDepth > 0) {
                ++m_depth;
                return true;
            }
            if (m_fieldSimple)
                fieldToElement();
            return false;
        }
        ++m_depth;
        const QString name = reader.qualifiedName().toString();
        m_fieldCode = Light::tagTable().value(name, 0);
        if (m_fieldCode == 0) {
            m_skipDepth = m_depth; // a tag the light does not read
            return true;
        }
        m_fieldName = name;
        m_fieldText.clear();
        m_fieldSimple = true;
        if (m_fieldCode == Light::TagProperties || m_fieldCode == Light::TagAdditionalData)
            fieldToElement();
        return true;
    }
    if (type == QXmlStreamReader::EndElement) {
        if (m_skipDepth > 0) {
            if (m_depth == m_skipDepth)
                m_skipDepth = 0;
            --m_depth;
            return true;
        }
        if (m_depth > 3)
            return false;
        if (m_depth == 3) {
            if (m_fieldSimple) {
                m_light->readXmlField(m_fieldCode, QDomElement(), m_fieldText);
            } else {
                m_light->readXmlField(m_fieldCode, m_record, m_record.firstChild().nodeValue());
                m_record = QDomElement();
                m_current = QDomNode();
            }
        } else {
            m_light->finishXmlRead();
            Record record;
            record.kind = Record::Light;
            record.light = std::exchange(m_light, nullptr);
            m_records.push_back(std::move(record));
        }
        --m_depth;
        return true;
    }
    // The light element's own text and comments are not read, nor anything in a skipped tag.
    if (m_skipDepth > 0 || m_depth < 3)
        return true;
    if (m_fieldSimple) {
        const bool text = type == QXmlStreamReader::EntityReference ||
                          (type == QXmlStreamReader::Characters && !reader.isCDATA());
        if (text) {
            if (!isBlank(reader.text()))
                m_fieldText += reader.text();
            return true;
        }
        fieldToElement();
    }
    return false;
}

void MapFileReader::fieldToElement()
{
    m_record = m_recordDocument.createElement(m_fieldName);
    if (!m_fieldText.isEmpty())
        m_record.appendChild(m_recordDocument.createTextNode(m_fieldText));
    m_current = m_record;
    m_fieldSimple = false;
}

void MapFileReader::appendText(const QString &text, bool cdata, bool whitespace)
{
    if (!cdata && whitespace)
        return;
    if (m_depth <= 0)
        return;
    if (m_depth == 1) {
        if (m_rootIsMap && !(m_lastWasText && !cdata))
            m_records.emplace_back();
        m_lastWasText = !cdata;
        return;
    }
    if (!m_rootIsMap)
        return;
    if (cdata) {
        m_current.appendChild(m_recordDocument.createCDATASection(text));
        return;
    }
    QDomNode last = m_current.lastChild();
    if (last.nodeType() == QDomNode::TextNode)
        last.toText().appendData(text);
    else
        m_current.appendChild(m_recordDocument.createTextNode(text));
}

void MapFileReader::appendChildNode(const QDomNode &node)
{
    if (m_depth == 0) {
        ++m_topLevelCount;
    } else if (m_depth == 1) {
        if (m_rootIsMap)
            m_records.emplace_back();
        m_lastWasText = false;
    } else if (m_rootIsMap) {
        m_current.appendChild(node);
    }
}

void MapFileReader::readElement(const QDomNode &node)
{
    m_rootIsMap = node.isElement() && node.toElement().tagName() == QLatin1String("map");
    const QDomNodeList children = node.childNodes();
    const int n = int(children.size());
    for (int i = 0; i < n; ++i) {
        const QDomElement element = children.at(i).toElement();
        if (element.isNull())
            m_records.emplace_back();
        else
            stageElement(element);
    }
}

void MapFileReader::stageElement(const QDomElement &element)
{
    Record record;
    const QString tag = element.tagName();
    if (tag == QLatin1String("DataSupply") || tag == QLatin1String("c")) {
        record.kind = Record::DataSupply;
        record.element = element;
        record.document = m_recordDocument;
        // The record keeps its document; the next one gets a new one.
        m_recordDocument = newRecordDocument();
    } else if (tag == QLatin1String("light") || tag == QLatin1String("l")) {
        record.kind = Record::Light;
        record.light = new Light(&element);
    } else if (tag == QLatin1String("group") || tag == QLatin1String("g")) {
        record.kind = Record::Group;
        QDomElement copy = element;
        record.group = new Group(&copy);
    } else if (tag == QLatin1String("imagefile")) {
        record.kind = Record::ImageFile;
        record.text = element.text();
    } else if (tag == QLatin1String("postsync")) {
        record.kind = Record::PostSync;
        record.text = element.text();
    }
    m_records.push_back(std::move(record));
}
