// The standard prompt: Escape on a question answers its default button, never another one.
#include "dialogs/userprompt.h"
#include "support/laptopscreen.h"
#include "support/modaldriver.h"

#include <QListWidget>
#include <QPushButton>
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

    // However many entries, the box fits a 1366 x 768 screen with its Ok button, and every
    // entry stands on a line of its own inside the box, where it is read with the text.
    void listMessageFitsASmallScreen_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one") << 1;
        QTest::newRow("512") << 512;
    }
    void listMessageFitsASmallScreen()
    {
        QFETCH(int, count);
        QStringList entries;
        for (int i = 0; i < count; ++i)
            entries << QStringLiteral("port %1, serial %2").arg(i % 4 + 1).arg(0x140000 + i, 8, 16);
        ModalDriver driver;
        driver.then([&](QWidget *modal) {
            QVERIFY(qobject_cast<QMessageBox *>(modal));
            QCOMPARE(modal->windowTitle(), QString("Error"));
            QVERIFY2(modal->height() <= 700, qPrintable(QString::number(modal->height())));
            QVERIFY(modal->width() <= 1300);
            auto *list = modal->findChild<QListWidget *>("m_entryList");
            QVERIFY(list && list->isVisible());
            QCOMPARE(list->count(), count);
            QCOMPARE(list->item(count - 1)->text(), entries.last());
            auto *ok = qobject_cast<QMessageBox *>(modal)->button(QMessageBox::Ok);
            // The list stands between the text and the button, wholly inside the box.
            QVERIFY(modal->rect().contains(QRect(ok->mapTo(modal, QPoint(0, 0)), ok->size())));
            QVERIFY(list->geometry().bottom() < ok->mapTo(modal, QPoint(0, 0)).y());
            QVERIFY(list->geometry().height() >= list->sizeHintForRow(0));
            ok->click();
        });
        UserPrompt::instance()->listMessage(
            nullptr, QMessageBox::Critical, "Error",
            "Failed to read light data for lights of Lobby:", entries);
        QCOMPARE(driver.pending(), 0);
    }
};

DM_LAPTOP_SCREEN_MAIN(TestUserPrompt)
#include "tst_userprompt.moc"
