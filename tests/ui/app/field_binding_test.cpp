// The main window's edit fields and the state each one shows, on the controls as the layout
// builds them (no main window around them).
#include "ui/app/field_binding.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QWidget>

namespace velmor {
namespace {

class FieldBindingTest : public ::testing::Test {
protected:
    QLineEdit* Field(int id) const { return qobject_cast<QLineEdit*>(m_controls.byId.at(id)); }
    std::vector<QLineEdit*> AllFields() const {
        std::vector<QLineEdit*> fields;
        for (QWidget* widget : m_controls.column)
            if (auto* field = qobject_cast<QLineEdit*>(widget)) fields.push_back(field);
        return fields;
    }

    QWidget m_client;
    MainControls m_controls = BuildMainControls(&m_client, [](int) {});
};

// Each field reads into its own value of the state and is written from it; the display z
// fields are written only.
TEST_F(FieldBindingTest, EveryFieldOfTheLayoutReadsAndWritesItsOwnValue) {
    const std::vector<QLineEdit*> fields = AllFields();
    ASSERT_EQ(fields.size(), 18u);
    VelmorState state;
    WriteFields(m_controls, state);
    for (QLineEdit* field : fields)
        EXPECT_FALSE(field->text().isEmpty()) << field->objectName().toStdString();

    // A distinct number in every field.
    int k = 1;
    for (QLineEdit* field : fields) field->setText(QString::number(k++) + QStringLiteral(".5"));
    ReadFields(m_controls, state);
    const auto text = [this](int id) { return Field(id)->text().toDouble(); };
    const VelmorState& s = state;
    const std::pair<int, double> read[] = {
        {kIdAnalysisXMin, s.analysisX.min},
        {kIdAnalysisXMax, s.analysisX.max},
        {kIdAnalysisYMin, s.analysisY.min},
        {kIdAnalysisYMax, s.analysisY.max},
        {kIdStep2DX, s.stepX},
        {kIdStep2DY, s.stepY},
        {kIdStep3DX, s.step3dX},
        {kIdStep3DY, s.step3dY},
        {kIdDisplayXMin, s.displayX.min},
        {kIdDisplayXMax, s.displayX.max},
        {kIdDisplayYMin, s.displayY.min},
        {kIdDisplayYMax, s.displayY.max},
        {kIdDisplayNMin, s.displayN.min},
        {kIdDisplayNMax, s.displayN.max},
        {kIdN1, s.fieldN1},
        {kIdN2, s.fieldN2},
    };
    for (const auto& [id, value] : read) EXPECT_EQ(value, text(id)) << id;
    EXPECT_EQ(s.displayZ.min, -10);  // not read
    EXPECT_EQ(s.displayZ.max, 10);

    state.displayZ = {-1.25, 3};
    state.displayR = {-7, 7};
    state.analysisX.min = -4;
    ShowDisplayRanges(m_controls, state);
    EXPECT_EQ(Field(kIdDisplayZMin)->text(), "-1.250");
    EXPECT_EQ(Field(kIdDisplayZMax)->text(), "3.000");
    EXPECT_EQ(Field(kIdAnalysisXMin)->text(), "3.5");  // not a display field
    WriteFields(m_controls, state);
    EXPECT_EQ(Field(kIdAnalysisXMin)->text(), "-4.000");
}

// A display range read back with no width keeps its value; n shows it again.
TEST_F(FieldBindingTest, DisplayRangesNeverLoseTheirWidthWhenRead) {
    VelmorState state;
    state.displayX = {0.0001, 0.0004};
    state.displayN = {1.2, 1.6};
    WriteFields(m_controls, state);  // x: "0.000" and "0.000"
    Field(kIdDisplayNMax)->setText(QStringLiteral("1.2"));
    Field(kIdDisplayYMin)->setText(QStringLiteral("-2.5"));
    ReadFields(m_controls, state);
    EXPECT_EQ(state.displayX.min, 0.0001);
    EXPECT_EQ(state.displayX.max, 0.0004);
    EXPECT_EQ(state.displayY.min, -2.5);
    EXPECT_EQ(state.displayN.max, 1.6);
    EXPECT_EQ(Field(kIdDisplayNMin)->text(), "1.200000");
    EXPECT_EQ(Field(kIdDisplayNMax)->text(), "1.600000");
}

TEST_F(FieldBindingTest, FieldsAreEnabledByTheModesAndThePattern) {
    const auto enabled = [this] {
        QStringList on;
        for (QLineEdit* field : AllFields())
            if (field->isEnabled()) on << field->objectName();
        return on.join(' ').toStdString();
    };
    const std::string always = "1011 1014 1013 1015 1022 1023";
    VelmorState state;
    EnableFields(m_controls, state);
    EXPECT_EQ(enabled(), always + " 1028 1033");
    state.gradientIndex = true;
    state.meshPattern = kPatternEquilateral1;
    EnableFields(m_controls, state);
    EXPECT_EQ(enabled(), always + " 1028 1020 1021");
    state.gradientIndex = false;
    state.interpreterMode = true;
    state.meshPattern = kPatternEquilateral2;
    EnableFields(m_controls, state);
    EXPECT_EQ(enabled(), "1058 1059 " + always + " 1033");
}

}  // namespace
}  // namespace velmor
