#ifndef PROFILECONVERSION_H
#define PROFILECONVERSION_H

#include <QPointF>
#include <QVector>
#include <QtGlobal>

class VeyColor;

// The colour-consistency output path: channel levels meant for one fixture profile become the
// levels with which another fixture shows the same chromaticity at the same intensity.

// The settings of one side of a conversion.
struct ConversionSettings
{
    quint64 profileId = 0;
    bool profileFlag = false;
    quint32 sixteenBit = 0; // 0: levels are 8-bit
    qint32 curveType = 0;   // 0 identity, 1 normal gamma, 2 tungsten; others give 0
    quint8 channelCount = 0;

    bool operator==(const ConversionSettings &o) const
    {
        return profileId == o.profileId && profileFlag == o.profileFlag &&
               sixteenBit == o.sixteenBit && curveType == o.curveType &&
               channelCount == o.channelCount;
    }
};

// Converts color into the target fixture's channel bytes, at most outSize of them: one byte a
// level for bytesPerChannel 1, else two, high byte first. A profile id of 0 reads as 48.
void renderColorToChannels(VeyColor color, quint8 *out, int outSize, qint32 targetProfileId,
                           bool targetFlag, qint32 bytesPerChannel, quint32 targetCurveType,
                           quint8 targetChannelCount);

QVector<quint16> convertChannels(QVector<quint16> levels, const ConversionSettings &source,
                                 const ConversionSettings &target, bool normalizeByObjective,
                                 bool allowPassThrough);

QPointF levelsToChromaticity(const QVector<quint16> &levels, quint64 profileId, bool profileFlag,
                             quint32 sixteenBit, qint32 curveType, quint8 channelCount);
quint16 peakLightLevel(const QVector<quint16> &levels, quint32 sixteenBit, qint32 curveType);
// Output value to light level (0..65535) through the curve's quadratic.
quint16 forwardCurveLevel(quint16 value, quint32 sixteenBit, qint32 curveType, bool forceCurve1);
// Light level back to the output value: 0..255 for 8-bit, 0..65535 for 16-bit.
quint16 inverseCurveLevel(quint16 level, bool sixteenBit, qint32 curveType);
QVector<quint16> solveTargetLevels(quint64 targetProfileId, bool targetFlag, quint32 sixteenBit,
                                   qint32 curveType, const QPointF &xy, double intensity,
                                   bool normalizeByObjective);

// A double rounded half away from zero and clamped to 0..max; NaN and infinities give 0.
quint16 roundLevel(double value, quint16 max = 65535);

#endif // PROFILECONVERSION_H
