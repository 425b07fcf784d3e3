#include "colour/gamutmapping.h"

#include "colour/colourmixing.h"
#include "colour/profile.h"
#include "colour/profiledatabase.h"

#include <cmath>
#include <limits>

namespace {

constexpr double maxDouble = std::numeric_limits<double>::max();
constexpr double tiny = 1e-13;

double dot(const QPointF &a, const QPointF &b)
{
    return a.x() * b.x() + a.y() * b.y();
}

} // namespace

Profile *conversionProfile(quint64 profileId, bool flag)
{
    const int id = int(profileId);
    return ProfileDatabase::instance()->profile(id, colorTypeOfFixture(id),
                                                profileSetForFlag(flag ? 1 : 0));
}

QVector<QPointF> channelChromaticities(const Profile &profile)
{
    QVector<QPointF> points;
    const int n = qMin(profile.channelCount(), int(Profile::MaxChannels));
    points.reserve(n);
    for (int i = 0; i < n; ++i) {
        const double sum = profile.xAt(i) + profile.yAt(i) + profile.zAt(i);
        points.append(QPointF(profile.xAt(i) / sum, profile.yAt(i) / sum));
    }
    return points;
}

namespace gamut {

QVector<int> hullStartOrder(const QVector<QPointF> &points)
{
    QVector<int> order(points.size(), -1);
    int best = 0;
    for (int i = 1; i < points.size(); ++i)
        if (points[i].x() > points[best].x())
            best = i;
    if (!order.isEmpty())
        order[best] = 0;
    return order;
}

namespace {

// Whether an offset is a candidate in a phase of the walk, and its key.
bool phaseCandidate(int phase, double dx, double dy, double *key)
{
    const double slope = dx == 0.0 ? maxDouble : dy / dx;
    switch (phase) {
    case 2:
        *key = slope;
        return dx <= 0.0 && dy > 0.0;
    case 3:
        *key = dy / dx;
        return dx < 0.0 && dy <= 0.0;
    case 4:
        *key = slope;
        return dx >= 0.0 && dy < 0.0;
    default:
        *key = dy / dx;
        return dx > 0.0 && dy >= 0.0;
    }
}

} // namespace

QVector<int> wrapHull(const QVector<QPointF> &points, QVector<int> order)
{
    // Every step either gives a point of order below 1 an order of 1 or more, or moves to a
    // later phase, so the walk ends after at most points + 4 steps.
    if (points.isEmpty() || order.size() != points.size())
        return order;
    int phase = 2;
    int current = 0;
    while (true) {
        const int found = int(order.indexOf(current));
        const int c = found < 0 ? 0 : found;
        bool anyCandidate = false;
        double least = maxDouble;
        int winner = -1;
        for (int i = 0; i < points.size(); ++i) {
            double key = 0.0;
            if (order[i] >= 1 || !phaseCandidate(phase, points[i].x() - points[c].x(),
                                                 points[i].y() - points[c].y(), &key))
                continue;
            anyCandidate = true;
            if (key <= least) {
                least = key;
                winner = i;
            }
        }
        if (!anyCandidate) {
            if (phase == 5)
                return order;
            ++phase;
            continue;
        }
        if (winner < 0 || (phase >= 4 && order[winner] == 0))
            return order;
        order[winner] = ++current;
    }
}

Anchors findGamutAnchors(const QVector<QPointF> &points)
{
    Anchors a;
    if (points.isEmpty())
        return a;
    const auto search = [&points](auto score, int skip0, int skip1) {
        int best = 0;
        double bestScore = score(points[0]);
        for (int i = 1; i < points.size(); ++i) {
            if (i == skip0 || i == skip1)
                continue;
            const double s = score(points[i]);
            if (s >= bestScore) {
                bestScore = s;
                best = i;
            }
        }
        return best;
    };
    a.index[0] = search([](const QPointF &p) { return p.x(); }, -1, -1);
    a.index[1] = search([](const QPointF &p) { return p.y(); }, a.index[0], -1);
    a.index[2] = search([](const QPointF &p) { return -(p.x() + p.y()); }, a.index[0], a.index[1]);
    return a;
}

namespace {

// Lays out the records between two anchor records a and b: lengths along the hull, and source
// and reference points at the same relative positions along their edges.
void fillArc(QVector<MeshRecord> &mesh, int a, int b, bool unroundedTotal)
{
    double total = 0.0;
    for (int k = a; k < b; ++k) {
        const QPointF d = mesh[k + 1].hull - mesh[k].hull;
        const double length = std::sqrt(dot(d, d));
        mesh[k].segmentLength = float(length);
        total += unroundedTotal ? length : double(mesh[k].segmentLength);
    }
    mesh[a].cumulativeLength = 0.f;
    mesh[a].t = 0.f;
    const MeshRecord &first = mesh[a];
    const MeshRecord &last = mesh[b];
    for (int k = a + 1; k < b; ++k) {
        MeshRecord &r = mesh[k];
        r.cumulativeLength = mesh[k - 1].cumulativeLength + mesh[k - 1].segmentLength;
        r.t = float(double(r.cumulativeLength) / total);
        const double t = r.t;
        r.source = (1.0 - t) * first.source + t * last.source;
        r.reference = (1.0 - t) * first.reference + t * last.reference;
    }
}

} // namespace

QVector<MeshRecord> buildGamutMesh(const QVector<QPointF> &target, const QVector<int> &order,
                                   const Anchors &anchors, const QVector<QPointF> &source)
{
    int maxOrder = 0;
    for (int o : order)
        maxOrder = qMax(maxOrder, o);
    const auto hullOrder = [&](int v) {
        const int i = anchors.index[v];
        return i >= 0 && i < order.size() ? order[i] : -1;
    };
    const int h0 = hullOrder(0), h1 = hullOrder(1), h2 = hullOrder(2);
    if (source.size() < 3 || h0 < 0 || h1 <= h0 || h2 <= h1)
        return {};
    QVector<MeshRecord> mesh(maxOrder + 2);
    for (int i = 0; i < target.size() && i < order.size(); ++i)
        if (order[i] >= 0)
            mesh[order[i]].hull = target[i];
    for (int v = 0; v < 3; ++v) {
        MeshRecord &r = mesh[hullOrder(v)];
        r.source = source[v];
        r.reference = referenceTriangleXy[v];
    }
    mesh[maxOrder + 1] = mesh[0];
    fillArc(mesh, h0, h1, true);
    fillArc(mesh, h1, h2, false);
    fillArc(mesh, h2, maxOrder + 1, false);
    return mesh;
}

namespace {

bool inTriangle(const QPointF &apex, const QPointF &second, const QPointF &third, const QPointF &p)
{
    const QPointF v0 = second - apex;
    const QPointF v1 = third - apex;
    const QPointF w = p - apex;
    const double d = dot(v1, v1) * dot(v0, v0) - dot(v0, v1) * dot(v0, v1);
    const double u = (dot(v1, v1) * dot(v0, w) - dot(v1, w) * dot(v0, v1)) / d;
    const double v = (dot(v1, w) * dot(v0, v0) - dot(v0, w) * dot(v0, v1)) / d;
    return u > -tiny && v > -tiny && u + v - 1.0 < tiny;
}

double clampUnit(double s)
{
    if (!(s >= tiny))
        return 0.0;
    return s > 1.0 ? 1.0 : s;
}

} // namespace

QPointF mapThroughMesh(const QVector<MeshRecord> &mesh, int firstCell, const QPointF &p)
{
    for (int k = qMax(firstCell, 0); k + 1 < mesh.size(); ++k) {
        const MeshRecord &r0 = mesh[k];
        const MeshRecord &r1 = mesh[k + 1];
        if (!inTriangle(r1.reference, r0.source, r0.reference, p) &&
            !inTriangle(r1.reference, r0.source, r1.source, p))
            continue;
        const QPointF a = r0.reference;
        const QPointF e = r1.reference - r0.reference;
        const QPointF f = r0.source - r0.reference;
        const QPointF g = r1.source - r0.source - r1.reference + r0.reference;
        const double A = f.y() * g.x() - g.y() * f.x();
        const double B = f.y() * e.x() - e.y() * f.x() + a.y() * g.x() - a.x() * g.y() +
                         p.x() * g.y() - p.y() * g.x();
        const double C = a.y() * e.x() - a.x() * e.y() + p.x() * e.y() - p.y() * e.x();
        double s = 0.0;
        if (A == 0.0) {
            s = -C / B;
        } else {
            const double root = std::sqrt(B * B - 4.0 * A * C);
            s = (root - B) / (2.0 * A);
            if (!(s > 0.0 && s <= 1.0))
                s = (-B - root) / (2.0 * A);
        }
        s = clampUnit(s);
        const double ex = e.x() + s * g.x();
        double t = ex != 0.0 ? (p.x() - (a.x() + s * f.x())) / ex
                             : (p.y() - (a.y() + s * f.y())) / (e.y() + s * g.y());
        t = clampUnit(t);
        const QPointF &h0 = r0.hull;
        const QPointF &h1 = r1.hull;
        return r0.reference + s * (h0 - r0.reference) + t * (r1.reference - r0.reference) +
               s * t * (r0.reference - r1.reference - h0 + h1);
    }
    return p;
}

} // namespace gamut

QPointF buildChannelMapping(quint64 sourceProfileId, bool sourceFlag, quint64 targetProfileId,
                            bool targetFlag, const QPointF &point)
{
    using namespace gamut;
    const QVector<QPointF> source =
        channelChromaticities(*conversionProfile(sourceProfileId, sourceFlag));
    const QVector<QPointF> target =
        channelChromaticities(*conversionProfile(targetProfileId, targetFlag));
    if (source.size() < 3 || target.size() < 3)
        return point;
    const QVector<int> order = wrapHull(target, hullStartOrder(target));
    const Anchors anchors = findGamutAnchors(target);
    // Equal largest x values, or anchors the walk never reached, leave the arcs without a
    // sound order: the mesh comes back empty and the point unchanged.
    const QVector<MeshRecord> mesh = buildGamutMesh(target, order, anchors, source);
    return mesh.isEmpty() ? point : mapThroughMesh(mesh, order[anchors.index[0]], point);
}

namespace {

// The dense two-phase simplex tableau of the level solver: rows 0 objective, 1..n channels,
// n+1..n+3 X, Y, Z; columns 0..n-1 channels, n auxiliary, n+1 right-hand side.
class MixingTableau
{
public:
    explicit MixingTableau(int n)
        : m_n(n), m_cols(n + 2), m_t(size_t((n + 4) * (n + 2)), 0.0), m_basis(n + 2, 0),
          m_excluded(n, false)
    {}

    double &at(int row, int col) { return m_t[size_t(row * m_cols + col)]; }
    double &rhs(int row) { return at(row, m_cols - 1); }
    double objective() { return rhs(0); }
    int basis(int col) const { return m_basis[col]; }
    void exclude(int col) { m_excluded[col] = true; }

    int chooseEnteringColumn()
    {
        int best = -1;
        double least = 0.0;
        for (int c = 0; c < m_n; ++c) {
            if (!m_excluded[c] && at(0, c) < least) {
                least = at(0, c);
                best = c;
            }
        }
        return best;
    }

    int chooseLeavingRow(int c, int firstRow)
    {
        if (c < 0)
            return -1;
        int best = -1;
        double least = 1.7976931348623e308;
        for (int r = firstRow; r <= m_n + 3; ++r) {
            if (at(r, c) == 0.0)
                continue;
            const double ratio = rhs(r) / at(r, c);
            if (ratio > tiny && ratio <= least) {
                least = ratio;
                best = r;
            }
        }
        return best;
    }

    void pivot(int r, int c)
    {
        if (r < 0 || r >= m_n + 4 || c < 0 || c >= m_cols)
            return;
        for (int i = 0; i < m_n + 4; ++i) {
            if (i == r)
                continue;
            const double factor = at(i, c) / at(r, c);
            for (int j = 0; j < m_cols; ++j) {
                if (j == c)
                    continue;
                double v = at(i, j) - factor * at(r, j);
                if (v != 0.0 && std::fabs(v) < tiny)
                    v = 0.0;
                at(i, j) = v;
            }
            at(i, c) = 0.0;
        }
        for (int &b : m_basis)
            if (b == r)
                b = 0;
        m_basis[c] = r;
    }

    bool hasAdmissibleNegative()
    {
        for (int c = 0; c < m_n; ++c)
            if (!m_excluded[c] && at(0, c) < 0.0)
                return true;
        return false;
    }

    void addRow(int to, int from, double sign)
    {
        for (int j = 0; j < m_cols; ++j)
            at(to, j) += sign * at(from, j);
    }

private:
    int m_n;
    int m_cols;
    std::vector<double> m_t;
    std::vector<int> m_basis;
    std::vector<bool> m_excluded;
};

} // namespace

QVector<double> solveMixingLp(quint64 targetProfileId, bool targetFlag, const QPointF &point,
                              bool normalizeByObjective)
{
    const Profile &profile = *conversionProfile(targetProfileId, targetFlag);
    const int n = qMin(profile.channelCount(), int(Profile::MaxChannels));
    QVector<double> levels(n, 0.0);
    double sy = 0.0;
    for (int i = 0; i < n; ++i)
        sy += profile.yAt(i);
    const double x = point.x(), y = point.y();
    const double delta = sy / 1e7;
    const double X = x * sy / y + delta, Y = sy + delta, Z = (1.0 - x - y) * sy / y + delta;

    MixingTableau t(n);
    for (int i = 0; i < n; ++i) {
        t.at(n + 1, i) = profile.xAt(i);
        t.at(n + 2, i) = profile.yAt(i);
        t.at(n + 3, i) = profile.zAt(i);
        t.at(0, i) = -(profile.xAt(i) + profile.yAt(i) + profile.zAt(i));
        t.at(i + 1, i) = 1.0;
    }
    t.rhs(n + 1) = X;
    t.rhs(n + 2) = Y;
    t.rhs(n + 3) = Z;
    t.rhs(0) = -(X + Y + Z);
    const double eps = std::sqrt(std::fabs(t.objective())) * 1e-12;

    // Phase 1: drive the X, Y and Z rows to the target.
    int lastRow = -1;
    bool converged = false;
    for (int step = 1;; ++step) {
        const int c = t.chooseEnteringColumn();
        lastRow = t.chooseLeavingRow(c, n + 1);
        t.pivot(lastRow, c);
        if (t.objective() > -eps) {
            converged = true;
            break;
        }
        if (!t.hasAdmissibleNegative())
            return levels;
        if (step >= 2 * n)
            break;
    }
    if (converged) {
        t.rhs(0) = 0.0;
        for (int c = 0; c + 1 < n; ++c) {
            if (std::fabs(t.at(0, c)) <= eps)
                t.at(0, c) = 0.0;
            else
                t.exclude(c);
        }
    }

    // Phase 2 starts from the row with the most negative right-hand side.
    int r = -1;
    double least = 0.0;
    for (int i = 1; i <= n + 1; ++i) {
        if (t.rhs(i) < least) {
            least = t.rhs(i);
            r = i;
        }
    }
    if (r < 0)
        r = lastRow;
    if (r < 0)
        return levels;
    t.addRow(0, r, 1.0);
    for (int i = 1; i <= n; ++i)
        if (i != r)
            t.addRow(i, r, -1.0);
    t.at(r, n) = 1.0;
    for (int step = 1; t.hasAdmissibleNegative(); ++step) {
        const int c = t.chooseEnteringColumn();
        t.pivot(t.chooseLeavingRow(c, 1), c);
        if (std::fabs(t.objective()) < tiny || !t.hasAdmissibleNegative() || step >= 2 * n)
            break;
    }

    for (int i = 0; i < n; ++i) {
        const int b = t.basis(i);
        levels[i] = b == 0 ? 0.0 : t.rhs(b) / t.at(b, i);
    }
    if (normalizeByObjective) {
        const double objective = t.objective();
        // An objective of (nearly) zero would scale every level to infinity.
        if (std::fabs(objective) < tiny)
            return QVector<double>(n, 0.0);
        for (double &level : levels)
            level = -level / objective;
    }
    return levels;
}
