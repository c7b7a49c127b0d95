#include "provider/core/model_table.h"

namespace velkor::core {

namespace {

constexpr PbxModel kModels[] = {
    {"24", "VELKOR-S Office", 33, 8},
    {"90", "VELKOR-M Office", 129, 10},
    {"30", "VELKOR-L Office", 301, 19},
    {"80", "VELKOR-L Hotel", 301, 19},
    {"60", "VELKOR-X Office", 601, 19},
};

}  // namespace

std::string_view modelCode(std::string_view versionText) {
    return versionText.size() < 4 ? std::string_view{} : versionText.substr(2, 2);
}

const PbxModel* findPbxModel(std::string_view code) {
    for (const PbxModel& model : kModels) {
        if (model.code == code) return &model;
    }
    return nullptr;
}

}  // namespace velkor::core
