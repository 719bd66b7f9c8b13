#include "ui/app/field_binding.h"

#include <QLineEdit>

#include "core/app/sample_step.h"
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
};

// In reading order; the display z fields, which are not read, last.
constexpr FieldRow kFields[] = {
    {kIdAnalysisXMin, End(&VelmorState::analysisX, &ValueRange::min), -10.0, FieldRead::kValue,
     FieldEnabled::kAlways},
    {kIdAnalysisXMax, End(&VelmorState::analysisX, &ValueRange::max), 10.0, FieldRead::kValue,
     FieldEnabled::kAlways},
    {kIdAnalysisYMin, End(&VelmorState::analysisY, &ValueRange::min), -10.0, FieldRead::kValue,
     FieldEnabled::kAlways},
    {kIdAnalysisYMax, End(&VelmorState::analysisY, &ValueRange::max), 10.0, FieldRead::kValue,
     FieldEnabled::kAlways},
    {kIdStep2DX, Value(&VelmorState::stepX), 0.1, FieldRead::kStep, FieldEnabled::kAlways},
    {kIdStep2DY, Value(&VelmorState::stepY), 0.1, FieldRead::kStep, FieldEnabled::kAlways},
    {kIdStep3DX, Value(&VelmorState::step3dX), 0.25, FieldRead::kStep, FieldEnabled::kPatternX},
    {kIdStep3DY, Value(&VelmorState::step3dY), 0.25, FieldRead::kStep, FieldEnabled::kPatternY},
    {kIdDisplayXMin, End(&VelmorState::displayX, &ValueRange::min), -10.0, FieldRead::kDisplay,
     FieldEnabled::kNever},
    {kIdDisplayXMax, End(&VelmorState::displayX, &ValueRange::max), 10.0, FieldRead::kDisplay,
     FieldEnabled::kNever},
    {kIdDisplayYMin, End(&VelmorState::displayY, &ValueRange::min), -10.0, FieldRead::kDisplay,
     FieldEnabled::kNever},
    {kIdDisplayYMax, End(&VelmorState::displayY, &ValueRange::max), 10.0, FieldRead::kDisplay,
     FieldEnabled::kNever},
    {kIdDisplayNMin, End(&VelmorState::displayN, &ValueRange::min), -1.0, FieldRead::kDisplay,
     FieldEnabled::kGradientIndex},
    {kIdDisplayNMax, End(&VelmorState::displayN, &ValueRange::max), 2.0, FieldRead::kDisplay,
     FieldEnabled::kGradientIndex},
    {kIdN1, Value(&VelmorState::fieldN1), 1.0, FieldRead::kValue, FieldEnabled::kInterpreterMode},
    {kIdN2, Value(&VelmorState::fieldN2), 1.5, FieldRead::kValue, FieldEnabled::kInterpreterMode},
    {kIdDisplayZMin, End(&VelmorState::displayZ, &ValueRange::min), 0, FieldRead::kShown,
     FieldEnabled::kNever},
    {kIdDisplayZMax, End(&VelmorState::displayZ, &ValueRange::max), 0, FieldRead::kShown,
     FieldEnabled::kNever},
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

void EnableFields(const MainControls& controls, const VelmorState& state) {
    for (const FieldRow& row : kFields) {
        if (row.enabled != FieldEnabled::kAlways)
            Field(controls, row.id)->setEnabled(Enabled(row.enabled, state));
    }
}

}  // namespace velmor
