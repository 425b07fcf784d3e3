#include "lightspinbox.h"

#include "veyintvalidator.h"

#include <QKeyEvent>

bool LightSpinBox::s_enterPressed = false;

LightSpinBox::LightSpinBox(QWidget *parent)
    : QSpinBox(parent),
      m_validator(new VeyIntValidator(1, 1000, parent ? static_cast<QObject *>(parent) : this))
{}

void LightSpinBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        s_enterPressed = true;
    QSpinBox::keyPressEvent(event);
}

QValidator::State LightSpinBox::validate(QString &text, int &pos) const
{
    if (hasFocus() && !s_enterPressed)
        return m_validator->validate(text, pos);
    // An empty or non-numeric text reads as 0 and so is raised as well.
    if (text.toInt() < minimum())
        const_cast<LightSpinBox *>(this)->setValue(minimum());
    s_enterPressed = false;
    return m_validator->validate(text, pos);
}
