#pragma once

#include <QString>

namespace velquor {

class CMainFrame;
class CVelquorView;

// Wires the frame's print, print preview, print setup and save-snapshot commands.
void ConnectPrintCommands(CMainFrame& frame, CVelquorView& view);

// Writes the view's snapshot: a PNG image, or the printed page as PDF when the
// file name ends in ".pdf". False with a one-line reason.
bool WriteSnapshotFile(CVelquorView& view, const QString& file, QString& reason);

}  // namespace velquor
