// The structures as small Python classes: one generic binding driven by a table of fields per
// C++ structure (python/structs.hpp), so that every conversion of a structure lives in one place.
//
// A record holds its fields as canonical Python values: float, int, bool, str, list of str, a
// float64 or complex128 NumPy array shaped by the rules of convert.hpp, or a nested record. A
// field set from Python is checked and converted on the spot by the same reader that reads the
// structure when it is passed to a block, so a record always holds a value the blocks accept in
// kind and shape. Blocks take a record or a dict with exactly the structure's fields (any order);
// `to_dict` and `from_dict` convert both ways. A structure whose traits say kFieldsOptional
// (SweepConfig) takes a dict with any of its fields, the others keeping their defaults.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "chain/road.hpp"
#include "python/convert.hpp"

namespace hfchain::python {

// A field of structure S holding a T.
template <class S, class T>
struct Field {
    const char* name;
    T S::*member;
    const char* doc;
    Shape shape = kMatrix;           // arrays
    index_t maxLength = kUnbounded;  // text
    std::int64_t low = 0, high = 0;  // whole numbers
};

template <class S, class T>
constexpr Field<S, T> field(const char* name, T S::*member, const char* doc,
                            Shape shape = kMatrix) {
    return {name, member, doc, shape};
}

template <class S>
constexpr Field<S, std::string> text_field(const char* name, std::string S::*member,
                                           const char* doc, index_t max_length) {
    return {name, member, doc, kMatrix, max_length};
}

template <class S, class T>
constexpr Field<S, T> whole_field(const char* name, T S::*member, const char* doc, std::int64_t low,
                                  std::int64_t high) {
    return {name, member, doc, kMatrix, kUnbounded, low, high};
}

// Specialised for every structure (python/structs.hpp):
//   static constexpr const char* kClass;  // Python class name
//   static constexpr const char* kName;   // its name in messages when set or read from a dict
//   static const char* doc();
//   static auto fields();                 // std::tuple of Field
// and, where a dict may leave fields out (they keep their defaults):
//   static constexpr bool kFieldsOptional = true;
// and, where fields of an earlier version are still read (a dict, from_dict, keyword arguments):
//   static py::dict renamed(py::handle mapping);  // the same settings in today's fields
template <class S>
struct RecordTraits;

template <class S>
concept IsRecord = requires {
    RecordTraits<S>::kClass;
};

// The Python object of a structure S.
struct RecordBase {
    std::vector<py::object> values;  // in field order
};
template <class S>
struct Record : RecordBase {};

// Enumerations travel as str; specialised next to their structure:
//   static constexpr std::pair<E, const char*> kValues[];
template <class E>
struct EnumTraits;

template <class E>
concept IsEnum = requires {
    EnumTraits<E>::kValues;
};

// A list of names of an enumeration (RoadConfig.receivers).
template <class T>
inline constexpr bool kIsEnumList = false;
template <IsEnum E>
inline constexpr bool kIsEnumList<std::vector<E>> = true;

template <IsRecord S>
py::object to_py(S&& s);

template <IsRecord S>
S from_py(py::handle h, const Name& name);

// --- single values ---------------------------------------------------------------------------

inline py::object to_py(double v) { return py::float_(v); }
inline py::object to_py(bool v) { return py::bool_(v); }
inline py::object to_py(std::int32_t v) { return py::int_(v); }
inline py::object to_py(std::int64_t v) { return py::int_(v); }
inline py::object to_py(std::uint32_t v) { return py::int_(v); }
inline py::object to_py(std::string&& v) { return py::str(v); }
template <class T>
py::object to_py(Array<T>&& a) {
    return to_numpy(std::move(a));
}
inline py::object to_py(std::vector<std::string>&& v) {
    py::list l;
    for (std::string& s : v) l.append(py::str(s));
    return l;
}
template <IsEnum E>
py::object to_py(E e);
template <IsEnum E>
py::object to_py(std::vector<E>&& v) {
    py::list l;
    for (E e : v) l.append(to_py(e));
    return l;
}
inline py::object to_py(std::vector<double>&& v) {
    RealArray a(static_cast<index_t>(v.size()));
    std::copy(v.begin(), v.end(), a.begin());
    return to_numpy(std::move(a));
}
// A list of numbers that may be absent (None).
inline py::object to_py(std::optional<std::vector<double>>&& v) {
    return v ? to_py(std::move(*v)) : py::none();
}
// Sample numbers (0-based) as an int64 array.
inline py::object to_py(std::vector<index_t>&& v) {
    py::array_t<std::int64_t> a(static_cast<py::ssize_t>(v.size()));
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}
// Impulses as a list of (sample, size) tuples.
inline py::object to_py(std::vector<ReceivedImpulse>&& v) {
    py::list l;
    for (const ReceivedImpulse& i : v) {
        l.append(py::make_tuple(i.sample, py::reinterpret_steal<py::object>(PyComplex_FromDoubles(
                                              i.size.real(), i.size.imag()))));
    }
    return l;
}
template <IsEnum E>
py::object to_py(E e) {
    for (const auto& [value, text] : EnumTraits<E>::kValues) {
        if (value == e) return py::str(text);
    }
    return py::none();
}

// 0-based positions: whole numbers from 0 to the largest index, in any array of numbers.
std::vector<index_t> read_indices(py::handle h, const Name& n);

// A list (or tuple) of (sample, size) pairs: a 0-based sample and a complex multiple of the RMS.
std::vector<ReceivedImpulse> read_impulses(py::handle h, const Name& n);

template <IsEnum E>
E read_enum(py::handle h, const Name& n) {
    const std::string text = read_text(h, n);
    std::string list;
    for (const auto& [value, name] : EnumTraits<E>::kValues) {
        if (text == name) return value;
        list += (list.empty() ? "" : ", ") + std::string(name);
    }
    raise(errid::kWrongValue,
          "Input '" + n.str() + "' must be one of " + list + "; it is '" + text + "'.");
}

template <class S, class T>
void read_value(py::handle h, const Name& n, const Field<S, T>& f, T& out) {
    if constexpr (std::is_same_v<T, double>) {
        out = read_scalar(h, n);
    } else if constexpr (std::is_same_v<T, bool>) {
        out = read_whole(h, n, 0, 1) != 0;
    } else if constexpr (std::is_integral_v<T>) {
        out = static_cast<T>(read_whole(h, n, f.low, f.high));
    } else if constexpr (std::is_same_v<T, std::string>) {
        out = read_text(h, n, f.maxLength);
    } else if constexpr (std::is_same_v<T, RealArray>) {
        out = read_real(h, n, f.shape).to_owned();
    } else if constexpr (std::is_same_v<T, ComplexArray>) {
        out = read_complex(h, n, f.shape).to_owned();
    } else if constexpr (std::is_same_v<T, std::vector<double>>) {
        const auto a = read_real(h, n, kColumn);
        out.assign(a->begin(), a->end());
    } else if constexpr (std::is_same_v<T, std::vector<index_t>>) {
        out = read_indices(h, n);
    } else if constexpr (std::is_same_v<T, std::vector<ReceivedImpulse>>) {
        out = read_impulses(h, n);
    } else if constexpr (std::is_same_v<T, std::optional<std::vector<double>>>) {
        if (h.is_none()) {
            out.reset();
        } else {
            const auto a = read_real(h, n, kColumn);
            out.emplace(a->begin(), a->end());
        }
    } else if constexpr (std::is_same_v<T, std::vector<std::string>> || kIsEnumList<T>) {
        using Item = typename T::value_type;
        const auto read_item = [&](py::handle item) {
            if constexpr (IsEnum<Item>) {
                return read_enum<Item>(item, n);
            } else {
                return read_text(item, n);
            }
        };
        out.clear();
        if (PyUnicode_Check(h.ptr())) {  // one name alone
            out.push_back(read_item(h));
        } else if (PyList_Check(h.ptr()) || PyTuple_Check(h.ptr())) {
            for (py::handle item : py::reinterpret_borrow<py::sequence>(h)) {
                out.push_back(read_item(item));
            }
        } else {
            raise(errid::kWrongType,
                  "Input '" + n.str() + "' must be a list of str; it is " + type_name(h) + ".");
        }
    } else if constexpr (IsEnum<T>) {
        out = read_enum<T>(h, n);
    } else {
        out = from_py<T>(h, n);
    }
}

// --- whole structures ------------------------------------------------------------------------

namespace detail {

template <class S, class F>
void for_each_field(F&& f) {
    std::size_t i = 0;
    std::apply([&](const auto&... fd) { (f(i++, fd), ...); }, RecordTraits<S>::fields());
}

template <class S>
constexpr std::size_t field_count() {
    return std::tuple_size_v<decltype(RecordTraits<S>::fields())>;
}

template <class S>
std::string field_list() {
    std::string s;
    for_each_field<S>([&](std::size_t i, const auto& fd) {
        if (i > 0) s += ", ";
        s += fd.name;
    });
    return s;
}

bool is_mapping(py::handle h);

template <class S>
Record<S>* as_record(py::handle h) {
    if (!py::isinstance<Record<S>>(h)) return nullptr;
    return &h.cast<Record<S>&>();
}

}  // namespace detail

template <IsRecord S>
py::object to_py(S&& s) {
    auto record = std::make_unique<Record<S>>();
    record->values.reserve(detail::field_count<S>());
    detail::for_each_field<S>([&](std::size_t, const auto& fd) {
        record->values.push_back(to_py(std::move(s.*fd.member)));
    });
    return py::cast(std::move(record));
}

// Reads a record of S, or a mapping with exactly the fields of S (missing fields first, then
// unknown ones, as the plug-ins check a structure).
template <IsRecord S>
S from_py(py::handle h, const Name& name) {
    S s;
    if (Record<S>* record = detail::as_record<S>(h)) {
        detail::for_each_field<S>([&](std::size_t i, const auto& fd) {
            read_value(record->values[i], Name(name, fd.name), fd, s.*fd.member);
        });
        return s;
    }
    if (!detail::is_mapping(h)) {
        raise(errid::kWrongType, "Input '" + name.str() + "' must be a " + RecordTraits<S>::kClass +
                                     " or a dict; it is " + type_name(h) + ".");
    }
    py::object mapping = py::reinterpret_borrow<py::object>(h);
    if constexpr (requires { RecordTraits<S>::renamed(h); }) mapping = RecordTraits<S>::renamed(h);
    constexpr bool all_fields = !requires { RecordTraits<S>::kFieldsOptional; };
    detail::for_each_field<S>([&](std::size_t, const auto& fd) {
        if (all_fields && !mapping.contains(fd.name)) {
            raise(errid::kWrongFields,
                  "Input '" + name.str() + "' lacks the field '" + fd.name + "'.");
        }
    });
    std::size_t present = 0;
    detail::for_each_field<S>(
        [&](std::size_t, const auto& fd) { present += mapping.contains(fd.name) ? 1 : 0; });
    if (py::len(mapping) != present) {
        for (py::handle key : mapping) {
            bool known = false;
            detail::for_each_field<S>([&](std::size_t, const auto& fd) {
                known =
                    known || (PyUnicode_Check(key.ptr()) && py::str(key).equal(py::str(fd.name)));
            });
            if (!known) {
                raise(errid::kWrongFields, "Input '" + name.str() + "' has the field '" +
                                               py::str(key).cast<std::string>() +
                                               "', which is not one of " + detail::field_list<S>() +
                                               ".");
            }
        }
    }
    detail::for_each_field<S>([&](std::size_t, const auto& fd) {
        if (all_fields || mapping.contains(fd.name)) {
            read_value(mapping[fd.name], Name(name, fd.name), fd, s.*fd.member);
        }
    });
    return s;
}

// The Python class of S: constructor (positional in field order, or by keyword; fields not given
// take the C++ defaults), one property per field, to_dict / from_dict, ==, repr and pickling.
template <IsRecord S>
void bind_record(py::module_& m);

// The members of bind_record that do not depend on S.
namespace detail {
py::dict to_dict(const RecordBase& r, const std::vector<const char*>& names);
bool values_equal(const RecordBase& a, const RecordBase& b);
std::string repr(const char* cls, const RecordBase& r, const std::vector<const char*>& names);
}  // namespace detail

template <IsRecord S>
void bind_record(py::module_& m) {
    using Traits = RecordTraits<S>;
    static const std::vector<const char*> names = [] {
        std::vector<const char*> v;
        detail::for_each_field<S>([&](std::size_t, const auto& fd) { v.push_back(fd.name); });
        return v;
    }();

    py::class_<Record<S>> cls(m, Traits::kClass, Traits::doc());

    // Sets field i from Python after the same check as when S is passed to a block.
    static const auto set_field = [](Record<S>& r, std::size_t i, py::handle value) {
        detail::for_each_field<S>([&](std::size_t k, const auto& fd) {
            if (k != i) return;
            S scratch;
            read_value(value, Name(Name(Traits::kName), fd.name), fd, scratch.*fd.member);
            r.values[i] = to_py(std::move(scratch.*fd.member));
        });
    };

    cls.def(py::init([](const py::args& args, const py::kwargs& given) {
                py::dict kwargs = given;
                if constexpr (requires { Traits::renamed(given); }) {
                    kwargs = Traits::renamed(given);
                }
                py::object defaults = to_py(S{});
                auto record = std::make_unique<Record<S>>(defaults.cast<Record<S>&>());
                if (args.size() > names.size()) {
                    throw py::type_error(std::string(Traits::kClass) + "() takes at most " +
                                         std::to_string(names.size()) + " positional arguments (" +
                                         std::to_string(args.size()) + " given)");
                }
                for (std::size_t i = 0; i < args.size(); ++i) set_field(*record, i, args[i]);
                for (auto [key, value] : kwargs) {
                    const std::string k = py::str(key);
                    std::size_t i = 0;
                    while (i < names.size() && k != names[i]) ++i;
                    if (i == names.size()) {
                        throw py::type_error(std::string(Traits::kClass) +
                                             "() got an unexpected keyword argument '" + k + "'");
                    }
                    if (i < args.size()) {
                        throw py::type_error(std::string(Traits::kClass) +
                                             "() got multiple values for argument '" + k + "'");
                    }
                    set_field(*record, i, value);
                }
                return record;
            }),
            Traits::doc_init());

    detail::for_each_field<S>([&](std::size_t i, const auto& fd) {
        cls.def_property(
            fd.name, [i](const Record<S>& r) { return r.values[i]; },
            [i](Record<S>& r, py::handle v) { set_field(r, i, v); }, fd.doc);
    });

    cls.def(
        "to_dict", [](const Record<S>& r) { return detail::to_dict(r, names); },
        "to_dict() -> dict\n\nThe fields as a dict (nested structures as dicts; arrays are the "
        "record's own, not copies).");
    cls.def_static(
        "from_dict", [](py::handle d) { return to_py(from_py<S>(d, Name(Traits::kName))); },
        py::arg("d"),
        "from_dict(d) -> record\n\nA record from a dict (or a record) with exactly these "
        "fields, each checked and converted as when passed to a block.");
    cls.def("__eq__", [](const Record<S>& a, py::handle b) -> py::object {
        if (!py::isinstance<Record<S>>(b))
            return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::bool_(detail::values_equal(a, b.cast<const Record<S>&>()));
    });
    cls.attr("__hash__") = py::none();  // mutable
    cls.def("__repr__", [](const Record<S>& r) { return detail::repr(Traits::kClass, r, names); });
    cls.def(py::pickle([](const Record<S>& r) { return detail::to_dict(r, names); },
                       [](const py::dict& d) {
                           py::object o = to_py(from_py<S>(d, Name(Traits::kName)));
                           return std::make_unique<Record<S>>(o.cast<Record<S>&>());
                       }));
    py::tuple fields(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) fields[i] = py::str(names[i]);
    cls.attr("_fields") = fields;
}

}  // namespace hfchain::python
