#ifndef NUMERICCOLLATOR_H
#define NUMERICCOLLATOR_H

#include <QCollator>

// A collator that compares digit runs by their value ("Light 2" before "Light 10"). Under the
// C locale the toolkit's collator ignores numeric mode, so that case borrows a real locale's
// rules; a user without a configured locale still gets the numeric order.
QCollator makeNumericCollator();

// One numeric collator for every row of the views, made on first use. A collator holds an
// opened collation engine of about a kilobyte; one per row costs 150 MB on a large map.
// GUI thread only: a collator is not safe to share between threads.
const QCollator &sharedNumericCollator();

#endif // NUMERICCOLLATOR_H
