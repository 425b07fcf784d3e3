// Light output: compositing the frame's effect colours and writing channel bytes.
#include "model/light.h"

#include "colour/colourmixing.h"

#include <cstring>

namespace {

// Mode of VeyColor::mix that lays a colour over another by its alpha.
constexpr int kMixOver = 24;

// Chemistries whose last channel is not driven by the colour.
bool hasDarkLastChannel(quint32 chemistry)
{
    return chemistry == 251 || chemistry == 252;
}

} // namespace

void Light::mixOverCurrentColor(const VeyColor &color)
{
    // Frame after frame an effect lays the same colour over the same zero colour, and a mix
    // into the light's colour space costs a colour conversion; the last mix is remembered.
    if (color == m_mixedColor && m_currentColor == m_mixBase) {
        m_currentColor = m_mixResult;
        return;
    }
    m_mixedColor = color;
    m_mixBase = m_currentColor;
    m_currentColor = VeyColor::mix(color, m_currentColor, kMixOver, 1.0);
    m_mixResult = m_currentColor;
}

void Light::applyEffectColor(const VeyColor &color, int priority)
{
    if (m_firstColorOfFrame) {
        m_firstColorOfFrame = false;
        mixOverCurrentColor(color);
        m_equalPriorityCount = 1;
    } else if (priority > m_lastPriority) {
        mixOverCurrentColor(color);
        m_equalPriorityCount = 1;
    } else if (priority == m_lastPriority) {
        // A running mean: the k+1-th colour of one priority weighs 1/(k+1).
        const quint32 k = m_equalPriorityCount;
        m_equalPriorityCount = k + 1;
        m_currentColor = m_currentColor.blended(color, 1.0 - double(k) / double(k + 1));
    } else {
        return;
    }
    m_lastPriority = priority;
}

int Light::outputByteCount() const
{
    const quint64 bytes = quint64(m_channelsPerColor) * m_bytesPerChannel * (m_half ? 2 : 1);
    return int(qMin<quint64>(bytes, LightLevels::Size));
}

void Light::writeDmx(quint8 *buffer, int size)
{
    if (!buffer || !m_currentColor.isValid())
        return;
    const int bytes = outputByteCount();
    // Checked in 64 bits against what is actually written: the footprint alone misses the
    // half-mode doubling, and a channel of -1 would write before the buffer.
    if (m_dmxChannel < 0 || qint64(m_dmxChannel) + bytes > qint64(size))
        return;
    if (m_currentColor != m_lastRenderedColor)
        convertCurrentColor();
    std::memcpy(buffer + m_dmxChannel, m_levelScratch, size_t(bytes));
}

void Light::convertCurrentColor()
{
    m_lastRenderedColor = m_currentColor;
    m_colorKey.color = m_currentColor;
    QCache<LightColorKey, LightLevels> *cache = colorCache();
    if (const LightLevels *cached = cache->object(m_colorKey)) {
        std::memcpy(m_levelScratch, cached->bytes, LightLevels::Size);
        return;
    }

    // Zeroed so that channels the conversion does not reach come out dark, not stale.
    std::memset(m_levelScratch, 0, sizeof m_levelScratch);
    const int width = int(m_bytesPerChannel);
    // The map model's colour-consistency option would select the profile-to-profile
    // conversion here; nothing turns that option on and that conversion is not part of this
    // build, so every light takes the plain conversion.
    colorToOutputBytes(m_currentColor, m_levelScratch, width, int(m_dimmingCurve));

    const int m = int(qMin<quint32>(m_channelsPerColor * m_bytesPerChannel, LightLevels::Size));
    if (hasDarkLastChannel(m_ledChemistry) && m >= width) {
        m_levelScratch[m - 1] = 0;
        if (width == 2)
            m_levelScratch[m - 2] = 0;
    }
    if (m_half) {
        if (m_ledChemistry == 254) {
            // Chemistry 254 drives channels 4 and 5 with the level of channel 3.
            std::memcpy(m_levelScratch + 4 * width, m_levelScratch + 3 * width, size_t(width));
            std::memcpy(m_levelScratch + 5 * width, m_levelScratch + 3 * width, size_t(width));
        } else {
            std::memcpy(m_levelScratch + m, m_levelScratch, size_t(m));
        }
    }

    auto *block = new LightLevels;
    std::memcpy(block->bytes, m_levelScratch, size_t(outputByteCount()));
    cache->insert(m_colorKey, block, 1);
}

void Light::endFrame()
{
    zeroCurrentColor();
    m_firstColorOfFrame = true;
    m_lastPriority = 0;
}
