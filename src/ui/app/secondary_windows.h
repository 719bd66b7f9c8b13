// What the main window needs of its four secondary windows ("UD FD Final", "UD FD Initial",
// "Shading 3D", "Interpreter"). Each real window implements one of these interfaces next to
// its own QWidget base; window_factories.cpp decides which class is built.
#pragma once

#include <QString>

class QWidget;

namespace velmor {

class CModel;
struct RecordPair;

class SecondaryWindow {
public:
    virtual ~SecondaryWindow() = default;
    // The independent top-level window the main window places, shows and hides.
    virtual QWidget* Widget() = 0;
    // The window's own layout, run after the main window has placed it.
    virtual void ApplyLayout() {}
};

// "UD FD Initial" (the initial record pair) and "UD FD Final" (the final pair).
class RecordTableWindow : public SecondaryWindow {
public:
    // Titles the window for the record version and rebuilds its rows (data cells empty).
    virtual void SetRecordVersion(int recordVersion) = 0;
    // Writes both records into the tables.
    virtual void ShowRecords(const RecordPair& pair, int recordVersion) = 0;
    // Takes over a cell edit in progress and reads both tables into `pair`. False when the
    // window has no tables to read; `pair` is then left as it was.
    virtual bool ReadRecords(RecordPair* pair, int recordVersion) = 0;
    // Interpreter mode: tables hidden (and "Call DLL", "Update UD FD" disabled) while on.
    virtual void SetInterpreterMode(bool on) = 0;
    // Resets the "DLL return =" label to "DLL retrun = " (only "UD FD Initial" has one).
    virtual void ResetDllReturnLabel() {}
};

// "Shading 3D".
class View3DWindow : public SecondaryWindow {
public:
    // The traced ray: incident l m n, outgoing l m n, hit x y z; state 1 failed, 2 traced.
    virtual void SetRay(const float ray[9], int rayState) = 0;
    // Ray display in its no-ray state (gradient-index surfaces).
    virtual void SetNoRay() = 0;
    // Replaces the model by a copy of `model`, rebuilds the drawing lists, switches the ray
    // display on and repaints.
    virtual void ReplaceModel(const CModel& model) = 0;
    // A new surface library: clears the model and the lists, resets the view, repaints.
    virtual void ResetForNewSurface() = 0;
    virtual void Repaint() = 0;
};

// "Interpreter".
class InterpreterWindow : public SecondaryWindow {
public:
    // Replaces the text of the output box (the executor's error summary after a repaint).
    virtual void SetOutputText(const QString& text) = 0;
    // Before the program ends: offers to save a changed script. False keeps it running.
    virtual bool ConfirmDiscardUnsavedSource() { return true; }
};

// Window titles.
inline constexpr const char* kTitleUdFdFinal = "Final USER_DATA FIXED_DATA";
inline constexpr const char* kTitleShading3D = "Shading 3D";
inline constexpr const char* kTitleInterpreter = "Interpreter";
// "Initial USER_DATA FIXED_DATA", "... FIXED_DATA2" .. "... FIXED_DATA4" by record version.
QString UdFdInitialTitle(int recordVersion);

}  // namespace velmor
