#include "channel/channel_text.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <tuple>
#include <vector>

#include "runtime/checks.hpp"
#include "runtime/error.hpp"

namespace hfchain {

namespace {

constexpr int kMaxPaths = 16;
constexpr double kMaxDelayMs = 100;
constexpr double kMaxPowerdB = 100;
constexpr double kMaxSpreadHz = 300;
constexpr double kMaxFrequencyHz = 1000;

const char* const kGrammar =
    "write a preset's name, Np:DELAY:SPREAD[:shift=F][:off=F] (such as 2p:2ms:1Hz) or "
    "paths=DELAY/POWER/SPREAD[/SHIFT]+...[:off=F] (such as paths=0ms/0dB/1Hz+2ms/-3dB/1Hz)";

// A path as written: delay in ms, power in dB relative to the others, spread and shift in Hz.
struct WrittenPath {
    double delayMs = 0;
    double powerdB = 0;
    double spreadHz = 0;
    double shiftHz = 0;
};

struct Written {
    std::vector<WrittenPath> paths;
    double offsetHz = 0;
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    [[noreturn]] void fail(const std::string& what) const {
        raise(kInvalidChannelText, "In '" + std::string(text_) + "': " + what + ".");
    }

    // A decimal number followed by exactly `unit` (one of `units`, scaled by its factor).
    double number(std::string_view token, std::string_view what,
                  std::initializer_list<std::pair<std::string_view, double>> units) const {
        for (const auto& [unit, scale] : units) {
            if (token.size() <= unit.size() || !token.ends_with(unit)) continue;
            const std::string_view digits = token.substr(0, token.size() - unit.size());
            double value = 0;
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), value);
            if (ec != std::errc() || end != digits.data() + digits.size() ||
                !std::isfinite(value)) {
                break;
            }
            return value * scale + 0.0;  // + 0.0: -0 is 0
        }
        std::string names;
        for (const auto& u : units) names += (names.empty() ? "" : " or ") + std::string(u.first);
        fail(std::string("'").append(token) + "' is not a " + std::string(what) +
             " (a number followed by " + names + ")");
    }

    double delay(std::string_view token) const {
        const double ms = number(token, "delay", {{"ms", 1.0}, {"us", 1e-3}, {"s", 1e3}});
        in_range(ms, 0, kMaxDelayMs, token, "delay", "0 to 100 ms");
        return ms;
    }
    double power(std::string_view token) const {
        const double db = number(token, "power", {{"dB", 1.0}});
        in_range(db, -kMaxPowerdB, kMaxPowerdB, token, "power", "-100 to 100 dB");
        return db;
    }
    double spread(std::string_view token) const {
        const double hz = number(token, "Doppler spread", {{"Hz", 1.0}});
        in_range(hz, 0, kMaxSpreadHz, token, "Doppler spread", "0 to 300 Hz");
        return hz;
    }
    double frequency(std::string_view token, std::string_view what) const {
        const double hz = number(token, what, {{"Hz", 1.0}});
        in_range(hz, -kMaxFrequencyHz, kMaxFrequencyHz, token, what, "-1000 to 1000 Hz");
        return hz;
    }

private:
    void in_range(double v, double lo, double hi, std::string_view token, std::string_view what,
                  const char* range) const {
        if (!(v >= lo && v <= hi)) {
            fail("the " + std::string(what) + " " + std::string(token) + " is outside " + range);
        }
    }

    std::string_view text_;
};

// The shortest text that reads back as exactly `v`.
std::string shortest(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v + 0.0);
    (void)ec;  // 32 characters hold any double
    return std::string(buf, end);
}

std::vector<std::string_view> split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = s.find(sep);
        parts.push_back(s.substr(0, at));
        if (at == std::string_view::npos) return parts;
        s.remove_prefix(at + 1);
    }
}

// The options after the paths: shift= (the shorthand only) and off=, each at most once.
void read_options(const Reader& r, const std::vector<std::string_view>& tokens, std::size_t first,
                  bool shorthand, Written& w) {
    bool shift = false, off = false;
    for (std::size_t k = first; k < tokens.size(); ++k) {
        const std::string_view t = tokens[k];
        if (t.starts_with("shift=") && shorthand && !shift) {
            const double hz = r.frequency(t.substr(6), "Doppler shift");
            for (WrittenPath& p : w.paths) p.shiftHz = hz;
            shift = true;
        } else if (t.starts_with("off=") && !off) {
            w.offsetHz = r.frequency(t.substr(4), "frequency offset");
            off = true;
        } else if (t.starts_with("shift=") && !shorthand) {
            r.fail("give each path's Doppler shift as its fourth field (DELAY/POWER/SPREAD/SHIFT)");
        } else if (t.starts_with("shift=") || t.starts_with("off=")) {
            r.fail(std::string("'").append(t.substr(0, t.find('=') + 1)) + "' is given twice");
        } else {
            r.fail(std::string("'").append(t) + "' is not an option (shift=F or off=F)");
        }
    }
}

Written read_shorthand(const Reader& r, const std::vector<std::string_view>& tokens) {
    const std::string_view head = tokens[0];
    int n = 0;
    const auto [end, ec] = std::from_chars(head.data(), head.data() + head.size() - 1, n);
    if (ec != std::errc() || end != head.data() + head.size() - 1 || n < 1 || n > kMaxPaths) {
        r.fail("'" + std::string(head) + "' is not a number of paths from 1p to 16p");
    }
    if (tokens.size() < 3) r.fail("expected Np:DELAY:SPREAD; " + std::string(kGrammar));
    const double delay = r.delay(tokens[1]);
    const double spread = r.spread(tokens[2]);
    // The channel block's bound on the last path's delay.
    if ((n - 1) * delay > kMaxPathDelay * 1000) {
        r.fail("the last of " + std::to_string(n) + " paths would lie " +
               shortest((n - 1) * delay) + " ms behind the first; the channel takes delays up to " +
               shortest(kMaxPathDelay * 1000) + " ms");
    }
    Written w;
    for (int k = 0; k < n; ++k) w.paths.push_back({k * delay, 0.0, spread, 0.0});
    read_options(r, tokens, 3, true, w);
    return w;
}

Written read_paths(const Reader& r, const std::vector<std::string_view>& tokens) {
    Written w;
    const std::vector<std::string_view> paths = split(tokens[0].substr(6), '+');
    if (paths.size() > static_cast<std::size_t>(kMaxPaths)) r.fail("more than 16 paths");
    for (const std::string_view p : paths) {
        const std::vector<std::string_view> f = split(p, '/');
        if (f.size() != 3 && f.size() != 4) {
            r.fail("the path '" + std::string(p) +
                   "' is not DELAY/POWER/SPREAD[/SHIFT] (such as 2ms/-3dB/1Hz)");
        }
        w.paths.push_back({r.delay(f[0]), r.power(f[1]), r.spread(f[2]),
                           f.size() == 4 ? r.frequency(f[3], "Doppler shift") : 0.0});
    }
    read_options(r, tokens, 1, false, w);
    return w;
}

// Sorted paths, powers relative to the strongest.
void canonical_order(Written& w) {
    auto key = [](const WrittenPath& p) {
        return std::make_tuple(p.delayMs, -p.powerdB, p.spreadHz, p.shiftHz);
    };
    std::stable_sort(w.paths.begin(), w.paths.end(),
                     [&](const WrittenPath& a, const WrittenPath& b) { return key(a) < key(b); });
    double strongest = w.paths.front().powerdB;
    for (const WrittenPath& p : w.paths) strongest = std::max(strongest, p.powerdB);
    for (WrittenPath& p : w.paths) p.powerdB = p.powerdB - strongest + 0.0;
}

// The canonical powers, relative to the strongest, must read back: within kMaxPowerdB of it.
void check_power_range(const Reader& r, const Written& w) {
    for (const WrittenPath& p : w.paths) {
        if (p.powerdB < -kMaxPowerdB) {
            r.fail("a path lies " + shortest(-p.powerdB) +
                   " dB below the strongest; give powers within 100 dB of each other");
        }
    }
}

std::string canonical_text(const Written& w) {
    const WrittenPath& first = w.paths.front();
    const double step = w.paths.size() > 1 ? w.paths[1].delayMs : 0.0;
    bool even = first.delayMs == 0;
    for (std::size_t k = 0; k < w.paths.size() && even; ++k) {
        const WrittenPath& p = w.paths[k];
        even = p.powerdB == 0 && p.spreadHz == first.spreadHz && p.shiftHz == first.shiftHz &&
               p.delayMs == static_cast<double>(k) * step;
    }
    std::string s;
    if (even) {
        s = std::to_string(w.paths.size()) + "p:" + shortest(step) +
            "ms:" + shortest(first.spreadHz) + "Hz";
        if (first.shiftHz != 0) s += ":shift=" + shortest(first.shiftHz) + "Hz";
    } else {
        s = "paths=";
        for (std::size_t k = 0; k < w.paths.size(); ++k) {
            const WrittenPath& p = w.paths[k];
            if (k > 0) s += '+';
            s += shortest(p.delayMs) + "ms/" + shortest(p.powerdB) + "dB/" + shortest(p.spreadHz) +
                 "Hz";
            if (p.shiftHz != 0) s.append("/").append(shortest(p.shiftHz)).append("Hz");
        }
    }
    if (w.offsetHz != 0) s += ":off=" + shortest(w.offsetHz) + "Hz";
    return s;
}

// The channel the block runs: delays in s, powers sharing a total of 1.
HfChannel block_channel(const Written& w) {
    double total = 0;
    for (const WrittenPath& p : w.paths) total += std::pow(10.0, p.powerdB / 10.0);
    HfChannel c;
    for (const WrittenPath& p : w.paths) {
        c.paths.push_back({p.delayMs / 1000.0,
                           10.0 * std::log10(std::pow(10.0, p.powerdB / 10.0) / total), p.spreadHz,
                           p.shiftHz});
    }
    c.offset = w.offsetHz;
    return c;
}

}  // namespace

double numeric_offset(double hz) {
    if (!(std::fabs(hz) <= kMaxFrequencyHz)) {
        raise("hfchain:hfchannel:InvalidChannel",
              "The frequency offset " + format_value(hz) +
                  " is not accepted; give an offset from -1000 to 1000 Hz.");
    }
    return hz;
}

HfChannel preset_channel(const WattersonCondition& condition) {
    HfChannel c;
    c.paths = {{0.0, kPresetPathPowerdB, condition.fd, 0.0},
               {condition.tau, kPresetPathPowerdB, condition.fd, 0.0}};
    return c;
}

std::string preset_list() {
    std::string s;
    for (const WattersonCondition& c : kChannelPresets) {
        s += (s.empty() ? "" : ", ") + std::string(c.name);
    }
    return s + ", " + std::string(kAwgnCondition);
}

ChannelChoice read_channel(std::string_view text) {
    ChannelChoice choice;
    if (const WattersonCondition* c = find_channel_preset(text)) {
        choice.canonical = std::string(text);
        choice.channel = preset_channel(*c);
        choice.condition = find_watterson_condition(text);
        return choice;
    }
    if (text == kAwgnCondition) {
        choice.canonical = std::string(text);
        choice.channel.paths = {{0.0, 0.0, 0.0, 0.0}};
        choice.awgn = true;
        return choice;
    }
    const Reader r(text);
    const std::vector<std::string_view> tokens = split(text, ':');
    Written w;
    if (tokens[0].starts_with("paths=")) {
        w = read_paths(r, tokens);
    } else if (tokens[0].size() >= 2 && tokens[0].back() == 'p' &&
               std::isdigit(static_cast<unsigned char>(tokens[0].front()))) {
        w = read_shorthand(r, tokens);
    } else {
        raise(kInvalidChannelText, "'" + std::string(text) +
                                       "' is neither a preset nor a written channel; " + kGrammar +
                                       ". Presets: " + preset_list() + ".");
    }
    canonical_order(w);
    check_power_range(r, w);
    choice.canonical = canonical_text(w);
    choice.channel = block_channel(w);
    return choice;
}

}  // namespace hfchain
