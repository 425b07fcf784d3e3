#pragma once

#include <QString>

// The text with every character that XML 1.0 does not allow (control characters other than
// tab, line feed and carriage return, unpaired surrogates, U+FFFE and U+FFFF) replaced by
// U+FFFD, so that a written document always parses again.
QString xmlSafeText(const QString &text);
