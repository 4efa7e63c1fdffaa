#pragma once

#include <string>

namespace kalibron {

struct PlotScene;

// The plot scene as a standalone SVG document, drawn like the window paints
// it: the frame (light yellow, ticks, axis lines and tick labels, in twips)
// and the plot area inside it (its own background, marks and curves mapped
// from data units through the scene's scale and cut at the area's edges).
// The document is frameWidth × frameHeight twips shown at `dpi` dots per inch;
// lines stay one device pixel wide at any size. Primitives with coordinates
// that are not finite are left out, so the file never holds inf or nan.
std::string sceneToSvg(const PlotScene& scene, double dpi);

} // namespace kalibron
