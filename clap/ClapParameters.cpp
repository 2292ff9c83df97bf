#include "clap/ClapParameters.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "model/ParameterTable.h"

namespace zb::clapface {

namespace {

struct Order {
    std::array<clap::Id, kNumParams + 2> ids{};
    std::uint32_t size = 0;
    Order() {
        for (int i = 0; i < kNumParams; ++i) {
            if (ParameterTable::row(i).automatable) {
                ids[size++] = static_cast<clap::Id>(i);
            }
        }
        ids[size++] = kProgramId;
        ids[size++] = kBypassId;
    }
};

const Order& order() {
    static const Order kOrder;
    return kOrder;
}

void copy(char* to, std::size_t capacity, const char* from) {
    std::snprintf(to, capacity, "%s", from);
}

}  // namespace

std::uint32_t ParameterList::count() {
    return order().size;
}

clap::Id ParameterList::idAt(std::uint32_t position) {
    return position < order().size ? order().ids[position] : clap::kInvalidId;
}

bool ParameterList::offered(clap::Id id) {
    if (id == kProgramId || id == kBypassId) {
        return true;
    }
    return id < static_cast<clap::Id>(kNumParams) && ParameterTable::row(static_cast<int>(id)).automatable;
}

bool ParameterList::info(std::uint32_t position, clap::ParamInfo& out) {
    const clap::Id id = idAt(position);
    if (id == clap::kInvalidId) {
        return false;
    }
    out = clap::ParamInfo{};
    out.id = id;
    out.cookie = nullptr;
    out.minValue = 0.0;
    out.maxValue = 1.0;
    if (id == kProgramId) {
        copy(out.name, sizeof out.name, "Program");
        copy(out.module, sizeof out.module, "Global");
        out.flags = clap::kParamIsStepped | clap::kParamIsEnum | clap::kParamIsAutomatable;
        out.maxValue = kNumPrograms - 1;
        return true;
    }
    if (id == kBypassId) {
        copy(out.name, sizeof out.name, "Bypass");
        copy(out.module, sizeof out.module, "Global");
        out.flags = clap::kParamIsStepped | clap::kParamIsBypass | clap::kParamIsAutomatable;
        return true;
    }
    const int index = static_cast<int>(id);
    const ParameterRow& row = ParameterTable::row(index);
    ParameterTable::name(index, out.name, sizeof out.name);
    if (row.person >= 0) {
        std::snprintf(out.module, sizeof out.module, "Person %d", row.person + 1);
    } else {
        copy(out.module, sizeof out.module, "Global");
    }
    out.flags = clap::kParamIsAutomatable;
    // A stepped value is an integer for the host, so only a 0/1 choice is stepped in the 0..1
    // range; the many-step ones (people) stay continuous and show their step through the text.
    if (row.steps == 1) {
        out.flags |= clap::kParamIsStepped;
    }
    if (row.hidden()) {
        out.flags |= clap::kParamIsHidden;
    }
    return true;
}

}  // namespace zb::clapface
