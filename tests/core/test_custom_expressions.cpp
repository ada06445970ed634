// SPDX-License-Identifier: GPL-3.0-or-later
// The custom label and trace: variables, digits, SI prefix, errors and their positions.
#include "core/CustomExpressions.h"
#include "core/MeasurementState.h"
#include "expr/ExprErrors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// The S+N level in dBm whose RMS voltage into 50 Ohms is `volts`: 10 log10(V^2 * 20).
double DbmOfVeff(double volts) {
    return 10.0 * std::log10(volts * volts * 20.0);
}

struct CustomFixture : ::testing::Test {
    MeasurementState state;
    TCustomExpressions custom;

    void SetUp() override {
        state.SNLevel = DbmOfVeff(0.001);
        state.Controls.TrackL = 1000;
        state.Controls.TrackU = 40000;
        ASSERT_TRUE(custom.Compile(TCustomExpressions::LabelSlot, "sn/sqrt(f_u-f_l)").Ok);
    }
};

} // namespace

TEST_F(CustomFixture, DefaultLabelReadsMicrovoltsPerRootHertzAtEachDigitCount) {
    // 0.001 / sqrt(39000) = 5.0636968...e-6 V, truncated, never rounded.
    EXPECT_EQ(custom.LabelText(state, "ID=", "Veff", 3), "ID=5.06 \u00b5Veff");
    EXPECT_EQ(custom.LabelText(state, "ID=", "Veff", 2), "ID=5 \u00b5Veff");
    EXPECT_EQ(custom.LabelText(state, "ID=", "Veff", 7), "ID=5.063696 \u00b5Veff");
}

TEST_F(CustomFixture, LabelSaysErrorWhenNotCompiledOrWhenEvaluationFails) {
    EXPECT_FALSE(custom.Compile(TCustomExpressions::LabelSlot, "1/").Ok);
    EXPECT_EQ(custom.LabelText(state, "ID=", "V", 3), "error");
    ASSERT_TRUE(custom.Compile(TCustomExpressions::LabelSlot, "ln(f)").Ok); // f is 0 for the label
    EXPECT_EQ(custom.LabelText(state, "ID=", "V", 3), "error");
}

TEST_F(CustomFixture, AnIncompleteTraceReportsTheTextBeforeTheErrorAndTheMessage) {
    const auto result = custom.Compile(TCustomExpressions::TraceSlot, "1/");
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.ErrorPrefix, "1");
    EXPECT_EQ(result.ErrorMessage, "Syntax error in expression");
    EXPECT_FALSE(custom.BeginTrace(state));
}

TEST_F(CustomFixture, TraceSeesTheColumnFrequencyAndTheLevelsAsRatios) {
    ASSERT_TRUE(custom.Compile(TCustomExpressions::TraceSlot, "1/f").Ok);
    ASSERT_TRUE(custom.BeginTrace(state));
    for (double f : {1.0, 10.0, 1000.0})
        EXPECT_DOUBLE_EQ(custom.TraceValue(state, f), 1.0 / f);
    state.SLevel = -20.0;
    ASSERT_TRUE(custom.Compile(TCustomExpressions::TraceSlot, "s").Ok);
    ASSERT_TRUE(custom.BeginTrace(state));
    EXPECT_NEAR(custom.TraceValue(state, 500.0), 0.1, 1e-12); // 10^(-20/20)
}

TEST_F(CustomFixture, ATraceThatFailsThrowsSoThatTheViewCanStopDrawingIt) {
    ASSERT_TRUE(custom.Compile(TCustomExpressions::TraceSlot, "ln(f-10)").Ok);
    ASSERT_TRUE(custom.BeginTrace(state));
    EXPECT_NO_THROW(custom.TraceValue(state, 20.0));
    EXPECT_THROW(custom.TraceValue(state, 10.0), EExpressionError);
}

TEST(Utf8Prefix, CountsCharactersNotBytes) {
    EXPECT_EQ(Utf8Prefix("a\u00b7b", 2), "a\u00b7");
    EXPECT_EQ(Utf8Prefix("abc", 0), "");
    EXPECT_EQ(Utf8Prefix("abc", -1), "");
    EXPECT_EQ(Utf8Prefix("abc", 10), "abc");
}
