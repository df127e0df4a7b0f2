// Conversion between Python values and the blocks' own values: NumPy arrays in any layout and
// any dtype that converts without loss, Python numbers, text. Glue only: every rule about a
// value's meaning stays in the blocks, which raise their own errors.
//
// Shapes follow the host's rules: a 1-D array of n elements is an n x 1 column (or a 1 x n row
// where a row is declared), a 2-D array of shape (r, c) is r x c, a 0-d array or a Python number is
// 1 x 1. Results come back the same way: an n x 1 column as a 1-D array, anything else as a 2-D
// array in Fortran order that owns the block's own storage (no copy).
//
// A refused value raises hfchain::Error with one of the identifiers below and a message naming
// the input ("milstd.probe") in the style of the Octave plug-ins.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/array.hpp"
#include "runtime/error.hpp"
#include "runtime/shape.hpp"

namespace hfchain::python {

namespace py = pybind11;

// Where a value sits ("config.shaping.pulseDelay"); the text is built only for a message.
class Name {
public:
    Name(const char* leaf) : leaf_(leaf) {}  // NOLINT: literals name arguments
    Name(const Name& parent, const char* leaf) : parent_(&parent), leaf_(leaf) {}
    std::string str() const { return parent_ != nullptr ? parent_->str() + "." + leaf_ : leaf_; }

private:
    const Name* parent_ = nullptr;
    const char* leaf_;
};

// Declared sizes: runtime/shape.hpp, as in the plug-ins.

// "type list", "dtype float128": for messages.
std::string type_name(py::handle h);

// An input array as a block reads it (`*in` or in.get() is a `const Array<T>&`), holding a
// reference to the NumPy array whose buffer it may borrow: the buffer stays alive for as long as
// the holder, which the bindings keep across the call (the GIL released meanwhile). Destroy it
// with the GIL held, as the bindings' scopes do.
template <class T>
class ArrayArg {
public:
    ArrayArg(InputArray<T>&& array, py::object source)
        : source_(std::move(source)), array_(std::move(array)) {}

    const Array<T>& get() const noexcept { return *array_; }
    const Array<T>& operator*() const noexcept { return *array_; }
    const Array<T>* operator->() const noexcept { return &*array_; }
    bool borrowed() const noexcept { return array_.borrowed(); }
    Array<T> to_owned() && { return std::move(array_).to_owned(); }

private:
    py::object source_;  // the NumPy array lent to array_ (None when converted)
    InputArray<T> array_;
};

// An array of doubles (`T` = double) or complex doubles (`T` = cdouble) of the declared shape.
// Accepted dtypes: bool, integers (64-bit values only when float64 holds them exactly), float16
// to float64, and for complex inputs also complex64 and complex128; any strides and byte order.
// The input is only read. A float64 (complex128 for `T` = cdouble) array in native byte order,
// aligned, whose elements lie contiguous in column-major order (1-D contiguous, 2-D in Fortran
// order, or 2-D with one row or one column) is borrowed without a copy; any other is converted
// into an owning array. A caller that changes a borrowed array from another thread while a block
// runs gets whatever the block reads: the bindings never write to it.
template <class T>
ArrayArg<T> read_array(py::handle h, const Name& name, Shape shape);

extern template ArrayArg<double> read_array<double>(py::handle, const Name&, Shape);
extern template ArrayArg<cdouble> read_array<cdouble>(py::handle, const Name&, Shape);

inline ArrayArg<double> read_real(py::handle h, const Name& name, Shape shape = kColumn) {
    return read_array<double>(h, name, shape);
}
inline ArrayArg<cdouble> read_complex(py::handle h, const Name& name, Shape shape = kColumn) {
    return read_array<cdouble>(h, name, shape);
}

// A real number: a Python or NumPy number, or any array holding exactly one.
double read_scalar(py::handle h, const Name& name);

// A whole number within [low, high].
std::int64_t read_whole(py::handle h, const Name& name, std::int64_t low, std::int64_t high);

// A str of at most `max_length` characters, as UTF-8.
std::string read_text(py::handle h, const Name& name, index_t max_length = kUnbounded);

// Results.
template <class T>
py::array to_numpy(Array<T>&& a);

extern template py::array to_numpy<double>(RealArray&&);
extern template py::array to_numpy<cdouble>(ComplexArray&&);

// Raises the Python exception hfchain.Error(identifier, message); used by the exception
// translator for every hfchain::Error that reaches Python.
void set_python_error(const std::string& identifier, const std::string& message);

// Registers hfchain.Error (defined in the package's pure-Python part) and the translator.
void register_errors(py::module_& m);

}  // namespace hfchain::python
