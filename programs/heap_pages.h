#pragma once

namespace kalibron {

// Grows the heap of this process by one large step and asks the kernel to
// back it with transparent huge pages. For a short run that fills tens of
// megabytes (a plot of a large table, its SVG text) this turns thousands of
// page faults into a few. A hint only: without huge pages nothing changes.
void offerHeapForHugePages();

} // namespace kalibron
