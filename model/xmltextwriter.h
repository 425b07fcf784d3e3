#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

class QIODevice;

// Writes an XML document as text straight to a device, laid out and escaped exactly as the
// DOM writes a document with an indent of one space per level, without building the document
// first: a large map as a DOM costs several times its file in memory and most of the save
// time. Every text and tag passes through xmlSafeText. The text goes out in large chunks; a
// chunk the device takes only in part stops the writer and is reported by finish().
class XmlTextWriter
{
public:
    explicit XmlTextWriter(QIODevice *device);
    XmlTextWriter(const XmlTextWriter &) = delete;
    XmlTextWriter &operator=(const XmlTextWriter &) = delete;

    void startElement(QLatin1String tag);
    void startElement(const QString &tag);
    void endElement();

    // An element holding one text node, even an empty one: "<tag>text</tag>".
    void textElement(QLatin1String tag, const QString &text);
    void textElement(const QString &tag, const QString &text);
    // The same with a number as its text, as QString::number writes it.
    void numberElement(QLatin1String tag, qint64 value);
    void unsignedElement(QLatin1String tag, quint64 value);
    // Base 16 in upper case, a negative value with a minus sign.
    void hexElement(QLatin1String tag, qint64 value);
    void unsignedHexElement(QLatin1String tag, quint64 value);
    // Fixed notation with six decimals, upper-cased.
    void fixedElement(QLatin1String tag, double value);

    // Writes what is left; false when any write fell short.
    bool finish();

private:
    void openTag(const QByteArray &tag);
    void closeParentStartTag();
    void indent(int depth);
    void writeTextElement(QByteArrayView tag, const QString &text);
    void appendEscapedText(const QString &text);
    void asciiElement(QLatin1String tag, const char *begin, const char *end);
    void flushWhenFull();
    bool flush();

    struct Open
    {
        QByteArray tag;
        bool hasChildren = false;
    };

    QIODevice *m_device;
    QByteArray m_buffer;
    std::vector<Open> m_open;
    bool m_failed = false;
};
