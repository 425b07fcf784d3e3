#ifndef VEYCOLOR_H
#define VEYCOLOR_H

#include <QList>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <algorithm>

class QDataStream;
class QDebug;

// The colour value of the whole system. A plain value type: it is copied every frame for
// every light, so nothing here allocates except the list getters, the text forms and the
// list-taking setters (which have pointer overloads for the hot paths).
//
// Components are 32-bit fractions (all bits set is 1.0); Yxy is kept as doubles and an
// N-channel colour keeps up to eight levels.
class VeyColor
{
public:
    enum Spec : quint32 { Invalid = 0, Rgb = 1, Hsv = 2, Yxy = 3, NChannel = 4 };

    // Stands for "the colour's own profile id" where a conversion takes a profile id.
    static constexpr quint32 OwnProfileId = 4294967295u;
    static constexpr int MaxChannels = 8;
    static constexpr quint32 Opaque = 4294967295u;

    VeyColor();
    explicit VeyColor(const QString &name);
    VeyColor(Qt::GlobalColor color);

    Spec spec() const { return Spec(m_spec); }
    bool isValid() const { return m_spec != Invalid; }

    quint32 colorType() const { return m_colorType; }
    void setColorType(quint32 colorType) { m_colorType = colorType; }
    quint32 profileId() const { return m_profileId; }
    void setProfileId(quint32 profileId) { m_profileId = profileId; }
    bool profileSetFlag() const { return m_profileSetFlag; }
    void setProfileSetFlag(bool flag) { m_profileSetFlag = flag; }

    quint32 alpha() const { return m_alpha; }
    quint32 alpha8() const { return m_alpha >> 24; }
    quint32 alpha16() const { return m_alpha >> 16; }
    double alphaF() const { return m_alpha / 4294967295.0; }
    // Writes the alpha word as a double fraction; values outside 0..1 are clamped.
    void setAlphaF(double alpha);

    // N-channel words, read as stored whichever colour space the colour holds.
    quint32 channelCount() const { return m_c.w[0]; }
    quint32 yxySourceMark() const { return m_c.w[1]; }
    void setYxySourceMark(quint32 mark) { m_c.w[1] = mark; }
    quint32 channelWord(int index) const;

    // Setters. A bad argument makes the colour Invalid and logs a warning naming the setter.
    void setRgb8(uint red, uint green, uint blue, uint alpha = 255, quint32 profileId = 0);
    void setRgb16(uint red, uint green, uint blue, uint alpha = 65535, quint32 profileId = 0);
    void setRgbF(double red, double green, double blue, double alpha = 1.0, quint32 profileId = 0);
    static VeyColor fromRgbF(double red, double green, double blue, double alpha = 1.0,
                             quint32 profileId = 0);
    void setYxy(double Y, double x, double y, uint alpha16 = 65535, quint32 profileId = 0);
    void setYxyF(double Y, double x, double y, double alpha = 1.0, quint32 profileId = 0);
    // values: alpha first, then the channel levels. An empty list makes the colour Invalid;
    // levels beyond eight are dropped; levels are clamped to their range.
    void setNChannel(const QList<uint> &values, quint32 colorType, quint32 profileId, bool flag);
    void setNChannelF(const QList<double> &values, quint32 colorType, quint32 profileId, bool flag);
    void setNChannelF(const double *values, int count, quint32 colorType, quint32 profileId,
                      bool flag);

    // RGB getters convert through toRgb() unless the colour is Rgb or Invalid.
    uint red8() const;
    uint green8() const;
    uint blue8() const;
    uint red16() const;
    uint green16() const;
    uint blue16() const;
    double redF() const;
    double greenF() const;
    double blueF() const;
    void getRgbF(double *red, double *green, double *blue, double *alpha = nullptr) const;

    // Yxy getters convert through toYxy() unless the colour is Yxy or Invalid.
    double Y() const;
    double x() const;
    double y() const;
    void getYxy(double *Y, double *x, double *y, uint *alpha16 = nullptr) const;
    void getYxyF(double *Y, double *x, double *y, double *alpha = nullptr) const;

    // HSV getters convert through toHsv() unless the colour is Hsv or Invalid.
    int hue() const;
    double saturationF() const;
    double valueF() const;

    // N-channel getters read the N-channel words as they are, whichever colour space the colour
    // holds.
    QList<uint> nChannelValues() const;
    QList<double> nChannelValuesF() const;
    void getNChannelF(double values[9]) const;

    bool isBlack() const;

    QString toString() const;
    void setNamedColor(const QString &name);
    static bool parseHexColor(const QChar *chars, int count, uint out[4]);
    static uint parseHex2(const QChar *chars);
    static uint parseHex4(const QChar *chars);

    bool operator==(const VeyColor &other) const;
    bool operator!=(const VeyColor &other) const { return !(*this == other); }

    // Conversions. A colour type of 0 and a profile id of OwnProfileId stand for the
    // colour's own where the operation says so.
    VeyColor toRgb() const;
    VeyColor toHsv() const;
    VeyColor toYxy(quint32 colorType = 0, quint32 profileId = OwnProfileId) const;
    VeyColor toNChannel(quint32 colorType, quint32 profileId, int profileSet) const;
    VeyColor convertTo(Spec spec, quint32 colorType, quint32 profileId, int profileSet) const;

    // Lays first over second with first's alpha times factor as the weight.
    static VeyColor mix(const VeyColor &first, const VeyColor &second, int mode, double factor);
    // This colour underneath, other on top.
    VeyColor blended(const VeyColor &other, double factor) const;

    // Registers the type name and its stream operators with the meta-type system.
    static void registerMetaType();

    friend QDataStream &operator<<(QDataStream &stream, const VeyColor &color);
    friend QDataStream &operator>>(QDataStream &stream, VeyColor &color);
    friend QDebug operator<<(QDebug debug, const VeyColor &color);
    friend quint32 veyColorHash(const VeyColor &color);

private:
    void resetToInvalid();
    void fillNChannelFromLevels(const double *levels, int count, quint32 colorType,
                                quint32 profileId, bool flag);
    VeyColor hsvToRgb() const;
    VeyColor yxyOrNChannelToRgb() const;
    VeyColor convertToGrey(quint32 colorType, quint32 profileId) const;
    VeyColor convertToTwoOrThreeChannel(quint32 colorType, quint32 profileId) const;
    VeyColor convertToFourWhites(quint32 profileId) const;

    // Every byte is a member, so copies carry every byte and a colour can be compared by its
    // bytes before its fields.
    quint32 m_colorType = 1;
    quint32 m_profileId = 0;
    bool m_profileSetFlag = false;
    [[maybe_unused]] quint8 m_unused[3] = {};
    quint32 m_spec = Invalid;
    quint32 m_alpha = Opaque;
    [[maybe_unused]] quint32 m_unusedWord = 0;
    // Rgb: w[0..2] red, green, blue. Hsv: w[0] hue (signed), w[1] saturation, w[2] value.
    // Yxy: d[0..2] Y, x, y. N-channel: w[0] count, w[1] yxySourceMark, w[2..9] levels.
    union Components {
        quint32 w[10];
        double d[5];
    } m_c{};
};
static_assert(sizeof(VeyColor) == 64, "a colour has no padding");

// Inline: every live frame compares colours once or twice per light.
inline bool VeyColor::operator==(const VeyColor &other) const
{
    if (m_spec != other.m_spec || m_profileId != other.m_profileId ||
        m_colorType != other.m_colorType || m_profileSetFlag != other.m_profileSetFlag)
        return false;
    switch (m_spec) {
    case Rgb:
    case Hsv:
        return m_c.w[0] == other.m_c.w[0] && m_c.w[1] == other.m_c.w[1] &&
               m_c.w[2] == other.m_c.w[2] && m_alpha == other.m_alpha;
    case Yxy:
        return m_c.d[0] == other.m_c.d[0] && m_c.d[2] == other.m_c.d[2] &&
               m_c.d[1] == other.m_c.d[1] && m_alpha == other.m_alpha;
    case NChannel: {
        if (m_alpha != other.m_alpha || m_c.w[0] != other.m_c.w[0] || m_c.w[1] != other.m_c.w[1])
            return false;
        const int count = int(std::min<quint32>(m_c.w[0], MaxChannels));
        for (int i = 0; i < count; ++i) {
            if (m_c.w[2 + i] != other.m_c.w[2 + i])
                return false;
        }
        return true;
    }
    default:
        return false;
    }
}

// The 32-bit hash of a colour; QHash's seed is mixed in so the plain hash is qHash(c, 0).
quint32 veyColorHash(const VeyColor &color);
inline size_t qHash(const VeyColor &color, size_t seed = 0) noexcept
{
    return size_t(veyColorHash(color)) ^ seed;
}

QDataStream &operator<<(QDataStream &stream, const VeyColor &color);
QDataStream &operator>>(QDataStream &stream, VeyColor &color);
QDebug operator<<(QDebug debug, const VeyColor &color);

Q_DECLARE_METATYPE(VeyColor)

#endif // VEYCOLOR_H
