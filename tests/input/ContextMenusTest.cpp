#include "input/ContextMenus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sondrel {
namespace {

struct Shown {
    int id;
    std::string text;
    bool enabled;
    bool operator==(const Shown&) const = default;
};

std::vector<Shown> Flatten(const std::vector<MenuItem>& items) {
    std::vector<Shown> out;
    for (const MenuItem& item : items) out.push_back({item.id, item.text, item.enabled});
    return out;
}

TEST(ContextMenusTest, RowMenuGraysCopyUnlessExactlyOneRowIsSelected) {
    for (std::size_t selected : {0u, 1u, 2u, 3u}) {
        const std::vector<Shown> expected = {
            {32783, "Delete selected address(es)", true},
            {0, "", true},
            {32784, "Copy this address to clipboard", selected == 1},
            {0, "", true},
            {32786, "More details", true},
            {0, "", true},
            {57604, "Save to file", true},
        };
        EXPECT_EQ(Flatten(RowMenuItems(selected)), expected) << selected;
    }
}

TEST(ContextMenusTest, EditMenuGraysTheRemovingCommandsOfAnEmptyList) {
    for (std::size_t addresses : {0u, 1u, 500u}) {
        const bool has = addresses != 0;
        const std::vector<Shown> expected = {
            {32771, "Add an address", true},
            {32772, "Add addresses", true},
            {0, "", true},
            {32787, "Import from file", true},
            {0, "", true},
            {32773, "Delete an address", has},
            {32774, "Delete addresses", has},
            {0, "", true},
            {32778, "Clear all addresses", has},
        };
        EXPECT_EQ(Flatten(EditMenuItems(addresses)), expected) << addresses;
    }
}

TEST(ContextMenusTest, CommandStates) {
    struct Case {
        std::size_t addresses, selected;
        bool removing, deleteSelected;
    };
    const Case cases[] = {{0, 0, false, false}, {3, 0, true, false}, {3, 2, true, true},
                          {0, 1, false, true}};
    for (const auto& c : cases) {
        const ListCommandStates s = ListCommandStatesFor(c.addresses, c.selected);
        EXPECT_EQ(s.deleteAddress, c.removing);
        EXPECT_EQ(s.deleteGroup, c.removing);
        EXPECT_EQ(s.clearAll, c.removing);
        EXPECT_EQ(s.deleteSelected, c.deleteSelected);
    }
}

}  // namespace
}  // namespace sondrel
