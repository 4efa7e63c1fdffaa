// `kalibron plot` and the painter's SVG: images that open, at the size the
// dpi asks for, written whole or not at all; the SVG and the PNG of a scene
// put every label and curve in the same place.
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <QXmlStreamReader>

#include "tests/cli/cli_test_support.h"
#include "analysis/plot_scene.h"
#include "ui/regression_window/scene_painter.h"

namespace kalibron::test {
namespace {

std::string examplePath() { return std::string(KALIBRON_TEST_DATA_DIR) + "/example_table.txt"; }

// Text and images need a QGuiApplication; the tool makes its own per run.
class GuiApplication {
public:
    GuiApplication()
    {
        static int argc = 1;
        static char name[] = "test_cli";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance())
            m_application = std::make_unique<QGuiApplication>(argc, argv);
    }

private:
    std::unique_ptr<QGuiApplication> m_application;
};

struct SvgLine {
    QColor colour;
    std::vector<QPointF> points;
};

struct SvgText {
    std::string text;
    QPointF baseline; // left end of the base line
    double fontSize = 0;
};

struct SvgSummary {
    bool wellFormed = false;
    std::string error;
    double width = 0, height = 0; // the view box, in pixels
    std::vector<SvgLine> lines;
    std::vector<SvgText> texts;
};

// The polylines and the lines of paths ("M x,y L x,y ... M ...") with the
// stroke of their group, and the texts, of an SVG as QSvgGenerator writes it
// (no transforms beyond the identity).
SvgSummary readSvg(const QByteArray& text)
{
    SvgSummary s;
    QXmlStreamReader xml(text);
    std::vector<QColor> strokes{QColor()};
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QStringLiteral("g"))
            strokes.pop_back();
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        const auto attributes = xml.attributes();
        if (name == QStringLiteral("svg")) {
            const QStringList box = attributes.value("viewBox").toString().split(' ');
            if (box.size() == 4) {
                s.width = box[2].toDouble();
                s.height = box[3].toDouble();
            }
        } else if (name == QStringLiteral("g")) {
            const QString stroke = attributes.value("stroke").toString();
            strokes.push_back(stroke.startsWith('#') ? QColor(stroke) : strokes.back());
            const QString transform = attributes.value("transform").toString();
            EXPECT_TRUE(transform.isEmpty() || transform == QStringLiteral("matrix(1,0,0,1,0,0)"))
                << transform.toStdString();
        } else if (name == QStringLiteral("polyline")) {
            SvgLine line{strokes.back(), {}};
            for (const QString& pair : attributes.value("points").toString().split(' ', Qt::SkipEmptyParts)) {
                const QStringList xy = pair.split(',');
                line.points.emplace_back(xy.value(0).toDouble(), xy.value(1).toDouble());
            }
            s.lines.push_back(line);
        } else if (name == QStringLiteral("path")) {
            for (const QString& step : attributes.value("d").toString().split(' ', Qt::SkipEmptyParts)) {
                if (step.startsWith('M'))
                    s.lines.push_back(SvgLine{strokes.back(), {}});
                const QStringList xy = step.mid(1).split(',');
                EXPECT_TRUE((step.startsWith('M') || step.startsWith('L')) && xy.size() == 2 && !s.lines.empty())
                    << step.toStdString();
                if (!s.lines.empty())
                    s.lines.back().points.emplace_back(xy.value(0).toDouble(), xy.value(1).toDouble());
            }
        } else if (name == QStringLiteral("text")) {
            SvgText t;
            t.baseline = {attributes.value("x").toDouble(), attributes.value("y").toDouble()};
            t.fontSize = attributes.value("font-size").toDouble();
            t.text = xml.readElementText().toStdString();
            s.texts.push_back(t);
        }
    }
    s.wellFormed = !xml.hasError();
    s.error = xml.errorString().toStdString();
    return s;
}

SvgSummary readSvgFile(const std::string& path) { return readSvg(QByteArray::fromStdString(readAll(path))); }

TEST(CliPlot, SvgOfTheExampleParsesWithItsTicksAndLabels)
{
    TempFolder folder;
    const std::string image = folder.path("example.svg");
    const CliOutcome outcome = runTool({"plot", "-o", image, examplePath()});
    ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
    EXPECT_TRUE(outcome.out.empty());
    const SvgSummary svg = readSvgFile(image);
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    // The frame is 11655 × 6495 twips; 1440 twips make an inch.
    EXPECT_EQ(svg.width, 777);
    EXPECT_EQ(svg.height, 433);
    EXPECT_GT(svg.lines.size(), 28u) << "at least the X ticks of positions 0..27";
    for (const char* label : {"0", "10", "20"})
        EXPECT_TRUE(std::any_of(svg.texts.begin(), svg.texts.end(), [&](const SvgText& t) { return t.text == label; }))
            << label;
    for (const SvgLine& line : svg.lines)
        for (const QPointF& p : line.points)
            EXPECT_TRUE(std::isfinite(p.x()) && std::isfinite(p.y()));
}

TEST(CliPlot, PngOpensAtTheSizeTheDpiAsksFor)
{
    TempFolder folder;
    for (const int dpi : {96, 48}) {
        const std::string image = folder.path("example" + std::to_string(dpi) + ".PNG");
        const CliOutcome outcome = runTool({"plot", "--dpi", std::to_string(dpi), "-o", image, examplePath()});
        ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
        QImage png;
        ASSERT_TRUE(png.load(QString::fromStdString(image), "PNG")) << image;
        EXPECT_NEAR(png.width(), 11655.0 * dpi / 1440, 1.0);
        EXPECT_NEAR(png.height(), 6495.0 * dpi / 1440, 1.0);
        // The frame's light yellow fills its corner.
        EXPECT_EQ(png.pixelColor(1, 1).rgb() & 0xFFFFFF, 0xFFFFC0u);
    }
}

TEST(CliPlot, AFailedWriteLeavesNoFileBehind)
{
    TempFolder folder;
    const std::string inMissingFolder = folder.path("no/such/folder/plot.svg");
    const CliOutcome missing = runTool({"plot", "-o", inMissingFolder, examplePath()});
    EXPECT_EQ(missing.status, kExitIoError);
    EXPECT_TRUE(missing.err.starts_with("kalibron: cannot write " + inMissingFolder + ": ")) << missing.err;

    // A folder where the image should go stays a folder, and no temporary
    // file is left beside it.
    std::filesystem::create_directory(folder.path("taken.svg"));
    const CliOutcome taken = runTool({"plot", "-o", folder.path("taken.svg"), examplePath()});
    EXPECT_EQ(taken.status, kExitIoError);
    EXPECT_TRUE(std::filesystem::is_directory(folder.path("taken.svg")));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.root()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(AtomicWrite, ReplacesTheTargetOnlyWhenComplete)
{
    TempFolder folder;
    const std::string target = folder.file("out.txt", "old content");
    EXPECT_EQ(writeFileAtomically(target, "new content"), "");
    EXPECT_EQ(readAll(target), "new content");
    EXPECT_NE(writeFileAtomically(folder.path("missing/out.txt"), "x"), "");
    EXPECT_EQ(readAll(target), "new content");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.root()))
        ++entries;
    EXPECT_EQ(entries, 1) << "no temporary file left";
}

// A scene made by hand: a curve far beyond the plot area, a point mark on
// the area's edge, a segment with a coordinate that is not finite, and a
// label with characters that XML reserves.
PlotScene handMadeScene()
{
    PlotScene scene;
    scene.scale = {0, 110, 100, -110}; // X 0..100, Y 0..110
    scene.items.push_back(Segment{Canvas::Plot, 0, 0, 100, 1e12, colours::kBlue});
    scene.items.push_back(Box{Canvas::Plot, 99, 50, 101, 52, colours::kRed});
    scene.items.push_back(Segment{Canvas::Plot, 0, std::numeric_limits<double>::quiet_NaN(), 1, 1, colours::kBlack});
    scene.items.push_back(Segment{Canvas::Frame, 840, 6015, 840, 6105, colours::kBlack});
    scene.labels.push_back(TickLabel{TickLabel::Axis::Y, 0, "<1&2>", 90, 100, 615, 255});
    return scene;
}

TEST(SceneSvg, CurvesAreCutAtThePlotAreaAndNothingIsNotFinite)
{
    const GuiApplication application;
    const PlotScene scene = handMadeScene();
    const QByteArray text = renderSceneSvg(scene, 96);
    for (const char* bad : {"nan", "inf"})
        EXPECT_FALSE(text.contains(bad)) << bad;
    const SvgSummary svg = readSvg(text);
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    ASSERT_EQ(svg.texts.size(), 1u);
    EXPECT_EQ(svg.texts[0].text, "<1&2>");

    // Every line of the plot area lies within a pixel of it; the steep
    // curve starts at the origin (bottom left) and leaves the area through
    // its top edge almost at once.
    const QRectF area = plotRectInFrame(scene.geometry, QRectF(0, 0, svg.width, svg.height));
    const QRectF clip = area.adjusted(-1.01, -1.01, 1.01, 1.01);
    bool curve = false;
    for (const SvgLine& line : svg.lines) {
        if (line.colour == toQColor(colours::kBlack))
            continue; // the frame tick
        for (const QPointF& p : line.points)
            EXPECT_TRUE(clip.contains(p)) << p.x() << ", " << p.y();
        if (line.colour == toQColor(colours::kBlue)) {
            curve = true;
            EXPECT_NEAR(line.points.front().x(), area.left(), 0.01);
            EXPECT_NEAR(line.points.front().y(), area.bottom(), 0.01);
            EXPECT_NEAR(line.points.back().y(), area.top() - 1, 0.01);
            EXPECT_LT(line.points.back().x(), area.left() + 1);
        }
    }
    EXPECT_TRUE(curve);
}

TEST(SceneSvg, DegenerateScaleDrawsTheFrameOnly)
{
    const GuiApplication application;
    PlotScene scene = handMadeScene();
    scene.scale.width = 0; // no data: nothing can be mapped into the area
    const SvgSummary svg = readSvg(renderSceneSvg(scene, 300));
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    ASSERT_EQ(svg.lines.size(), 1u);
    EXPECT_EQ(svg.lines[0].colour, toQColor(colours::kBlack));
    EXPECT_EQ(svg.width, std::lround(11655.0 * 300 / 1440));
}

// The ink of the image in `box`: the smallest rectangle holding every pixel
// that passes `ink`.
template <typename Ink> QRect inkIn(const QImage& image, const QRect& box, Ink ink)
{
    QRect found;
    const QRect within = box.intersected(image.rect());
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (ink(image.pixelColor(x, y)))
                found = found.united(QRect(x, y, 1, 1));
    return found;
}

// Whether the polyline comes within `distance` of `point`.
bool passesNear(const SvgLine& line, const QPointF& point, double distance)
{
    for (std::size_t i = 0; i + 1 < line.points.size(); ++i) {
        const QPointF a = line.points[i], d = line.points[i + 1] - a;
        const double length2 = QPointF::dotProduct(d, d);
        const double t = length2 > 0 ? std::clamp(QPointF::dotProduct(point - a, d) / length2, 0.0, 1.0) : 0.0;
        const QPointF gap = a + t * d - point;
        if (std::hypot(gap.x(), gap.y()) <= distance)
            return true;
    }
    return line.points.size() == 1 &&
        std::hypot(line.points[0].x() - point.x(), line.points[0].y() - point.y()) <= distance;
}

// One scene with every curve and the band, drawn as SVG and as PNG: each
// label the SVG places has its ink in the PNG where the SVG says it starts
// and stands, and each curve the SVG draws has the curve's colour in the PNG
// at both ends.
TEST(SceneSvg, SvgAndPngAgreeOnLabelsAndCurveEnds)
{
    const GuiApplication application;
    RegressionSettings settings;
    settings.chkLog = settings.chkZigZag = settings.chkConf = true;
    settings.chkPoly.fill(true);
    const auto session = runWindow(clipboardTextFromFile(readAll(examplePath())), settings);
    const PlotScene& scene = session->result.scene;
    for (const double dpi : {96.0, 150.0}) {
        SCOPED_TRACE(dpi);
        const SvgSummary svg = readSvg(renderSceneSvg(scene, dpi));
        ASSERT_TRUE(svg.wellFormed) << svg.error;
        const QImage png = renderSceneImage(scene, dpi);
        ASSERT_EQ(png.width(), svg.width);
        ASSERT_EQ(png.height(), svg.height);

        ASSERT_EQ(svg.texts.size(), scene.labels.size());
        for (const SvgText& label : svg.texts) {
            SCOPED_TRACE(label.text);
            const QPointF at = label.baseline;
            const double em = label.fontSize;
            const QRect around(QPoint(static_cast<int>(at.x() - 0.3 * em), static_cast<int>(at.y() - 0.9 * em)),
                               QPoint(static_cast<int>(at.x() + 0.7 * em * static_cast<double>(label.text.size())),
                                      static_cast<int>(at.y()))); // down to the base line: no comma tail
            const QRect ink = inkIn(png, around, [](const QColor& c) { return c.lightness() < 128; });
            ASSERT_FALSE(ink.isEmpty());
            EXPECT_NEAR(ink.left(), at.x(), 0.2 * em);
            EXPECT_NEAR(ink.bottom() + 1, at.y(), 1.5); // digits stand on the base line
            EXPECT_GT(ink.height(), 0.5 * em) << "the label's glyphs, not a stray line";
        }

        // A curve's end may lie under a later line (the mark of the last
        // standard, another curve through it); then the later one must show.
        int curves = 0;
        for (std::size_t k = 0; k < svg.lines.size(); ++k) {
            const SvgLine& line = svg.lines[k];
            if (line.colour == toQColor(colours::kBlack))
                continue; // frame, axes and marks of the points
            ++curves;
            for (const QPointF& end : {line.points.front(), line.points.back()}) {
                const QRect near(
                    QPoint(static_cast<int>(std::floor(end.x())) - 2, static_cast<int>(std::floor(end.y())) - 2),
                    QSize(5, 5));
                const auto shown = [&](const QColor& colour) {
                    return !inkIn(png, near, [&](const QColor& c) { return c == colour; }).isEmpty();
                };
                bool visible = shown(line.colour);
                for (std::size_t later = k + 1; !visible && later < svg.lines.size(); ++later)
                    visible = passesNear(svg.lines[later], end, 1.5) && shown(svg.lines[later].colour);
                EXPECT_TRUE(visible) << line.colour.name().toStdString() << " at " << end.x() << ", " << end.y();
            }
        }
        EXPECT_GE(curves, 5) << "logarithmic, degrees 2..5";
    }
}

} // namespace
} // namespace kalibron::test
