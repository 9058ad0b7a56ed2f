#pragma once

// The form of the main dialog: the labels, the three text fields with their browse buttons, the
// spin box of the minimum flight time and the "Generate Logbook" / "Exit" row, laid out in one
// grid. Its command slots are placeholders; MainWindow overrides them.

#include <QDialog>

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpacerItem;
class QSpinBox;
class QToolButton;

class MainWindowBase : public QDialog {
    Q_OBJECT

public:
    /// Builds the whole form. Without a `name` the dialog is named "MainWindowBase".
    explicit MainWindowBase(QWidget* parent = nullptr, const char* name = nullptr,
                            bool modal = false, Qt::WindowFlags flags = {});
    ~MainWindowBase() override;

    // The widgets, children of the dialog; those that no code touches keep their form names.
    QLabel* textLabel3;
    QLabel* textLabel1;
    QLabel* textLabel2;
    QToolButton* toolButton1; // browse for the IGC directory
    QToolButton* toolButton2; // browse for the logbook file
    QPushButton* pushButton2; // "Exit"
    QPushButton* pushButton1; // "Generate Logbook"
    QLineEdit* logbook_file_; // path of the logbook file to write
    QLineEdit* igc_files_;    // directory of the IGC files
    QLineEdit* pilot_name_;
    QSpinBox* min_time_; // minimum flight time, minutes
    QLabel* textLabel1_2;

public slots:
    virtual void generateLogBook();
    virtual void browseIGCDir();
    virtual void browseOutputFile();

protected:
    QGridLayout* MainWindowBaseLayout;
    // Fillers of the grid, owned by the layout; numbered in the order they are placed.
    QSpacerItem* spacer1; // row 0, column 5
    QSpacerItem* spacer2; // row 5, column 5
    QSpacerItem* spacer3; // row 5, column 0
    QSpacerItem* spacer4; // row 5, column 3
    QSpacerItem* spacer5; // row 4, column 2
    QSpacerItem* spacer6; // row 3, columns 3-5
    QSpacerItem* spacer7; // row 4, column 0

protected slots:
    /// Sets every visible text of the form.
    virtual void languageChange();
};
