#include "devices/devicedictionary.h"
#include "devices/deviceentry.h"
#include "devices/memorymapentry.h"
#include "devices/propertymapper.h"

#include <QDir>
#include <QTest>

#include <memory>
#include <vector>

int qInitResources_PropertyMap();
int qInitResources_DeviceConfigFiles();

// Checks the property maps and device definition files compiled into the program: they
// parse, agree with each other, and hold what the rest of the program looks up by name.
class TstShippedCatalogue : public QObject
{
    Q_OBJECT
private:
    std::vector<std::unique_ptr<DeviceEntry>> m_entries;

private slots:
    void initTestCase()
    {
        qInitResources_PropertyMap();
        qInitResources_DeviceConfigFiles();
        QDir dir(":/DeviceConfigFiles", "*.json");
        for (const QString &name : dir.entryList(QDir::Files))
            m_entries.push_back(std::make_unique<DeviceEntry>(dir.filePath(name)));
        QVERIFY(!m_entries.empty());
    }

    void noRangeOverlapsAnotherModel()
    {
        struct Range
        {
            quint64 start, end;
            QString model, code;
        };
        QList<Range> ranges;
        for (const auto &entry : m_entries) {
            for (const SerialRange &range : entry->serialNumberRanges())
                ranges.append({range.first, range.second, entry->deviceName(), QString()});
            for (const ProductCodeRange &range : entry->productCodeRanges())
                ranges.append({range.start, range.end, entry->deviceName(), range.productCode});
        }
        for (const Range &a : ranges) {
            QVERIFY2(a.start <= a.end, qPrintable(a.model));
            for (const Range &b : ranges) {
                if (a.model == b.model || a.start > b.end || b.start > a.end)
                    continue;
                // UID ranges may be shared by models that tell themselves apart by model id.
                const bool told = !a.code.isEmpty() && !b.code.isEmpty() &&
                                  a.code.left(6).compare(b.code.left(6), Qt::CaseInsensitive) != 0;
                QVERIFY2(told, qPrintable(a.model + " overlaps " + b.model));
            }
        }
    }

    void memoryMapsUseKnownTokens()
    {
        PropertyMapper *mapper = PropertyMapper::instance();
        const QMap<QString, QString> chemistries = mapper->valueMap("LED Chemistry");
        for (const auto &entry : m_entries) {
            for (const QString &token : entry->memoryMapTokens()) {
                QVERIFY2(mapper->containsToken(token),
                         qPrintable(entry->deviceName() + ": " + token));
                QVERIFY2(!entry->findMemoryMapEntry(token)->readAddresses().isEmpty() ||
                             token == "FIRMWARE_VERSION",
                         qPrintable(entry->deviceName() + ": " + token));
            }
            for (const QString &chemistry : entry->hueweaveLedChemistries())
                QVERIFY2(chemistries.contains(chemistry), qPrintable(chemistry));
        }
    }
};

QTEST_GUILESS_MAIN(TstShippedCatalogue)
#include "tst_shippedcatalogue.moc"
