// The standard prompt: Escape on a question answers its default button, never another one.
#include "dialogs/userprompt.h"
#include "support/modaldriver.h"

#include <QtTest>

class TestUserPrompt : public QObject
{
    Q_OBJECT
private slots:
    void escapeAnswersTheDefault()
    {
        ModalDriver driver;
        driver.then([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
        const auto answer = UserPrompt::instance()->question(
            nullptr, QMessageBox::Question, "Dallowmere", "Save the changes?",
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
        QCOMPARE(answer, QMessageBox::No);
        QCOMPARE(driver.pending(), 0);
    }
};

QTEST_MAIN(TestUserPrompt)
#include "tst_userprompt.moc"
