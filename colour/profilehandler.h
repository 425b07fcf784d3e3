#ifndef PROFILEHANDLER_H
#define PROFILEHANDLER_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QtCore5Compat/QXmlDefaultHandler>

#include <array>

// Reads the fixture colour-profile XML ("Profiles", "Profile", "Channel") into the profile
// database. Lives for one parse.
class ProfileHandler : public QXmlDefaultHandler
{
public:
    // Channel indexes a profile may use; anything else is skipped.
    static constexpr int MaxChannels = 8;

    bool startElement(const QString &namespaceURI, const QString &localName, const QString &qName,
                      const QXmlAttributes &atts) override;
    bool endElement(const QString &namespaceURI, const QString &localName,
                    const QString &qName) override;
    bool characters(const QString &ch) override;
    QString errorString() const override;
    bool fatalError(const QXmlParseException &exception) override;

private:
    struct ChannelEntry
    {
        bool present = false;
        bool hasN = false;
        std::array<double, 3> values{};
        std::array<double, 3> nValues{};
        QString name;
    };

    void startProfile(const QXmlAttributes &atts);
    void readChannel(const QXmlAttributes &atts);
    bool channelsUsable() const;
    int channelCount() const;
    void storeSet(int set, bool useN) const;

    QString m_profileName;
    int m_profileIndex = 0;
    std::array<ChannelEntry, MaxChannels> m_channels;
    bool m_badChannel = false;
};

#endif // PROFILEHANDLER_H
