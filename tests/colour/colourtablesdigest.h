#ifndef COLOURTABLESDIGEST_H
#define COLOURTABLESDIGEST_H

#include <QByteArray>

// A digest of everything the fixture-type table and the profile database hold (ids 0 to 54,
// both sets, values, names and gamut points). Tests that reach the tables first through
// different entry points compare it with one expected value.
QByteArray colourTablesDigest();
extern const char expectedColourTablesDigest[];

#endif // COLOURTABLESDIGEST_H
