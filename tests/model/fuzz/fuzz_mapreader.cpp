// libFuzzer target for the map file readers: every input is one map file. The plain scanner
// and the XML stream reader must read it the same way: the same verdict and error, and the
// same records with the same fields, which is all the map model is loaded from.
#include "model/group.h"
#include "model/light.h"
#include "model/mapfilereader.h"

#include <QByteArray>
#include <QDomDocument>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Everything the map model takes from a read, as text.
QByteArray describe(const QByteArray &bytes, MapFileReader::Path path)
{
    MapFileReader reader;
    const bool read = reader.read(bytes, path);
    QString text;
    QTextStream out(&text);
    out << (read ? "read" : "refused") << '|' << reader.errorString() << '|' << reader.errorLine()
        << ':' << reader.errorColumn() << '|' << reader.exceededLimit() << '|'
        << reader.topLevelCount() << '|' << reader.rootIsMap() << '\n';
    if (!read)
        return text.toUtf8();
    QDomDocument document;
    for (MapFileReader::Record &record : reader.records()) {
        out << record.kind << ' ';
        switch (record.kind) {
        case MapFileReader::Record::Light:
            record.light->toXml(document).save(out, 0);
            break;
        case MapFileReader::Record::Group: {
            QDomElement element = document.createElement(QStringLiteral("g"));
            record.group->toXml(&element, &document);
            element.save(out, 0);
            break;
        }
        case MapFileReader::Record::DataSupply:
            reader.interfaceElement(record).save(out, 0);
            break;
        case MapFileReader::Record::ImageFile:
        case MapFileReader::Record::PostSync:
            out << record.text;
            break;
        case MapFileReader::Record::Other:
            break;
        }
        out << '\n';
    }
    out.flush();
    return text.toUtf8();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Refused files are logged; at millions of inputs the log would be the bottleneck.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A deep copy, so that the sanitizers see the file's true end.
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray plain = describe(bytes, MapFileReader::Path::PlainFirst);
    const QByteArray parser = describe(bytes, MapFileReader::Path::XmlParserOnly);
    if (plain != parser) {
        std::fprintf(stderr,
                     "The readers disagree.\n--- plain scanner first\n%s\n--- XML parser\n%s\n",
                     plain.constData(), parser.constData());
        std::abort();
    }
    return 0;
}
