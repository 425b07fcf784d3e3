#ifndef MAPFILEREADER_H
#define MAPFILEREADER_H

#include <QByteArray>
#include <QDomDocument>
#include <QDomElement>
#include <QString>

#include <vector>

class Group;
class Light;
class QXmlStreamReader;

// Reads a map file record by record instead of as one document: lights and groups are built
// from their fields as they are read, every other child of the map element becomes a small
// document of its own for the map model to take. Nothing reaches a map until the whole file
// has been read, so a file refused anywhere leaves the map as it was. A file nesting deeper
// or carrying more attributes on one element than any map needs is refused before the XML
// parser spends time on it.
//
// Files as the map writes them (elements and text only, in UTF-8, no declaration) are read by
// a scanner of that plain form that makes no string per token; anything else it meets, well
// formed or not, sends the whole file through the XML parser instead, which reads it the same
// way and gives the errors.
class MapFileReader
{
public:
    // The map format nests fewer than ten levels and uses no attributes at all.
    static constexpr int MaxDepth = 32;
    static constexpr int MaxAttributes = 8;
    // The XML parser misreads longer names.
    static constexpr int MaxNameLength = 4096;
    // Far beyond any installation, yet small enough that a refused file has cost well under
    // two gigabytes by the time it is refused.
    static constexpr int MaxLights = 1000000;
    static constexpr int MaxGroups = 2000000;
    static constexpr int MaxGroupMembers = 1000000;

    // Which reader a file meets: the plain scanner where it can, or the XML parser always.
    // Both load every file the same way; forcing the parser is for comparing them.
    enum class Path { PlainFirst, XmlParserOnly };

    // One child node of the map element, in file order.
    struct Record
    {
        enum Kind { Other, DataSupply, Light, Group, ImageFile, PostSync };
        Kind kind = Other;
        // The plain scanner keeps an interface record as its text until interfaceElement
        // asks for it: the index of that text, or -1.
        int source = -1;
        ::Light *light = nullptr; // owned until taken
        ::Group *group = nullptr; // owned until taken
        QDomElement element;      // the interface record, in a document of its own
        QDomDocument document;
        QString text; // the text of an image file or post-sync record
    };

    MapFileReader() = default;
    ~MapFileReader();
    MapFileReader(const MapFileReader &) = delete;
    MapFileReader &operator=(const MapFileReader &) = delete;

    // False for a file that is not well-formed XML or exceeds the limits; the error and its
    // place are then set.
    bool read(const QByteArray &bytes, Path path = Path::PlainFirst);
    // Whether the last read went through the XML parser rather than the plain scanner.
    bool usedXmlParser() const { return m_usedXmlParser; }
    // The same records from a document already parsed: node is the map element.
    void readElement(const QDomNode &node);

    QString errorString() const { return m_error; }
    qint64 errorLine() const { return m_errorLine; }
    qint64 errorColumn() const { return m_errorColumn; }
    // Whether the refusal was one of the limits rather than broken XML.
    bool exceededLimit() const { return m_exceededLimit; }

    // Top-level nodes as a parsed document holds them: the XML declaration, comments,
    // processing instructions and the root element.
    int topLevelCount() const { return m_topLevelCount; }
    bool rootIsMap() const { return m_rootIsMap; }
    std::vector<Record> &records() { return m_records; }
    // An interface record's element. The plain scanner builds it only now, from the record's
    // text: every light an interface lists is a node of its own, and the interfaces of a map of
    // 150,000 lights held as elements all at once took 58 MB while it was read. The text goes
    // once the element is made.
    QDomElement interfaceElement(Record &record);
    // Frees the records and their room; the lights and groups not taken from them go too.
    void releaseRecords();

private:
    static QDomDocument newRecordDocument();
    void clear();
    bool readPlain(const QByteArray &bytes);
    bool plainStart(const char *name, qsizetype size);
    bool plainText(const char *begin, const char *end);
    void plainEnd();
    bool plainLightStart(const char *name, qsizetype size);
    bool plainGroupStart(const char *name, qsizetype size);
    void plainLightEnd();
    void plainGroupEnd();
    void plainInterfaceEnd();
    void setTagName(const char *name, qsizetype size);
    bool checkMarkup(const QByteArray &bytes);
    bool checkReferenceNames(const QByteArray &bytes, qsizetype pos, qsizetype end);
    bool refuseLongName(const QByteArray &bytes, qsizetype pos);
    void refuseLimit(const QByteArray &bytes, qsizetype pos, const QString &error);
    bool readXml(const QByteArray &bytes);
    bool countLight();
    bool countGroup();
    bool countGroupField(const QString &tag);
    void refuse(const QString &error, qint64 line, qint64 column);
    void stageElement(const QDomElement &element);
    void readToken(QXmlStreamReader &reader);
    bool readLightToken(QXmlStreamReader &reader);
    void fieldToElement();
    void appendText(const QString &text, bool cdata, bool whitespace);
    void appendChildNode(const QDomNode &node);

    std::vector<Record> m_records;
    QString m_error;
    qint64 m_errorLine = 0;
    qint64 m_errorColumn = 0;
    bool m_exceededLimit = false;
    int m_topLevelCount = 0;
    bool m_rootIsMap = false;
    int m_depth = 0;
    int m_lightCount = 0;
    int m_groupCount = 0;
    int m_memberCount = 0; // of the group being read

    // The record being read: its own document and the element under construction.
    QDomDocument m_recordDocument = newRecordDocument();
    // The record's element holds its whole tree: a child does not keep its parent alive.
    QDomElement m_record;
    QDomNode m_current;
    bool m_lastWasText = false;

    // The light being read straight from the stream, and the field of it being read.
    ::Light *m_light = nullptr;
    int m_fieldCode = 0;
    QString m_fieldName;
    QString m_fieldText;
    bool m_fieldSimple = true;
    int m_skipDepth = 0;

    // The plain scanner's record being read, and texts it reuses to spare allocations.
    ::Group *m_group = nullptr;
    QString m_tagName;
    QString m_text;
    bool m_hasText = false;
    QString m_entryName;
    // Where the scanner stands, for the end of a record kept as text.
    const char *m_position = nullptr;
    // The interface record being read as text, and the texts of those read so far.
    const char *m_interfaceStart = nullptr;
    std::vector<QByteArray> m_interfaceSources;
    bool m_keepInterfacesAsText = true;
    bool m_usedXmlParser = false;
};

#endif // MAPFILEREADER_H
