#include "veyintvalidator.h"

VeyIntValidator::VeyIntValidator(int bottom, int top, QObject *parent)
    : QIntValidator(bottom, top, parent)
{}

QValidator::State VeyIntValidator::validate(QString &text, int &pos) const
{
    const State state = QIntValidator::validate(text, pos);
    if (state == Acceptable)
        emit acceptableValue(text.toInt());
    return state;
}
