#ifndef LIGHTSPINBOX_H
#define LIGHTSPINBOX_H

#include <QSpinBox>

class VeyIntValidator;

// The rows and columns box of the string creation dialog: while the user types, the text is
// only checked; on Enter or when the box is left, a value below the minimum is raised to it.
class LightSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    explicit LightSpinBox(QWidget *parent = nullptr);

    QValidator::State validate(QString &text, int &pos) const override;

protected slots:
    void keyPressEvent(QKeyEvent *event) override;

private:
    VeyIntValidator *m_validator;
    // Shared by every box: Enter in one of them affects whichever box validates next.
    static bool s_enterPressed;
};

#endif // LIGHTSPINBOX_H
