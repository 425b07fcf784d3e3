#ifndef CURVE_H
#define CURVE_H

#include <QtGlobal>

#include <memory>

// A dimming curve: maps a requested level to the value written to a DMX channel. The base
// class has no tables and is the identity curve; the gamma curves build theirs once from a
// 256-point definition.
class Curve
{
public:
    Curve();
    virtual ~Curve();
    Curve(const Curve &) = delete;
    Curve &operator=(const Curve &) = delete;

    virtual void buildTables();

    // Inputs outside 0..255 and 0..65535 are clamped to the table rather than read past it.
    void map8(int input, quint8 *out) const;
    void map16(int input, quint16 *out) const;

    bool hasTables() const { return m_table16 != nullptr; }

protected:
    // Builds both tables from points[0..255].
    void buildTablesFromPoints(const quint16 *points);

private:
    std::unique_ptr<quint8[]> m_table8;
    std::unique_ptr<quint16[]> m_table16;
};

#endif // CURVE_H
