// SPDX-License-Identifier: GPL-3.0-or-later
// TComplexParser: compiles complex-valued text expressions into numbered slots and evaluates them.
#pragma once

#include "dsp/FloatTypes.h"
#include "expr/ComplexMath.h"

#include <cstdint>
#include <string>
#include <vector>

// One token of the postfix list: Kind is "Number", "Variable", "Constant", "Operator", "Term"
// or "Function".
struct TParseResult {
    std::string Kind;
    std::string Name;
    std::string Value;
};

using TIntegerArray = std::vector<std::int32_t>;
using TStringArray = std::vector<std::string>;

// Compiles text expressions over complex numbers into numbered slots and evaluates a compiled
// slot many times against a caller's array of variable values.
//
// Grammar (case-insensitive, blanks and tabs between tokens):
//   Expression := Product { ("+" | "-") Product }
//   Product    := Power { ("*" | "/" | middle dot U+00B7) Power }
//   Power      := Unary { "^" Unary }          left-associative: 2^3^2 = (2^3)^2
//   Unary      := ("+" | "-") Unary | Primary  a sign binds tighter than "^": -2^2 = 4
//   Primary    := "(" Expression ")" | Number | Name [ "(" Expression ")" ]
// Names are variables, the constants PI, E, I, J, or, followed by "(", a function of
// ComplexMath.h. Expression() is UTF-8; positions count characters (code points).
//
// Evaluate() allocates nothing: the value stack is sized when a slot is compiled.
// Owned by its host; not thread-safe (one parser per thread, normally the UI thread).
class TComplexParser {
public:
    // Exclusive upper bound of the slot numbers accepted by Compile().
    static constexpr int MaxFunctions = 4096;
    // Deepest nesting of parentheses and signs that Compile() accepts.
    static constexpr int MaxNesting = 200;

    TComplexParser();

    const std::string& Expression() const { return FExpression; }
    void SetExpression(std::string text) { FExpression = std::move(text); }

    int NumberOfFunctions() const { return static_cast<int>(FSlots.size()); }
    // Resizes the slot list; slots removed are released, new slots are empty and not compiled.
    // Throws std::invalid_argument for a count outside 0 ... MaxFunctions.
    void SetNumberOfFunctions(int count);

    // Upper-cases the name and appends it: returns its index (0, 1, 2 ... in order of
    // definition), -1 if it is already defined, -2 for the reserved names I, J, E and PI.
    int DefineVariable(const std::string& name);
    // -2 for "I" or "J", -3 for "E", -4 for "PI", the variable's index, or -1 when unknown.
    // The name is compared exactly (variables are stored upper-case).
    int VariableIndex(const std::string& name) const;
    // Removes every variable and marks every slot not compiled.
    void ClearVariables();

    // Compiles Expression() into the slot, growing NumberOfFunctions() to slot + 1 if needed.
    // Returns false on an error; then LastError() holds the short text, ErrorPosition() where
    // it was found, and the slot stays not compiled. Slots outside 0 ... MaxFunctions - 1 fail
    // with "Function not defined".
    bool Compile(int slot);

    // Evaluates a compiled slot with variables[i] as the value of variable i. The array must
    // hold every variable the slot uses. Throws EExpressionError("Function not defined" or
    // "Function not compiled", also kept in LastError(); "Complex angle illegal"; "Variable
    // value missing") or EComplexMathError.
    TComplex Evaluate(int slot, const TComplexArray& variables);

    bool IsCompiled(int slot) const;
    const std::string& LastError() const { return FLastError; }
    // Long form of the last compile error, with its position ("... at position 3").
    const std::string& LastErrorMessage() const { return FLastErrorMessage; }
    // Number of characters of Expression() before the one at which the last compile error was
    // found (one less when it was found at the end of the text). -1 for an empty text.
    int ErrorPosition() const { return FScanPosition - 1; }

    // Postfix tokens of the last compiled expression.
    const std::vector<TParseResult>& TokenList() const { return FTokens; }

    // Decimal separator of numbers; defaults to the C library's current locale (LC_NUMERIC),
    // which a desktop host has set from the user's environment. Letters, digits, blanks and
    // operator characters are refused with std::invalid_argument.
    char32_t DecimalSeparator() const { return FDecimalSeparator; }
    void SetDecimalSeparator(char32_t separator);

private:
    enum class TOpCode : std::uint8_t {
        ocPushConstant,
        ocPushVariable,
        ocNop,
        ocNegate,
        ocOperator,
        ocFunction
    };
    // One compiled operation. A push reads the constant or variable index stored at its own
    // position in the slot; Argument selects the operator or function.
    struct TCpxFunc {
        TOpCode Code = TOpCode::ocNop;
        std::uint8_t Argument = 0;
    };
    struct TSlot {
        std::vector<TCpxFunc> Operations;
        TComplexArray Constants;
        TIntegerArray VariableIndices;
        std::int32_t OperationCount = 0;
        // Number of variable values an evaluation needs: largest index used + 1.
        std::int32_t VariablesNeeded = 0;
        bool Compiled = false;
    };

    // Scanner.
    void NextChar();
    void SkipBlanks();
    void Advance();
    [[noreturn]] void Fail(const char* shortText, const char* longText, int position) const;
    [[noreturn]] void FailHere(const char* shortText, const char* longText) const;

    // Grammar.
    void ParseExpression();
    void ParseProduct();
    void ParsePower();
    void ParseUnary();
    void ParsePrimary();
    void ParseParenthesis();
    void ParseName();
    void ParseNumber();
    void Append(const char* kind, std::string name, std::string value);

    void Translate(TSlot& slot);
    double ConvertNumber(const std::string& text) const;

    std::string FExpression;
    std::u32string FText;  // Expression() decoded, upper-cased
    int FScanPosition = 0; // characters read so far
    char32_t FCurrent = 0; // last character read; 0 at the end of the text
    int FNesting = 0;
    std::string FLastError;
    std::string FLastErrorMessage;
    std::vector<TSlot> FSlots;
    TComplexArray FStack; // shared by all slots
    TStringArray FVariableNames;
    std::vector<TParseResult> FTokens;
    char32_t FDecimalSeparator = U'.';
};
