// Autoconfig: keeps the state of a form's controls between runs.  A form
// creates one for itself, naming a settings store and a range of Tag values
// (the dynamic property "Tag" of each control); every control of the form
// whose Tag lies in the range and whose class is one of the eleven persistent
// classes is loaded from the store when the Autoconfig is created and saved
// when it is destroyed (or on request).  The form's own position, size and
// maximised state are kept the same way when the form's Tag is in the range.
//
// Persistent classes, by class index (exact classes only, forms apart):
//   0 the form (any top-level QWidget)   "Maximize", "Left", "Top", "Width", "Height"
//   1 QLineEdit (an up-down's editor too) "Text"
//   2 QComboBox                           "ItemIndex", "Text"
//   3 QCheckBox                           "Checked"
//   4 QRadioButton                        "Checked"
//   5 RadioGroup                          "ItemIndex"
//   6 QAction (menu item)                 "Checked"
//   7 QToolButton (speed button)          "Down" (checkable buttons only)
//   8 QFrame with an "Align" property     "Height" (top/bottom) or "Width" (left/right)
//   9 QTreeWidget (list view)             "Col"/"Img" + column caption
//  10 QHeaderView (header control)        "Col"/"Img" + section text
//
// Store kinds (IniType): 1 an ini file written at once, 2 an in-memory copy of
// an ini file written back when the last keeper goes, 3 the user's native
// settings store (for a path "Software\<Organisation>\<Application>").  One
// store per process is shared by all Autoconfig objects; the sections are the
// forms' names and the keys "<control name>_<suffix>".  Every access to the
// store runs under one lock that also holds across processes: a lock file
// (flock) named after the program, in the per-user runtime folder.
//
// All Autoconfig work runs on the main thread.
#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <QVariant>
#include <stdexcept>
#include <vector>

class QObject;
class QWidget;

namespace kvx {

class AutoconfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Autoconfig {
public:
    // Throws AutoconfigError "Failed to create synchronization object for
    // Autoconfig" when the lock file cannot be opened, "Unknown IniType" for
    // a kind other than 1, 2, 3 when the store has to be created, and "Access
    // mode mismatch" when the process's store is of another kind or path.
    Autoconfig(QWidget* form, bool automatic, int iniType, const QString& path, int highestTag, int lowestTag);
    ~Autoconfig();
    Autoconfig(const Autoconfig&) = delete;
    Autoconfig& operator=(const Autoconfig&) = delete;

    void SaveAll();
    void LoadAll(bool callHandlers);

    // Class index of an object (-1: not persistent).
    static int classIndex(const QObject* o);
    // Live keepers of the process's store.
    static int keeperCount();

private:
    struct Record {
        QObject* object;
        int tag;
        int classIndex;
    };
    void save(const Record& r);
    void load(const Record& r, bool handlers);
    void loadForm(QWidget* form, bool handlers);

    QWidget* form_;
    bool automatic_;
    QString section_;
    int lowest_;
    int highest_;
    std::vector<Record> records_;
};

// Fits a window rectangle to the monitors (full bounds): unchanged when it
// lies strictly inside one; otherwise moved (and shrunk) into the monitor it
// shares the largest area with among those holding one of its corners
// strictly inside; with none, centred on the primary monitor (primary -1:
// unchanged).
QRect fitToMonitors(const QRect& window, const QList<QRect>& monitors, int primary);

}  // namespace kvx
