#pragma once

// The main dialog of the logbook tool: the form with its fields preset from the simulator's
// installation directory, the two file choosers and the logbook generation.

#include "app/MainWindowBase.h"

#include <QString>

#include <iosfwd>

class MainWindow : public MainWindowBase {
    Q_OBJECT

public:
    /// Builds the form and presets the IGC directory and the logbook path from the installation
    /// directory, or warns the user when there is none.
    MainWindow();

    /// Analyses one IGC file and appends its entry to `logbook` when the flight is kept; true
    /// when an entry was written. Flights shorter than the minimum time in `min_time_` are dropped.
    bool analyzeFlight(QString path, std::ostream& logbook);

public slots:
    /// Rebuilds the logbook from every IGC file of the chosen directory.
    void generateLogBook() override;
    void browseIGCDir() override;
    void browseOutputFile() override;
};
