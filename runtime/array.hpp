// The dynamic column-major array every block works on.
//
// One template serves the four element kinds of the blocks: real double, complex double
// (std::complex<double>), signed 32-bit integer (index lists) and bool (one byte, masks).
// Sizes are signed 32-bit counts, as the host sees them; an array has one dimension (an n x 1
// column to the host) or two. Storage is contiguous, column-major (the first index varies
// fastest) and owned by the array: scope-bound ownership releases it on every exit path, error
// paths included. The one exception is an input borrowed from a host (InputArray below): its
// storage belongs to the host, the array's deleter does nothing, and it is reachable only as const;
// any copy of it is an ordinary owning array.
//
// Growth follows an explicit rule rather than the standard library's unspecified one: when the
// element count outgrows the capacity, the capacity becomes 16 (if it was below 16) and is then
// doubled until it fits; the new tail is zero. Arrays constructed at a known size are allocated
// exactly once at that size.
//
// Storage comes from calloc: every element kind is zero when all its bytes are, large arrays get
// pages that the system zeroes only when they are touched, and a failed allocation is a null
// pointer, raised as "hfchain:runtime:OutOfMemory", also where the sanitizers' operator new would
// end the process.
#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "runtime/error.hpp"

namespace hfchain {

using index_t = std::int32_t;
using cdouble = std::complex<double>;

// Position of the real part of complex element k among the interleaved (real, imaginary) doubles
// of a complex array; the imaginary part follows it. The doubles of an array of up to
// 2147483647 elements are counted in 64 bits: 2 k overflows a 32-bit index beyond 2^30 elements.
constexpr std::ptrdiff_t interleaved_offset(index_t k) noexcept {
    return 2 * static_cast<std::ptrdiff_t>(k);
}

// Product of two sizes; a result beyond the signed 32-bit range raises "Coder:MATLAB:pmaxsize".
index_t checked_size_product(index_t a, index_t b);

// Sum of two sizes, which must still fit a dimension; beyond the signed 32-bit range raises
// "Coder:MATLAB:pmaxsize".
index_t checked_size_sum(index_t a, index_t b);

template <class T>
class InputArray;

template <class T>
class Array {
    // `owns` is false only for storage borrowed from a host (InputArray).
    struct Free {
        bool owns = true;
        void operator()(T* p) const noexcept {
            if (owns) std::free(p);
        }
    };
    using Storage = std::unique_ptr<T[], Free>;

public:
    // An empty array: all sizes 0, capacity 0.
    Array() = default;

    // An n x 1 column of zeros (one-dimensional). Note: braces make a column of values instead.
    explicit Array(index_t n) : ndims_(1) { allocate_exact(n, 1); }

    // A rows x cols matrix of zeros (two-dimensional).
    Array(index_t rows, index_t cols) : ndims_(2) { allocate_exact(rows, cols); }

    // A column holding the given values.
    Array(std::initializer_list<T> values) : ndims_(1) {
        allocate_exact(static_cast<index_t>(values.size()), 1);
        std::copy(values.begin(), values.end(), data_.get());
    }

    Array(const Array& other) : ndims_(other.ndims_) {
        allocate_exact(other.rows_, other.cols_);
        std::copy(other.begin(), other.end(), data_.get());
    }
    Array& operator=(const Array& other) {
        if (this != &other) {
            Array copy(other);
            *this = std::move(copy);
        }
        return *this;
    }
    Array(Array&& other) noexcept { swap(other); }
    Array& operator=(Array&& other) noexcept {
        Array moved;
        moved.swap(other);
        swap(moved);
        return *this;
    }
    ~Array() = default;

    void swap(Array& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(rows_, other.rows_);
        std::swap(cols_, other.cols_);
        std::swap(capacity_, other.capacity_);
        std::swap(ndims_, other.ndims_);
    }

    index_t rows() const noexcept { return rows_; }
    index_t cols() const noexcept { return cols_; }
    index_t numel() const noexcept { return rows_ * cols_; }
    index_t capacity() const noexcept { return capacity_; }
    int ndims() const noexcept { return ndims_; }
    bool empty() const noexcept { return numel() == 0; }
    bool is_vector() const noexcept { return rows_ == 1 || cols_ == 1; }

    T* data() noexcept { return data_.get(); }
    const T* data() const noexcept { return data_.get(); }
    T* begin() noexcept { return data_.get(); }
    T* end() noexcept { return data_.get() + numel(); }
    const T* begin() const noexcept { return data_.get(); }
    const T* end() const noexcept { return data_.get() + numel(); }

    // Unchecked access, 0-based: linear (column-major) and by row and column.
    T& operator[](index_t i) noexcept { return data_[i]; }
    const T& operator[](index_t i) const noexcept { return data_[i]; }
    T& operator()(index_t r, index_t c) noexcept { return data_[r + c * rows_]; }
    const T& operator()(index_t r, index_t c) const noexcept { return data_[r + c * rows_]; }

    // Set new sizes, keeping the elements already stored in their linear positions; grows the
    // storage by the capacity rule when needed (new elements are zero).
    void resize(index_t rows, index_t cols) {
        const index_t old = numel();
        const index_t need = checked_size_product(rows, cols);
        ensure_capacity(need, old);
        rows_ = rows;
        cols_ = cols;
        ndims_ = 2;
    }
    void resize(index_t n) {
        resize(n, 1);
        ndims_ = 1;
    }

    // Reinterpret the column-major order under new sizes of the same element count.
    void reshape_in_place(index_t rows, index_t cols) noexcept {
        rows_ = rows;
        cols_ = cols;
        ndims_ = 2;
    }

    // Make room for `need` elements, keeping the first `old_count` of them.
    void ensure_capacity(index_t need, index_t old_count) {
        if (capacity_ >= need) return;
        index_t cap = capacity_ < 16 ? 16 : capacity_;
        while (cap < need) {
            if (cap > std::numeric_limits<index_t>::max() / 2) {
                cap = std::numeric_limits<index_t>::max();
                break;
            }
            cap *= 2;
        }
        Storage fresh = allocate(cap);
        if (data_ && old_count > 0) {
            std::copy(data_.get(), data_.get() + std::min(old_count, capacity_), fresh.get());
        }
        data_ = std::move(fresh);
        capacity_ = cap;
    }

    void fill(const T& value) { std::fill(begin(), end(), value); }

    // False only for a host's storage lent through an InputArray.
    bool owns_storage() const noexcept { return data_.get_deleter().owns; }

private:
    friend class InputArray<T>;

    // A view of `rows` x `cols` elements at `data` that someone else owns; reachable only as const
    // through InputArray, so the const_cast never leads to a write.
    Array(const T* data, index_t rows, index_t cols, int ndims) noexcept
        : data_(const_cast<T*>(data), Free{false}),
          rows_(rows),
          cols_(cols),
          capacity_(rows * cols),
          ndims_(ndims) {}

    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "elements live in zeroed storage without constructors");

    static Storage allocate(index_t n) {
        void* p = std::calloc(static_cast<std::size_t>(n), sizeof(T));
        if (p == nullptr) {
            raise(errid::kOutOfMemory,
                  "Out of memory: could not allocate " + std::to_string(n) + " elements.");
        }
        return Storage(static_cast<T*>(p));
    }
    void allocate_exact(index_t rows, index_t cols) {
        const index_t n = checked_size_product(rows, cols);
        if (n > 0) data_ = allocate(n);
        capacity_ = n;
        rows_ = rows;
        cols_ = cols;
    }

    Storage data_;
    index_t rows_ = 0;
    index_t cols_ = 0;
    index_t capacity_ = 0;
    int ndims_ = 1;
};

// An input a host hands to a block: either an owning array converted from the host's value, or
// the host's own contiguous column-major storage borrowed without a copy. Either way the block
// sees it only as `const Array<T>&` (through `*` or get()), so it can neither modify the host's
// data nor keep it: copying the array gives an ordinary owning array, and the holder itself cannot
// be copied. A borrowed input is valid while the host's storage lives and stays unchanged; the
// host's glue keeps its value alive for as long as the holder (python/convert.hpp,
// plugins/gateway.hpp).
template <class T>
class InputArray {
public:
    // Takes over an owning array.
    explicit InputArray(Array<T>&& owned) noexcept : array_(std::move(owned)) {}

    // Borrows `rows` x `cols` elements at `data` (column-major, aligned for T); one-dimensional
    // (an n x 1 column) when `ndims` is 1. Nothing is copied or freed.
    static InputArray borrow(const T* data, index_t rows, index_t cols, int ndims) noexcept {
        return InputArray(Array<T>(data, rows, cols, ndims));
    }

    InputArray(const InputArray&) = delete;
    InputArray& operator=(const InputArray&) = delete;
    InputArray(InputArray&&) noexcept = default;
    InputArray& operator=(InputArray&&) noexcept = default;
    ~InputArray() = default;

    const Array<T>& get() const noexcept { return array_; }
    const Array<T>& operator*() const noexcept { return array_; }
    const Array<T>* operator->() const noexcept { return &array_; }
    bool borrowed() const noexcept { return !array_.owns_storage(); }

    // An owning array with the same contents: the array itself when owned (no copy), a copy when
    // borrowed. For values that are kept, such as a structure's fields.
    Array<T> to_owned() && { return borrowed() ? Array<T>(array_) : std::move(array_); }

private:
    Array<T> array_;
};

using RealArray = Array<double>;
using ComplexArray = Array<cdouble>;
using IntArray = Array<std::int32_t>;
using BoolArray = Array<bool>;

}  // namespace hfchain
