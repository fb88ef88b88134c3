#pragma once

namespace velquor {

class CMainFrame;
class CVelquorView;

// Adds the Measure menu (averaging, relative, reference, max hold, limits, offset,
// power unit, loss table, statistics) to the frame, before Help.
void AddMeasureMenu(CMainFrame& frame, CVelquorView& view);

}  // namespace velquor
