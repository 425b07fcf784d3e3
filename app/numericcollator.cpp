#include "numericcollator.h"

QCollator makeNumericCollator()
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    return collator;
}

const QCollator &sharedNumericCollator()
{
    // Made again when the application's locale changed since, as each row's own collator
    // would have been made in the locale of its time.
    static QLocale madeFor;
    static QCollator collator = makeNumericCollator();
    const QLocale now;
    if (now != madeFor) {
        madeFor = now;
        collator = makeNumericCollator();
    }
    return collator;
}
