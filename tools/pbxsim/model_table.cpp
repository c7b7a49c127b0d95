#include "tools/pbxsim/model_table.h"

namespace velkor::pbxsim {

namespace {

constexpr ModelInfo kModels[] = {
    {"24", "VELKOR-S Office", 33, 8},
    {"90", "VELKOR-M Office", 129, 10},
    {"30", "VELKOR-L Office", 301, 19},
    {"80", "VELKOR-L Hotel", 301, 19},
    {"60", "VELKOR-X Office", 601, 19},
};

}  // namespace

std::span<const ModelInfo> modelTable() { return kModels; }

const ModelInfo* findModel(std::string_view code) {
    for (const ModelInfo& model : kModels) {
        if (model.code == code) return &model;
    }
    return nullptr;
}

}  // namespace velkor::pbxsim
