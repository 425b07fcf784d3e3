#ifndef VEYINTVALIDATOR_H
#define VEYINTVALIDATOR_H

#include <QIntValidator>

// An integer validator that reports every value it finds acceptable.
class VeyIntValidator : public QIntValidator
{
    Q_OBJECT
public:
    VeyIntValidator(int bottom, int top, QObject *parent = nullptr);

    State validate(QString &text, int &pos) const override;

signals:
    void acceptableValue(int n) const;
};

#endif // VEYINTVALIDATOR_H
