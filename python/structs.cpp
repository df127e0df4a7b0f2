#include "python/structs.hpp"

#include "python/module.hpp"

namespace hfchain::python {

namespace detail {

bool is_mapping(py::handle h) {
    if (PyDict_Check(h.ptr())) return true;
    static const py::handle mapping =
        py::object(py::module_::import("collections.abc").attr("Mapping")).release();
    return py::isinstance(h, mapping);
}

py::dict to_dict(const RecordBase& r, const std::vector<const char*>& names) {
    py::dict d;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const py::object& v = r.values[i];
        // Nested structures become dicts too.
        d[names[i]] = py::hasattr(v, "to_dict") ? v.attr("to_dict")() : v;
    }
    return d;
}

bool values_equal(const RecordBase& a, const RecordBase& b) {
    static const py::handle array_equal =
        py::object(py::module_::import("numpy").attr("array_equal")).release();
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        const py::object& x = a.values[i];
        const py::object& y = b.values[i];
        const bool arrays = py::isinstance<py::array>(x) || py::isinstance<py::array>(y);
        const bool same = arrays ? array_equal(x, y).cast<bool>() : x.equal(y);
        if (!same) return false;
    }
    return true;
}

std::string repr(const char* cls, const RecordBase& r, const std::vector<const char*>& names) {
    std::string s = std::string(cls) + "(";
    for (std::size_t i = 0; i < names.size(); ++i) {
        const py::object& v = r.values[i];
        if (i > 0) s += ", ";
        s += names[i];
        s += "=";
        if (py::isinstance<py::array>(v)) {
            // Arrays shown by kind and shape: signals run to a million samples.
            const py::array a = py::reinterpret_borrow<py::array>(v);
            s += "array(" + py::str(a.dtype()).cast<std::string>() + ", shape " +
                 py::str(v.attr("shape")).cast<std::string>() + ")";
        } else {
            s += py::repr(v).cast<std::string>();
        }
    }
    return s + ")";
}

}  // namespace detail

RoadConfig road_config(const RoadSettings& s) {
    RoadConfig c;
    c.nFrame = s.nFrame;
    c.txSeed = s.txSeed;
    c.shaping = s.shaping;
    c.channel = road_channel(s.channel, s.EsNodB, s.channelSeed);
    c.receivers = s.receivers;
    c.iterations = s.iterations;
    c.softRule = s.softRule;
    return c;
}

py::dict RecordTraits<RoadSettings>::renamed(py::handle mapping) {
    py::dict d;  // a copy: the caller's mapping stays as it is
    d.attr("update")(mapping);
    const auto kind_name = [&d] {
        if (!d.contains("channel") || !PyUnicode_Check(py::object(d["channel"]).ptr()))
            return false;
        const std::string kind = py::str(d["channel"]);
        return kind == "watterson" || kind == "hfchannel";
    };
    if (!d.contains("watterson")) {
        if (kind_name()) d["channel"] = VarWatterson{}.model;
        return d;
    }
    for (const char* today : {"EsNodB", "channelSeed"}) {
        if (d.contains(today)) {
            raise(errid::kWrongFields, std::string("Input 'config' has both the field 'watterson' "
                                                   "and the field '") +
                                           today + "', which replaces it; give only the latter.");
        }
    }
    const VarWatterson w = from_py<VarWatterson>(d["watterson"], Name(Name("config"), "watterson"));
    if (kind_name()) d["channel"] = w.model;
    d["EsNodB"] = w.EsNodB;
    d["channelSeed"] = w.seed;
    PyDict_DelItemString(d.ptr(), "watterson");
    return d;
}

void bind_structs(py::module_& m) {
    bind_record<ModeParams>(m);
    bind_record<VarShapping>(m);
    bind_record<VarWatterson>(m);
    bind_record<SendchainOut>(m);
    bind_record<PulseshaperOut>(m);
    bind_record<FadesimOut>(m);
    bind_record<HfchannelOut>(m);
    bind_record<PulsematchOut>(m);
    bind_record<TickalignOut>(m);
    bind_record<UnframerOut>(m);
    bind_record<SymslicerOut>(m);
    bind_record<UnshuffleOut>(m);
    bind_record<SoftslicerOut>(m);
    bind_record<PatternslicerOut>(m);
    bind_record<VitdecodeOut>(m);
    bind_record<SisodecodeOut>(m);
    bind_record<FreqlockOut>(m);
    bind_record<ChansoundOut>(m);
    bind_record<TurboequalOut>(m);
    bind_record<PatterntrackOut>(m);
    bind_record<GeniecombineOut>(m);
    bind_record<Reception>(m);
    bind_record<RoadSettings>(m);
    bind_record<RoadResult>(m);
    bind_record<SweepSettings>(m);
}

}  // namespace hfchain::python
