// SPDX-License-Identifier: GPL-3.0-or-later
// Exception types raised by the complex arithmetic and the expression compiler/evaluator.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

// Base of every error of the expression library; carries the fixed English text.
// Raised as is for "Complex angle illegal", "Function not defined" and "Function not compiled".
class EExpressionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A floating-point failure that ends an evaluation: the logarithm of zero, a result that
// overflows the double range, or an invalid operation on a non-finite value.
class EComplexMathError : public EExpressionError {
public:
    using EExpressionError::EExpressionError;
};

// A compile error. what() is the long text with its 1-based position ("... at position 7");
// ShortText() is the text the parser keeps in LastError().
class ECompileError : public EExpressionError {
public:
    ECompileError(const std::string& longText, std::string shortText, int position)
        : EExpressionError(longText), FShortText(std::move(shortText)), FPosition(position) {}

    const std::string& ShortText() const noexcept { return FShortText; }
    // The position printed in the long text (1-based).
    int Position() const noexcept { return FPosition; }

private:
    std::string FShortText;
    int FPosition;
};
