#ifndef IDENTIFIERS_H
#define IDENTIFIERS_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

// Text forms of uids as dialogs show and read them back. The map file writes uids without
// zero fill and does not use these.
QString uidToString(quint64 uid);
QString uidToColonString(quint64 uid);
// Drops every ":" and reads hexadecimal; 0 when that fails.
quint64 uidFromString(const QString &text);
// As uidFromString, after trimming white space at both ends.
quint64 hexIdFromString(const QString &text);

// The reading state of one side of a natural-order comparison.
struct NaturalTokenizer
{
    explicit NaturalTokenizer(const QString &text);

    QByteArray text; // local 8-bit form
    int cursor = 0;
    // The last token read, as a range of text: tokens never outlive the text, so a view
    // spares the copy.
    int tokenStart = 0;
    int tokenLength = 0;

    QByteArrayView token() const { return QByteArrayView(text).sliced(tokenStart, tokenLength); }
};

enum NaturalTokenKind { NaturalEnd = 0, NaturalNumber = 1, NaturalWord = 2 };

int nextNaturalToken(NaturalTokenizer &tokenizer);

// Digit runs compare by value, words without regard to case, a number orders before a word;
// white space only separates tokens. Returns -1, 0 or 1.
int naturalCompare(const QString &a, const QString &b);

#endif // IDENTIFIERS_H
