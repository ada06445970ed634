// SPDX-License-Identifier: GPL-3.0-or-later
// TComplexParser: scanner, recursive-descent grammar, translation to operations, evaluation.
#include "expr/ComplexParser.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <stdexcept>

namespace {

constexpr char32_t EndOfText = 0;
constexpr char32_t MiddleDot = 0xB7;
constexpr char32_t Replacement = 0xFFFD;

bool IsDigit(char32_t c) {
    return c >= U'0' && c <= U'9';
}
bool IsLetter(char32_t c) {
    return c >= U'A' && c <= U'Z';
}
char32_t UpCase(char32_t c) {
    return (c >= U'a' && c <= U'z') ? c - (U'a' - U'A') : c;
}

// Decodes UTF-8 to code points. A byte that does not start a valid sequence stands for the
// Latin-1 character of its value (so a lone 0xB7 is still the middle dot); an embedded NUL
// becomes U+FFFD, so that only the real end of the text reads as character 0.
std::u32string DecodeUtf8(const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        std::size_t length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            length = 2, c = b & 0x1Fu, minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3, c = b & 0x0Fu, minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4, c = b & 0x07u, minimum = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (std::size_t k = 1; valid && k < length; ++k) {
            if ((p[i + k] & 0xC0u) != 0x80u)
                valid = false;
            else
                c = (c << 6) | (p[i + k] & 0x3Fu);
        }
        if (valid && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (valid) {
            out.push_back(c);
            i += length;
        } else {
            out.push_back(b == 0 ? Replacement : char32_t{b});
            ++i;
        }
    }
    return out;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string EncodeUtf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text)
        AppendUtf8(out, c);
    return out;
}

bool IsUsableSeparator(char32_t c) {
    switch (c) {
    case EndOfText:
    case U' ':
    case U'\t':
    case U'_':
    case U'+':
    case U'-':
    case U'*':
    case U'/':
    case U'^':
    case U'(':
    case U')':
    case MiddleDot:
    case Replacement:
        return false;
    default:
        return !IsDigit(UpCase(c)) && !IsLetter(UpCase(c));
    }
}

// The first character of the current C locale's decimal point, or "." if it is unusable.
char32_t LocaleDecimalSeparator() {
    const std::lconv* conv = std::localeconv();
    if (conv == nullptr || conv->decimal_point == nullptr)
        return U'.';
    const std::u32string point = DecodeUtf8(conv->decimal_point);
    return (!point.empty() && IsUsableSeparator(point[0])) ? point[0] : U'.';
}

// strtod in the "C" locale whatever the process locale is.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

std::string ToDecimalText(std::int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return buffer;
}

} // namespace

TComplexParser::TComplexParser() : FDecimalSeparator(LocaleDecimalSeparator()) {}

void TComplexParser::SetDecimalSeparator(char32_t separator) {
    if (!IsUsableSeparator(separator))
        throw std::invalid_argument("Unusable decimal separator");
    FDecimalSeparator = separator;
}

void TComplexParser::SetNumberOfFunctions(int count) {
    if (count < 0 || count > MaxFunctions)
        throw std::invalid_argument("Number of functions out of range");
    FSlots.resize(static_cast<std::size_t>(count));
    FSlots.shrink_to_fit();
}

bool TComplexParser::IsCompiled(int slot) const {
    return slot >= 0 && slot < NumberOfFunctions() &&
           FSlots[static_cast<std::size_t>(slot)].Compiled;
}

// ---- Variables ----

int TComplexParser::DefineVariable(const std::string& name) {
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(UpCase(static_cast<unsigned char>(c)));
    if (upper == "I" || upper == "J" || upper == "E" || upper == "PI")
        return -2;
    if (VariableIndex(upper) >= 0)
        return -1;
    FVariableNames.push_back(std::move(upper));
    return static_cast<int>(FVariableNames.size()) - 1;
}

int TComplexParser::VariableIndex(const std::string& name) const {
    if (name == "J" || name == "I")
        return -2;
    if (name == "E")
        return -3;
    if (name == "PI")
        return -4;
    for (std::size_t i = 0; i < FVariableNames.size(); ++i)
        if (FVariableNames[i] == name)
            return static_cast<int>(i);
    return -1;
}

void TComplexParser::ClearVariables() {
    FVariableNames.clear();
    for (TSlot& slot : FSlots)
        slot.Compiled = false;
}

// ---- Scanner ----

void TComplexParser::NextChar() {
    if (static_cast<std::size_t>(FScanPosition) < FText.size()) {
        FCurrent = UpCase(FText[static_cast<std::size_t>(FScanPosition)]);
        ++FScanPosition;
    } else {
        FCurrent = EndOfText;
    }
}

void TComplexParser::SkipBlanks() {
    while (FCurrent == U' ' || FCurrent == U'\t')
        NextChar();
}

void TComplexParser::Advance() {
    NextChar();
    SkipBlanks();
}

void TComplexParser::Fail(const char* shortText, const char* longText, int position) const {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%s at position %d", longText, position);
    throw ECompileError(buffer, shortText, position);
}

// An error at the character last read; the long text counts from 1.
void TComplexParser::FailHere(const char* shortText, const char* longText) const {
    Fail(shortText, longText, FScanPosition + 1);
}

// ---- Grammar ----

void TComplexParser::Append(const char* kind, std::string name, std::string value) {
    FTokens.push_back({kind, std::move(name), std::move(value)});
}

void TComplexParser::ParseExpression() {
    ParseProduct();
    while (FCurrent == U'+' || FCurrent == U'-') {
        const char* op = FCurrent == U'+' ? "+" : "-";
        ParseProduct();
        Append("Operator", op, op);
    }
}

void TComplexParser::ParseProduct() {
    ParsePower();
    while (FCurrent == U'*' || FCurrent == U'/' || FCurrent == MiddleDot) {
        const char* op = FCurrent == U'/' ? "/" : "*";
        ParsePower();
        Append("Operator", op, op);
    }
}

void TComplexParser::ParsePower() {
    ParseUnary();
    while (FCurrent == U'^') {
        ParseUnary();
        Append("Operator", "^", "^");
    }
}

void TComplexParser::ParseUnary() {
    // Every recursion (signs, parentheses, function arguments) passes through here, so this
    // bound keeps a hostile text such as "((((...1" from exhausting the stack.
    struct TNestingGuard {
        int& Depth;
        explicit TNestingGuard(int& depth) : Depth(depth) { ++Depth; }
        ~TNestingGuard() { --Depth; }
        TNestingGuard(const TNestingGuard&) = delete;
        TNestingGuard& operator=(const TNestingGuard&) = delete;
    } guard(FNesting);
    Advance();
    if (FNesting > MaxNesting)
        FailHere("Expression nested too deeply", "Expression nested too deeply");
    if (FCurrent == U'+' || FCurrent == U'-') {
        const char* sign = FCurrent == U'+' ? "+" : "-";
        ParseUnary();
        Append("Term", sign, sign);
    } else {
        ParsePrimary();
    }
}

void TComplexParser::ParsePrimary() {
    if (FCurrent == U'(')
        ParseParenthesis();
    else if (IsDigit(FCurrent))
        ParseNumber();
    else if (IsLetter(FCurrent))
        ParseName();
    else
        FailHere("Syntax error in expression", "Syntax error in expression");
}

void TComplexParser::ParseParenthesis() {
    ParseExpression();
    if (FCurrent != U')')
        FailHere("Mismatched parentheses or illegal character", "Mismatched parentheses");
    Advance();
}

void TComplexParser::ParseName() {
    std::string name;
    while (IsDigit(FCurrent) || IsLetter(FCurrent) || FCurrent == U'_') {
        name.push_back(static_cast<char>(FCurrent));
        NextChar();
    }
    SkipBlanks();
    if (FCurrent == U'(') {
        ParseParenthesis();
        Append("Function", std::move(name), "0");
        return;
    }
    const int index = VariableIndex(name);
    if (index == -1)
        FailHere("Unknown variable", "Unknown variable");
    Append(index < -1 ? "Constant" : "Variable", name, ToDecimalText(index));
}

void TComplexParser::ParseNumber() {
    std::u32string text;
    auto appendDigits = [&] {
        while (IsDigit(FCurrent)) {
            text.push_back(FCurrent);
            NextChar();
        }
    };
    appendDigits();
    if (FCurrent == FDecimalSeparator) {
        text.push_back(FCurrent);
        NextChar();
        appendDigits();
    }
    if (FCurrent == U'E') {
        text.push_back(FCurrent);
        NextChar();
        if (FCurrent == U'+' || FCurrent == U'-') {
            text.push_back(FCurrent);
            NextChar();
        }
        // The first exponent character is taken whatever it is; a non-digit makes the text
        // fail to convert at translation ("Syntax error in number").
        text.push_back(FCurrent);
        NextChar();
        appendDigits();
    }
    const char32_t last = text.back();
    if (last == U'E' || last == EndOfText || last == U'+' || last == U'-')
        FailHere("Illegal floatingpoint number", "Illegal floatingpoint number");
    SkipBlanks();
    const std::string utf8 = EncodeUtf8(text);
    Append("Number", utf8, utf8);
}

// ---- Translation ----

double TComplexParser::ConvertNumber(const std::string& text) const {
    std::string separator;
    AppendUtf8(separator, FDecimalSeparator);
    std::string c = text;
    if (const auto at = c.find(separator); at != std::string::npos)
        c.replace(at, separator.size(), ".");
    errno = 0;
    char* end = nullptr;
    const double value = strtod_l(c.c_str(), &end, CLocale());
    const bool overflow = errno == ERANGE && std::isinf(value);
    // An underflow to zero or a subnormal is accepted as that value.
    if (end != c.c_str() + c.size() || overflow || !std::isfinite(value))
        FailHere("Syntax error in number", "Syntax error in number");
    return value;
}

void TComplexParser::Translate(TSlot& slot) {
    for (std::size_t k = 0; k < FTokens.size(); ++k) {
        const TParseResult& token = FTokens[k];
        TCpxFunc& op = slot.Operations[k];
        const char head = token.Kind[0];
        if (token.Kind == "Number") {
            op.Code = TOpCode::ocPushConstant;
            slot.Constants[k] = {ConvertNumber(token.Value), 0.0};
        } else if (token.Kind == "Variable") {
            std::int32_t index = 0;
            std::from_chars(token.Value.data(), token.Value.data() + token.Value.size(), index);
            op.Code = TOpCode::ocPushVariable;
            slot.VariableIndices[k] = index;
            slot.VariablesNeeded = std::max(slot.VariablesNeeded, index + 1);
        } else if (token.Kind == "Constant") {
            op.Code = TOpCode::ocPushConstant;
            slot.Constants[k] = token.Name == "PI"  ? ComplexPi
                                : token.Name == "E" ? ComplexE
                                                    : ComplexI;
        } else if (head == 'O') {
            TComplexOperator oper = TComplexOperator::coAdd;
            switch (token.Value[0]) {
            case '-':
                oper = TComplexOperator::coSubtract;
                break;
            case '*':
                oper = TComplexOperator::coMultiply;
                break;
            case '/':
                oper = TComplexOperator::coDivide;
                break;
            case '^':
                oper = TComplexOperator::coPower;
                break;
            default:
                break;
            }
            op.Code = TOpCode::ocOperator;
            op.Argument = static_cast<std::uint8_t>(oper);
        } else if (head == 'T') {
            op.Code = token.Value == "-" ? TOpCode::ocNegate : TOpCode::ocNop;
        } else {
            const auto function = FindComplexFunction(token.Name);
            if (!function)
                Fail("Unknown function", "Unknown function", FScanPosition);
            op.Code = TOpCode::ocFunction;
            op.Argument = static_cast<std::uint8_t>(*function);
        }
    }
}

bool TComplexParser::Compile(int slot) {
    FLastError.clear();
    FLastErrorMessage.clear();
    FTokens.clear();
    FScanPosition = 0;
    FCurrent = EndOfText;
    FNesting = 0;
    if (slot < 0 || slot >= MaxFunctions) {
        FLastError = FLastErrorMessage = "Function not defined";
        return false;
    }
    if (slot >= NumberOfFunctions())
        SetNumberOfFunctions(slot + 1);
    TSlot& target = FSlots[static_cast<std::size_t>(slot)];
    target.Compiled = false;
    FText = DecodeUtf8(FExpression);
    try {
        ParseExpression();
        if (FCurrent != EndOfText)
            FailHere("Unexpected end of expression or illegal character",
                     "Unexpected end of expression or illegal character");
        const std::size_t count = FTokens.size();
        target.OperationCount = static_cast<std::int32_t>(count);
        target.VariablesNeeded = 0;
        target.Operations.assign(count, TCpxFunc{});
        target.Constants.assign(count, TComplex{});
        target.VariableIndices.assign(count, 0);
        if (FStack.size() < count)
            FStack.resize(count);
        Translate(target);
    } catch (const ECompileError& e) {
        FLastError = e.ShortText();
        FLastErrorMessage = e.what();
        return false;
    }
    target.Compiled = true;
    return true;
}

// ---- Evaluation ----

TComplex TComplexParser::Evaluate(int slot, const TComplexArray& variables) {
    if (slot < 0 || slot >= NumberOfFunctions()) {
        FLastError = "Function not defined";
        throw EExpressionError(FLastError);
    }
    const TSlot& s = FSlots[static_cast<std::size_t>(slot)];
    if (!s.Compiled) {
        FLastError = "Function not compiled";
        throw EExpressionError(FLastError);
    }
    if (variables.size() < static_cast<std::size_t>(s.VariablesNeeded))
        throw EExpressionError("Variable value missing");

    // The compiled list is well-formed postfix: pushes never exceed the operation count (the
    // stack's minimum length) and operators always find their operands.
    TComplex* const stack = FStack.data();
    std::size_t top = 0; // number of values on the stack
    const std::size_t count = static_cast<std::size_t>(s.OperationCount);
    for (std::size_t k = 0; k < count; ++k) {
        const TCpxFunc op = s.Operations[k];
        switch (op.Code) {
        case TOpCode::ocPushConstant:
            stack[top++] = s.Constants[k];
            break;
        case TOpCode::ocPushVariable:
            stack[top++] = variables[static_cast<std::size_t>(s.VariableIndices[k])];
            break;
        case TOpCode::ocNop:
            break;
        case TOpCode::ocNegate:
            stack[top - 1] = ComplexNegate(stack[top - 1]);
            break;
        case TOpCode::ocOperator:
            --top;
            stack[top - 1] = ApplyComplexOperator(static_cast<TComplexOperator>(op.Argument),
                                                  stack[top - 1], stack[top]);
            break;
        case TOpCode::ocFunction:
            stack[top - 1] =
                ApplyComplexFunction(static_cast<TComplexFunction>(op.Argument), stack[top - 1]);
            break;
        }
    }
    return stack[top - 1];
}
