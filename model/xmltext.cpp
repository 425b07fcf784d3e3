#include "model/xmltext.h"

namespace {

bool isAllowedBmp(char16_t c)
{
    if (c < 0x20)
        return c == 0x09 || c == 0x0A || c == 0x0D;
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace

QString xmlSafeText(const QString &text)
{
    QString result;
    const int size = int(text.size());
    const QChar *data = text.constData();
    for (int i = 0; i < size; ++i) {
        const char16_t c = data[i].unicode();
        bool allowed = true;
        int width = 1;
        if (QChar::isHighSurrogate(c)) {
            allowed = i + 1 < size && QChar::isLowSurrogate(data[i + 1].unicode());
            width = allowed ? 2 : 1;
        } else if (QChar::isLowSurrogate(c)) {
            allowed = false;
        } else {
            allowed = isAllowedBmp(c);
        }
        if (!allowed && result.isNull()) {
            // Copy only once a character has to change; most documents pass untouched.
            result.reserve(size);
            result.append(data, i);
        }
        if (!result.isNull())
            allowed ? result.append(data + i, width) : result.append(QChar(0xFFFD));
        i += width - 1;
    }
    return result.isNull() ? text : result;
}
