#include "test_support.h"

#include <cmath>
#include <type_traits>
#include <variant>

namespace kalibron::test {

StudentTable smallStudentTable()
{
    StudentTable table;
    const double t975[] = {12.70620474, 4.30265273,  3.182446305, 2.776445105,
                           2.570581836, 2.446911851, 2.364624252, 2.306004135};
    for (int f = 1; f <= 8; ++f)
        table.t[3][static_cast<std::size_t>(f)] = t975[f - 1];
    table.t[3][101] = 1.959963985;
    table.loaded = true;
    return table;
}

std::unique_ptr<Store> startStore()
{
    auto store = std::make_unique<Store>();
    putExampleSequence(*store);
    store->Student = smallStudentTable();
    store->ProbIndex = 3;
    return store;
}

std::unique_ptr<Store> storeWith(const std::vector<std::pair<int, double>>& points, double maxX)
{
    auto store = std::make_unique<Store>();
    for (const auto& [x, y] : points)
        store->Y[static_cast<std::size_t>(x)] = y;
    store->MaxX = maxX;
    store->nCols = 2;
    store->nPointsAll = static_cast<int>(points.size());
    store->nPoints = store->nPointsAll;
    store->Student = smallStudentTable();
    store->ProbIndex = 3;
    return store;
}

RegressionSettings noCurves()
{
    RegressionSettings settings;
    settings.chkZigZag = false;
    settings.chkConf = false;
    settings.chkLog = false;
    settings.chkPoly = {};
    settings.chkEX = {}; // an export box fits its method too
    return settings;
}

PrimitiveList expandPolylines(const PrimitiveList& items)
{
    PrimitiveList out;
    for (const Primitive& item : items) {
        const auto* line = std::get_if<Polyline>(&item);
        if (!line) {
            out.push_back(item);
            continue;
        }
        for (std::size_t k = 0; k + 1 < line->ys.size(); ++k) {
            const double x = line->x0 + static_cast<double>(k);
            out.push_back(Segment{line->canvas, x, line->ys[k], x + 1, line->ys[k + 1], line->colour});
        }
    }
    return out;
}

SegmentList::SegmentList(std::vector<Segment> owned) : m_owned(std::move(owned))
{
    for (const Segment& s : m_owned)
        m_pointers.push_back(&s);
}

SegmentList segments(const PlotScene& scene, Canvas canvas, Rgb colour)
{
    std::vector<Segment> found;
    for (const Primitive& item : expandPolylines(scene.items)) {
        if (const auto* s = std::get_if<Segment>(&item); s && s->canvas == canvas && s->colour == colour)
            found.push_back(*s);
    }
    return SegmentList(std::move(found));
}

int countSegments(const PlotScene& scene, Canvas canvas, Rgb colour)
{
    return static_cast<int>(segments(scene, canvas, colour).size());
}

int countBoxes(const PlotScene& scene, Rgb colour)
{
    int n = 0;
    for (const Primitive& item : scene.items) {
        if (const auto* b = std::get_if<Box>(&item); b && b->colour == colour)
            ++n;
    }
    return n;
}

std::vector<const TickLabel*> labelsOf(const PlotScene& scene, TickLabel::Axis axis)
{
    std::vector<const TickLabel*> found;
    for (const TickLabel& label : scene.labels) {
        if (label.axis == axis)
            found.push_back(&label);
    }
    return found;
}

std::vector<std::string> labelTexts(const PlotScene& scene, TickLabel::Axis axis)
{
    std::vector<std::string> texts;
    for (const TickLabel* label : labelsOf(scene, axis))
        texts.push_back(label->text);
    return texts;
}

bool allFinite(const PlotScene& scene)
{
    auto finite = [](double a, double b, double c, double d) {
        return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d);
    };
    for (const Primitive& item : expandPolylines(scene.items)) {
        const bool ok = std::visit(
            [&](const auto& p) {
                if constexpr (std::is_same_v<std::decay_t<decltype(p)>, Polyline>)
                    return false; // expanded above: none left
                else
                    return finite(p.x1, p.y1, p.x2, p.y2);
            },
            item);
        if (!ok)
            return false;
    }
    for (const TickLabel& label : scene.labels) {
        if (!finite(label.left, label.top, label.width, label.height))
            return false;
    }
    return finite(scene.scale.left, scene.scale.top, scene.scale.width, scene.scale.height);
}

int countYTicks(const PlotScene& scene, double length)
{
    int n = 0;
    for (const Segment* s : segments(scene, Canvas::Frame, colours::kBlack)) {
        if (s->y1 == s->y2 && std::fabs(s->x2 - s->x1 - length) < 1e-9)
            ++n;
    }
    return n;
}

int countXTicks(const PlotScene& scene, double length)
{
    int n = 0;
    for (const Segment* s : segments(scene, Canvas::Frame, colours::kBlack)) {
        if (s->x1 == s->x2 && std::fabs(s->y2 - s->y1 - length) < 1e-9)
            ++n;
    }
    return n;
}

bool nearRel(double actual, double expected, double tolerance)
{
    return std::fabs(actual - expected) <= tolerance * std::max(1.0, std::fabs(expected));
}

std::vector<std::vector<std::string>> table(const std::string& text)
{
    std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
    for (const char c : text) {
        if (c == '\r')
            lines.emplace_back(1);
        else if (c == '\t')
            lines.back().emplace_back();
        else
            lines.back().back().push_back(c);
    }
    lines.pop_back(); // after the last CR
    return lines;
}

} // namespace kalibron::test
