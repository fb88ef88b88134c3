#pragma once

#include <QApplication>
#include <memory>

#include "app/app_options.h"
#include "link/ftdi_driver.h"
#include "meter/frame_timing_log.h"
#include "station/station.h"
#include "ui/velquor_doc.h"

namespace velquor {

class CMainFrame;
class CNoticeBox;
class CStationWindow;
class CVelquorView;

// The application object: Qt, the driver backend, the document, the frame and its view.
class CVelquorApp {
public:
    CVelquorApp(int& argc, char** argv);
    ~CVelquorApp();

    // Builds the window, connects, shows it and runs the event loop for the
    // command line main() has checked. Returns the process exit status.
    int Run(const AppOptions& options);

    CMainFrame* Frame() const { return m_pFrame.get(); }
    CVelquorView* View() const { return m_pView; }
    CStationWindow* StationWindow() const { return m_pStationWindow.get(); }

private:
    // Several meters: one station and its window.
    int RunStation(const AppOptions& options);
    bool ChooseTargets(const AppOptions& options, std::vector<station::MeterTarget>& targets,
                       std::string& error) const;
    bool InitInstance(const AppOptions& options);
    void ScheduleSnapshot(const AppOptions& options);
    void ScheduleQuit(const AppOptions& options);

    QApplication m_app;
    // Declared before the frame: the view's worker records into it until it stops.
    std::unique_ptr<CFrameTimingLog> m_pTimingLog;
    std::unique_ptr<IFtdiDriver> m_pDriver;
    CVelquorDoc m_document;
    CVelquorView* m_pView = nullptr;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<station::Station> m_pStation;
    std::unique_ptr<CStationWindow> m_pStationWindow;
    int m_nExitCode = 0;
};

}  // namespace velquor
