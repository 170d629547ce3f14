#pragma once

namespace Arealis
{

// The precision model of a topology: the spacing of the grid that its nodes are snapped to,
// and the overlay tolerance, the distance below which an end point counts as lying on an
// edge of another polygon (also the slack of the rectangle filters there). Both are absolute,
// in the units of the coordinates: the defaults fit projected data in metres or feet,
// Geographic() fits longitude and latitude in degrees (about a tenth and half a millimetre).
struct Precision
{
    double GridStep = 1e-6;
    double Tolerance = 0.0005;

    static constexpr Precision Geographic() noexcept { return {1e-9, 5e-9}; }

    bool operator==(const Precision&) const = default;
};

inline constexpr double DefaultNodeGridStep = Precision{}.GridStep;
inline constexpr double DefaultIntersectionTolerance = Precision{}.Tolerance;

// Throws ArgumentException unless both values are finite and positive and the tolerance is at
// least one grid step (a point snapped to the grid must still count as lying on its edge).
void CheckPrecision(const Precision& precision);

namespace Detail
{
// The precision that the code on this thread works with; see PrecisionScope.
extern thread_local constinit Precision t_currentPrecision;
} // namespace Detail

// The precision of the operation running on this thread: the defaults unless a
// PrecisionScope says otherwise. Inner loops read it once into a local.
inline const Precision& CurrentPrecision() noexcept
{
    return Detail::t_currentPrecision;
}

// Sets the current precision of this thread for its lifetime and restores the previous one
// after. The library's entry points that work on a topology open one from that topology; a
// thread that does part of such work opens one with the precision captured from the thread
// that started it:
//     const Precision precision = CurrentPrecision();
//     std::thread worker([precision] { const PrecisionScope scope(precision); ... });
// Callers working on polygons of no topology may open one themselves.
class PrecisionScope
{
public:
    explicit PrecisionScope(const Precision& precision) noexcept
        : m_previous(Detail::t_currentPrecision)
    {
        Detail::t_currentPrecision = precision;
    }
    ~PrecisionScope() { Detail::t_currentPrecision = m_previous; }

    PrecisionScope(const PrecisionScope&) = delete;
    PrecisionScope& operator=(const PrecisionScope&) = delete;

private:
    Precision m_previous;
};

} // namespace Arealis
