#include "PdfRecords.h"

int32_t TRunFontNames::Intern(const std::string& name) {
    const auto [found, added] = ids_.try_emplace(name, Count());
    if (added) names_.push_back(name);
    return found->second;
}

const std::string& TRunFontNames::Name(int32_t id) const {
    static const std::string kNone;
    return id >= 0 && id < Count() ? names_[static_cast<size_t>(id)] : kNone;
}

void TRunFontNames::Clear() {
    names_.clear();
    ids_.clear();
}
