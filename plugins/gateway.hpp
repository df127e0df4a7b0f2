// The gateway between Octave and a block's entry function, shared by every plug-in.
//
// Included only by the plug-in sources (it needs Octave's mex.h); the core libraries never see
// it. A plug-in describes its entry in a small struct and binds it with HFCHAIN_MEX_PLUGIN:
//
//     struct Modeconf {
//         static constexpr const char* kName = "modeconf";
//         static constexpr const char* kInputs[] = {"interLen"};
//         static mxArray* call(const mxArray* const in[]);  // convert, call the block, convert
//     };
//     HFCHAIN_MEX_PLUGIN(modeconf, Modeconf)
//
// A call runs in this order: register the at-exit hook; check the argument counts (before any
// input is read); convert each input, checking its class, complexity, size and field list, into
// the block's own arrays (real arrays are read in place); call the block; convert its result
// (structure fields in the declared order, one-dimensional results as n x 1 columns) into the first
// output, which also reaches `ans` when no output is requested. Host arrays are only read, never
// modified.
//
// Errors. No C++ exception of the plug-in leaves mexFunction: an hfchain::Error (and a stray
// standard exception) is caught once the call's scope, with every input copy, result and block
// object, has been destroyed, and only then raised through Octave's `error` with a structure
// {message, identifier}, so the text and identifier arrive byte for byte (the mexErrMsg family
// would prefix the function name). Octave's own exceptions, raised inside host call-backs (a
// failing rng, an interrupt), pass through unchanged.
//
// Complex data go through the separate real/imaginary API only: the interleaved one is broken in
// Octave 7.3. A real array is accepted where a complex one is declared (Octave narrows complex
// arrays whose imaginary parts are all zero to real ones), as complex with zero imaginary parts.
#pragma once

#include <mex.h>
#include <quit.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>

#include "runtime/array.hpp"
#include "runtime/error.hpp"
#include "runtime/shape.hpp"

#define HFCHAIN_MEX_EXPORT __attribute__((visibility("default")))

namespace hfchain::gateway {

// Identifiers of the gateway's own errors.
inline constexpr const char* kWrongNumberOfInputs = "emlcoder:emlmex:WrongNumberOfInputs";
inline constexpr const char* kTooManyOutputs = "emlcoder:emlmex:TooManyOutputArguments";
inline constexpr const char* kWrongClass = "hfchain:gateway:WrongClass";
inline constexpr const char* kComplexInput = "hfchain:gateway:ComplexInput";
inline constexpr const char* kWrongSize = "hfchain:gateway:WrongSize";
inline constexpr const char* kWrongFields = "hfchain:gateway:WrongFields";
inline constexpr const char* kInternal = "hfchain:gateway:InternalError";

inline constexpr const char* kCoderVersion = "7.14.0.739 (R2012a)";

// Owning handle of a host array the plug-in created and does not hand over.
struct MxDeleter {
    void operator()(mxArray* a) const noexcept { mxDestroyArray(a); }
};
using MxPtr = std::unique_ptr<mxArray, MxDeleter>;

// Raises an Octave error with exactly this message and identifier (empty for none). Does not
// return: Octave's `error` unwinds with its own exception.
[[noreturn]] inline void raise_in_host(const std::string& identifier, const std::string& message) {
    const char* names[] = {"message", "identifier"};
    mxArray* err = mxCreateStructMatrix(1, 1, 2, names);
    mxSetFieldByNumber(err, 0, 0, mxCreateString(message.c_str()));
    mxSetFieldByNumber(err, 0, 1, mxCreateString(identifier.c_str()));
    mexCallMATLAB(0, nullptr, 1, &err, "error");
    // `error` always throws; this line only keeps the promise of [[noreturn]].
    mexErrMsgIdAndTxt(identifier.c_str(), "%s", message.c_str());
    std::abort();
}

// ---------------------------------------------------------------------------------------------
// Declared sizes of inputs.

// The declared shapes are the Python binding's too (runtime/shape.hpp); the plug-ins, which use
// this namespace, name them through it.
using hfchain::Dim;
using hfchain::fixed;
using hfchain::kColumn;
using hfchain::kMatrix;
using hfchain::kRow;
using hfchain::kScalar;
using hfchain::kUnbounded;
using hfchain::Shape;
using hfchain::upto;

namespace detail {

// The number of dimensions of a host array. Octave 7.3 keeps an input array in its own form until
// a call needs the MEX layout (the data of a complex array, the fields of a structure, the
// characters of a text) and converts it then; when the dimensions were asked before that
// conversion, the list it made for them is never freed (40 to 100 bytes a call, so resident memory
// grew with every call of most plug-ins). Asking for the data first converts the array while no
// dimension list exists yet: a real array's data is handed over as it is, and the other kinds are
// converted once, as their reader would convert them anyway.
inline mwSize dimension_count(const mxArray* a) {
    (void)mxGetData(a);
    return mxGetNumberOfDimensions(a);
}

inline std::string size_text(const mxArray* a) {
    const mwSize nd = dimension_count(a);
    const mwSize* dims = mxGetDimensions(a);
    std::string s;
    for (mwSize i = 0; i < nd; ++i) {
        if (i > 0) s += " x ";
        s += std::to_string(dims[i]);
    }
    return s;
}

inline void check_class_double(const mxArray* a, const std::string& name) {
    if (!mxIsDouble(a) || mxIsSparse(a)) {
        raise(kWrongClass, "Input '" + name + "' must be a full array of class double; it is " +
                               (mxIsSparse(a) ? "sparse " : "") + "of class " + mxGetClassName(a) +
                               ".");
    }
}

// Checks the size against its declaration and returns (rows, cols).
inline std::pair<index_t, index_t> check_shape(const mxArray* a, const std::string& name,
                                               Shape shape) {
    const bool two_dims = detail::dimension_count(a) == 2;
    const std::size_t r = mxGetM(a);
    const std::size_t c = two_dims ? mxGetN(a) : 0;
    if (!two_dims || !dim_fits(shape.rows, r) || !dim_fits(shape.cols, c)) {
        raise(kWrongSize, "Input '" + name + "' must be of size " + dim_text(shape.rows) + " x " +
                              dim_text(shape.cols) + "; it is " + size_text(a) + ".");
    }
    return {static_cast<index_t>(r), static_cast<index_t>(c)};
}

template <class T>
Array<T> make_array(Shape shape, index_t r, index_t c) {
    // A declared column stays one-dimensional, as the blocks expect it.
    if (shape.cols.extent == 1 && !shape.cols.variable) return Array<T>(r);
    return Array<T>(r, c);
}

}  // namespace detail

// ---------------------------------------------------------------------------------------------
// Input conversion. Each reader checks, in order, class, complexity and size, naming the input
// (or "structure.field") in its message, and copies the data into the block's own array, except
// real arrays, which are borrowed (read_real). Complex arrays are copied: Octave keeps their real
// and imaginary parts apart, the blocks want them interleaved.

inline double read_scalar(const mxArray* a, const std::string& name) {
    detail::check_class_double(a, name);
    if (mxIsComplex(a)) raise(kComplexInput, "Input '" + name + "' must be real; it is complex.");
    detail::check_shape(a, name, kScalar);
    return *mxGetPr(a);
}

// A real input is read in place: Octave hands over its own column-major doubles, which live and
// stay unchanged for the whole call, and the holder gives the block only const access (a block
// that keeps a value copies it into an owning array).
inline InputArray<double> read_real(const mxArray* a, const std::string& name, Shape shape) {
    detail::check_class_double(a, name);
    if (mxIsComplex(a)) raise(kComplexInput, "Input '" + name + "' must be real; it is complex.");
    const auto [r, c] = detail::check_shape(a, name, shape);
    const bool column = shape.cols.extent == 1 && !shape.cols.variable;
    const double* data = mxGetPr(a);
    if (static_cast<std::size_t>(r) * c == 0 || data == nullptr) {
        return InputArray<double>(detail::make_array<double>(shape, r, c));
    }
    return InputArray<double>::borrow(data, r, c, column ? 1 : 2);
}

inline ComplexArray read_complex(const mxArray* a, const std::string& name, Shape shape) {
    detail::check_class_double(a, name);
    const auto [r, c] = detail::check_shape(a, name, shape);
    ComplexArray out = detail::make_array<cdouble>(shape, r, c);
    const double* re = mxGetPr(a);
    const double* im = mxIsComplex(a) ? mxGetPi(a) : nullptr;
    const index_t n = out.numel();
    cdouble* dst = out.data();
    if (im != nullptr) {
        for (index_t i = 0; i < n; ++i) dst[i] = cdouble(re[i], im[i]);
    } else {
        for (index_t i = 0; i < n; ++i) dst[i] = cdouble(re[i], 0.0);
    }
    return out;
}

// A character row 1 x n (n up to `max_length`), returned as its bytes. Octave's empty string
// literal "" is 0 x 0; it is taken as the empty row.
inline std::string read_text(const mxArray* a, const std::string& name, index_t max_length) {
    if (!mxIsChar(a)) {
        raise(kWrongClass, "Input '" + name + "' must be of class char; it is of class " +
                               mxGetClassName(a) + ".");
    }
    if (detail::dimension_count(a) == 2 && mxGetM(a) == 0 && mxGetN(a) == 0) return {};
    const auto [r, c] = detail::check_shape(a, name, {fixed(1), upto(max_length)});
    (void)r;
    const mxChar* chars = mxGetChars(a);
    std::string out(static_cast<std::size_t>(c), '\0');
    for (index_t i = 0; i < c; ++i) out[i] = static_cast<char>(chars[i]);
    return out;
}

// A 1 x 1 structure input with exactly the given fields, in any order; fields are fetched by
// name, so a reordered structure is accepted while a missing or an extra field is refused.
class StructReader {
public:
    StructReader(const mxArray* a, std::string name, std::span<const char* const> fields)
        : array_(a), name_(std::move(name)) {
        if (!mxIsStruct(a)) {
            raise(kWrongClass, "Input '" + name_ + "' must be a structure; it is of class " +
                                   mxGetClassName(a) + ".");
        }
        detail::check_shape(a, name_, kScalar);
        for (const char* f : fields) {
            if (mxGetFieldNumber(a, f) < 0) {
                raise(kWrongFields, "Input '" + name_ + "' lacks the field '" + f + "'.");
            }
        }
        const int n = mxGetNumberOfFields(a);
        for (int i = 0; i < n; ++i) {
            const char* have = mxGetFieldNameByNumber(a, i);
            const bool known = std::any_of(fields.begin(), fields.end(), [have](const char* f) {
                return std::strcmp(f, have) == 0;
            });
            if (!known) {
                raise(kWrongFields, "Input '" + name_ + "' has the field '" + have +
                                        "', which is not one of " + list(fields) + ".");
            }
        }
    }

    const mxArray* field(const char* f) const {
        const mxArray* v = mxGetField(array_, 0, f);
        if (v == nullptr) {
            // A field created but never assigned holds nothing at all.
            raise(kWrongClass, "Input '" + path(f) + "' is unset.");
        }
        return v;
    }
    std::string path(const char* f) const { return name_ + "." + f; }

    double scalar(const char* f) const { return read_scalar(field(f), path(f)); }
    // A copy: a structure keeps its fields.
    RealArray real(const char* f, Shape shape) const {
        return read_real(field(f), path(f), shape).to_owned();
    }
    std::string text(const char* f, index_t max_length) const {
        return read_text(field(f), path(f), max_length);
    }

private:
    static std::string list(std::span<const char* const> fields) {
        std::string s;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) s += ", ";
            s += fields[i];
        }
        return s;
    }

    const mxArray* array_;
    std::string name_;
};

// ---------------------------------------------------------------------------------------------
// Result conversion.

// Creates a host array. Octave reports an array it cannot allocate as an error of its own without
// identifier ("fadesim: failed to allocate 800000480 bytes of memory"); the failure is raised
// again with Octave's text and the identifier "hfchain:runtime:OutOfMemory", like every other
// allocation failure of a call.
template <class Create>
mxArray* create_in_host(Create&& create) {
    try {
        return create();
    } catch (const octave::execution_exception& e) {
        raise(errid::kOutOfMemory, e.message());
    }
}

inline mxArray* to_host(double value) {
    return create_in_host([&] { return mxCreateDoubleScalar(value); });
}

inline mxArray* logical_to_host(bool value) {
    return create_in_host([&] { return mxCreateLogicalScalar(value); });
}

inline mxArray* to_host(const RealArray& a) {
    const index_t r = a.ndims() == 1 ? a.numel() : a.rows();
    const index_t c = a.ndims() == 1 ? 1 : a.cols();
    mxArray* out =
        create_in_host([&] { return mxCreateUninitNumericMatrix(r, c, mxDOUBLE_CLASS, mxREAL); });
    if (a.numel() > 0) std::memcpy(mxGetPr(out), a.data(), sizeof(double) * a.numel());
    return out;
}

inline mxArray* to_host(const ComplexArray& a) {
    const index_t r = a.ndims() == 1 ? a.numel() : a.rows();
    const index_t c = a.ndims() == 1 ? 1 : a.cols();
    mxArray* out = create_in_host(
        [&] { return mxCreateUninitNumericMatrix(r, c, mxDOUBLE_CLASS, mxCOMPLEX); });
    double* re = mxGetPr(out);
    double* im = mxGetPi(out);
    const cdouble* src = a.data();
    const index_t n = a.numel();
    for (index_t i = 0; i < n; ++i) {
        re[i] = src[i].real();
        im[i] = src[i].imag();
    }
    return out;
}

// A 1 x 1 structure with the fields in the declared order.
template <std::size_t N>
mxArray* make_struct(const char* const (&names)[N], const std::array<mxArray*, N>& values) {
    mxArray* s = create_in_host([&] {
        return mxCreateStructMatrix(1, 1, static_cast<int>(N), const_cast<const char**>(names));
    });
    for (std::size_t i = 0; i < N; ++i) mxSetFieldByNumber(s, 0, static_cast<int>(i), values[i]);
    return s;
}

// ---------------------------------------------------------------------------------------------
// The call itself.

// Nothing outlives a call, so unloading has nothing to release.
inline void at_exit_hook() {}

// Converts the inputs, calls the block and converts its result; any failure reaches Octave only
// after the whole call scope (inputs, block objects, result) is gone.
template <class Plugin>
mxArray* checked_call(const mxArray* const in[]) {
    std::string identifier;
    std::string message;
    try {
        return Plugin::call(in);
    } catch (const Error& e) {
        identifier = e.identifier();
        message = e.what();
    } catch (const octave::execution_exception&) {
        throw;  // Octave's own error, raised in a host call-back
    } catch (const octave::interrupt_exception&) {
        throw;  // Ctrl-C seen by a block's interrupt poll or by Octave itself
    } catch (const octave::exit_exception&) {
        throw;
    } catch (const std::bad_alloc&) {
        identifier = errid::kOutOfMemory;
        message = "Out of memory.";
    } catch (const std::exception& e) {
        identifier = kInternal;
        message = std::string("Internal error in '") + Plugin::kName + "': " + e.what();
    }
    raise_in_host(identifier, message);
}

inline std::string count_message(int n, const char* name) {
    return std::to_string(n) + (n == 1 ? " input" : " inputs") + " required for entry-point '" +
           name + "'.";
}

template <class Plugin>
void mex_gateway(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]) {
    mexAtExit(&at_exit_hook);
    constexpr int kInputs = static_cast<int>(std::size(Plugin::kInputs));
    if (nrhs != kInputs) raise_in_host(kWrongNumberOfInputs, count_message(kInputs, Plugin::kName));
    if (nlhs > 1) {
        raise_in_host(kTooManyOutputs, std::string("Too many output arguments for entry-point '") +
                                           Plugin::kName + "'.");
    }
    plhs[0] = checked_call<Plugin>(prhs);
}

// The properties query: {Version, EntryPoints {Name, NumberOfInputs, NumberOfOutputs,
// ConstantInputs}}.
template <class Plugin>
mxArray* properties() {
    constexpr int kInputs = static_cast<int>(std::size(Plugin::kInputs));
    static const char* const kEntryFields[] = {"Name", "NumberOfInputs", "NumberOfOutputs",
                                               "ConstantInputs"};
    static const char* const kFields[] = {"Version", "EntryPoints"};
    mxArray* constant = mxCreateLogicalMatrix(1, kInputs);  // all false
    mxArray* entry =
        make_struct(kEntryFields, {mxCreateString(Plugin::kName), mxCreateDoubleScalar(kInputs),
                                   mxCreateDoubleScalar(1), constant});
    return make_struct(kFields, {mxCreateString(kCoderVersion), entry});
}

}  // namespace hfchain::gateway

// Defines the exports of a plug-in: mexFunction, emlrtMexFcnProperties, the entry `name` (the
// checked call over the host's argument array, without the count checks) and `name`_initialize
// and `name`_terminate (nothing to set up or tear down: each call owns its arrays by scope).
#define HFCHAIN_MEX_PLUGIN(name, Plugin)                                     \
    extern "C" {                                                             \
    HFCHAIN_MEX_EXPORT void mexFunction(int nlhs, mxArray* plhs[], int nrhs, \
                                        const mxArray* prhs[]) {             \
        hfchain::gateway::mex_gateway<Plugin>(nlhs, plhs, nrhs, prhs);       \
    }                                                                        \
    HFCHAIN_MEX_EXPORT mxArray* emlrtMexFcnProperties(void) {                \
        return hfchain::gateway::properties<Plugin>();                       \
    }                                                                        \
    HFCHAIN_MEX_EXPORT mxArray* name(const mxArray* const prhs[]) {          \
        return hfchain::gateway::checked_call<Plugin>(prhs);                 \
    }                                                                        \
    HFCHAIN_MEX_EXPORT void name##_initialize(void) {}                       \
    HFCHAIN_MEX_EXPORT void name##_terminate(void) {}                        \
    }
