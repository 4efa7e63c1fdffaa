#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/store.h"

namespace kalibron::testing_support {

// Copy of everything a reader of outside text may write in the store, so that
// a refused input can be shown to have changed nothing. Copied values are
// compared exactly: they are moved around, never computed.
struct StoreSnapshot {
    std::vector<ValueCell> Y, Yerr, Rejected;
    double MaxX = 0, MaxY = 0, MinY = 0;
    int nPoints = 0, nPointsAll = 0, nCols = 0, FirstX = 0;
    bool AllData = true;
    StudentTable Student;
    std::optional<int> ProbIndex;
};

inline StoreSnapshot snapshot(const Store& store)
{
    return StoreSnapshot{store.Y,       store.Yerr,    store.Rejected,   store.MaxX,  store.MaxY,
                         store.MinY,    store.nPoints, store.nPointsAll, store.nCols, store.FirstX,
                         store.AllData, store.Student, store.ProbIndex};
}

// First field in which two snapshots differ ("" when equal): a failing test
// names the damage instead of printing 90,000 cells.
inline std::string firstDifference(const StoreSnapshot& a, const StoreSnapshot& b)
{
    auto cells = [](const char* name, const std::vector<ValueCell>& u, const std::vector<ValueCell>& v) {
        if (u.size() != v.size())
            return std::string(name) + " size";
        for (std::size_t i = 0; i < u.size(); ++i)
            if (!(u[i] == v[i]))
                return std::string(name) + "(" + std::to_string(i) + ")";
        return std::string();
    };
    for (const std::string& d :
         {cells("Y", a.Y, b.Y), cells("Yerr", a.Yerr, b.Yerr), cells("Rejected", a.Rejected, b.Rejected)})
        if (!d.empty())
            return d;
    if (a.MaxX != b.MaxX)
        return "MaxX";
    if (a.MaxY != b.MaxY)
        return "MaxY";
    if (a.MinY != b.MinY)
        return "MinY";
    if (a.nPoints != b.nPoints)
        return "nPoints";
    if (a.nPointsAll != b.nPointsAll)
        return "nPointsAll";
    if (a.nCols != b.nCols)
        return "nCols";
    if (a.FirstX != b.FirstX)
        return "FirstX";
    if (a.AllData != b.AllData)
        return "AllData";
    if (!(a.Student.t == b.Student.t) || a.Student.loaded != b.Student.loaded)
        return "Student";
    if (a.ProbIndex != b.ProbIndex)
        return "ProbIndex";
    return "";
}

inline bool operator==(const StoreSnapshot& a, const StoreSnapshot& b) { return firstDifference(a, b).empty(); }

} // namespace kalibron::testing_support
