// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of TComplexParser: tokens, error texts and positions, slots, variables, evaluation.
#include "expr/ComplexParser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.141592653589793;

// The host's nine variables, in the host's order.
const char* const HostVariables[] = {"f",      "f_l",    "f_u", "samplerate", "n",
                                     "y_peak", "f_peak", "sn",  "s"};

class ParserTest : public testing::Test {
protected:
    void SetUp() override {
        FParser.SetDecimalSeparator(U'.');
        for (const char* name : HostVariables)
            FParser.DefineVariable(name);
    }

    TComplex Eval(const std::string& text, int slot = 0) {
        FParser.SetExpression(text);
        EXPECT_TRUE(FParser.Compile(slot)) << text << ": " << FParser.LastError();
        return FParser.Evaluate(slot, FVars);
    }

    std::string EvaluateError(int slot) {
        try {
            FParser.Evaluate(slot, FVars);
        } catch (const EExpressionError& e) {
            EXPECT_EQ(FParser.LastError(), e.what());
            return e.what();
        }
        return "";
    }

    TComplexParser FParser;
    TComplexArray FVars = TComplexArray(9);
};

TEST_F(ParserTest, DefaultLabelTokenList) {
    FParser.SetExpression("sn/sqrt(f_u-f_l)");
    ASSERT_TRUE(FParser.Compile(0));
    const std::vector<std::vector<std::string>> expected = {
        {"Variable", "SN", "7"}, {"Variable", "F_U", "2"},  {"Variable", "F_L", "1"},
        {"Operator", "-", "-"},  {"Function", "SQRT", "0"}, {"Operator", "/", "/"}};
    const auto& tokens = FParser.TokenList();
    ASSERT_EQ(tokens.size(), expected.size());
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        EXPECT_EQ(tokens[k].Kind, expected[k][0]) << k;
        EXPECT_EQ(tokens[k].Name, expected[k][1]) << k;
        EXPECT_EQ(tokens[k].Value, expected[k][2]) << k;
    }
    // The label of the host's example: 1 mV RMS over a 1 kHz ... 40 kHz band.
    FVars[7] = {0.001, 0};
    FVars[1] = {1000, 0};
    FVars[2] = {40000, 0};
    EXPECT_NEAR(FParser.Evaluate(0, FVars).Re, 5.0637e-6, 1e-10);
}

TEST_F(ParserTest, OtherTokenKinds) {
    FParser.SetExpression("-pi + 2.5E-3 ^ +J");
    ASSERT_TRUE(FParser.Compile(0));
    std::vector<std::string> seen;
    for (const TParseResult& t : FParser.TokenList())
        seen.push_back(t.Kind + " " + t.Name + " " + t.Value);
    const std::vector<std::string> expected = {"Constant PI -4", "Term - -", "Number 2.5E-3 2.5E-3",
                                               "Constant J -2",  "Term + +", "Operator ^ ^",
                                               "Operator + +"};
    EXPECT_EQ(seen, expected);
}

TEST_F(ParserTest, NamesAreCaseInsensitive) {
    FVars[0] = {16, 0};
    const TComplex a = Eval("Sqrt(F)");
    const auto tokensA = FParser.TokenList();
    const TComplex b = Eval("SQRT(f)");
    ASSERT_EQ(tokensA.size(), FParser.TokenList().size());
    for (std::size_t k = 0; k < tokensA.size(); ++k)
        EXPECT_EQ(tokensA[k].Name, FParser.TokenList()[k].Name);
    EXPECT_EQ(a.Re, 4.0);
    EXPECT_EQ(b.Re, 4.0);
}

TEST_F(ParserTest, PrecedenceAndAssociativity) {
    EXPECT_EQ(Eval("2\xC2\xB7"
                   "3")
                  .Re,
              6.0); // middle dot, UTF-8
    EXPECT_EQ(Eval("2\xB7"
                   "3")
                  .Re,
              6.0); // middle dot, a lone Latin-1 byte
    EXPECT_EQ(Eval("-2^2").Re, 4.0);
    EXPECT_NEAR(Eval("2^3^2").Re, 64.0, 1e-12);
    EXPECT_NEAR(Eval("2^-1").Re, 0.5, 1e-15);
    EXPECT_EQ(Eval("1 + 2 * 3 - 4 / 2").Re, 5.0);
    EXPECT_EQ(Eval("\t(1+2)*3 ").Re, 9.0);
    EXPECT_EQ(Eval("1/0").Re, 1.0);
    EXPECT_EQ(Eval("--+-3").Re, -3.0);
    const TComplex z = Eval("(3 + 4*i) * conj(3 + 4*J)");
    EXPECT_EQ(z.Re, 25.0);
    EXPECT_EQ(z.Im, 0.0);
    EXPECT_EQ(Eval("e").Re, 2.718281828459045);
    EXPECT_EQ(Eval("deg(pi)").Re, 180.0);
}

TEST_F(ParserTest, NumberForms) {
    EXPECT_EQ(Eval("12.5").Re, 12.5);
    EXPECT_EQ(Eval("1.").Re, 1.0);
    EXPECT_EQ(Eval("1e3").Re, 1000.0);
    EXPECT_EQ(Eval("25E-1").Re, 2.5);
    EXPECT_EQ(Eval("1E-400").Re, 0.0); // underflows to zero
    FParser.SetDecimalSeparator(U',');
    EXPECT_EQ(Eval("1,5*2").Re, 3.0);
    FParser.SetExpression("1.5");
    EXPECT_FALSE(FParser.Compile(0));
    EXPECT_THROW(FParser.SetDecimalSeparator(U'E'), std::invalid_argument);
    EXPECT_THROW(FParser.SetDecimalSeparator(U'-'), std::invalid_argument);
}

struct TBadText {
    std::string Text;
    const char* ShortText;
    int ErrorPosition;
    const char* LongText;
};

TEST_F(ParserTest, ErrorTextsAndPositions) {
    const TBadText cases[] = {
        {"", "Syntax error in expression", -1, "Syntax error in expression at position 1"},
        {"2+*3", "Syntax error in expression", 2, "Syntax error in expression at position 4"},
        {"1/", "Syntax error in expression", 1, "Syntax error in expression at position 3"},
        {"(1+2", "Mismatched parentheses or illegal character", 3,
         "Mismatched parentheses at position 5"},
        {"1+2)", "Unexpected end of expression or illegal character", 3,
         "Unexpected end of expression or illegal character at position 5"},
        {"1E", "Illegal floatingpoint number", 1, "Illegal floatingpoint number at position 3"},
        {"1E+", "Illegal floatingpoint number", 2, "Illegal floatingpoint number at position 4"},
        {"1EX", "Syntax error in number", 2, "Syntax error in number at position 4"},
        {"1E400", "Syntax error in number", 4, "Syntax error in number at position 6"},
        {"foo(2)", "Unknown function", 5, "Unknown function at position 6"},
        {"PI(1)", "Unknown function", 4, "Unknown function at position 5"},
        {"foo", "Unknown variable", 2, "Unknown variable at position 4"},
        {"2 $ 3", "Unexpected end of expression or illegal character", 2,
         "Unexpected end of expression or illegal character at position 4"},
        // An embedded NUL is an illegal character, not the end of the text.
        {std::string("1+2\0"
                     "3",
                     5),
         "Unexpected end of expression or illegal character", 3,
         "Unexpected end of expression or illegal character at position 5"},
        // Positions count characters: the middle dot is one.
        {"2\xC2\xB7*3", "Syntax error in expression", 2,
         "Syntax error in expression at position 4"},
    };
    for (const TBadText& c : cases) {
        SCOPED_TRACE(c.Text.c_str());
        FParser.SetExpression(c.Text);
        EXPECT_FALSE(FParser.Compile(1));
        EXPECT_FALSE(FParser.IsCompiled(1));
        EXPECT_EQ(FParser.LastError(), c.ShortText);
        EXPECT_EQ(FParser.ErrorPosition(), c.ErrorPosition);
        EXPECT_EQ(FParser.LastErrorMessage(), c.LongText);
    }
}

TEST_F(ParserTest, DeepNestingIsRefused) {
    const std::string parentheses = std::string(100000, '(') + "1" + std::string(100000, ')');
    FParser.SetExpression(parentheses);
    EXPECT_FALSE(FParser.Compile(0));
    EXPECT_EQ(FParser.LastError(), "Expression nested too deeply");
    FParser.SetExpression(std::string(100000, '-') + "1");
    EXPECT_FALSE(FParser.Compile(0));
    EXPECT_EQ(FParser.LastError(), "Expression nested too deeply");
    const int depth = TComplexParser::MaxNesting - 1;
    EXPECT_EQ(Eval(std::string(depth, '(') + "7" + std::string(depth, ')')).Re, 7.0);
}

TEST_F(ParserTest, VariableDefinitions) {
    EXPECT_EQ(FParser.DefineVariable("F_U"), -1);
    EXPECT_EQ(FParser.DefineVariable("pi"), -2);
    EXPECT_EQ(FParser.DefineVariable("j"), -2);
    EXPECT_EQ(FParser.DefineVariable("extra"), 9);
    EXPECT_EQ(FParser.VariableIndex("EXTRA"), 9);
    EXPECT_EQ(FParser.VariableIndex("extra"), -1); // compared exactly
    EXPECT_EQ(FParser.VariableIndex("I"), -2);
    EXPECT_EQ(FParser.VariableIndex("J"), -2);
    EXPECT_EQ(FParser.VariableIndex("E"), -3);
    EXPECT_EQ(FParser.VariableIndex("PI"), -4);

    Eval("f + 1", 0);
    FParser.ClearVariables();
    EXPECT_FALSE(FParser.IsCompiled(0));
    EXPECT_EQ(EvaluateError(0), "Function not compiled");
    EXPECT_EQ(FParser.VariableIndex("F"), -1);
}

TEST_F(ParserTest, VariablesAreReadAtEachEvaluation) {
    FParser.SetExpression("1/f");
    ASSERT_TRUE(FParser.Compile(1));
    for (double f : {1.0, 10.0, 1000.0, 0.0}) {
        FVars[0] = {f, 0};
        EXPECT_EQ(FParser.Evaluate(1, FVars).Re, f == 0 ? 1.0 : 1.0 / f);
    }
    // Too short an array is refused rather than read past its end.
    try {
        FParser.Evaluate(1, TComplexArray(0));
        ADD_FAILURE() << "no error";
    } catch (const EExpressionError& e) {
        EXPECT_STREQ(e.what(), "Variable value missing");
    }
    FParser.SetExpression("s");
    ASSERT_TRUE(FParser.Compile(1));
    EXPECT_THROW(FParser.Evaluate(1, TComplexArray(8)), EExpressionError);
    EXPECT_NO_THROW(FParser.Evaluate(1, TComplexArray(9)));
}

TEST_F(ParserTest, SlotsGrowAndReportTheirState) {
    FParser.SetNumberOfFunctions(2);
    FParser.SetExpression("3");
    ASSERT_TRUE(FParser.Compile(3));
    EXPECT_EQ(FParser.NumberOfFunctions(), 4);
    EXPECT_FALSE(FParser.IsCompiled(2));
    EXPECT_EQ(EvaluateError(2), "Function not compiled");
    EXPECT_EQ(FParser.Evaluate(3, FVars).Re, 3.0);

    EXPECT_EQ(EvaluateError(5), "Function not defined");
    EXPECT_EQ(EvaluateError(-1), "Function not defined");
    EXPECT_FALSE(FParser.Compile(-1));
    EXPECT_EQ(FParser.LastError(), "Function not defined");
    EXPECT_FALSE(FParser.Compile(TComplexParser::MaxFunctions));
    EXPECT_EQ(FParser.NumberOfFunctions(), 4);

    // A failed recompile leaves the slot not compiled.
    FParser.SetExpression("3+");
    EXPECT_FALSE(FParser.Compile(3));
    EXPECT_EQ(EvaluateError(3), "Function not compiled");

    FParser.SetExpression("1");
    ASSERT_TRUE(FParser.Compile(1));
    FParser.SetNumberOfFunctions(1);
    EXPECT_EQ(EvaluateError(1), "Function not defined");
    FParser.SetNumberOfFunctions(2);
    EXPECT_EQ(EvaluateError(1), "Function not compiled");
    EXPECT_THROW(FParser.SetNumberOfFunctions(-1), std::invalid_argument);
}

TEST_F(ParserTest, SlotsShareOneStackSizedForTheLongest) {
    FParser.SetExpression("1+2*(3+4*(5+6*(7+8)))");
    ASSERT_TRUE(FParser.Compile(0));
    FParser.SetExpression("2");
    ASSERT_TRUE(FParser.Compile(1));
    EXPECT_EQ(FParser.Evaluate(0, FVars).Re, 1 + 2 * (3 + 4 * (5 + 6 * (7 + 8))));
    EXPECT_EQ(FParser.Evaluate(1, FVars).Re, 2.0);
}

TEST_F(ParserTest, EvaluationErrorsReachTheCaller) {
    FParser.SetExpression("ln(f)");
    ASSERT_TRUE(FParser.Compile(0));
    EXPECT_THROW(FParser.Evaluate(0, FVars), EComplexMathError);
    FVars[0] = {Pi, 0};
    EXPECT_NEAR(FParser.Evaluate(0, FVars).Re, std::log(Pi), 1e-15);
    FParser.SetExpression("deg(f*i)");
    ASSERT_TRUE(FParser.Compile(0));
    try {
        FParser.Evaluate(0, FVars);
        ADD_FAILURE() << "no error";
    } catch (const EComplexMathError&) {
        ADD_FAILURE() << "reported as a math error";
    } catch (const EExpressionError& e) {
        EXPECT_STREQ(e.what(), "Complex angle illegal");
    }
}

} // namespace
