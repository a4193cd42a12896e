#include "view/ContextMenus.h"

#include "widgets/Commands.h"

namespace sondrel {

std::vector<MenuItem> RowMenuItems(std::size_t selectedRows) {
    return {
        {ID_DELETE_SELECTED, "Delete selected address(es)", true},
        {0, "", true},
        {ID_COPY_ADDRESS, "Copy this address to clipboard", selectedRows == 1},
        {0, "", true},
        {ID_MORE_DETAILS, "More details", true},
        {0, "", true},
        {ID_FILE_SAVE_AS, "Save to file", true},
    };
}

std::vector<MenuItem> EditMenuItems(std::size_t addresses) {
    const bool hasHosts = addresses != 0;
    return {
        {ID_ADD_ADDRESS, "Add an address", true},
        {ID_ADD_GROUP, "Add addresses", true},
        {0, "", true},
        {ID_IMPORT, "Import from file", true},
        {0, "", true},
        {ID_DELETE_ADDRESS, "Delete an address", hasHosts},
        {ID_DELETE_GROUP, "Delete addresses", hasHosts},
        {0, "", true},
        {ID_CLEAR_ALL, "Clear all addresses", hasHosts},
    };
}

ListCommandStates ListCommandStatesFor(std::size_t addresses, std::size_t selectedRows) {
    const bool hasHosts = addresses != 0;
    return {hasHosts, hasHosts, hasHosts, selectedRows != 0};
}

}  // namespace sondrel
