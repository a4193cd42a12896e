#pragma once
// The popup menus of the host list and the states of the list commands, as plain data; the
// shell turns them into menus and actions.
#include <cstddef>
#include <vector>

namespace sondrel {

struct MenuItem {
    int id;  // command id; 0 for a separator
    const char* text;
    bool enabled;

    bool IsSeparator() const { return id == 0; }
};

// The menu of a right click on a row: copying needs exactly one selected row.
std::vector<MenuItem> RowMenuItems(std::size_t selectedRows);
// The menu of a right click on the empty area (the Edit menu): the commands that remove
// hosts are grey while the address array is empty.
std::vector<MenuItem> EditMenuItems(std::size_t addresses);

struct ListCommandStates {
    bool deleteAddress;  // also the Stop button's state, decided by the same update
    bool deleteGroup;
    bool clearAll;
    bool deleteSelected;  // at least one row selected
};
ListCommandStates ListCommandStatesFor(std::size_t addresses, std::size_t selectedRows);

}  // namespace sondrel
