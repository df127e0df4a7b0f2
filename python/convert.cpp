#include "python/convert.hpp"

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>

#include "runtime/checks.hpp"

namespace hfchain::python {

namespace {

// The largest magnitude up to which every whole number is a double.
constexpr long long kExactWhole = 9007199254740992;  // 2^53

std::string shape_text(const py::array& a) {
    std::string s = "(";
    for (py::ssize_t i = 0; i < a.ndim(); ++i) {
        if (i > 0) s += ", ";
        s += std::to_string(a.shape(i));
    }
    if (a.ndim() == 1) s += ",";
    return s + ")";
}

std::string shape_wanted(Shape s) {
    const bool col = !s.cols.variable && s.cols.extent == 1;
    const bool row = !s.rows.variable && s.rows.extent == 1;
    if (col && row) return "a scalar (1 x 1)";
    if (col && s.rows.extent == kUnbounded) return "a column (a 1-D array, or n x 1)";
    if (row && s.cols.extent == kUnbounded) return "a row (a 1-D array, or 1 x n)";
    return "an array of size " + dim_text(s.rows) + " x " + dim_text(s.cols);
}

// How the elements of a NumPy array of up to two dimensions map onto rows x cols (column-major):
// element (i, j) sits at base + i s0 + j s1.
struct Layout {
    index_t rows = 1;
    index_t cols = 1;
    py::ssize_t s0 = 0;
    py::ssize_t s1 = 0;
};

Layout check_shape(const py::array& a, const Name& name, Shape shape) {
    const bool row_declared = !shape.rows.variable && shape.rows.extent == 1;
    py::ssize_t r = 1, c = 1, s0 = 0, s1 = 0;
    bool ok = a.ndim() <= 2;
    if (a.ndim() == 1) {
        // A 1-D array is a column, or a row where a row of any length is declared.
        const bool as_row = row_declared && shape.cols.variable;
        (as_row ? c : r) = a.shape(0);
        (as_row ? s1 : s0) = a.strides(0);
    } else if (a.ndim() == 2) {
        r = a.shape(0);
        c = a.shape(1);
        s0 = a.strides(0);
        s1 = a.strides(1);
    }
    ok = ok && dim_fits(shape.rows, r) && dim_fits(shape.cols, c);
    if (ok && r * c > kUnbounded) ok = false;
    if (!ok) {
        raise(errid::kWrongSize, "Input '" + name.str() + "' must be " + shape_wanted(shape) +
                                     "; it has shape " + shape_text(a) + ".");
    }
    return {static_cast<index_t>(r), static_cast<index_t>(c), s0, s1};
}

[[noreturn]] void inexact(const Name& name, const std::string& value) {
    raise(errid::kInexactValue, "Input '" + name.str() + "' holds " + value +
                                    ", which float64 cannot represent exactly.");
}

// One element converted to T; 64-bit integers are checked to convert exactly.
template <class T, class S>
T convert_element(S v, const Name& name) {
    if constexpr (std::is_same_v<S, std::int64_t>) {
        const double d = static_cast<double>(v);
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0) ||
            static_cast<std::int64_t>(d) != v) {
            inexact(name, std::to_string(v));
        }
        return T(d);
    } else if constexpr (std::is_same_v<S, std::uint64_t>) {
        const double d = static_cast<double>(v);
        if (!(d < 18446744073709551616.0) || static_cast<std::uint64_t>(d) != v) {
            inexact(name, std::to_string(v));
        }
        return T(d);
    } else if constexpr (std::is_same_v<S, std::complex<float>> || std::is_same_v<S, cdouble>) {
        return T(v);
    } else {
        return T(static_cast<double>(v));
    }
}

template <class T, class S>
void copy_elements(const char* base, const Layout& l, T* out, const Name& name) {
    if constexpr (std::is_same_v<T, S>) {
        // Contiguous in column-major order: one block copy.
        const auto size = static_cast<py::ssize_t>(sizeof(T));
        if (l.s0 == size && (l.cols == 1 || l.s1 == size * l.rows)) {
            std::memcpy(out, base, sizeof(T) * static_cast<std::size_t>(l.rows) * l.cols);
            return;
        }
    }
    for (index_t j = 0; j < l.cols; ++j) {
        const char* col = base + j * l.s1;
        T* dst = out + static_cast<std::ptrdiff_t>(j) * l.rows;
        for (index_t i = 0; i < l.rows; ++i) {
            S v;
            std::memcpy(&v, col + i * l.s0, sizeof(S));  // NumPy data need not be aligned
            dst[i] = convert_element<T>(v, name);
        }
    }
}

template <class T>
void copy_any(const py::array& a, const Layout& l, T* out, const Name& name) {
    const char* base = static_cast<const char*>(a.data());
    const char kind = a.dtype().kind();
    const py::ssize_t size = a.itemsize();
    switch (kind) {
        case 'b':
            return copy_elements<T, bool>(base, l, out, name);
        case 'i':
            if (size == 1) return copy_elements<T, std::int8_t>(base, l, out, name);
            if (size == 2) return copy_elements<T, std::int16_t>(base, l, out, name);
            if (size == 4) return copy_elements<T, std::int32_t>(base, l, out, name);
            return copy_elements<T, std::int64_t>(base, l, out, name);
        case 'u':
            if (size == 1) return copy_elements<T, std::uint8_t>(base, l, out, name);
            if (size == 2) return copy_elements<T, std::uint16_t>(base, l, out, name);
            if (size == 4) return copy_elements<T, std::uint32_t>(base, l, out, name);
            return copy_elements<T, std::uint64_t>(base, l, out, name);
        case 'f':
            if (size == 4) return copy_elements<T, float>(base, l, out, name);
            return copy_elements<T, double>(base, l, out, name);
        default:
            if constexpr (std::is_same_v<T, cdouble>) {
                if (size == 8) return copy_elements<T, std::complex<float>>(base, l, out, name);
                return copy_elements<T, cdouble>(base, l, out, name);
            }
    }
}

// Whether the block can read the array's own buffer as an Array<T>: elements of exactly T's
// dtype (native byte order was settled before), aligned for T, contiguous in column-major order.
// complex128 is two float64 in a row, as std::complex<double> is laid out. Empty arrays are
// converted: there is nothing to save.
template <class T>
bool borrowable(const py::array& a, const Layout& l) {
    const char kind = std::is_same_v<T, cdouble> ? 'c' : 'f';
    if (a.dtype().kind() != kind || a.itemsize() != static_cast<py::ssize_t>(sizeof(T))) {
        return false;
    }
    if (l.rows == 0 || l.cols == 0 || (a.flags() & py::detail::npy_api::NPY_ARRAY_ALIGNED_) == 0 ||
        reinterpret_cast<std::uintptr_t>(a.data()) % alignof(T) != 0) {
        return false;
    }
    // A stride along an extent of 1 is never used, so NumPy may give it any value.
    const auto size = static_cast<py::ssize_t>(sizeof(T));
    return (l.rows == 1 || l.s0 == size) && (l.cols == 1 || l.s1 == size * l.rows);
}

py::array as_array(py::handle h, const Name& name) {
    py::array a = py::isinstance<py::array>(h)
                      ? py::reinterpret_borrow<py::array>(h)
                      : py::array::ensure(h);  // clears NumPy's error when it cannot convert
    if (!a || a.dtype().kind() == 'O') {
        raise(errid::kWrongType, "Input '" + name.str() + "' must be an array of numbers; it is " +
                                     type_name(h) + ".");
    }
    return a;
}

}  // namespace

std::string type_name(py::handle h) {
    if (py::isinstance<py::array>(h)) {
        return "an array of dtype " + py::str(h.attr("dtype")).cast<std::string>();
    }
    return "of type " + py::str(py::type::handle_of(h).attr("__name__")).cast<std::string>();
}

template <class T>
ArrayArg<T> read_array(py::handle h, const Name& name, Shape shape) {
    constexpr bool want_complex = std::is_same_v<T, cdouble>;
    py::array a = as_array(h, name);

    // Kind first, then complexity, then size, as the plug-ins check class, complexity, size.
    const char kind = a.dtype().kind();
    const py::ssize_t size = a.itemsize();
    bool lossless = kind == 'b' || kind == 'i' || kind == 'u' ||
                    (kind == 'f' && (size == 2 || size == 4 || size == 8));
    if (kind == 'c' && !want_complex) {
        raise(errid::kComplexInput, "Input '" + name.str() + "' must be real; it is complex.");
    }
    if (want_complex) lossless = lossless || (kind == 'c' && (size == 8 || size == 16));
    if (!lossless) {
        raise(errid::kWrongDtype, "Input '" + name.str() + "' must hold " +
                                      (want_complex ? "numbers that convert to complex128"
                                                    : "real numbers that convert to float64") +
                                      " without loss; it is " + type_name(a) + ".");
    }
    const Layout layout = check_shape(a, name, shape);

    // Half precision and foreign byte order: let NumPy make a native copy first (exact).
    if ((kind == 'f' && size == 2) || !a.dtype().attr("isnative").cast<bool>()) {
        py::object native =
            kind == 'f' && size == 2 ? py::dtype("float32") : a.dtype().attr("newbyteorder")("=");
        return read_array<T>(a.attr("astype")(native), name, shape);
    }

    // A declared column stays one-dimensional, as the blocks expect it.
    const bool column = !shape.cols.variable && shape.cols.extent == 1;
    if (borrowable<T>(a, layout)) {
        InputArray<T> view = InputArray<T>::borrow(static_cast<const T*>(a.data()), layout.rows,
                                                   layout.cols, column ? 1 : 2);
        return ArrayArg<T>(std::move(view), std::move(a));
    }
    Array<T> out = column ? Array<T>(layout.rows) : Array<T>(layout.rows, layout.cols);
    if (!out.empty()) copy_any<T>(a, layout, out.data(), name);
    return ArrayArg<T>(InputArray<T>(std::move(out)), py::none());
}

template ArrayArg<double> read_array<double>(py::handle, const Name&, Shape);
template ArrayArg<cdouble> read_array<cdouble>(py::handle, const Name&, Shape);

double read_scalar(py::handle h, const Name& name) {
    PyObject* p = h.ptr();
    if (PyFloat_Check(p)) return PyFloat_AS_DOUBLE(p);
    if (PyLong_Check(p)) {
        int overflow = 0;
        const long long v = PyLong_AsLongLongAndOverflow(p, &overflow);
        if (overflow == 0 && v >= -kExactWhole && v <= kExactWhole) {
            return static_cast<double>(v);
        }
        // Larger whole numbers: exact only when the double converts back to the same number.
        const double d = PyLong_AsDouble(p);
        if (d == -1.0 && PyErr_Occurred() != nullptr) PyErr_Clear();
        const py::object back = py::reinterpret_steal<py::object>(PyLong_FromDouble(d));
        if (!std::isfinite(d) || !back || !back.equal(h)) inexact(name, py::str(h));
        return d;
    }
    if (PyComplex_Check(p)) {
        raise(errid::kComplexInput, "Input '" + name.str() + "' must be real; it is complex.");
    }
    return (*read_array<double>(h, name, kScalar))[0];
}

std::int64_t read_whole(py::handle h, const Name& name, std::int64_t low, std::int64_t high) {
    const double v = read_scalar(h, name);
    if (!(v >= static_cast<double>(low) && v <= static_cast<double>(high)) || v != std::floor(v)) {
        raise(errid::kWrongValue, "Input '" + name.str() + "' must be a whole number from " +
                                      std::to_string(low) + " to " + std::to_string(high) +
                                      "; it is " + format_value(v) + ".");
    }
    return static_cast<std::int64_t>(v);
}

std::string read_text(py::handle h, const Name& name, index_t max_length) {
    if (!PyUnicode_Check(h.ptr())) {
        raise(errid::kWrongType,
              "Input '" + name.str() + "' must be a str; it is " + type_name(h) + ".");
    }
    const Py_ssize_t length = PyUnicode_GetLength(h.ptr());
    if (length > max_length) {
        raise(errid::kWrongSize, "Input '" + name.str() + "' must be a str of at most " +
                                     std::to_string(max_length) + " characters; it has " +
                                     std::to_string(length) + ".");
    }
    Py_ssize_t bytes = 0;
    const char* text = PyUnicode_AsUTF8AndSize(h.ptr(), &bytes);
    if (text == nullptr) throw py::error_already_set();  // lone surrogates
    return std::string(text, static_cast<std::size_t>(bytes));
}

template <class T>
py::array to_numpy(Array<T>&& a) {
    const bool column = a.ndims() == 1 || a.cols() == 1;
    std::vector<py::ssize_t> shape, strides;
    if (column) {
        shape = {a.numel()};
        strides = {static_cast<py::ssize_t>(sizeof(T))};
    } else {
        shape = {a.rows(), a.cols()};
        strides = {static_cast<py::ssize_t>(sizeof(T)),
                   static_cast<py::ssize_t>(sizeof(T)) * a.rows()};
    }
    if (a.empty()) return py::array_t<T>(shape, strides);
    // The NumPy array takes over the block's storage: a capsule owns the moved array.
    auto* owner = new Array<T>(std::move(a));
    py::capsule base(owner, [](void* p) { delete static_cast<Array<T>*>(p); });
    return py::array_t<T>(shape, strides, owner->data(), base);
}

template py::array to_numpy<double>(RealArray&&);
template py::array to_numpy<cdouble>(ComplexArray&&);

namespace {
PyObject* error_class = nullptr;  // hfchain.Error, kept for the module's lifetime
}

void set_python_error(const std::string& identifier, const std::string& message) {
    py::object value = py::reinterpret_borrow<py::object>(error_class)(identifier, message);
    PyErr_SetObject(error_class, value.ptr());
}

void register_errors(py::module_& m) {
    py::object cls = py::module_::import("hfchain._error").attr("Error");
    error_class = cls.inc_ref().ptr();
    m.attr("Error") = cls;
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Error& e) {
            set_python_error(e.identifier(), e.what());
        }
    });
}

}  // namespace hfchain::python
