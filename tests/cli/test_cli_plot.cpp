// `kalibron plot` and the SVG writer: images that open, at the size the dpi
// asks for, written whole or not at all.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <QImage>
#include <QString>
#include <QXmlStreamReader>

#include "ui/regression_window/scene_svg.h"
#include "tests/cli/cli_test_support.h"
#include "ui/regression_window/plot_scene.h"

namespace kalibron::test {
namespace {

std::string examplePath()
{
    return std::string(KALIBRON_TEST_DATA_DIR) + "/example_table.txt";
}

struct SvgSummary {
    bool wellFormed = false;
    std::string error;
    double width = 0, height = 0;
    int lines = 0;
    std::vector<std::string> texts;
    std::vector<double> coordinates; // every x1/y1/x2/y2 of every line
};

SvgSummary readSvg(const std::string& text)
{
    SvgSummary s;
    QXmlStreamReader xml(QByteArray::fromStdString(text));
    while (!xml.atEnd()) {
        if (!xml.readNext() || !xml.isStartElement())
            continue;
        const auto name = xml.name();
        const auto attributes = xml.attributes();
        if (name == QStringLiteral("svg")) {
            s.width = attributes.value("width").toString().remove("px").toDouble();
            s.height = attributes.value("height").toString().remove("px").toDouble();
        } else if (name == QStringLiteral("line")) {
            ++s.lines;
            for (const char* a : {"x1", "y1", "x2", "y2"})
                s.coordinates.push_back(attributes.value(a).toString().toDouble());
        } else if (name == QStringLiteral("text")) {
            s.texts.push_back(xml.readElementText().toStdString());
        }
    }
    s.wellFormed = !xml.hasError();
    s.error = xml.errorString().toStdString();
    return s;
}

TEST(CliPlot, SvgOfTheExampleParsesWithItsTicksAndLabels)
{
    TempFolder folder;
    const std::string image = folder.path("example.svg");
    const CliOutcome outcome = runTool({"plot", "-o", image, examplePath()});
    ASSERT_EQ(outcome.status, kExitOk) << outcome.err;
    EXPECT_TRUE(outcome.out.empty());
    const SvgSummary svg = readSvg(readAll(image));
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    // The frame is 11655 × 6495 twips; 1440 twips make an inch.
    EXPECT_NEAR(svg.width, 11655.0 * 96 / 1440, 0.01);
    EXPECT_NEAR(svg.height, 6495.0 * 96 / 1440, 0.01);
    EXPECT_GT(svg.lines, 28) << "at least the X ticks of positions 0..27";
    for (const char* label : {"0", "10", "20"})
        EXPECT_NE(std::find(svg.texts.begin(), svg.texts.end(), label), svg.texts.end()) << label;
    for (double c : svg.coordinates)
        EXPECT_TRUE(std::isfinite(c));
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
    const PlotScene scene = handMadeScene();
    const std::string text = sceneToSvg(scene, 96);
    for (const char* bad : {"=\"nan", "=\"-nan", "=\"inf", "=\"-inf"})
        EXPECT_EQ(text.find(bad), std::string::npos) << bad;
    const SvgSummary svg = readSvg(text);
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    ASSERT_EQ(svg.texts.size(), 1u);
    EXPECT_EQ(svg.texts[0], "<1&2>");

    const PlotGeometry& g = scene.geometry;
    const double left = g.plotLeft - g.frameLeft, top = g.plotTop - g.frameTop;
    const double right = left + g.plotWidth, bottom = top + g.plotHeight;
    // Curve, three visible edges of the mark (the right one lies outside),
    // the frame tick; the non-finite segment is left out.
    EXPECT_EQ(svg.lines, 1 + 3 + 1);
    for (std::size_t i = 0; i + 3 < svg.coordinates.size() - 4; i += 4) {
        EXPECT_GE(svg.coordinates[i], left - 0.01);
        EXPECT_LE(svg.coordinates[i + 2], right + 0.01);
        EXPECT_GE(svg.coordinates[i + 1], top - 0.01);
        EXPECT_LE(svg.coordinates[i + 1], bottom + 0.01);
        EXPECT_GE(svg.coordinates[i + 3], top - 0.01);
        EXPECT_LE(svg.coordinates[i + 3], bottom + 0.01);
    }
    // The steep curve starts at the origin (bottom left) and leaves the
    // area through its top edge almost at once.
    EXPECT_NEAR(svg.coordinates[0], left, 0.01);
    EXPECT_NEAR(svg.coordinates[1], bottom, 0.01);
    EXPECT_NEAR(svg.coordinates[3], top, 0.01);
    EXPECT_LT(svg.coordinates[2], left + 1);
    // The frame tick keeps its twips.
    const std::size_t tick = svg.coordinates.size() - 4;
    EXPECT_NEAR(svg.coordinates[tick], 840, 0.01);
    EXPECT_NEAR(svg.coordinates[tick + 3], 6105, 0.01);
}

TEST(SceneSvg, DegenerateScaleDrawsTheFrameOnly)
{
    PlotScene scene = handMadeScene();
    scene.scale.width = 0; // no data: nothing can be mapped into the area
    const SvgSummary svg = readSvg(sceneToSvg(scene, 300));
    ASSERT_TRUE(svg.wellFormed) << svg.error;
    EXPECT_EQ(svg.lines, 1);
    EXPECT_NEAR(svg.width, 11655.0 * 300 / 1440, 0.01);
}

} // namespace
} // namespace kalibron::test
