#include "model/xmltextwriter.h"

#include "model/xmltext.h"

#include <QIODevice>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr qsizetype ChunkSize = 1 << 20;

void toUpper(char *begin, char *end)
{
    for (char *c = begin; c != end; ++c) {
        if (*c >= 'a' && *c <= 'z')
            *c = char(*c - 'a' + 'A');
    }
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
    }
    out.append(char(0x80 | (c & 0x3F)));
}

} // namespace

XmlTextWriter::XmlTextWriter(QIODevice *device) : m_device(device)
{
    m_buffer.reserve(ChunkSize + 4096);
}

void XmlTextWriter::closeParentStartTag()
{
    if (m_open.empty() || m_open.back().hasChildren)
        return;
    m_open.back().hasChildren = true;
    m_buffer.append(">\n", 2);
}

void XmlTextWriter::indent(int depth)
{
    m_buffer.append(qsizetype(depth), ' ');
}

void XmlTextWriter::openTag(const QByteArray &tag)
{
    closeParentStartTag();
    indent(int(m_open.size()));
    m_buffer.append('<');
    m_buffer.append(tag);
    m_open.push_back({tag, false});
}

void XmlTextWriter::startElement(QLatin1String tag)
{
    openTag(QByteArray(tag.data(), tag.size()));
}

void XmlTextWriter::startElement(const QString &tag)
{
    openTag(xmlSafeText(tag).toUtf8());
}

void XmlTextWriter::endElement()
{
    if (m_open.empty())
        return;
    const Open open = std::move(m_open.back());
    m_open.pop_back();
    if (open.hasChildren) {
        indent(int(m_open.size()));
        m_buffer.append("</", 2);
        m_buffer.append(open.tag);
        m_buffer.append(">\n", 2);
    } else {
        m_buffer.append("/>\n", 3);
    }
    flushWhenFull();
}

// The DOM escapes '<' and '&' always, '>' only where it would close "]]>", and a carriage
// return as a reference so that it survives the parser's line-end normalisation.
void XmlTextWriter::appendEscapedText(const QString &raw)
{
    const QString text = xmlSafeText(raw);
    const QChar *data = text.constData();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = data[i].unicode();
        if (c >= 0x80) {
            char32_t code = c;
            if (QChar::isHighSurrogate(c) && i + 1 < size &&
                QChar::isLowSurrogate(data[i + 1].unicode()))
                code = QChar::surrogateToUcs4(c, data[++i].unicode());
            appendUtf8(m_buffer, code);
            continue;
        }
        switch (c) {
        case u'<':
            m_buffer.append("&lt;", 4);
            break;
        case u'&':
            m_buffer.append("&amp;", 5);
            break;
        case u'>':
            if (i >= 2 && data[i - 1] == u']' && data[i - 2] == u']')
                m_buffer.append("&gt;", 4);
            else
                m_buffer.append('>');
            break;
        case u'\r':
            m_buffer.append("&#xd;", 5);
            break;
        default:
            m_buffer.append(char(c));
            break;
        }
    }
}

void XmlTextWriter::writeTextElement(QByteArrayView tag, const QString &text)
{
    closeParentStartTag();
    indent(int(m_open.size()));
    m_buffer.append('<');
    m_buffer.append(tag);
    m_buffer.append('>');
    appendEscapedText(text);
    m_buffer.append("</", 2);
    m_buffer.append(tag);
    m_buffer.append(">\n", 2);
    flushWhenFull();
}

void XmlTextWriter::textElement(QLatin1String tag, const QString &text)
{
    writeTextElement(QByteArrayView(tag.data(), tag.size()), text);
}

void XmlTextWriter::textElement(const QString &tag, const QString &text)
{
    writeTextElement(xmlSafeText(tag).toUtf8(), text);
}

// An element whose text needs no escaping.
void XmlTextWriter::asciiElement(QLatin1String tag, const char *begin, const char *end)
{
    closeParentStartTag();
    indent(int(m_open.size()));
    m_buffer.append('<');
    m_buffer.append(tag.data(), tag.size());
    m_buffer.append('>');
    m_buffer.append(begin, end - begin);
    m_buffer.append("</", 2);
    m_buffer.append(tag.data(), tag.size());
    m_buffer.append(">\n", 2);
    flushWhenFull();
}

void XmlTextWriter::numberElement(QLatin1String tag, qint64 value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    asciiElement(tag, digits, result.ptr);
}

void XmlTextWriter::unsignedElement(QLatin1String tag, quint64 value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    asciiElement(tag, digits, result.ptr);
}

void XmlTextWriter::hexElement(QLatin1String tag, qint64 value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, 16);
    toUpper(digits, result.ptr);
    asciiElement(tag, digits, result.ptr);
}

void XmlTextWriter::unsignedHexElement(QLatin1String tag, quint64 value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, 16);
    toUpper(digits, result.ptr);
    asciiElement(tag, digits, result.ptr);
}

void XmlTextWriter::fixedElement(QLatin1String tag, double value)
{
    // Whole numbers, most positions of a map, need no decimal conversion.
    if (value == std::trunc(value) && std::abs(value) < 1e15 &&
        (value != 0 || !std::signbit(value))) {
        char digits[32];
        auto result = std::to_chars(digits, digits + 16, qint64(value));
        std::memcpy(result.ptr, ".000000", 7);
        asciiElement(tag, digits, result.ptr + 7);
        return;
    }
    const QByteArray text = QString::number(value, 'f', 6).toUpper().toLatin1();
    asciiElement(tag, text.constData(), text.constData() + text.size());
}

void XmlTextWriter::flushWhenFull()
{
    if (m_buffer.size() >= ChunkSize)
        flush();
}

bool XmlTextWriter::flush()
{
    if (!m_failed && !m_buffer.isEmpty() && m_device->write(m_buffer) != m_buffer.size())
        m_failed = true;
    m_buffer.resize(0); // keeps the allocation for the next chunk
    return !m_failed;
}

bool XmlTextWriter::finish()
{
    return flush();
}
