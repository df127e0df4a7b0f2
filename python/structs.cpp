#include "python/structs.hpp"

#include <cmath>
#include <limits>

#include "python/module.hpp"
#include "runtime/checks.hpp"

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

std::vector<index_t> read_indices(py::handle h, const Name& n) {
    const auto a = read_real(h, n, kMatrix);
    std::vector<index_t> out;
    out.reserve(static_cast<std::size_t>(a->numel()));
    for (const double v : *a) {
        if (!(v >= 0 && v <= std::numeric_limits<index_t>::max()) || v != std::floor(v)) {
            raise(errid::kWrongValue, "Input '" + n.str() + "' must hold whole numbers from 0 to " +
                                          std::to_string(std::numeric_limits<index_t>::max()) +
                                          "; it holds " + format_value(v) + ".");
        }
        out.push_back(static_cast<index_t>(v));
    }
    return out;
}

std::vector<ReceivedImpulse> read_impulses(py::handle h, const Name& n) {
    if (!PyList_Check(h.ptr()) && !PyTuple_Check(h.ptr())) {
        raise(errid::kWrongType, "Input '" + n.str() +
                                     "' must be a list of (sample, size) pairs; it is " +
                                     type_name(h) + ".");
    }
    std::vector<ReceivedImpulse> out;
    for (py::handle item : py::reinterpret_borrow<py::sequence>(h)) {
        if ((!PyList_Check(item.ptr()) && !PyTuple_Check(item.ptr())) || py::len(item) != 2) {
            raise(errid::kWrongType, "Input '" + n.str() +
                                         "' must be a list of (sample, size) pairs; it holds " +
                                         py::repr(item).cast<std::string>() + ".");
        }
        const py::sequence pair = py::reinterpret_borrow<py::sequence>(item);
        ReceivedImpulse impulse;
        impulse.sample =
            static_cast<index_t>(read_whole(pair[0], n, 0, std::numeric_limits<index_t>::max()));
        impulse.size = (*read_complex(pair[1], n, kScalar))[0];
        out.push_back(impulse);
    }
    return out;
}

sweep::RequirementsConfig requirements_config(const RequirementsSettings& s) {
    sweep::RequirementsConfig c = RequirementsSettings::defaults();
    c.interLen = s.interLen;
    c.nFrame = s.nFrame;
    c.shaping = s.shaping;
    c.receivers = s.receivers;
    c.stop.stopOn = s.stopOn;
    c.stop.minTrials = s.minTrials;
    c.stop.minEvents = s.minEvents;
    c.stop.minErrors = s.minErrors;
    c.stop.maxBits = s.maxBits;
    c.seed = s.seed;
    c.threads = s.threads;
    c.rows.assign(s.rows.begin(), s.rows.end());
    c.resolution = s.resolution;
    c.step = s.step;
    c.lowest = s.lowest;
    c.highest = s.highest;
    return c;
}

RoadConfig road_config(const RoadSettings& s) {
    RoadConfig c;
    c.nFrame = s.nFrame;
    c.txSeed = s.txSeed;
    c.shaping = s.shaping;
    c.channel = road_channel(s.channel, s.EsNodB, s.channelSeed);
    c.receivers = s.receivers;
    c.iterations = s.iterations;
    c.softRule = s.softRule;
    c.impulses = s.impulses;
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
    bind_record<BlocklockOut>(m);
    bind_record<ChansoundOut>(m);
    bind_record<TurboequalOut>(m);
    bind_record<PatterntrackOut>(m);
    bind_record<GeniecombineOut>(m);
    bind_record<Reception>(m);
    bind_record<ImpulseblankOut>(m);
    bind_record<RoadSettings>(m);
    bind_record<RoadResult>(m);
    bind_record<SweepSettings>(m);
    bind_record<RequirementsSettings>(m);
}

}  // namespace hfchain::python
