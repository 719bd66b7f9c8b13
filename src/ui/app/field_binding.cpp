#include "ui/app/field_binding.h"

#include <QLineEdit>
#include <algorithm>

#include "core/app/sample_step.h"
#include "core/app/session_file.h"
#include "ui/app/field_text.h"

namespace velmor {

namespace {

// The double of the state a field shows: an end of a range, or a value of its own.
struct StateValue {
    ValueRange VelmorState::*range;
    double ValueRange::*end;
    double VelmorState::*value;

    double& In(VelmorState& s) const { return range != nullptr ? (s.*range).*end : s.*value; }
    double Of(const VelmorState& s) const { return range != nullptr ? (s.*range).*end : s.*value; }
};

constexpr StateValue End(ValueRange VelmorState::*range, double ValueRange::*end) {
    return {range, end, nullptr};
}
constexpr StateValue Value(double VelmorState::*value) {
    return {nullptr, nullptr, value};
}

enum class FieldRead {
    kValue,    // the value, or the default when the text is unreadable
    kStep,     // the same, at least kMinimumSampleStep in magnitude
    kDisplay,  // a display range's end: read, shown again after every zoom and pan
    kShown,    // a display range's end the program alone writes: never read
};

enum class FieldEnabled { kAlways, kNever, kGradientIndex, kInterpreterMode, kPatternX, kPatternY };

struct FieldRow {
    int id;
    StateValue value;
    double fallback;  // the default of an unreadable text
    FieldRead read;
    FieldEnabled enabled;
    const char* sessionKey;  // its key in a session's [ANALYSIS]
};

// In reading order; the display z fields, which are not read, last.
constexpr FieldRow kFields[] = {
    {kIdAnalysisXMin, End(&VelmorState::analysisX, &ValueRange::min), -10.0, FieldRead::kValue,
     FieldEnabled::kAlways, kKeyXMin},
    {kIdAnalysisXMax, End(&VelmorState::analysisX, &ValueRange::max), 10.0, FieldRead::kValue,
     FieldEnabled::kAlways, kKeyXMax},
    {kIdAnalysisYMin, End(&VelmorState::analysisY, &ValueRange::min), -10.0, FieldRead::kValue,
     FieldEnabled::kAlways, kKeyYMin},
    {kIdAnalysisYMax, End(&VelmorState::analysisY, &ValueRange::max), 10.0, FieldRead::kValue,
     FieldEnabled::kAlways, kKeyYMax},
    {kIdStep2DX, Value(&VelmorState::stepX), 0.1, FieldRead::kStep, FieldEnabled::kAlways,
     kKeyStep2DX},
    {kIdStep2DY, Value(&VelmorState::stepY), 0.1, FieldRead::kStep, FieldEnabled::kAlways,
     kKeyStep2DY},
    {kIdStep3DX, Value(&VelmorState::step3dX), 0.25, FieldRead::kStep, FieldEnabled::kPatternX,
     kKeyStep3DX},
    {kIdStep3DY, Value(&VelmorState::step3dY), 0.25, FieldRead::kStep, FieldEnabled::kPatternY,
     kKeyStep3DY},
    {kIdDisplayXMin, End(&VelmorState::displayX, &ValueRange::min), -10.0, FieldRead::kDisplay,
     FieldEnabled::kNever, kKeyDisplayXMin},
    {kIdDisplayXMax, End(&VelmorState::displayX, &ValueRange::max), 10.0, FieldRead::kDisplay,
     FieldEnabled::kNever, kKeyDisplayXMax},
    {kIdDisplayYMin, End(&VelmorState::displayY, &ValueRange::min), -10.0, FieldRead::kDisplay,
     FieldEnabled::kNever, kKeyDisplayYMin},
    {kIdDisplayYMax, End(&VelmorState::displayY, &ValueRange::max), 10.0, FieldRead::kDisplay,
     FieldEnabled::kNever, kKeyDisplayYMax},
    {kIdDisplayNMin, End(&VelmorState::displayN, &ValueRange::min), -1.0, FieldRead::kDisplay,
     FieldEnabled::kGradientIndex, kKeyDisplayNMin},
    {kIdDisplayNMax, End(&VelmorState::displayN, &ValueRange::max), 2.0, FieldRead::kDisplay,
     FieldEnabled::kGradientIndex, kKeyDisplayNMax},
    {kIdN1, Value(&VelmorState::fieldN1), 1.0, FieldRead::kValue, FieldEnabled::kInterpreterMode,
     kKeyN1},
    {kIdN2, Value(&VelmorState::fieldN2), 1.5, FieldRead::kValue, FieldEnabled::kInterpreterMode,
     kKeyN2},
    {kIdDisplayZMin, End(&VelmorState::displayZ, &ValueRange::min), 0, FieldRead::kShown,
     FieldEnabled::kNever, kKeyDisplayZMin},
    {kIdDisplayZMax, End(&VelmorState::displayZ, &ValueRange::max), 0, FieldRead::kShown,
     FieldEnabled::kNever, kKeyDisplayZMax},
};

// What a session keeps that no field shows: a double of the state, or a check box's flag.
struct SessionValueRow {
    const char* key;
    StateValue value;
};
constexpr SessionValueRow kSessionValues[] = {
    {kKeyDisplayRMin, End(&VelmorState::displayR, &ValueRange::min)},
    {kKeyDisplayRMax, End(&VelmorState::displayR, &ValueRange::max)},
    {kKeyCursorX, Value(&VelmorState::cursorX)},
    {kKeyCursorY, Value(&VelmorState::cursorY)},
    {kKeyCursorZ, Value(&VelmorState::cursorZ)},
};
struct SessionSwitchRow {
    const char* key;
    bool VelmorState::*flag;
};
constexpr SessionSwitchRow kSessionSwitches[] = {
    {kKeyRayTrace, &VelmorState::rayTrace},
    {kKeyCursor, &VelmorState::cursor},
    {kKeyVerbose, &VelmorState::verbose},
    {kKeyUseInterpreter, &VelmorState::interpreterMode},
};

QLineEdit* Field(const MainControls& controls, int id) {
    return qobject_cast<QLineEdit*>(controls.byId.at(id));
}

bool Enabled(FieldEnabled rule, const VelmorState& s) {
    switch (rule) {
        case FieldEnabled::kAlways:
            return true;
        case FieldEnabled::kNever:
            return false;
        case FieldEnabled::kGradientIndex:
            return s.gradientIndex;
        case FieldEnabled::kInterpreterMode:
            return s.interpreterMode;
        case FieldEnabled::kPatternX:
            return s.meshPattern != kPatternEquilateral2;
        case FieldEnabled::kPatternY:
            return s.meshPattern != kPatternEquilateral1;
    }
    return true;
}

}  // namespace

void ReadFields(const MainControls& controls, VelmorState& state) {
    VelmorState read = state;
    for (const FieldRow& row : kFields) {
        if (row.read == FieldRead::kShown) continue;
        QLineEdit* field = Field(controls, row.id);
        double value = 0;
        if (!ReadFieldNumber(field->text(), &value)) {
            value = row.fallback;
            field->setText(FormatDefault(value));
        }
        if (row.read == FieldRead::kStep && StepBelowMinimum(value)) {
            value = kMinimumSampleStep;
            field->setText(FormatDefault(value));
        }
        row.value.In(read) = value;
    }
    // A display range that would lose all its width keeps its present value.
    if (read.displayX.Width() == 0) read.displayX = state.displayX;
    if (read.displayY.Width() == 0) read.displayY = state.displayY;
    if (read.displayN.Width() == 0) {
        read.displayN = state.displayN;
        Field(controls, kIdDisplayNMin)->setText(FormatDefault(state.displayN.min));
        Field(controls, kIdDisplayNMax)->setText(FormatDefault(state.displayN.max));
    }
    state = read;
}

void WriteFields(const MainControls& controls, const VelmorState& state) {
    for (const FieldRow& row : kFields)
        Field(controls, row.id)->setText(FormatField(row.value.Of(state)));
}

void ShowDisplayRanges(const MainControls& controls, const VelmorState& state) {
    for (const FieldRow& row : kFields) {
        if (row.read == FieldRead::kDisplay || row.read == FieldRead::kShown)
            Field(controls, row.id)->setText(FormatField(row.value.Of(state)));
    }
}

QString FieldTextOf(double value) {
    // The field's own form where it holds the value exactly, else every digit it needs.
    const QString shown = FormatField(value);
    double read = 0;
    if (ReadFieldNumber(shown, &read) && read == value) return shown;
    return QString::fromStdString(AnalysisNumberText(value));
}

std::vector<SessionEntry> AnalysisEntries(const MainControls& controls, const VelmorState& state) {
    VelmorState read = state;
    ReadFields(controls, read);
    std::vector<SessionEntry> entries;
    for (const FieldRow& row : kFields) {
        // A field's text as the user typed it when it reads as the value ("-6", "12.3456"),
        // so that it comes back as it was; else every digit the value needs.
        const double value = row.value.Of(read);
        const std::string typed = Field(controls, row.id)->text().trimmed().toStdString();
        double number = 0;
        const bool asTyped =
            row.read != FieldRead::kShown && ReadAnalysisNumber(typed, &number) && number == value;
        entries.push_back({row.sessionKey, asTyped ? typed : AnalysisNumberText(value)});
    }
    for (const SessionValueRow& row : kSessionValues)
        entries.push_back({row.key, AnalysisNumberText(row.value.Of(read))});
    entries.push_back({kKeyMeshPattern, std::to_string(read.meshPattern)});
    for (const SessionSwitchRow& row : kSessionSwitches)
        entries.push_back({row.key, read.*row.flag ? "1" : "0"});
    return entries;
}

void ApplyAnalysisEntries(const MainControls& controls, VelmorState& state,
                          const std::vector<SessionEntry>& entries) {
    VelmorState applied;
    applied.interpreterMode = state.interpreterMode;
    applied.gradientIndex = state.gradientIndex;
    WriteFields(controls, applied);
    for (const SessionEntry& entry : entries) {
        double number = 0;
        const bool isNumber = ReadAnalysisNumber(entry.value, &number);
        for (const FieldRow& row : kFields) {
            if (entry.key != row.sessionKey || !isNumber) continue;
            // A value the program alone writes goes into the state; the others are typed into
            // their field and read as the field reads them.
            if (row.read == FieldRead::kShown) row.value.In(applied) = number;
            // The text as the session has it, when the field reads it as the same number.
            const QString text = QString::fromStdString(entry.value);
            double fieldNumber = 0;
            const bool asWritten = ReadFieldNumber(text, &fieldNumber) && fieldNumber == number;
            Field(controls, row.id)->setText(asWritten ? text : FieldTextOf(number));
        }
        for (const SessionValueRow& row : kSessionValues) {
            if (entry.key == row.key && isNumber) row.value.In(applied) = number;
        }
        for (const SessionSwitchRow& row : kSessionSwitches) {
            if (entry.key == row.key && row.flag != &VelmorState::interpreterMode)
                applied.*row.flag = entry.value == "1";
        }
        if (entry.key == kKeyMeshPattern && isNumber)
            applied.meshPattern = std::clamp(static_cast<int>(number), 0, 3);
    }
    ReadFields(controls, applied);
    state = applied;
}

void EnableFields(const MainControls& controls, const VelmorState& state) {
    for (const FieldRow& row : kFields) {
        if (row.enabled != FieldEnabled::kAlways)
            Field(controls, row.id)->setEnabled(Enabled(row.enabled, state));
    }
}

}  // namespace velmor
