// Writes seed map files for the map reader fuzzer: mapreaderseeds DIR
// Small maps as the program saves them, the same roughened by hand, and the forms that send a
// file from the plain scanner to the XML parser or make both refuse it.
#include "model/datasupply.h"
#include "model/group.h"
#include "model/light.h"
#include "model/mapmodel.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QByteArray savedMap(int lights)
{
    MapModel map;
    map.setImageFile(QStringLiteral("back & front.png"));
    DataSupply *ds = map.createDataSupply(2);
    ds->setUid(0x10);
    ds->setName(QStringLiteral("Gate <1>"));
    ds->setPortCount(2);
    map.addDataSupply(ds);
    QList<quint64> members;
    for (int i = 0; i < lights; ++i) {
        auto *light = new Light;
        light->setUid(0x100 + quint64(i));
        light->setDataSupplyUid(ds->uid());
        light->setPort(quint8(i % 2));
        light->setDmxChannel(i * 3);
        light->setSerialNumber(quint64(0x00100001 + i));
        light->setName(QStringLiteral("Light \"%1\"").arg(i));
        light->setLedChemistry(quint32(i % 3));
        light->setProperty(QStringLiteral("Note"), QStringLiteral("n%1").arg(i));
        light->setPose(LightPose{i * 12.5, i * -3.0});
        map.addLight(light);
        ds->addLight(light->uid());
        map.addGroup(new Group(Group::OwnLight, light->uid(), light->name()));
        members.append(light->uid());
    }
    auto *group = new Group(Group::Chasing, 0x900, QStringLiteral("Chase"));
    group->addChildren(members);
    map.addGroup(group);
    return map.mapText();
}

QList<QByteArray> seeds()
{
    const QByteArray three = savedMap(3);
    QByteArray unindented = three;
    unindented.replace("\n", "").replace(" ", "");
    const QByteArray name(4096, 'a');
    const QByteArray longer = name + 'a';
    return {
        savedMap(0),
        three,
        savedMap(12),
        unindented,
        "<map/>",
        "<map><l><s>A1</s><n>&amp;&lt;&gt;&apos;&quot; &#65;&#x42;&#x1F600;&#xd;&#9;</n>"
        "<x>&#49;2.5</x></l><g><s>B1</s><n>&#x20;</n><c>A1</c></g>"
        "<l><s>A2</s><n>\xC2\xA0&#x3000;</n><additional_data><k>&#xA0;</k></additional_data></l>"
        "<c><t>2</t><s>C1</s><n>&#133;</n></c></map>",
        "\n\t <map >\n<l\n><s>A1</s><n>  \n </n><x> 5 </x><y></y><z/><sn >7</sn\t></l>"
        "<g><s> B1 </s><n>\t</n><t/><c>A1</c><c> </c></g><imagefile>  "
        "</imagefile><postsync/></map>\n",
        "<map><light><self>A1</self><name>long</name><channel>9</channel><wat><a><b>1</b>2</a>"
        "</wat></light><group><type>1</type><self>B1</self><child>A1</child><zz><deep/></zz>"
        "</group><DataSupply><type>2</type><self>C1</self><pl><p><pn>2</pn></p></pl></DataSupply>"
        "</map>",
        "<map>lead<l>own text<s>A1</s>more</l>tail<imagefile>a<b>c</b>d</imagefile>"
        "<unknown>1<x/>2</unknown><g>g text<s>B1</s></g> end </map>",
        "<map><l><s>A1</s><ch>4</ch><properties>text<LED_CHEMISTRY>2</LED_CHEMISTRY>"
        "<NO_SUCH_TOKEN>x</NO_SUCH_TOKEN><DMX_OFFSET>3</DMX_OFFSET><e/></properties>"
        "<additional_data><k>v</k><k>w</k><e/><m> </m></additional_data></l></map>",
        "<map><l><s>1</s><n>a\r\nb\rc</n></l></map>",
        "<map><!-- c --><l><s>1</s><n>a<b>c</b></n></l><?pi x?><![CDATA[ raw ]]></map>",
        "<map><l a='1'><s>1</s></l><g><s>2</s><n>]&#93;></n></g></map>",
        "\xEF\xBB\xBF<map><l><s>1</s></l></map>",
        "<?xml version=\"1.0\"?><map><postsync>1</postsync></map>",
        "<map><i:x>1</i:x><l><s>1</s><i:n>z</i:n></l><q:y xmlns:q='u'/><g><s>4</s><i:c>1</i:c>"
        "</g></map>",
        "<map><" + name + "/><l><s>1</s><additional_data><k" + name.mid(1) + ">v</k" + name.mid(1) +
            "></additional_data></l></map>",
        "<map><" + longer + "/></map>",
        "<map><l><s>1</s><additional_data><k" + name + ">v</k" + name +
            "></additional_data></l></map>",
        "<map><l><s>1</s><properties><P" + name + ">1</P" + name + "></properties></l></map>",
        "<map><l><s>1</s><n>&#1;</n></l></map>",
        "<map><l><s>1</s><n>\xC3\x28</n></l></map>",
        "<map><l><s>1</s></n></l></map>",
        "<map><g><s>1</s>" + QByteArray("<c>1</c>").repeated(200) + "</g></map>",
    };
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const QList<QByteArray> all = seeds();
    for (int i = 0; i < all.size(); ++i) {
        QFile file(QStringLiteral("%1/seed-%2").arg(dir).arg(i, 4, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(all[i]) != all[i].size())
            return 1;
    }
    return 0;
}
