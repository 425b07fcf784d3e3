#ifndef NUMERICCOLLATOR_H
#define NUMERICCOLLATOR_H

#include <QCollator>

// A collator that compares digit runs by their value ("Light 2" before "Light 10"). Under the
// C locale the toolkit's collator ignores numeric mode, so that case borrows a real locale's
// rules; a user without a configured locale still gets the numeric order.
QCollator makeNumericCollator();

#endif // NUMERICCOLLATOR_H
