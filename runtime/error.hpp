// The one error type of hfchain.
//
// Every failure abandons the whole block call and travels as an hfchain::Error carrying a
// host-style message identifier ("component:mnemonic", for example
// "Coder:MATLAB:NonIntegerInput") and the message text. A program message of a block (the
// Portuguese texts such as "Erro: Total de frames insuficientes para transmissao") has an empty
// identifier.
#pragma once

#include <stdexcept>
#include <string>

namespace hfchain {

class Error : public std::runtime_error {
public:
    Error(std::string identifier, const std::string& message)
        : std::runtime_error(message), identifier_(std::move(identifier)) {}

    // Empty for a block's own program message.
    const std::string& identifier() const noexcept { return identifier_; }
    const char* message() const noexcept { return what(); }

private:
    std::string identifier_;
};

// Raise an error with an identifier.
[[noreturn]] void raise(const std::string& identifier, const std::string& message);

// Raise a block's own program message (no identifier).
[[noreturn]] void raise_message(const std::string& message);

// Identifiers used by the run-time checks.
namespace errid {
// Checks whose identifiers are fixed by the host's conventions.
inline constexpr const char* kNonIntegerSize = "Coder:MATLAB:NonIntegerInput";
inline constexpr const char* kMaxSize = "Coder:MATLAB:pmaxsize";
inline constexpr const char* kReshapeNumel = "Coder:MATLAB:getReshapeDims_notSameNumel";
inline constexpr const char* kReshapeEmptyLimit = "Coder:toolbox:reshape_emptyReshapeLimit";
inline constexpr const char* kForLoopOverflow = "Coder:toolbox:int_forloop_overflow";
inline constexpr const char* kConvOrientation = "Coder:toolbox:conv_dynamicVectorOrientation";
inline constexpr const char* kMinMaxEmpty = "Coder:toolbox:eml_min_or_max_varDimZero";
inline constexpr const char* kAutoDim = "Coder:toolbox:autoDimIncompatibility";
inline constexpr const char* kSqrtDomain = "Coder:toolbox:sqrt_domainError";
// The project's own identifiers for the index, integer, sign and size checks.
inline constexpr const char* kIndexOutOfBounds = "hfchain:runtime:IndexOutOfBounds";
inline constexpr const char* kNonInteger = "hfchain:runtime:NonInteger";
inline constexpr const char* kNegative = "hfchain:runtime:Negative";
inline constexpr const char* kNotPositive = "hfchain:runtime:NotPositive";
inline constexpr const char* kSizeMismatch = "hfchain:runtime:SizeMismatch";
inline constexpr const char* kOutOfMemory = "hfchain:runtime:OutOfMemory";
inline constexpr const char* kInterrupted = "hfchain:runtime:Interrupted";
inline constexpr const char* kBadSeed = "hfchain:host:InvalidSeed";
// The checks that only the Python binding makes on its arguments (kind, dtype, shape, fields).
inline constexpr const char* kWrongType = "hfchain:python:WrongType";
inline constexpr const char* kWrongDtype = "hfchain:python:WrongDtype";
inline constexpr const char* kComplexInput = "hfchain:python:ComplexInput";
inline constexpr const char* kInexactValue = "hfchain:python:InexactValue";
inline constexpr const char* kWrongSize = "hfchain:python:WrongSize";
inline constexpr const char* kWrongFields = "hfchain:python:WrongFields";
inline constexpr const char* kWrongValue = "hfchain:python:WrongValue";
inline constexpr const char* kInvalidSweep = "hfchain:python:InvalidSweep";
}  // namespace errid

}  // namespace hfchain
