#pragma once
// A set of control ids that a dialog enables or shows together (TModalDialog::EnableGroup,
// ShowGroup): the controls of one preferences tab, the labels of one hour scale, the controls
// that follow a check box.
#include <algorithm>
#include <initializer_list>
#include <vector>

namespace vantrel {

class TControlGroup {
public:
    TControlGroup() = default;
    TControlGroup(std::initializer_list<int> ids) : FIds(ids) {}

    TControlGroup& Add(int id) {
        if (!Contains(id))
            FIds.push_back(id);
        return *this;
    }
    // Every id from first to last, both included.
    TControlGroup& AddRange(int first, int last) {
        for (int id = first; id <= last; ++id)
            Add(id);
        return *this;
    }
    TControlGroup& Add(const TControlGroup& other) {
        for (int id : other.FIds)
            Add(id);
        return *this;
    }
    bool Contains(int id) const { return std::find(FIds.begin(), FIds.end(), id) != FIds.end(); }
    const std::vector<int>& Ids() const { return FIds; }

private:
    std::vector<int> FIds;
};

} // namespace vantrel
