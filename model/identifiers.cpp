#include "model/identifiers.h"

#include <climits>

namespace {

QString hexPart(quint64 value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

// The runtime library's classification in its default locale; bytes beyond ASCII are word
// characters whatever the locale says.
bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// atoi as the comparison assumes it: a run beyond the int range counts as INT_MAX. glibc's
// atoi does not clamp, so the clamp is explicit.
int clampedDigitValue(QByteArrayView digits)
{
    qint64 value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > INT_MAX)
            return INT_MAX;
    }
    return int(value);
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool isAscii(QByteArrayView text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

int sign(int value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

// Case-insensitive word order as QString::compare gives it; ASCII words (nearly all names)
// are compared in place, since for them case folding is plain lower-casing.
int compareWords(QByteArrayView a, QByteArrayView b)
{
    if (!isAscii(a) || !isAscii(b)) {
        return sign(QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive));
    }
    const qsizetype common = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const int diff = int(asciiLower(a[i])) - int(asciiLower(b[i]));
        if (diff != 0)
            return sign(diff);
    }
    return sign(int(a.size() - b.size()));
}

int compareTokens(int kindA, const NaturalTokenizer &a, int kindB, const NaturalTokenizer &b)
{
    if (kindA == NaturalNumber && kindB == NaturalNumber) {
        const int va = clampedDigitValue(a.token());
        const int vb = clampedDigitValue(b.token());
        return va < vb ? -1 : (va > vb ? 1 : 0);
    }
    if (kindA == NaturalNumber)
        return -1;
    if (kindB == NaturalNumber)
        return 1;
    return compareWords(a.token(), b.token());
}

} // namespace

QString uidToString(quint64 uid)
{
    if (uid <= 0xFFFFFFFFu)
        return hexPart(uid, 8);
    return hexPart(uid >> 32, 4) + hexPart(uid & 0xFFFFFFFFu, 8);
}

QString uidToColonString(quint64 uid)
{
    if (uid <= 0xFFFFFFFFu)
        return hexPart(uid, 8);
    return hexPart(uid >> 32, 4) + QLatin1Char(':') + hexPart(uid & 0xFFFFFFFFu, 8);
}

quint64 uidFromString(const QString &text)
{
    QString digits = text;
    digits.remove(QLatin1Char(':'));
    bool ok = false;
    const quint64 value = digits.toULongLong(&ok, 16);
    return ok ? value : 0;
}

quint64 hexIdFromString(const QString &text)
{
    return uidFromString(text.trimmed());
}

NaturalTokenizer::NaturalTokenizer(const QString &source) : text(source.toLocal8Bit()) {}

int nextNaturalToken(NaturalTokenizer &tokenizer)
{
    const QByteArray &text = tokenizer.text;
    const int end = int(text.size());
    int pos = tokenizer.cursor;
    tokenizer.tokenStart = pos;
    tokenizer.tokenLength = 0;
    while (pos < end && isSpace(text[pos]))
        ++pos;
    if (pos >= end) {
        tokenizer.cursor = end;
        return NaturalEnd;
    }
    const bool number = isDigit(text[pos]);
    const int start = pos++;
    while (pos < end && (number ? isDigit(text[pos]) : !isDigit(text[pos]) && !isSpace(text[pos])))
        ++pos;
    tokenizer.tokenStart = start;
    tokenizer.tokenLength = pos - start;
    tokenizer.cursor = pos;
    return number ? NaturalNumber : NaturalWord;
}

int naturalCompare(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty()) {
        if (a.isEmpty() && b.isEmpty())
            return 0;
        return a.isEmpty() ? -1 : 1;
    }
    NaturalTokenizer left(a);
    NaturalTokenizer right(b);
    for (;;) {
        const int kindA = nextNaturalToken(left);
        const int kindB = nextNaturalToken(right);
        if (kindA == NaturalEnd)
            return kindB == NaturalEnd ? 0 : -1;
        if (kindB == NaturalEnd)
            return 1;
        const int order = compareTokens(kindA, left, kindB, right);
        if (order != 0)
            return order;
    }
}
