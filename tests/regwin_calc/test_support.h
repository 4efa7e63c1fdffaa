#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "analysis/calculation.h"
#include "core/messages.h"
#include "core/store.h"

namespace kalibron::test {

// Student t quantiles t(0.975; f) for f = 1..8 and the normal limit, in the
// column of the 95 % level (ProbIndex 3); enough for every data set here.
StudentTable smallStudentTable();

// A store as the window holds it after its first activation: the start-up
// example, the 95 % level chosen and a loaded t table.
std::unique_ptr<Store> startStore();

// A store with exactly the given points (X, Y), two columns, MaxX given,
// the 95 % level chosen and a loaded t table.
std::unique_ptr<Store> storeWith(const std::vector<std::pair<int, double>>& points, double maxX);

// Settings with every curve and export block switched off, so a test enables
// what it looks at.
RegressionSettings noCurves();

// The scene's items with every Polyline replaced by the unit segments it
// stands for, in place and in order; what a scene drew before curves were
// kept as polylines.
PrimitiveList expandPolylines(const PrimitiveList& items);

// The segments of one canvas and colour, a Polyline counted as its steps.
// Holds the segments it lists, so a range-for over the call's result is safe.
class SegmentList {
public:
    explicit SegmentList(std::vector<Segment> owned);
    SegmentList(const SegmentList&) = delete;
    SegmentList& operator=(const SegmentList&) = delete;
    std::size_t size() const { return m_pointers.size(); }
    const Segment* operator[](std::size_t i) const { return m_pointers[i]; }
    auto begin() const { return m_pointers.begin(); }
    auto end() const { return m_pointers.end(); }

private:
    std::vector<Segment> m_owned;
    std::vector<const Segment*> m_pointers;
};

int countSegments(const PlotScene& scene, Canvas canvas, Rgb colour);
int countBoxes(const PlotScene& scene, Rgb colour);
SegmentList segments(const PlotScene& scene, Canvas canvas, Rgb colour);
std::vector<std::string> labelTexts(const PlotScene& scene, TickLabel::Axis axis);
std::vector<const TickLabel*> labelsOf(const PlotScene& scene, TickLabel::Axis axis);

// Every coordinate of every item and label is finite.
bool allFinite(const PlotScene& scene);

// Frame ticks of the Y axis (minor: 50 twips, major: 90 twips long) and of
// the X axis (vertical, 50 or 90 twips long).
int countYTicks(const PlotScene& scene, double length);
int countXTicks(const PlotScene& scene, double length);

bool nearRel(double actual, double expected, double tolerance = 1e-9);

// An export text as lines of TAB-separated cells (lines end with CR).
std::vector<std::vector<std::string>> table(const std::string& text);

} // namespace kalibron::test
