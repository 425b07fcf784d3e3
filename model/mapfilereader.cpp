#include "model/mapfilereader.h"

#include "model/group.h"
#include "model/light.h"

#include <QXmlStreamReader>

#include <cstring>
#include <utility>

namespace {

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           (static_cast<unsigned char>(c) >= 0x80);
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
    delete m_light;
    for (Record &record : m_records) {
        delete record.light;
        delete record.group;
    }
}

void MapFileReader::refuse(const QString &error, qint64 line, qint64 column)
{
    m_error = error;
    m_errorLine = line;
    m_errorColumn = column;
}

// The XML parser checks every attribute against every other of its element, so one element
// with tens of thousands of them takes minutes; they are counted on the bytes first. Comments,
// character data, processing instructions and declarations are stepped over, and quoted values
// may hold '>'.
bool MapFileReader::checkAttributeCounts(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    while (pos < size) {
        const char *open =
            static_cast<const char *>(std::memchr(data + pos, '<', size_t(size - pos)));
        if (!open)
            return true;
        const qsizetype start = open - data;
        if (std::strncmp(open, "<!--", 4) == 0) {
            pos = skipPast(bytes, start + 4, "-->");
            continue;
        }
        if (std::strncmp(open, "<![CDATA[", 9) == 0) {
            pos = skipPast(bytes, start + 9, "]]>");
            continue;
        }
        if (start + 1 < size && open[1] == '?') {
            pos = skipPast(bytes, start + 2, "?>");
            continue;
        }
        if (start + 1 >= size || !isNameStart(open[1])) {
            pos = start + 1;
            continue;
        }
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
            } else if (c == '=') {
                if (++attributes > MaxAttributes) {
                    qint64 line = 0;
                    qint64 column = 0;
                    placeOf(bytes, i, &line, &column);
                    refuse(QStringLiteral("An element carries more than %1 attributes.")
                               .arg(MaxAttributes),
                           line, column);
                    m_exceededLimit = true;
                    return false;
                }
            } else if (c == '>' || c == '<') {
                // A '<' inside a tag is broken XML: the parser reports it.
                break;
            }
        }
        pos = i;
    }
    return true;
}

bool MapFileReader::read(const QByteArray &bytes)
{
    if (!checkAttributeCounts(bytes))
        return false;
    QXmlStreamReader reader(bytes);
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
    }
    if (reader.hasError()) {
        refuse(reader.errorString(), reader.lineNumber(), reader.columnNumber());
        return false;
    }
    return true;
}

// Mirrors what a parsed document would hold: text of only white space is dropped, neighbouring
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
        if (m_depth == 2 && (reader.qualifiedName() == QLatin1String("l") ||
                             reader.qualifiedName() == QLatin1String("light"))) {
            m_lastWasText = false;
            m_light = new Light;
            break;
        }
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
        appendText(reader.text().toString(), reader.isCDATA(), reader.isWhitespace());
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
            if (!reader.isWhitespace())
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
