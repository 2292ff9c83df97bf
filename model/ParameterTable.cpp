#include "model/ParameterTable.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr ParameterRow kOutOfRange{
    -1, "NONE", "NONE", -1,    -1,  ParamUnit::kNone, ParamConversion::kRaw, ParamChange::kStored, false,
    0,  0,      1,      false, 0.0f};

// Copies within capacity, always terminated.
void copyText(char* text, std::size_t capacity, const char* from) {
    if (capacity == 0) {
        return;
    }
    std::snprintf(text, capacity, "%s", from);
}

double decibels(double gain) {
    return gain > 0.0 ? 20.0 * std::log10(gain) : -HUGE_VAL;
}
double fromDecibels(double db) {
    return std::pow(10.0, db / 20.0);
}

float clampUnit(double x) {
    if (!(x > 0.0)) {
        return 0.0f;
    }
    return x < 1.0 ? static_cast<float>(x) : 1.0f;
}

// "+80.0 Hz" style: a sign where the unit has two sides, fewer decimals as the number grows.
void number(char* out, std::size_t size, double v, bool sign, const char* unit) {
    const double a = std::fabs(v);
    const int decimals = a >= 100.0 ? 0 : (a >= 10.0 ? 1 : 2);
    std::snprintf(out, size, sign ? "%+.*f%s%s" : "%.*f%s%s", decimals, v, unit[0] ? " " : "", unit);
}

}  // namespace

const ParameterRow& ParameterTable::row(int index) {
    return valid(index) ? kRows[static_cast<std::size_t>(index)] : kOutOfRange;
}

bool ParameterTable::name(int index, char* text, std::size_t capacity) {
    const ParameterRow& r = row(index);
    if (r.person < 0) {
        copyText(text, capacity, r.name);
        return true;
    }
    if (r.name == nullptr) {
        return false;
    }
    std::snprintf(text, capacity, r.name, r.person + 1);
    return true;
}

bool ParameterTable::shortName(int index, char* text, std::size_t capacity) {
    const ParameterRow& r = row(index);
    if (r.shortName == nullptr) {
        return false;
    }
    if (r.person < 0) {
        copyText(text, capacity, r.shortName);
    } else {
        std::snprintf(text, capacity, r.shortName, r.person + 1);
    }
    return true;
}

const char* ParameterTable::unitText(int index) {
    switch (row(index).unit) {
        case ParamUnit::kHertz:
            return "Hz";
        case ParamUnit::kMilliseconds:
            return "ms";
        case ParamUnit::kPercent:
            return "%";
        case ParamUnit::kDecibels:
            return "dB";
        case ParamUnit::kPeople:
            return "people";
        case ParamUnit::kPerson:
        case ParamUnit::kOnOff:
        case ParamUnit::kNone:
            break;
    }
    return "";
}

double ParameterTable::toPlain(int index, float x) {
    switch (row(index).conversion) {
        case ParamConversion::kPopulation:
            return param::populationCount(x);
        case ParamConversion::kSelected:
            return param::personNumber(x, kNumPeople - 1) + 1;
        case ParamConversion::kLevel:
            return decibels(param::levelGain(x));
        case ParamConversion::kSolo:
            return param::soloOn(x) ? 1.0 : 0.0;
        case ParamConversion::kActive:
            return param::activeOn(x) ? 1.0 : 0.0;
        case ParamConversion::kSpread:
            return 100.0 * double(param::spreadAmount(x));
        case ParamConversion::kShiftAll:
            return param::shiftAllHertz(x);
        case ParamConversion::kReverbGain:
            return decibels(param::reverbGain(x));
        case ParamConversion::kReverbSize:
            return 100.0 * double(param::reverbSize(x));
        case ParamConversion::kCut:
            return param::cutHertz(x);
        case ParamConversion::kPitchShift:
            return param::pitchShiftHertz(x);
        case ParamConversion::kPitchModGain:
        case ParamConversion::kDelayModGain:
            return 100.0 * double(zb::unitValue(x));
        case ParamConversion::kPitchModSpeed:
            return param::pitchModHertz(x);
        case ParamConversion::kDelayTime:
            return double(param::delayReferenceSamples(x)) * 1000.0 / double(param::kReferenceRate);
        case ParamConversion::kDelayModSpeed:
            return param::delayModHertz(x);
        case ParamConversion::kPan:
            return 200.0 * (double(param::panPosition(x)) - 0.5);
        case ParamConversion::kGain:
            return decibels(param::personGain(x));
        case ParamConversion::kRaw:
            break;
    }
    return row(index).unit == ParamUnit::kPercent ? 100.0 * double(zb::unitValue(x)) : double(x);
}

float ParameterTable::fromPlain(int index, double p) {
    const ParameterRow& r = row(index);
    if (std::isnan(p)) {
        return 0.0f;
    }
    switch (r.conversion) {
        case ParamConversion::kPopulation:
        case ParamConversion::kSelected: {
            const double k = std::round(p) - 1.0;
            const int last =
                r.conversion == ParamConversion::kPopulation ? param::kMaxPopulation - 1 : kNumPeople - 1;
            return param::personValue(k < 0.0 ? 0 : (k > last ? last : int(k)));
        }
        case ParamConversion::kLevel:
            return clampUnit(std::sqrt(fromDecibels(p) / double(param::kLevelMax)));
        case ParamConversion::kSolo:
        case ParamConversion::kActive:
            return p >= 0.5 ? 1.0f : 0.0f;
        case ParamConversion::kShiftAll:
            return clampUnit(p / double(param::kShiftAllSpan) + 0.5);
        case ParamConversion::kReverbGain:
            return clampUnit(std::cbrt(fromDecibels(p)));
        case ParamConversion::kCut:
            return clampUnit(std::sqrt((p > 0.0 ? p : 0.0) / double(param::kCutMax)));
        case ParamConversion::kPitchShift:
            return clampUnit(p / double(param::kPitchShiftSpan) + 0.5);
        case ParamConversion::kPitchModSpeed:
            return clampUnit(std::cbrt((p - 0.2) / 2.6));
        case ParamConversion::kDelayTime:
            return clampUnit(p * double(param::kReferenceRate) / 1000.0 / double(param::kDelaySpanSamples));
        case ParamConversion::kDelayModSpeed:
            return clampUnit(std::pow(p > 0.1 ? (p - 0.1) / 2.0 : 0.0, 0.25));
        case ParamConversion::kPan:
            return clampUnit(p / 200.0 + 0.5);
        case ParamConversion::kGain:
            return clampUnit((2.0 * fromDecibels(p) - 0.2) / 0.8);
        case ParamConversion::kSpread:
        case ParamConversion::kReverbSize:
        case ParamConversion::kPitchModGain:
        case ParamConversion::kDelayModGain:
            return clampUnit(p / 100.0);
        case ParamConversion::kRaw:
            break;
    }
    return r.unit == ParamUnit::kPercent ? clampUnit(p / 100.0) : clampUnit(p);
}

void ParameterTable::display(int index, float value, char* text, std::size_t capacity) {
    if (capacity == 0) {
        return;
    }
    const ParameterRow& r = row(index);
    const bool roomy = capacity >= 16;
    char out[32];
    const double p = toPlain(index, value);
    switch (r.unit) {
        case ParamUnit::kPeople:
            std::snprintf(out, sizeof out, "%d %s", int(p), roomy ? (p == 1 ? "person" : "people") : "ppl");
            break;
        case ParamUnit::kPerson:
            std::snprintf(out, sizeof out, roomy ? "person %d" : "%d", int(p));
            break;
        case ParamUnit::kOnOff:
            copyText(out, sizeof out, p != 0.0 ? "on" : "off");
            break;
        case ParamUnit::kDecibels:
            if (std::isinf(p)) {
                copyText(out, sizeof out, "-inf dB");
            } else {
                number(out, sizeof out, p, true, "dB");
            }
            break;
        case ParamUnit::kPercent:
            if (r.conversion == ParamConversion::kPan) {
                const double a = std::round(std::fabs(p));
                if (a == 0.0) {
                    copyText(out, sizeof out, "C");
                } else {
                    std::snprintf(out, sizeof out, "%c %.0f %%", p < 0.0 ? 'L' : 'R', a);
                }
            } else {
                number(out, sizeof out, p, false, "%");
            }
            break;
        case ParamUnit::kHertz:
            number(out, sizeof out, p,
                   r.conversion == ParamConversion::kPitchShift || r.conversion == ParamConversion::kShiftAll,
                   "Hz");
            break;
        case ParamUnit::kMilliseconds:
            number(out, sizeof out, p, false, "ms");
            break;
        case ParamUnit::kNone:
            std::snprintf(out, sizeof out, "%.3f", double(value));
            break;
    }
    copyText(text, capacity, out);
}

namespace {

bool sameWord(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == 0 && *b == 0;
}

const char* skipSpace(const char* s) {
    while (*s == ' ' || *s == '\t') {
        ++s;
    }
    return s;
}

}  // namespace

bool ParameterTable::parse(int index, const char* text, float& value) {
    if (text == nullptr || !valid(index)) {
        return false;
    }
    const ParameterRow& r = row(index);
    const char* s = skipSpace(text);
    if (*s == '=') {
        // The stored value itself.
        char* end = nullptr;
        const double v = std::strtod(s + 1, &end);
        if (end == s + 1 || *skipSpace(end) != 0 || !std::isfinite(v)) {
            return false;
        }
        value = static_cast<float>(v);
        return true;
    }
    if (r.unit == ParamUnit::kOnOff) {
        if (sameWord(s, "on") || sameWord(s, "1")) {
            value = 1.0f;
            return true;
        }
        if (sameWord(s, "off") || sameWord(s, "0")) {
            value = 0.0f;
            return true;
        }
        return false;
    }
    double sign = 1.0;
    if (r.conversion == ParamConversion::kPan) {
        const char side = static_cast<char>(std::toupper(static_cast<unsigned char>(*s)));
        if (side == 'C' && *skipSpace(s + 1) == 0) {
            value = fromPlain(index, 0.0);
            return true;
        }
        if (side == 'L' || side == 'R') {
            sign = side == 'L' ? -1.0 : 1.0;
            s = skipSpace(s + 1);
        }
    }
    if (r.unit == ParamUnit::kPerson && std::strncmp(s, "person", 6) == 0) {
        s = skipSpace(s + 6);
    }
    double v = 0.0;
    char* end = nullptr;
    if (r.unit == ParamUnit::kDecibels && std::strncmp(s, "-inf", 4) == 0) {
        v = -HUGE_VAL;
        end = const_cast<char*>(s + 4);
    } else {
        v = std::strtod(s, &end);
        if (end == s || !std::isfinite(v)) {
            return false;
        }
    }
    const char* rest = skipSpace(end);
    const char* unit = unitText(index);
    const bool kilo = r.unit == ParamUnit::kHertz && (*rest == 'k' || *rest == 'K');
    if (kilo) {
        ++rest;
    }
    if (*rest != 0 && !sameWord(rest, unit) &&
        !(r.unit == ParamUnit::kPeople && (sameWord(rest, "person") || sameWord(rest, "ppl")))) {
        return false;
    }
    value = fromPlain(index, sign * (kilo ? v * 1000.0 : v));
    return true;
}
