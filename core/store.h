#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "core/file_list_state.h"
#include "core/student_table.h"
#include "core/value_cell.h"

namespace kalibron {

// Settings that differ between the programs built from this source.
struct ProgramSettings {
    int positionBound = 30000; // highest position index of every per-position array
};

// The one shared data store. Both windows, the calculation and the
// command-line tool read and write it; it is handed to them by reference.
// Member names are the names the whole program uses for these variables.
struct Store {
    explicit Store(const ProgramSettings& settings = {});

    const ProgramSettings settings;
    int bound() const { return settings.positionBound; }

    // --- Sequence data (index 0..bound) -----------------------------------
    std::vector<ValueCell> Y;
    std::vector<ValueCell> Yerr;
    std::vector<ValueCell> Rejected;
    double MaxX = 0;    // largest X as read (not rounded)
    int nPoints = 0;    // present, unrejected points (ScanData)
    int nPointsAll = 0; // rows of the last import with a positive Y
    int nCols = 0;      // columns of the last imported table
    int FirstX = 0;
    double MaxY = 0;
    double MinY = 0;
    bool AllData = true;

    // Upper limit of every per-position loop: MaxX rounded half to even and
    // clamped to 0..bound, so a position loop never leaves its array.
    int lastPosition() const;
    // A point takes part in the fits when its Y is positive and it is not rejected.
    bool isUsed(int x) const
    {
        return Y[static_cast<std::size_t>(x)].positive() && Rejected[static_cast<std::size_t>(x)].value() < 1;
    }

    // --- Linear and logarithmic regression ----------------------------------
    ValueCell LinA, LinB, LinR, LinDev, LinDevPct;
    ValueCell LogA, LogB, LogR, LogDev, LogDevPct;
    double SumX = 0, SumY = 0, SumX2 = 0, SumY2 = 0, SumXY = 0;

    // --- Polynomial regression ------------------------------------------------
    // The stable form of a slot's polynomial fit, the one every reader
    // evaluates: f(x) = Σ_k c_k·T_k(t), T_k the Chebyshev polynomials and
    // t = (2x − (a + b)) / (b − a) the position scaled onto [−1, 1] by the
    // first and last fitted position a, b (t = 0 when a = b). PolyC and
    // PolyCoef hold the same curve in powers of x, for display only: at high
    // degree a sum of powers loses the digits the curve has.
    struct PolyChebyshev {
        int degree = -1; // −1: no fit
        double a = 0, b = 0;
        std::array<long double, 24> c{};

        bool fitted() const { return degree >= 0; }
        // t = (2x − (a + b))·s formed in long double, then rounded to double:
        // the design matrix and every evaluation use this same t. s is
        // 1/(b − a) cut to 32 significant bits (so |t| <= 1 still): then t
        // is exact whenever 2x − (a + b) has at most 21 significant bits, as
        // for whole positions, and the fitted points lie exactly where they
        // are. The reciprocal spares a division per position.
        long double centreTwice() const { return static_cast<long double>(a) + b; }
        long double inverseWidth() const;
        static double scaled(double x, long double centreTwice, long double inverseWidth)
        {
            return static_cast<double>((2.0L * x - centreTwice) * inverseWidth);
        }
        double scaled(double x) const { return scaled(x, centreTwice(), inverseWidth()); }
        void clear() { *this = PolyChebyshev{}; }
    };

    std::vector<double> PX, PY; // 0..bound
    int nPoly = 0;
    std::array<ValueCell, 26> PolyC{};                   // PolyC(p+1) = c_p
    std::array<std::array<ValueCell, 27>, 6> PolyCoef{}; // PolyCoef(slot, p+2) = c_p
    std::array<PolyChebyshev, 6> PolyFit{};              // per slot, cleared with PolyCoef(slot, ·)
    int PolySlot = 0;
    std::vector<ValueCell> YPoly; // 0..bound
    ValueCell PolyDev, PolyDevPct;

    // --- Zigzag -------------------------------------------------------------
    std::array<ValueCell, 101> ZzX{}, ZzY{};
    int nClusters = 0;

    // --- Student t table and confidence band --------------------------------
    StudentTable Student;
    std::optional<int> ProbIndex; // Empty until a level is chosen
    ValueCell tValue, ConfS, ConfSxx, ConfXMean;
    int ConfN = 0; // number of used points behind ConfS (the n of the band's 1/n)
    ValueCell LinFit, LineY1, ConfHalf, ConfHalf2;
    double LineX0 = 0, LineX1 = 0;

    // --- Plot values of the last calculation (read by the point rejection) --
    double MarginY = 0, MarginX = 0, MarkFrac = 0;
    double MarkDX = 0, MarkDY = 0;
    double PlotOffsetX = 0, PlotBottomY = 0;

    // --- Environment ----------------------------------------------------------
    std::string gPath; // folder of the program file, no trailing separator
    bool FileListShown = false;
    std::string ClipOut; // text of the last export

    // --- File list window ---------------------------------------------------
    FileListState fileList;
};

// Main's data part: the example sequence of the start-up window
// (MaxX 27; Y(5)=980, Y(10)=770, Y(15)=700, Y(25)=550, Y(27)=500).
void putExampleSequence(Store& store);

// ScanData: derives nPoints, FirstX, MaxY and MinY from Y(), Rejected() and
// AllData before every calculation (MaxY starts at 0, MinY at 1e9, FirstX at 0).
void ScanData(Store& store);

// Folder of the running program file (no trailing separator); falls back to
// the folder of argv0, then to ".".
std::string programFolder(const char* argv0);

} // namespace kalibron
