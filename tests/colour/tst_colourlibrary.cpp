#include "colour/veycolor.h"
#include "colour/veycolorlibrary.h"
#include "colour/veycolorlibraryitem.h"

#include <QAbstractItemModelTester>
#include <QDomDocument>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

// One library per process: the cases build on each other's lists, in declaration order.
class TestColourLibrary : public QObject
{
    Q_OBJECT

    VeyColorLibrary *lib = nullptr;
    QTemporaryDir m_dir;

    QModelIndex list(const QString &name) const
    {
        const QModelIndex root = lib->rootIndex();
        for (int i = 0; i < lib->rowCount(root); ++i)
            if (lib->data(lib->index(i, 0, root), Qt::EditRole).toString() == name)
                return lib->index(i, 0, root);
        return {};
    }
    QStringList names(const QModelIndex &parent) const
    {
        QStringList out;
        for (int i = 0; i < lib->rowCount(parent); ++i)
            out << lib->data(lib->index(i, 0, parent), Qt::EditRole).toString();
        return out;
    }
    QByteArray userFile() const
    {
        QFile f(VeyColorLibrary::userColorFolder() + QStringLiteral("/userColors.xml"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        VeyColorLibrary::setUserColorBaseFolder(m_dir.path());
        lib = VeyColorLibrary::instance();
        new QAbstractItemModelTester(lib, QAbstractItemModelTester::FailureReportingMode::QtTest,
                                     this);
    }

    void startsWithTwoListsNeitherEditable()
    {
        QCOMPARE(names(lib->rootIndex()), (QStringList{"Explicit Colors", "Project Swatches"}));
        QVERIFY(!(lib->flags(list("Explicit Colors")) & Qt::ItemIsEditable));
        QVERIFY(!(lib->flags(list("Project Swatches")) & Qt::ItemIsEditable));
        QVERIFY(lib->data(list("Project Swatches"), VeyColorLibraryItem::UserListRole).toBool());
        QVERIFY(lib->mimeTypes().isEmpty());
    }

    void insertedColoursGetUniqueNamesAndKeepTheirIds()
    {
        lib->createColorList(QStringLiteral("Facade"), true);
        lib->createColorList(QStringLiteral("Facade"), true);
        QCOMPARE(names(lib->rootIndex()).mid(2), (QStringList{"Facade", "Facade 2"}));

        lib->handleInsertColor("u1", "Color", "aRgb;1;0;#ffffffff00000000", "preset", "Facade",
                               "17");
        lib->handleInsertColor("", "Color", "aRgb;1;0;#ffff0000ffff0000", "", "Facade", "");
        lib->handleInsertColor("u3", "Warm", "aRgb;1;0;#ffff00000000ffff", "", "New List", "");
        const QModelIndex facade = list("Facade");
        QCOMPARE(names(facade), (QStringList{"Color 2", "Color 3"}));
        const QModelIndex first = lib->index(0, 0, facade);
        QCOMPARE(lib->data(first, VeyColorLibraryItem::ColorIdRole).toString(), "17");
        QCOMPARE(lib->data(lib->index(0, 1, facade), Qt::DisplayRole).toString(), "17");
        // The originating preset argument is not carried into the library.
        QCOMPARE(lib->data(first, VeyColorLibraryItem::OriginatingPresetRole).toString(), "");
        const QString newUid =
            lib->data(lib->index(1, 0, facade), VeyColorLibraryItem::UidRole).toString();
        QVERIFY(!QUuid::fromString(newUid).isNull() && newUid.startsWith('{'));
        QCOMPARE(names(list("New List")), QStringList{"Warm"});
        QVERIFY(lib->flags(first) & Qt::ItemIsDragEnabled);
    }

    void renamingRefusesASiblingsNameAndClearsIds()
    {
        const QModelIndex first = lib->index(0, 0, list("Facade"));
        QVERIFY(!lib->setData(first, QStringLiteral("Color 3"), Qt::EditRole));
        QVERIFY(lib->setData(first, QStringLiteral("Amber"), Qt::EditRole));
        QCOMPARE(lib->data(first, Qt::DisplayRole).toString(), "Amber");
        QCOMPARE(lib->data(first, VeyColorLibraryItem::ColorIdRole).toString(), "");
    }

    void dragCarriesUidThenColourText()
    {
        const QModelIndex facade = list("Facade");
        const QModelIndexList both{lib->index(0, 0, facade), lib->index(1, 0, facade)};
        std::unique_ptr<QMimeData> mime(lib->mimeData(both));
        const QString uid2 = both[1].data(VeyColorLibraryItem::UidRole).toString();
        QCOMPARE(
            mime->data("data/x-veycolor"),
            ("u1aRgb;1;0;#ffffffff00000000," + uid2 + "aRgb;1;0;#ffff0000ffff0000").toLatin1());
        QCOMPARE(mime->data("data/x-veycolor-name"), QByteArray("Amber,Color 3"));
        QCOMPARE(mime->data("data/x-veycolor-vendorid"), QByteArray(","));
        QVERIFY(mime->hasFormat("data/x-veycolor-originatingPreset")); // two empty presets: ","
        QVERIFY(!lib->mimeData({QModelIndex()}));
    }

    void rowsOutsideTheListAreRefused_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("count");
        QTest::newRow("negative row") << -1 << 1;
        QTest::newRow("no rows") << 0 << 0;
        QTest::newRow("past the end") << 1 << 2;
    }
    void rowsOutsideTheListAreRefused()
    {
        QFETCH(int, row);
        QFETCH(int, count);
        const QModelIndex warm = list("New List");
        QVERIFY(!lib->removeRows(row, count, warm));
        QCOMPARE(lib->rowCount(warm), 1);
    }

    void insertAndRemoveReportSuccess()
    {
        const QModelIndex warm = list("New List");
        QVERIFY(lib->insertRows(1, 2, warm));
        QCOMPARE(lib->rowCount(warm), 3);
        QVERIFY(lib->removeRows(1, 2, warm));
        QCOMPARE(names(warm), QStringList{"Warm"});
    }

    void savesOnlyUserListsAndKeepsTheOldFileOnFailure()
    {
        lib->setSavingEnabled(true);
        QVERIFY(lib->saveUserColors());
        const QByteArray saved = userFile();
        QDomDocument doc;
        QVERIFY(doc.setContent(saved));
        QCOMPARE(doc.documentElement().tagName(), "ColorLibraryList");
        const QDomNodeList lists = doc.elementsByTagName("ColorLibrary");
        QCOMPARE(lists.size(), 2); // Facade, Facade 2: a list made by an insert is no user list
        const QDomElement facade = lists.at(0).toElement();
        QCOMPARE(facade.attribute("name"), "Facade");
        QCOMPARE(facade.attribute("isUserLibrary"), "1");
        const QDomElement amber = facade.firstChildElement("Color");
        QCOMPARE(amber.attribute("uid"), "u1");
        QCOMPARE(amber.attribute("name"), "Amber");
        QCOMPARE(amber.attribute("value"), "aRgb;1;0;#ffffffff00000000");
        QVERIFY(amber.hasAttribute("originatingPreset") && amber.hasAttribute("colorId"));
        QVERIFY(saved.startsWith("<ColorLibraryList>\n <ColorLibrary"));

        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 16;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool ok = lib->saveUserColors();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!ok);
        QCOMPARE(userFile(), saved);
        lib->setSavingEnabled(false);
    }

    void uniqueNamesTakeTheWantedNameLiterally_data()
    {
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("unique");
        QTest::newRow("free") << "Red %1" << QStringList{"Red"} << "Red %1";
        QTest::newRow("percent one") << "Red %1" << QStringList{"Red %1"} << "Red %1 2";
        QTest::newRow("percent two, numbered")
            << "%2" << QStringList{"%2", "%2 2", "%2 3"} << "%2 4";
        QTest::newRow("case differs") << "red" << QStringList{"Red"} << "red";
    }
    void uniqueNamesTakeTheWantedNameLiterally()
    {
        QFETCH(QString, wanted);
        QFETCH(QStringList, taken);
        QTEST(VeyColorLibraryItem::uniqueName(wanted, taken), "unique");
    }

    void insertingAPercentNameTwiceNumbersIt()
    {
        for (int i = 0; i < 2; ++i)
            lib->handleInsertColor("", "Red %1", "aRgb;1;0;#ffffffff00000000", "", "Percent", "");
        QCOMPARE(names(list("Percent")), (QStringList{"Red %1", "Red %1 2"}));
    }

    void insertsSaveOncePerOperation()
    {
        lib->setSavingEnabled(true);
        lib->createColorList(QStringLiteral("Bulk"), true);
        QSignalSpy saves(lib, &VeyColorLibrary::userColorsSaved);
        for (int i = 0; i < 300; ++i)
            lib->handleInsertColor(QStringLiteral("b%1").arg(i), QStringLiteral("Tone %1").arg(i),
                                   "aRgb;1;0;#ffff0000ffff0000", "", "Bulk", "");
        QCOMPARE(saves.count(), 0); // written when control returns to the event loop
        static QStringList logged;
        logged.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &m) {
                if (type == QtDebugMsg)
                    logged << m;
            });
        QCoreApplication::sendPostedEvents();
        qInstallMessageHandler(previous);
        QCOMPARE(saves.count(), 1);
        // The saved text is logged with the save, once.
        QCOMPARE(logged, QStringList{QString::fromUtf8(userFile())});
        QDomDocument doc;
        QVERIFY(doc.setContent(userFile()));
        const QDomNodeList lists = doc.elementsByTagName("ColorLibrary");
        const QDomElement bulk = lists.at(lists.size() - 1).toElement();
        QCOMPARE(bulk.attribute("name"), "Bulk");
        QCOMPARE(bulk.elementsByTagName("Color").size(), 300);
        QCOMPARE(bulk.lastChildElement("Color").attribute("name"), "Tone 299");

        QVERIFY(lib->setData(lib->index(0, 0, list("Bulk")), "First", Qt::EditRole));
        QVERIFY(lib->removeRows(1, 2, list("Bulk")));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(saves.count(), 2);
        lib->setSavingEnabled(false);
    }

    void namesWithControlCharactersKeepTheFileWellFormed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reread");
        QTest::newRow("C0 controls") << QString("A\x01"
                                                "B\x1f")
                                     << QString("A\uFFFDB\uFFFD");
        QTest::newRow("tab and line ends") << QString("A\tB\nC\rD") << QString("A\tB\nC\rD");
        QTest::newRow("non-characters")
            << (QString("A") + QChar(0xFFFE) + QChar(0xFFFF)) << QString("A\uFFFD\uFFFD");
        QTest::newRow("lone surrogate")
            << (QString("A") + QChar(0xD800) + "B") << QString("A\uFFFDB");
        QTest::newRow("astral kept")
            << QString::fromUtf8("A\xF0\x9F\x8E\xA8") << QString::fromUtf8("A\xF0\x9F\x8E\xA8");
    }
    void namesWithControlCharactersKeepTheFileWellFormed()
    {
        QFETCH(QString, name);
        QFETCH(QString, reread);
        lib->setSavingEnabled(true);
        const QString listName = QStringLiteral("Odd ") + QTest::currentDataTag();
        lib->createColorList(listName + name, true);
        lib->handleInsertColor("", name, "aRgb;1;0;#ffff0000ffff0000", "", listName + name, "");
        QVERIFY(lib->saveUserColors());
        lib->setSavingEnabled(false);
        QDomDocument doc;
        QString error;
        QVERIFY2(doc.setContent(userFile(), &error), qPrintable(error));
        const QDomNodeList lists = doc.elementsByTagName("ColorLibrary");
        const QDomElement odd = lists.at(lists.size() - 1).toElement();
        QCOMPARE(odd.attribute("name"), listName + reread);
        QCOMPARE(odd.firstChildElement("Color").attribute("name"), reread);
    }
};

QTEST_MAIN(TestColourLibrary)
#include "tst_colourlibrary.moc"
